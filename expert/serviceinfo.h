// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef SERVICEINFO_H
#define SERVICEINFO_H

#include <settingvalues.h>
#include <utils.h>

#include <KLocalizedString>

#include <QString>

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

// A service as a read reports it.
inline ServiceInfo serviceInfoOf(const Mic::Settings::Service &service)
{
    ServiceInfo info;
    info.name = service.name;
    info.isIsolatable = service.isolatable;
    info.isIsolated = service.isolated;
    info.isError = service.inError;
    info.levelDisplayName = Mic::Utils::levelName(service.level);
    if (info.isError) {
        info.toolTip = i18n("%1 is in error: its isolation cannot be changed until the error is mended.", info.name);
    } else if (!info.isIsolatable) {
        info.toolTip = i18n("%1 cannot be started on an isolated level.", info.name);
    } else {
        info.toolTip = info.name;
    }
    return info;
}
}

#endif
