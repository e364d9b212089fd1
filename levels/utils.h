// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef MIC_UTILS_H
#define MIC_UTILS_H

#include "level.h"

#include <QList>
#include <QStringList>

// Integrity levels as the system defines them. Levels are bit masks: a level
// covers another when it holds all of its bits. Nothing is cached; every call
// asks the security-label library again.
namespace Mic
{
namespace Utils
{
Mic::Level defaultMaxLevel();
Mic::Level defaultVireoLevel();
Mic::Level currentMaxLevel();
Mic::Level previousMaxLevel();
QList<Mic::Level> allLevels();
QString levelName(unsigned int level);
bool isGoodLevel(unsigned int level);
bool isLevelCoverUnderlyingLevels(unsigned int level);
QStringList maxILevelNames();

// What stands against a maximum level for the next boot, checked in this
// order: MIC runs now at another non-zero maximum level (it must be turned
// off first), the level is not above the library's second-to-last level,
// or it does not cover all underlying levels (allowed, but worth a
// question). Level 0 (MIC off) meets none of them.
enum class MaxLevelProblem { None, RunningAtAnotherLevel, NotAbovePrevious, NotCoveringUnderlyingLevels };
MaxLevelProblem maxLevelProblem(unsigned int level);
unsigned int fileLevel(const QString &path);

// Level strings of the file-system integrity configuration: "max"/"high"
// (the system's maximum, given by the caller), "min"/"low", "0b" binary,
// numbers with automatic base, and "—" for no level.
unsigned int configLevelToNumber(const QString &level, unsigned int maxLevel, bool *ok);
bool compareConfigLevelStrings(const QString &a, const QString &b);
QString configLevelToPrettyName(const QString &level);
QString fsIlevConfPath();
}
}

#endif
