// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef MIC_STATUS_H
#define MIC_STATUS_H

#include <QMetaType>
#include <QObject>

#include <settings.h>

namespace Mic
{
Q_NAMESPACE

// The state of MIC, of file-system protection and of service isolation, as
// the privileged helper reports it: the statuses of the settings, as the
// pages name them.
enum Status : qint32 {
    Undefined = 0,
    Loading = Mic::Settings::wire(Mic::Settings::Status::Loading),
    Enabled = Mic::Settings::wire(Mic::Settings::Status::Enabled),
    Partly = Mic::Settings::wire(Mic::Settings::Status::Partly),
    Disabled = Mic::Settings::wire(Mic::Settings::Status::Disabled),
    EnabledAfterReboot = Mic::Settings::wire(Mic::Settings::Status::EnabledAfterReboot),
    DisabledAfterReboot = Mic::Settings::wire(Mic::Settings::Status::DisabledAfterReboot),
};
Q_ENUM_NS(Status)
}

// Registers the type under the name "Mic::Status", so that a plain integer in
// a QVariant converts to it.
void registerMicStatus();

#endif
