// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef MIC_LEVEL_H
#define MIC_LEVEL_H

#include <QMetaType>
#include <QString>

namespace Mic
{
// One entry of the integrity level catalogue.
struct Level {
    unsigned int value = 0;
    QString name;

    bool operator==(const Level &other) const
    {
        return value == other.value && name == other.name;
    }
};
}

Q_DECLARE_METATYPE(Mic::Level)

#endif
