// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "jsonkeys.h"

#include <QSet>

#include <vector>

namespace
{
// A key as the parser reads it, its escapes decoded: "\u0072ules" is
// "rules". A pair of escaped surrogates decodes to the one character.
QString decodedKey(const QByteArray &text)
{
    if (!text.contains('\\')) {
        return QString::fromUtf8(text);
    }
    QString key;
    int plainFrom = 0;
    int at = 0;
    while (at + 1 < text.size()) {
        if (text.at(at) != '\\') {
            ++at;
            continue;
        }
        key += QString::fromUtf8(text.constData() + plainFrom, at - plainFrom);
        const char escape = text.at(at + 1);
        // What is not JSON here fails the parse that follows.
        bool hex = false;
        const ushort unit = escape == 'u' && at + 6 <= text.size() ? text.mid(at + 2, 4).toUShort(&hex, 16) : 0;
        if (hex) {
            key += QChar(unit);
            at += 6;
        } else {
            static const QByteArray from("bfnrt");
            static const char to[] = "\b\f\n\r\t";
            const int simple = from.indexOf(escape);
            key += QLatin1Char(simple >= 0 ? to[simple] : escape);
            at += 2;
        }
        plainFrom = at;
    }
    return key + QString::fromUtf8(text.constData() + plainFrom, text.size() - plainFrom);
}

}

std::optional<QString> Mic::repeatedJsonKey(const QByteArray &json)
{
    struct Container {
        bool object = false;
        bool keyNext = false;
        QSet<QString> keys;
    };
    std::vector<Container> open;
    const char *at = json.constData();
    const char *const end = at + json.size();
    while (at < end) {
        const char c = *at++;
        if (c == '"') {
            const char *start = at;
            while (at < end && *at != '"') {
                at += (*at == '\\' && at + 1 < end) ? 2 : 1;
            }
            const QByteArray text(start, int(at - start));
            at += at < end ? 1 : 0;
            if (!open.empty() && open.back().keyNext) {
                Container &object = open.back();
                const QString key = decodedKey(text);
                if (object.keys.contains(key)) {
                    return key;
                }
                object.keys.insert(key);
                object.keyNext = false;
            }
        } else if (c == '{' || c == '[') {
            open.push_back({c == '{', c == '{', {}});
        } else if ((c == '}' || c == ']') && !open.empty()) {
            open.pop_back();
        } else if (c == ',' && !open.empty() && open.back().object) {
            open.back().keyNext = true;
        }
    }
    return std::nullopt;
}
