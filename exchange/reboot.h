// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef MIC_REBOOT_H
#define MIC_REBOOT_H

#include <QString>

namespace Mic
{
// Asks the window manager to reboot the machine, waiting up to 30 s for
// the command; a command still running then is ended. False, with the
// reason, when the command could not be run or reported a failure.
bool rebootMachine(QString *error = nullptr);
}

#endif
