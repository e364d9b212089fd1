// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "applyreport.h"

#include <QJsonArray>

namespace
{
QJsonObject entryObject(const StateDifference::Entry &entry)
{
    QJsonObject object{{QStringLiteral("change"), QString(entry.change)}, {QStringLiteral("setting"), entry.setting}, {QStringLiteral("text"), entry.text}};
    if (!entry.name.isEmpty()) {
        object.insert(QStringLiteral("name"), entry.name);
    }
    if (!entry.before.isUndefined()) {
        object.insert(QStringLiteral("before"), entry.before);
    }
    if (!entry.after.isUndefined()) {
        object.insert(QStringLiteral("after"), entry.after);
    }
    return object;
}

QJsonObject relabelledObject(const Mic::Settings::ChangeOutcome &outcome)
{
    QJsonArray objects;
    for (const Mic::Settings::Relabelled &object : outcome.relabelled) {
        objects.append(QJsonObject{{QStringLiteral("path"), object.path},
                                   {QStringLiteral("from"), qint64(object.from)},
                                   {QStringLiteral("to"), qint64(object.to)},
                                   {QStringLiteral("container"), object.container}});
    }
    return {{QStringLiteral("count"), qMax(outcome.relabelledCount, int(outcome.relabelled.size()))},
            {QStringLiteral("lowered"), outcome.loweredCount},
            {QStringLiteral("objects"), objects}};
}
}

ApplyReport::ApplyReport(bool check)
    : check(check)
    , relabelled(relabelledObject({}))
{
}

void ApplyReport::setDifference(const StateDifference &difference)
{
    const QList<StateDifference::Entry> entries = difference.entries();
    for (const StateDifference::Entry &entry : entries) {
        this->difference.append(entryObject(entry));
    }
}

void ApplyReport::setOutcome(const Mic::Settings::ChangeOutcome &outcome, bool waiting)
{
    changed = true;
    relabelled = relabelledObject(outcome);
    warnings += outcome.warnings;
    rebootRequired = outcome.needReboot || waiting;
}

void ApplyReport::addWarnings(const QStringList &texts)
{
    warnings += texts;
}

void ApplyReport::addError(const QString &text)
{
    errors.append(text);
}

void ApplyReport::setRebootRequired(bool required)
{
    rebootRequired = required;
}

QJsonObject ApplyReport::document() const
{
    return {{QStringLiteral("version"), 1},
            {QStringLiteral("check"), check},
            {QStringLiteral("changed"), changed},
            {QStringLiteral("failed"), !errors.isEmpty()},
            {QStringLiteral("difference"), difference},
            {QStringLiteral("relabelled"), relabelled},
            {QStringLiteral("warnings"), QJsonArray::fromStringList(warnings)},
            {QStringLiteral("errors"), QJsonArray::fromStringList(errors)},
            {QStringLiteral("rebootRequired"), rebootRequired}};
}
