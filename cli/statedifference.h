// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef STATEDIFFERENCE_H
#define STATEDIFFERENCE_H

#include "desiredstate.h"

#include <settingvalues.h>

#include <QJsonValue>
#include <QStringList>

/*
 * What separates a machine from a desired state: the lines an administrator
 * reads ("+" added, "-" removed, "~" changed; the same in every language),
 * and the one change request
 * that carries exactly that difference, built as the settings page builds
 * its own. Settings the file leaves out keep the machine's value.
 *
 * A file that names users or services the machine does not have, or a
 * maximum level the machine cannot take, is refused whole; with
 * `skipMissing` the unknown users and services are left out with a
 * warning instead.
 */
class StateDifference
{
public:
    StateDifference(const Mic::Settings::ReadReply &machine, const DesiredState &desired, bool skipMissing);

    // Why the file cannot be applied to this machine; empty when it can.
    QStringList refusals() const;
    // Among the refusals, users or services the machine does not have.
    bool refusesMissingNames() const;
    QStringList warnings() const;
    bool isEmpty() const;
    QStringList lines() const;
    // One change of a setting: "+" added, "-" removed, "~" changed; the key
    // of the desired-state file, the rule's or exception's path, the user's
    // or the service's name (empty for the others), the value before and
    // after (none for what is added or removed), and its line.
    struct Entry {
        QChar change;
        QString setting;
        QString name;
        QJsonValue before;
        QJsonValue after;
        QString text;
    };
    QList<Entry> entries() const;
    // The change that carries the difference.
    Mic::Settings::Change change() const;

private:
    void compareBoot(const Mic::Settings::ReadReply &machine, const DesiredState &desired);
    void compareProtection(const Mic::Settings::ReadReply &machine, const DesiredState &desired);
    void compareServices(const Mic::Settings::ReadReply &machine, const DesiredState &desired, bool skipMissing);
    void compareUsers(const Mic::Settings::ReadReply &machine, const DesiredState &desired, bool skipMissing);
    void compareRules(const Mic::Settings::ReadReply &machine, const QHash<QString, QString> &wanted);
    void compareExceptions(const Mic::Settings::ReadReply &machine, const DesiredState &desired);
    void missing(const QString &text, bool skipMissing);

    Mic::Settings::Change request;
    QList<Entry> changes;
    QStringList refused;
    QStringList warned;
    bool refusedMissing = false;
};

#endif
