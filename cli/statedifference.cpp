// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "statedifference.h"

#include <constants.h>
#include <printable.h>
#include <settingvalues.h>
#include <utils.h>

#include <texts.h>

#include <QMap>
#include <QSet>
#include <QtConcurrent>

#include <algorithm>

using namespace Mic::Texts;

using Mic::Settings::Status;

namespace
{

const QString protectionKey = QStringLiteral("fileSystemProtection");

QString onOff(bool on)
{
    return on ? QStringLiteral("on") : QStringLiteral("off");
}

// The protection as the difference's data gives it.
QString protectionWord(Status status)
{
    return status == Status::Partly ? QStringLiteral("partly") : onOff(status == Status::Enabled);
}

QString enabledWord(bool enabled)
{
    return enabled ? QStringLiteral("enabled") : QStringLiteral("disabled");
}

QString isolatedWord(bool isolated)
{
    return isolated ? QStringLiteral("isolated") : QStringLiteral("not isolated");
}

// A level by its catalogue name, which starts with its number, or by its
// number. The names of 63 and 127 where the machine's catalogue has no text
// are the module's own, translated for the page: a line keeps them in
// English, as it keeps its own words.
QString shownLevel(unsigned int level)
{
    KLocalizedString::setLanguages({QStringLiteral("en_US")});
    const QString name = Mic::Utils::levelName(level);
    KLocalizedString::clearLanguages();
    return name;
}

// A line of the difference. Its form is the same in every language, so that
// scripts can read it (and a million of them cost no look-up in a catalogue).
// The arguments go in at once, since a path may hold "%2" itself, and as a
// terminal can show them, since they come from a file and the machine.
template<typename... Arguments>
QString line(const QString &form, const Arguments &...arguments)
{
    return form.arg(Mic::printable(arguments)...);
}

template<typename Value>
QList<QString> sortedKeys(const QHash<QString, Value> &hash)
{
    QList<QString> keys = hash.keys();
    std::sort(keys.begin(), keys.end());
    return keys;
}
}

StateDifference::StateDifference(const Mic::Settings::ReadReply &machine, const DesiredState &desired, bool skipMissing)
{
    compareBoot(machine, desired);
    const int protectionLines = changes.size();
    compareServices(machine, desired, skipMissing);
    compareUsers(machine, desired, skipMissing);
    if (desired.rules) {
        compareRules(machine, *desired.rules);
    }
    compareExceptions(machine, desired);
    // Last, since new rules are labelled only by protecting; its lines go
    // where an administrator looks for them, after the boot's.
    QList<Entry> after = changes.mid(protectionLines);
    changes = changes.mid(0, protectionLines);
    compareProtection(machine, desired);
    changes += after;
}

QStringList StateDifference::refusals() const
{
    return refused;
}

bool StateDifference::refusesMissingNames() const
{
    return refusedMissing;
}

QStringList StateDifference::warnings() const
{
    return warned;
}

bool StateDifference::isEmpty() const
{
    return changes.isEmpty();
}

QStringList StateDifference::lines() const
{
    QStringList lines;
    lines.reserve(changes.size());
    for (const Entry &entry : changes) {
        lines.append(entry.text);
    }
    return lines;
}

QList<StateDifference::Entry> StateDifference::entries() const
{
    return changes;
}

Mic::Settings::Change StateDifference::change() const
{
    return request;
}

void StateDifference::missing(const QString &text, bool skipMissing)
{
    if (skipMissing) {
        warned.append(i18n("Left out: %1", text));
    } else {
        refused.append(text);
        refusedMissing = true;
    }
}

void StateDifference::compareBoot(const Mic::Settings::ReadReply &machine, const DesiredState &desired)
{
    const bool enabled = Mic::Settings::enabledAfterReboot(machine.mic);
    const unsigned int level = machine.futureLevel;
    const bool wantEnabled = desired.micEnabledAfterReboot.value_or(enabled);
    unsigned int wantLevel = desired.maxLevelAfterReboot.value_or(level);
    // As the settings page does: MIC on without a level takes the default.
    if (wantEnabled && wantLevel == 0) {
        wantLevel = Mic::Utils::defaultMaxLevel().value;
    }
    // Only what differs is sent: a setting sent as it was read would undo
    // another administrator's change made since.
    if (wantEnabled != enabled) {
        request.mic = wantEnabled ? Status::Enabled : Status::Disabled;
        changes.append({u'~', QStringLiteral("micEnabledAfterReboot"), QString(), enabled, wantEnabled,
                        line(QStringLiteral("~ MIC after reboot: %1 → %2"), enabledWord(enabled), enabledWord(wantEnabled))});
    }
    if (wantLevel != level) {
        request.futureLevel = wantLevel;
        changes.append({u'~', QStringLiteral("maxLevelAfterReboot"), QString(), qint64(level), qint64(wantLevel),
                        line(QStringLiteral("~ maximum level after reboot: %1 → %2"), shownLevel(level), shownLevel(wantLevel))});
    }
    // The level only matters to a machine that boots with MIC on.
    if ((wantEnabled == enabled && wantLevel == level) || !wantEnabled) {
        return;
    }
    switch (Mic::Utils::maxLevelProblem(wantLevel)) {
    case Mic::Utils::MaxLevelProblem::RunningAtAnotherLevel:
        refused.append(i18n("If you want to change maximum integrity level you need to turn off MIC first."));
        break;
    case Mic::Utils::MaxLevelProblem::NotAbovePrevious:
        refused.append(i18n("Max integrity level can't be less than or equal to %1!", Mic::Utils::previousMaxLevel().name));
        break;
    case Mic::Utils::MaxLevelProblem::NotCoveringUnderlyingLevels:
        warned.append(i18n("The maximum level %1 does not cover all underlying levels, because levels are compared by mask; preferable values: %2.",
                           QString::number(wantLevel),
                           Mic::Utils::maxILevelNames().join(QStringLiteral(", "))));
        break;
    case Mic::Utils::MaxLevelProblem::None:
        break;
    }
}

void StateDifference::compareProtection(const Mic::Settings::ReadReply &machine, const DesiredState &desired)
{
    const Status status = machine.protection;
    const bool on = status == Status::Enabled || status == Status::Partly;
    const bool wantOn = desired.fileSystemProtection.value_or(on);
    if (wantOn != on) {
        request.protection = wantOn ? Status::Enabled : Status::Disabled;
        changes.append({u'~', protectionKey, QString(), protectionWord(status), onOff(wantOn), line(QStringLiteral("~ file-system protection: %1 → %2"), onOff(on), onOff(wantOn))});
        return;
    }
    if (!on) {
        return;
    }
    // Objects whose labels cannot be read stay unprotected whatever a save
    // does; counting them would make every run a change.
    const int labellable = machine.labellableCount.value_or(machine.unprotected.value_or(QStringList()).size());
    const bool fixable = status == Status::Partly && labellable > 0;
    const bool rulesChanged = request.ruleChanges || request.exceptions;
    if (desired.fileSystemProtection == true && fixable) {
        request.protection = Status::Enabled;
        changes.append({u'~', protectionKey, QString(), QStringLiteral("partly"), QStringLiteral("on"),
                        line(QStringLiteral("~ file-system protection: partly → on (objects below their configured level: %1)"), QString::number(labellable))});
    } else if (rulesChanged) {
        // New rules take effect on the labels only by protecting again,
        // which labels every object below its level.
        request.protection = Status::Enabled;
        changes.append({u'~', protectionKey, QString(), protectionWord(status), QStringLiteral("on"),
                        fixable ? line(QStringLiteral("~ file-system protection: on, objects labelled by the changed rules and those below their configured "
                                                      "level (%1)"),
                                       QString::number(labellable))
                                : QStringLiteral("~ file-system protection: on, objects labelled by the changed rules")});
    } else if (desired.fileSystemProtection == true && status == Status::Partly) {
        warned.append(i18np("The label of one configured object cannot be read, so file-system protection stays partly.",
                            "The labels of %1 configured objects cannot be read, so file-system protection stays partly.",
                            machine.unprotected.value_or(QStringList()).size() - labellable));
    }
}

void StateDifference::compareServices(const Mic::Settings::ReadReply &machine, const DesiredState &desired, bool skipMissing)
{
    // Isolatable services that are not in error, and whether they are
    // isolated.
    QHash<QString, bool> current;
    QHash<QString, bool> inError;
    for (const Mic::Settings::Service &service : machine.services) {
        if (service.isolatable) {
            (service.inError ? inError : current).insert(service.name, service.isolated);
        }
    }
    QStringList changedServices;
    const QHash<QString, bool> named = desired.serviceIsolation.value_or(QHash<QString, bool>());
    const QStringList names = sortedKeys(named);
    for (const QString &name : names) {
        const bool isolated = named.value(name);
        if (inError.contains(name)) {
            // The helper cannot change it; trying on every run would never end.
            if (inError.value(name) != isolated) {
                warned.append(i18n("The service %1 is in error; its isolation is left as it is.", Mic::printable(name)));
            }
        } else if (!current.contains(name)) {
            missing(i18n("There is no service \"%1\" that can be isolated on this machine.", Mic::printable(name)), skipMissing);
        } else if (current.value(name) != isolated) {
            changes.append({u'~', QStringLiteral("serviceIsolation"), name, current.value(name), isolated,
                            line(QStringLiteral("~ service %1: %2 → %3"), name, isolatedWord(current.value(name)), isolatedWord(isolated))});
            changedServices.append(name);
        }
    }
    if (changedServices.isEmpty()) {
        return;
    }
    // "Some isolated" with the services that change: the helper then
    // touches those alone.
    QList<Mic::Settings::ServiceIsolation> list;
    for (const QString &name : std::as_const(changedServices)) {
        list.append({name, named.value(name)});
    }
    request.isolation = Status::Partly;
    request.services = list;
}

void StateDifference::compareUsers(const Mic::Settings::ReadReply &machine, const DesiredState &desired, bool skipMissing)
{
    const QHash<QString, unsigned int> &levels = machine.userLevels;
    const QHash<QString, unsigned int> wanted = desired.userLevels.value_or(QHash<QString, unsigned int>());
    QHash<QString, unsigned int> changed;
    const QStringList users = sortedKeys(wanted);
    for (const QString &user : users) {
        if (!levels.contains(user)) {
            missing(i18n("There is no user \"%1\" on this machine.", Mic::printable(user)), skipMissing);
            continue;
        }
        const unsigned int level = levels.value(user);
        if (level != wanted.value(user)) {
            changes.append({u'~', QStringLiteral("userLevels"), user, qint64(level), qint64(wanted.value(user)),
                            line(QStringLiteral("~ user %1: %2 → %3"), user, shownLevel(level), shownLevel(wanted.value(user)))});
            changed.insert(user, wanted.value(user));
        }
    }
    if (!changed.isEmpty()) {
        request.userLevels = changed;
    }
}

void StateDifference::compareRules(const Mic::Settings::ReadReply &machine, const QHash<QString, QString> &wanted)
{
    const QVariantHash current = machine.rules.value_or(QVariantHash());
    // Both tables are only read: the rules the file adds are looked for on
    // a second core while this one compares the machine's rules with the
    // file's.
    QFuture<QStringList> finding = QtConcurrent::run([&wanted, &current] {
        QStringList added;
        for (auto it = wanted.cbegin(); it != wanted.cend(); ++it) {
            if (!current.contains(it.key())) {
                added.append(it.key());
            }
        }
        return added;
    });
    QHash<QString, QString> changed;
    QMap<QString, Entry> lines;
    const QString rules = QStringLiteral("rules");
    for (auto it = current.cbegin(); it != current.cend(); ++it) {
        const auto found = wanted.constFind(it.key());
        if (found == wanted.cend()) {
            changed.insert(it.key(), Mic::noLevelString);
            lines.insert(it.key(), {u'-', rules, it.key(), it.value().toString(), QJsonValue(QJsonValue::Undefined), line(QStringLiteral("- rule %1 (was %2)"), it.key(), it.value().toString())});
        } else if (*found != it.value().toString()) {
            changed.insert(it.key(), *found);
            lines.insert(it.key(), {u'~', rules, it.key(), it.value().toString(), *found, line(QStringLiteral("~ rule %1: %2 → %3"), it.key(), it.value().toString(), *found)});
        }
    }
    const QStringList added = finding.result();
    for (const QString &path : added) {
        changed.insert(path, wanted.value(path));
        lines.insert(path, {u'+', rules, path, QJsonValue(QJsonValue::Undefined), wanted.value(path), line(QStringLiteral("+ rule %1: %2"), path, wanted.value(path))});
    }
    changes.append(lines.values());
    if (!changed.isEmpty()) {
        request.ruleChanges = changed;
    }
}

void StateDifference::compareExceptions(const Mic::Settings::ReadReply &machine, const DesiredState &desired)
{
    if (!desired.exceptions) {
        return;
    }
    const QStringList &current = machine.exceptions;
    const QSet<QString> had(current.cbegin(), current.cend());
    const QSet<QString> wanted(desired.exceptions->cbegin(), desired.exceptions->cend());
    if (had == wanted) {
        return;
    }
    QStringList added = (wanted - had).values();
    QStringList removed = (had - wanted).values();
    std::sort(added.begin(), added.end());
    std::sort(removed.begin(), removed.end());
    for (const QString &path : std::as_const(added)) {
        changes.append({u'+', QStringLiteral("exceptions"), path, QJsonValue(QJsonValue::Undefined), QJsonValue(QJsonValue::Undefined), line(QStringLiteral("+ exception %1"), path)});
    }
    for (const QString &path : std::as_const(removed)) {
        changes.append({u'-', QStringLiteral("exceptions"), path, QJsonValue(QJsonValue::Undefined), QJsonValue(QJsonValue::Undefined), line(QStringLiteral("- exception %1"), path)});
    }
    request.exceptions = *desired.exceptions;
}
