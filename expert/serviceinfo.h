// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef SERVICEINFO_H
#define SERVICEINFO_H

#include <utils.h>

#include <KLocalizedString>

#include <QHash>
#include <QString>
#include <QVariant>

namespace Mic
{
// A service that may be started on an isolated integrity level.
struct ServiceInfo {
    QString name;
    bool isIsolatable = false;
    bool isIsolated = false;
    bool isError = false; // shown disabled, without a level; bulk isolation leaves it alone
    QString levelDisplayName;
    QString toolTip;

    bool operator==(const ServiceInfo &other) const
    {
        return name == other.name && isIsolatable == other.isIsolatable && isIsolated == other.isIsolated && isError == other.isError
            && levelDisplayName == other.levelDisplayName && toolTip == other.toolTip;
    }
};

// A service as the helper reports it; missing keys read as empty, false or 0.
inline ServiceInfo serviceInfoFromMap(const QHash<QString, QVariant> &map)
{
    ServiceInfo info;
    info.name = map.value(QStringLiteral("name")).toString();
    info.isIsolatable = map.value(QStringLiteral("isIsolatable")).toBool();
    info.isIsolated = map.value(QStringLiteral("isIsolated")).toBool();
    info.isError = map.value(QStringLiteral("isError")).toBool();
    info.levelDisplayName = Mic::Utils::levelName(map.value(QStringLiteral("iLevel")).toUInt());
    if (info.isError) {
        info.toolTip = i18n("%1 is in error: its isolation cannot be changed until the error is mended.", info.name);
    } else if (!info.isIsolatable) {
        info.toolTip = i18n("%1 cannot be started on an isolated level.", info.name);
    } else {
        info.toolTip = info.name;
    }
    return info;
}

// A service as a change request carries it; the level is the system's to
// report, never the module's to set.
inline QHash<QString, QVariant> serviceInfoToMap(const ServiceInfo &info)
{
    return {
        {QStringLiteral("name"), info.name},
        {QStringLiteral("isIsolatable"), info.isIsolatable},
        {QStringLiteral("isIsolated"), info.isIsolated},
        {QStringLiteral("isError"), info.isError},
    };
}
}

#endif
