// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "utils.h"
#include "constants.h"

#include <texts.h>

#include <ksec.h>

#include <cstdlib>
#include <optional>

using namespace Mic::Texts;

namespace Mic
{
namespace Utils
{
namespace
{
const QString nameSeparator = QStringLiteral(" - ");

// Levels that include every lower level by mask: 2^k - 1 for k = 4..8.
constexpr unsigned int coveringLevels[] = {15, 31, 63, 127, 255};

QString numberedName(unsigned int value, const QString &text)
{
    return QString::number(value) + nameSeparator + text;
}

// The library's text for a level; nullopt when it has none at all.
std::optional<QString> libraryText(unsigned int level)
{
    char *text = ksec_ilev_get_text(level, nullptr);
    if (!text) {
        return std::nullopt;
    }
    const QString converted = QString::fromLocal8Bit(text);
    std::free(text);
    return converted;
}

// The name of a level for which the library has no text of its own.
QString fallbackName(unsigned int value)
{
    switch (value) {
    case 63:
        return defaultMaxLevel().name;
    case 127:
        return defaultVireoLevel().name;
    default:
        return QString::number(value);
    }
}

enum class NullText { UseDefaults, NumberOnly };

QString nameFromLibrary(unsigned int value, NullText nullText)
{
    const std::optional<QString> text = libraryText(value);
    if (!text) {
        return nullText == NullText::UseDefaults ? fallbackName(value) : QString::number(value);
    }
    if (text->isEmpty() || *text == QString::number(value)) {
        return fallbackName(value);
    }
    return numberedName(value, *text);
}

// The library's second-to-last level, which a new maximum must exceed.
std::optional<unsigned int> levelBelowTop()
{
    int count = 0;
    const uint32_t *levels = ksec_get_ilevs(&count);
    if (!levels) {
        return std::nullopt;
    }
    // A list of fewer than two entries has no level below its top: count it
    // as 0, so that every non-zero maximum is above it.
    return count >= 2 ? levels[count - 2] : 0u;
}
}

Mic::Level defaultMaxLevel()
{
    return {63, numberedName(63, i18n("High"))};
}

Mic::Level defaultVireoLevel()
{
    return {127, numberedName(127, i18n("Vireo"))};
}

Mic::Level currentMaxLevel()
{
    const unsigned int value = ksec_get_max_ilev();
    return {value, nameFromLibrary(value, NullText::UseDefaults)};
}

Mic::Level previousMaxLevel()
{
    int count = 0;
    const uint32_t *levels = ksec_get_ilevs(&count);
    if (!levels) {
        return {0, QString()};
    }
    const unsigned int value = levelBelowTop().value_or(0);
    return {value, numberedName(value, libraryText(value).value_or(QString()))};
}

QList<Mic::Level> allLevels()
{
    int count = 0;
    const uint32_t *levels = ksec_get_ilevs(&count);
    QList<Mic::Level> catalogue;
    catalogue.reserve(count + 1);
    // The library's own top level gives way to 63, and 127 follows it.
    for (int i = 0; i <= count; ++i) {
        const unsigned int value = i == count ? 127u : i == count - 1 ? 63u : levels[i];
        catalogue.append({value, nameFromLibrary(value, NullText::NumberOnly)});
    }
    return catalogue;
}

QString levelName(unsigned int level)
{
    const QList<Mic::Level> catalogue = allLevels();
    for (const Mic::Level &entry : catalogue) {
        if (entry.value == level) {
            return entry.name;
        }
    }
    return QString::number(level);
}

bool isGoodLevel(unsigned int level)
{
    if (level == 0) {
        return true;
    }
    const std::optional<unsigned int> below = levelBelowTop();
    return below && *below < level;
}

bool isLevelCoverUnderlyingLevels(unsigned int level)
{
    if (level == 0) {
        return true;
    }
    for (unsigned int covering : coveringLevels) {
        if (covering == level) {
            return true;
        }
    }
    return false;
}

QStringList maxILevelNames()
{
    QStringList names;
    for (unsigned int covering : coveringLevels) {
        names.append(QString::number(covering));
    }
    return names;
}

MaxLevelProblem maxLevelProblem(unsigned int level)
{
    if (level == 0) {
        return MaxLevelProblem::None;
    }
    const unsigned int current = currentMaxLevel().value;
    if (current != 0 && current != level) {
        return MaxLevelProblem::RunningAtAnotherLevel;
    }
    if (level <= previousMaxLevel().value) {
        return MaxLevelProblem::NotAbovePrevious;
    }
    return isLevelCoverUnderlyingLevels(level) ? MaxLevelProblem::None : MaxLevelProblem::NotCoveringUnderlyingLevels;
}

unsigned int fileLevel(const QString &path)
{
    ksec_label_t *label = ksec_get_path(path.toUtf8().constData());
    if (!label) {
        return 0;
    }
    const unsigned int level = ksecl_ilev(label);
    ksecl_put(label);
    return level;
}

unsigned int configLevelToNumber(const QString &level, unsigned int maxLevel, bool *ok)
{
    if (level == maxLevelString || level == highLevelString) {
        return maxLevel;
    }
    if (level == minLevelString || level == lowLevelString) {
        return 0;
    }
    if (level.size() >= 2 && level.at(0) == QLatin1Char('0') && (level.at(1) == QLatin1Char('b') || level.at(1) == QLatin1Char('B'))) {
#if QT_VERSION_MAJOR >= 6
        return QStringView(level).mid(2).toUInt(ok, 2);
#else
        return level.midRef(2).toUInt(ok, 2);
#endif
    }
    return level.toUInt(ok, 0);
}

bool compareConfigLevelStrings(const QString &a, const QString &b)
{
    if (a == b) {
        return true;
    }
    if (a == noLevelString || b == noLevelString) {
        return false;
    }
    // Keywords compare as words, and not symmetrically: "max" matches only
    // "high" after it, and nothing but "max" matches "max" or "high" after it.
    if (a == maxLevelString && b != highLevelString) {
        return false;
    }
    if (a != maxLevelString && (b == maxLevelString || b == highLevelString)) {
        return false;
    }
    const unsigned int first = configLevelToNumber(a, currentMaxLevel().value, nullptr);
    const unsigned int second = configLevelToNumber(b, currentMaxLevel().value, nullptr);
    return first == second;
}

QString configLevelToPrettyName(const QString &level)
{
    if (level.isEmpty() || level == noLevelString) {
        return noLevelString;
    }
    // The words stand for the system's maximum: shown as that level with
    // the word beside it, so that "high" does not read as another level
    // than the catalogue's level of that value.
    if (level == maxLevelString || level == highLevelString) {
        const unsigned int maximum = currentMaxLevel().value;
        return i18nc("@item a level and the word it was written as", "%1 (%2)", levelName(maximum != 0 ? maximum : defaultMaxLevel().value), level);
    }
    bool ok = true;
    const unsigned int value = configLevelToNumber(level, defaultMaxLevel().value, &ok);
    return ok ? levelName(value) : i18n("<Wrong level>");
}

QString fsIlevConfPath()
{
    return fsIlevConfFile;
}
}
}
