// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef EDITEDSETTINGS_H
#define EDITEDSETTINGS_H

#include <settingvalues.h>

/*
 * What the administrator changed on the pages, as a change request: the
 * settings whose value on the pages differs from the one read, and nothing
 * else. A change made elsewhere since the read (by micctl, by another
 * administrator) then stays as it is.
 *
 * `shown` holds every setting as the pages show it, with the file-system
 * protection as its box shows it (Partly while it is partly checked, as
 * read) and the rule changes the pages hold. `read` is the reply of the
 * last read.
 *
 * File-system protection goes only when the administrator changed it, or
 * changed rules or exceptions while it is on: those must reach the labels.
 */
namespace EditedSettings
{
Mic::Settings::Change request(const Mic::Settings::ReadReply &read, const Mic::Settings::Change &shown);
}

#endif
