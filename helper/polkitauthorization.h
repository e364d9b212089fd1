// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef POLKITAUTHORIZATION_H
#define POLKITAUTHORIZATION_H

#include <QDBusConnection>
#include <QMap>
#include <QObject>
#include <QString>

#include <functional>

/*
 * Asks polkit, without waiting for it, whether a connection to the system
 * bus may perform an action. The answer comes once, as a callback: true only
 * when polkit says so. An error of polkit (the caller's connection is gone,
 * polkit itself is missing) or no answer within `answerWait` counts as a
 * refusal, so that no caller can hold an authorization open forever; a
 * check that outlived its bound is cancelled at polkit, which closes an
 * authentication dialog still asking for a password.
 */
namespace PolkitAuthorization
{
// Long enough for an administrator to type a password in the dialog the
// authentication agent shows.
constexpr int answerWait = 120000;

using Answer = std::function<void(bool authorized)>;

// `details` as polkit takes them (its own keys, such as "polkit.message",
// among the caller's). `answer` is called in the thread of `context`, and
// not at all once `context` is gone.
void check(const QDBusConnection &bus,
           const QString &actionId,
           const QString &busName,
           const QMap<QString, QString> &details,
           QObject *context,
           const Answer &answer,
           int wait = answerWait);
}

#endif
