// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef CHANGEREQUEST_H
#define CHANGEREQUEST_H

#include <settingvalues.h>

#include <QStringList>
#include <QVariantMap>

#include <optional>

using Mic::Settings::ServiceIsolation;

/*
 * A change request of the module, checked whole before anything is applied:
 * only known keys with their types, levels 0..255, users of the machine
 * whose names the users' state file can hold, absolute normalised paths
 * other than "/" without control characters, valid level strings. The first
 * fault found is reported with the key and the value, in the user's words,
 * names and values escaped where they hold what cannot be shown.
 */
struct ChangeRequest : Mic::Settings::Change {
    // Work out what the change would do, and change nothing.
    bool checkOnly = false;

    // `isolatableServices`: the services of the system that can be isolated.
    static std::optional<ChangeRequest> parse(const QVariantMap &args, const QStringList &isolatableServices, QString *error);

    // Why the users' state file cannot hold an entry for `user` (a blank,
    // "=" or a control character in the name, or a "#" before it), or
    // nothing.
    static QString userNameProblem(const QString &user);
};

#endif
