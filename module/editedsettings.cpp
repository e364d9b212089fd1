// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "editedsettings.h"

#include <constants.h>
#include <settings.h>

#include <QStringList>

#include <algorithm>

// The keys and statuses of the settings, used throughout.
using namespace Mic::Settings;

namespace
{
bool onAtNextBoot(int micStatus)
{
    return micStatus == wire(Status::Enabled) || micStatus == wire(Status::EnabledAfterReboot);
}

void addMicState(const QVariantMap &read, const QVariantMap &shown, QVariantMap *edited)
{
    if (shown.contains(micStatusKey) && onAtNextBoot(shown.value(micStatusKey).toInt()) != onAtNextBoot(read.value(micStatusKey).toInt())) {
        edited->insert(micStatusKey, shown.value(micStatusKey));
    }
    if (shown.contains(futureLevelKey) && shown.value(futureLevelKey).toUInt() != read.value(futureLevelKey).toUInt()) {
        edited->insert(futureLevelKey, shown.value(futureLevelKey));
    }
}

// A user without a level read has level 0.
void addUsers(const QVariantMap &read, const QVariantMap &shown, QVariantMap *edited)
{
    const QVariantHash readLevels = read.value(userLevelsKey).toHash();
    const QVariantHash shownLevels = shown.value(userLevelsKey).toHash();
    QVariantHash changed;
    for (auto it = shownLevels.cbegin(); it != shownLevels.cend(); ++it) {
        if (it.value().toUInt() != readLevels.value(it.key()).toUInt()) {
            changed.insert(it.key(), it.value());
        }
    }
    if (!changed.isEmpty()) {
        edited->insert(userLevelsKey, changed);
    }
}

void addServices(const QVariantMap &read, const QVariantMap &shown, QVariantMap *edited)
{
    const int shownStatus = shown.value(servicesIsolatedStatusKey).toInt();
    if (shownStatus != wire(Status::Partly)) {
        if (shown.contains(servicesIsolatedStatusKey) && shownStatus != read.value(servicesIsolatedStatusKey).toInt()) {
            edited->insert(servicesIsolatedStatusKey, shownStatus);
        }
        return;
    }
    QHash<QString, bool> readIsolation;
    const QVariantList readServices = read.value(servicesKey).toList();
    for (const QVariant &service : readServices) {
        const QVariantHash fields = service.toHash();
        readIsolation.insert(fields.value(QStringLiteral("name")).toString(), fields.value(QStringLiteral("isIsolated")).toBool());
    }
    QVariantList changed;
    const QVariantList shownServices = shown.value(servicesKey).toList();
    for (const QVariant &service : shownServices) {
        const QVariantHash fields = service.toHash();
        const QString name = fields.value(QStringLiteral("name")).toString();
        if (readIsolation.value(name) != fields.value(QStringLiteral("isIsolated")).toBool()) {
            changed.append(service);
        }
    }
    if (!changed.isEmpty()) {
        edited->insert(servicesIsolatedStatusKey, wire(Status::Partly));
        edited->insert(servicesKey, changed);
    }
}

// Rule changes that leave a rule as it was read are none.
bool addRules(const QVariantMap &read, const QVariantMap &shown, QVariantMap *edited)
{
    const QVariantHash readRules = read.value(rulesKey).toHash();
    const QVariantHash shownChanges = shown.value(rulesKey).toHash();
    QVariantHash changed;
    for (auto it = shownChanges.cbegin(); it != shownChanges.cend(); ++it) {
        const auto before = readRules.constFind(it.key());
        const bool unchanged = before == readRules.cend() ? it.value().toString() == Mic::noLevelString : before.value() == it.value();
        if (!unchanged) {
            changed.insert(it.key(), it.value());
        }
    }
    if (changed.isEmpty()) {
        return false;
    }
    edited->insert(rulesKey, changed);
    return true;
}

bool addExceptions(const QVariantMap &read, const QVariantMap &shown, QVariantMap *edited)
{
    if (!shown.contains(exceptionsKey)) {
        return false;
    }
    QStringList before = read.value(exceptionsKey).toStringList();
    QStringList after = shown.value(exceptionsKey).toStringList();
    std::sort(before.begin(), before.end());
    std::sort(after.begin(), after.end());
    if (before == after) {
        return false;
    }
    edited->insert(exceptionsKey, shown.value(exceptionsKey));
    return true;
}

void addProtection(const QVariantMap &read, const QVariantMap &shown, bool configurationChanged, QVariantMap *edited)
{
    const int shownStatus = shown.value(fsStatusKey).toInt();
    const int readStatus = read.value(fsStatusKey).toInt();
    if (shownStatus != readStatus && shownStatus != wire(Status::Partly)) {
        edited->insert(fsStatusKey, shownStatus);
        return;
    }
    const bool on = readStatus == wire(Status::Enabled) || readStatus == wire(Status::Partly);
    if (configurationChanged && on && shownStatus != wire(Status::Disabled)) {
        edited->insert(fsStatusKey, wire(Status::Enabled));
    }
}
}

QVariantMap EditedSettings::request(const QVariantMap &read, const QVariantMap &shown)
{
    QVariantMap edited;
    addMicState(read, shown, &edited);
    addUsers(read, shown, &edited);
    addServices(read, shown, &edited);
    const bool rulesChanged = addRules(read, shown, &edited);
    const bool exceptionsChanged = addExceptions(read, shown, &edited);
    if (shown.contains(fsStatusKey)) {
        addProtection(read, shown, rulesChanged || exceptionsChanged, &edited);
    }
    return edited;
}
