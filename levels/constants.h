// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef MIC_CONSTANTS_H
#define MIC_CONSTANTS_H

#include <QString>

// Words of the level strings of the file-system integrity configuration.
namespace Mic
{
inline const QString highLevelString = QStringLiteral("high");
inline const QString maxLevelString = QStringLiteral("max");
inline const QString minLevelString = QStringLiteral("min");
inline const QString lowLevelString = QStringLiteral("low");
// No level assigned: an empty level cell, or a rule to remove.
inline const QString noLevelString = QStringLiteral("\u2014");
inline const QString fsIlevConfFile = QStringLiteral("/etc/kestrel/fs-ilev.conf");
}

#endif
