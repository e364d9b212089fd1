// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "micstatus.h"

void registerMicStatus()
{
    qRegisterMetaType<Mic::Status>("Mic::Status");
}
