// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "settingvalues.h"

namespace Mic::Settings
{
namespace
{
Status statusIn(const QVariantMap &map, const QString &key)
{
    return Status(map.value(key).toInt());
}

QHash<QString, unsigned int> levelsOf(const QVariantHash &hash)
{
    QHash<QString, unsigned int> levels;
    levels.reserve(hash.size());
    for (auto it = hash.cbegin(); it != hash.cend(); ++it) {
        levels.insert(it.key(), it.value().toUInt());
    }
    return levels;
}

QVariantHash wireOf(const QHash<QString, unsigned int> &levels)
{
    QVariantHash hash;
    hash.reserve(levels.size());
    for (auto it = levels.cbegin(); it != levels.cend(); ++it) {
        hash.insert(it.key(), QVariant::fromValue<uint>(it.value()));
    }
    return hash;
}

Service serviceOf(const QVariantHash &fields)
{
    return {fields.value(serviceNameKey).toString(),
            fields.value(serviceLevelKey).toUInt(),
            fields.value(serviceIsolatableKey).toBool(),
            fields.value(serviceIsolatedKey).toBool(),
            fields.value(serviceInErrorKey).toBool()};
}

QVariantHash wireOf(const Service &service)
{
    return {{serviceNameKey, service.name},
            {serviceLevelKey, QVariant::fromValue<uint>(service.level)},
            {serviceInErrorKey, service.inError},
            {serviceIsolatedKey, service.isolated},
            {serviceIsolatableKey, service.isolatable}};
}

Relabelled relabelledOf(const QVariantHash &fields)
{
    return {fields.value(relabelledPathKey).toString(),
            fields.value(relabelledFromKey).toUInt(),
            fields.value(relabelledToKey).toUInt(),
            fields.value(relabelledContainerKey).toBool()};
}

QVariantHash wireOf(const Relabelled &object)
{
    return {{relabelledPathKey, object.path},
            {relabelledFromKey, object.from},
            {relabelledToKey, object.to},
            {relabelledContainerKey, object.container}};
}
}

bool Service::operator==(const Service &other) const
{
    return name == other.name && level == other.level && isolatable == other.isolatable && isolated == other.isolated && inError == other.inError;
}

ReadReply ReadReply::fromWire(const QVariantMap &map)
{
    ReadReply reply;
    reply.mic = statusIn(map, micStatusKey);
    reply.futureLevel = map.value(futureLevelKey).toUInt();
    reply.protection = statusIn(map, fsStatusKey);
    if (map.contains(fsStatusMessagesKey)) {
        reply.unprotected = map.value(fsStatusMessagesKey).toStringList();
    }
    if (map.contains(fsLabellableCountKey)) {
        reply.labellableCount = map.value(fsLabellableCountKey).toInt();
    }
    reply.configPath = map.value(fsConfigPathKey).toString();
    if (map.contains(rulesKey)) {
        reply.rules = map.value(rulesKey).toHash();
    }
    reply.defaultRules = map.value(defaultRulesKey).toHash();
    reply.exceptions = map.value(exceptionsKey).toStringList();
    reply.defaultExceptions = map.value(defaultExceptionsKey).toStringList();
    reply.userLevels = levelsOf(map.value(userLevelsKey).toHash());
    const QVariantList services = map.value(servicesKey).toList();
    for (const QVariant &service : services) {
        reply.services.append(serviceOf(service.toHash()));
    }
    reply.isolation = statusIn(map, servicesIsolatedStatusKey);
    return reply;
}

QVariantMap ReadReply::toWire() const
{
    QVariantMap map;
    map.insert(micStatusKey, wire(mic));
    map.insert(futureLevelKey, QVariant::fromValue<uint>(futureLevel));
    if (protection != Status::None) {
        map.insert(fsStatusKey, wire(protection));
    }
    if (unprotected) {
        map.insert(fsStatusMessagesKey, *unprotected);
    }
    if (labellableCount) {
        map.insert(fsLabellableCountKey, *labellableCount);
    }
    map.insert(fsConfigPathKey, configPath);
    if (rules) {
        map.insert(rulesKey, *rules);
        map.insert(defaultRulesKey, defaultRules);
        map.insert(exceptionsKey, exceptions);
        map.insert(defaultExceptionsKey, defaultExceptions);
    }
    map.insert(userLevelsKey, wireOf(userLevels));
    QVariantList serviceList;
    for (const Service &service : services) {
        serviceList.append(wireOf(service));
    }
    map.insert(servicesKey, serviceList);
    map.insert(servicesIsolatedKey, int(checkStateOf(isolation)));
    map.insert(servicesIsolatedStatusKey, wire(isolation));
    return map;
}

bool ServiceIsolation::operator==(const ServiceIsolation &other) const
{
    return name == other.name && isolated == other.isolated;
}

bool Change::isEmpty() const
{
    return !mic && !futureLevel && !protection && !userLevels && !ruleChanges && !exceptions && !isolation && !services;
}

bool Change::operator==(const Change &other) const
{
    return mic == other.mic && futureLevel == other.futureLevel && protection == other.protection && userLevels == other.userLevels
        && ruleChanges == other.ruleChanges && exceptions == other.exceptions && isolation == other.isolation && services == other.services;
}

QVariantMap Change::toWire() const
{
    QVariantMap map;
    if (mic) {
        map.insert(micStatusKey, wire(*mic));
    }
    if (futureLevel) {
        map.insert(futureLevelKey, QVariant::fromValue<uint>(*futureLevel));
    }
    if (protection) {
        map.insert(fsStatusKey, wire(*protection));
    }
    if (userLevels) {
        map.insert(userLevelsKey, wireOf(*userLevels));
    }
    if (ruleChanges) {
        map.insert(rulesKey, wireTable(*ruleChanges));
    }
    if (exceptions) {
        map.insert(exceptionsKey, *exceptions);
    }
    if (isolation) {
        map.insert(servicesIsolatedStatusKey, wire(*isolation));
    }
    if (services) {
        QVariantList list;
        for (const ServiceIsolation &service : *services) {
            list.append(QVariantHash{{serviceNameKey, service.name}, {serviceIsolatedKey, service.isolated}});
        }
        map.insert(servicesKey, list);
    }
    return map;
}

bool Relabelled::operator==(const Relabelled &other) const
{
    return path == other.path && from == other.from && to == other.to && container == other.container;
}

ChangeOutcome ChangeOutcome::fromWire(const QVariantMap &map)
{
    ChangeOutcome outcome;
    outcome.warnings = map.value(warningsKey).toStringList();
    outcome.needReboot = map.value(needRebootKey).toBool();
    const QVariantList relabelled = map.value(relabelledKey).toList();
    for (const QVariant &object : relabelled) {
        outcome.relabelled.append(relabelledOf(object.toHash()));
    }
    outcome.relabelledCount = map.value(relabelledCountKey).toInt();
    outcome.loweredCount = map.value(loweredCountKey).toInt();
    return outcome;
}

QVariantMap ChangeOutcome::toWire() const
{
    QVariantList list;
    for (const Relabelled &object : relabelled) {
        list.append(wireOf(object));
    }
    return {{warningsKey, warnings},
            {needRebootKey, needReboot},
            {relabelledKey, list},
            {relabelledCountKey, relabelledCount},
            {loweredCountKey, loweredCount}};
}

QVariantHash wireTable(const QHash<QString, QString> &rules)
{
    QVariantHash hash;
    hash.reserve(rules.size());
    for (auto it = rules.cbegin(); it != rules.cend(); ++it) {
        hash.insert(it.key(), it.value());
    }
    return hash;
}

Qt::CheckState checkStateOf(Status status)
{
    return status == Status::Enabled ? Qt::Checked : status == Status::Partly ? Qt::PartiallyChecked : Qt::Unchecked;
}
}
