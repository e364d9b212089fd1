// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "printable.h"

#include <texts.h>

#include <algorithm>
#include <utility>

using namespace Mic::Texts;

namespace
{
enum class Backslashes { Unambiguous, AsTheyAre };

// The code point at `at` and how many UTF-16 units it takes; half a
// surrogate pair stands for itself.
std::pair<char32_t, int> codePointAt(const QString &text, int at)
{
    const QChar unit = text.at(at);
    if (unit.isHighSurrogate() && at + 1 < text.size() && text.at(at + 1).isLowSurrogate()) {
        return {QChar::surrogateToUcs4(unit, text.at(at + 1)), 2};
    }
    return {unit.unicode(), 1};
}

bool isShown(char32_t code, bool lineBreaksShown)
{
    return (code == '\n' && lineBreaksShown) || (!QChar::isSurrogate(code) && QChar::isPrint(code));
}

QString escapeOf(char32_t code)
{
    if (code < 0x100) {
        return QStringLiteral("\\x%1").arg(uint(code), 2, 16, QLatin1Char('0'));
    }
    if (code < 0x10000) {
        return QStringLiteral("\\u%1").arg(uint(code), 4, 16, QLatin1Char('0'));
    }
    return QStringLiteral("\\U%1").arg(uint(code), 8, 16, QLatin1Char('0'));
}

// Whether a backslash followed by the code point at `at` would read as
// the start of an escape.
bool startsEscape(const QString &text, int at, bool lineBreaksShown)
{
    if (at >= text.size()) {
        return false;
    }
    const char32_t next = codePointAt(text, at).first;
    return next == 'x' || next == 'u' || next == 'U' || next == '\\' || !isShown(next, lineBreaksShown);
}

QString escaped(const QString &text, Backslashes backslashes, bool lineBreaksShown)
{
    const bool unambiguous = backslashes == Backslashes::Unambiguous;
    const bool plain = std::all_of(text.cbegin(), text.cend(), [&](QChar unit) {
        return (unit != QLatin1Char('\\') || !unambiguous) && !unit.isSurrogate() && isShown(unit.unicode(), lineBreaksShown);
    });
    if (plain) {
        return text; // most names: shared, not copied
    }
    QString shown;
    shown.reserve(text.size() + 16);
    for (int at = 0; at < text.size();) {
        const auto [code, units] = codePointAt(text, at);
        if (!isShown(code, lineBreaksShown)) {
            shown += escapeOf(code);
        } else if (code == '\\' && unambiguous && startsEscape(text, at + 1, lineBreaksShown)) {
            shown += QStringLiteral("\\\\");
        } else {
            shown.append(text.constData() + at, units);
        }
        at += units;
    }
    return shown;
}
}

namespace Mic
{
QString printable(const QString &name)
{
    return escaped(name, Backslashes::Unambiguous, false);
}

QString printableMessage(const QString &message)
{
    return escaped(message, Backslashes::AsTheyAre, true);
}

QLocale formatsLocale()
{
    const QLocale system = QLocale::system();
    const QStringList languages = KLocalizedString::languages();
    if (system.dateTimeFormat(QLocale::ShortFormat) != QLocale::c().dateTimeFormat(QLocale::ShortFormat) || languages.isEmpty()) {
        return system;
    }
    return QLocale(languages.first());
}
}
