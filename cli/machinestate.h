// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef MACHINESTATE_H
#define MACHINESTATE_H

#include <QJsonArray>
#include <QJsonObject>
#include <QMap>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

#include <settingvalues.h>

/*
 * What a read of the helper says about a machine, in the two forms the
 * command line gives it: the status an administrator reads, and the desired
 * state that another machine can be brought to. Level strings of rules stay
 * exactly as configured.
 */
class MachineState
{
public:
    // `reply`: the helper's read reply.
    explicit MachineState(const QVariantMap &reply);
    // `interruptedChange`: what the reply says of a change a crash cut short.
    MachineState(Mic::Settings::ReadReply settings, QVariant interruptedChange);

    // What a desired-state file holds of entries at their default: users at
    // level 0, the level of a user the users' state does not name.
    enum class Defaults {
        // Left out, and "defaultsLeftOut" says so: a file to bring other
        // machines to, which names only what was set.
        LeftOut,
        // Every user: the whole state, as going back to it needs.
        Included,
    };
    // The documented, versioned desired-state file (format "lumen-mic-state",
    // version 1), "format" and "version" first.
    QByteArray desiredStateFile(Defaults defaults) const;
    // The status, with stable keys, and the same in an administrator's words.
    QJsonObject status() const;
    bool micEnabledAfterReboot() const;
    // MIC or its maximum level is set for the next boot otherwise than it
    // runs: a change waits for a reboot.
    bool rebootPending() const;
    QString statusText() const;

private:
    struct IsolatableService {
        bool isolated = false;
        // The helper cannot change its isolation.
        bool inError = false;
    };

    // The file's settings but its identity, rules and exceptions.
    QJsonObject desiredState(Defaults defaults) const;
    static QString micWord(Mic::Settings::Status status);
    static QString protectionWord(Mic::Settings::Status status);
    static QString isolationWord(Mic::Settings::Status status);
    QString isolationText() const;
    QStringList serviceLines() const;
    QJsonObject userLevels(Defaults defaults = Defaults::Included) const;
    QMap<QString, IsolatableService> isolatableServices() const;
    QJsonObject serviceIsolation() const;
    static QJsonArray levelCatalogue();
    QJsonArray servicesInError() const;

    Mic::Settings::ReadReply settings;
    QVariant interruptedChange;
};

#endif
