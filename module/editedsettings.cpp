// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "editedsettings.h"

#include <constants.h>
#include <settingvalues.h>

#include <QStringList>

#include <algorithm>

// The keys and statuses of the settings, used throughout.
using namespace Mic::Settings;

namespace
{
void addMicState(const ReadReply &read, const Change &shown, Change *edited)
{
    if (shown.mic && enabledAfterReboot(*shown.mic) != enabledAfterReboot(read.mic)) {
        edited->mic = shown.mic;
    }
    if (shown.futureLevel && *shown.futureLevel != read.futureLevel) {
        edited->futureLevel = shown.futureLevel;
    }
}

// A user without a level read has level 0.
void addUsers(const ReadReply &read, const Change &shown, Change *edited)
{
    QHash<QString, unsigned int> changed;
    const QHash<QString, unsigned int> shownLevels = shown.userLevels.value_or(QHash<QString, unsigned int>());
    for (auto it = shownLevels.cbegin(); it != shownLevels.cend(); ++it) {
        if (it.value() != read.userLevels.value(it.key())) {
            changed.insert(it.key(), it.value());
        }
    }
    if (!changed.isEmpty()) {
        edited->userLevels = changed;
    }
}

void addServices(const ReadReply &read, const Change &shown, Change *edited)
{
    if (shown.isolation != Status::Partly) {
        if (shown.isolation && *shown.isolation != read.isolation) {
            edited->isolation = shown.isolation;
        }
        return;
    }
    QHash<QString, bool> readIsolation;
    for (const Service &service : read.services) {
        readIsolation.insert(service.name, service.isolated);
    }
    QList<ServiceIsolation> changed;
    const QList<ServiceIsolation> shownServices = shown.services.value_or(QList<ServiceIsolation>());
    for (const ServiceIsolation &service : shownServices) {
        if (readIsolation.value(service.name) != service.isolated) {
            changed.append(service);
        }
    }
    if (!changed.isEmpty()) {
        edited->isolation = Status::Partly;
        edited->services = changed;
    }
}

// Rule changes that leave a rule as it was read are none.
bool addRules(const ReadReply &read, const Change &shown, Change *edited)
{
    const QVariantHash readRules = read.rules.value_or(QVariantHash());
    const QHash<QString, QString> shownChanges = shown.ruleChanges.value_or(QHash<QString, QString>());
    QHash<QString, QString> changed;
    for (auto it = shownChanges.cbegin(); it != shownChanges.cend(); ++it) {
        const auto before = readRules.constFind(it.key());
        const bool unchanged = before == readRules.cend() ? it.value() == Mic::noLevelString : before.value().toString() == it.value();
        if (!unchanged) {
            changed.insert(it.key(), it.value());
        }
    }
    if (changed.isEmpty()) {
        return false;
    }
    edited->ruleChanges = changed;
    return true;
}

bool addExceptions(const ReadReply &read, const Change &shown, Change *edited)
{
    if (!shown.exceptions) {
        return false;
    }
    QStringList before = read.exceptions;
    QStringList after = *shown.exceptions;
    std::sort(before.begin(), before.end());
    std::sort(after.begin(), after.end());
    if (before == after) {
        return false;
    }
    edited->exceptions = shown.exceptions;
    return true;
}

void addProtection(const ReadReply &read, Status shown, bool configurationChanged, Change *edited)
{
    if (shown != read.protection && shown != Status::Partly) {
        edited->protection = shown;
        return;
    }
    const bool on = read.protection == Status::Enabled || read.protection == Status::Partly;
    if (configurationChanged && on && shown != Status::Disabled) {
        edited->protection = Status::Enabled;
    }
}
}

Change EditedSettings::request(const ReadReply &read, const Change &shown)
{
    Change edited;
    addMicState(read, shown, &edited);
    addUsers(read, shown, &edited);
    addServices(read, shown, &edited);
    const bool rulesChanged = addRules(read, shown, &edited);
    const bool exceptionsChanged = addExceptions(read, shown, &edited);
    if (shown.protection) {
        addProtection(read, *shown.protection, rulesChanged || exceptionsChanged, &edited);
    }
    return edited;
}
