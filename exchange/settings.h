// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef MIC_SETTINGS_H
#define MIC_SETTINGS_H

#include <QList>
#include <QString>
#include <QVariantMap>
#include <qnamespace.h>
#include <QtGlobal>

// The settings the module, micctl and the helper exchange: the keys of the
// maps a read answers and a change carries, and the statuses they hold, each
// named once here. The framing of the maps (seals, chunks, stages) is in
// protocol.h.
namespace Mic::Settings
{
// MIC itself: a Status (a change: Enabled or Disabled, from the next boot).
inline const QString micStatusKey = QStringLiteral("micStatus");
// The maximal integrity level from the next boot.
inline const QString futureLevelKey = QStringLiteral("micFutureLevel");

// File-system protection: a Status (a change: Enabled or Disabled).
inline const QString fsStatusKey = QStringLiteral("micFsStatus");
// A line for each unprotected object, and how many of them a save labels.
inline const QString fsStatusMessagesKey = QStringLiteral("micFsStatusMessages");
inline const QString fsLabellableCountKey = QStringLiteral("micFsLabellableCount");
inline const QString fsConfigPathKey = QStringLiteral("micFsConfigPath");
// Path -> level string; in a change, only the rules that change ("—" drops
// one).
inline const QString rulesKey = QStringLiteral("micFsCurrentItems");
inline const QString defaultRulesKey = QStringLiteral("micFsDefaultItems");
inline const QString exceptionsKey = QStringLiteral("micFsCurrentExceptions");
inline const QString defaultExceptionsKey = QStringLiteral("micFsDefaultExceptions");

// User name -> maximal level.
inline const QString userLevelsKey = QStringLiteral("userILevels");

// Service isolation: the services (see serviceinfo.h), whether all, some
// or none are isolated as read (a Qt::CheckState), and in a change a Status
// for all of them (Enabled, Partly: as each service says, Disabled).
inline const QString servicesKey = QStringLiteral("services");
inline const QString servicesIsolatedKey = QStringLiteral("servicesIsolated");
inline const QString servicesIsolatedStatusKey = QStringLiteral("servicesIsolatedStatus");
// The fields of a service: a read gives them all, a change the name and
// whether to isolate it.
inline const QString serviceNameKey = QStringLiteral("name");
inline const QString serviceLevelKey = QStringLiteral("iLevel");
inline const QString serviceIsolatableKey = QStringLiteral("isIsolatable");
inline const QString serviceIsolatedKey = QStringLiteral("isIsolated");
inline const QString serviceInErrorKey = QStringLiteral("isError");

// What a change answers.
inline const QString warningsKey = QStringLiteral("warnings");
inline const QString needRebootKey = QStringLiteral("needReboot");
// The objects it relabelled (the first of them), how many in all, and how
// many lost bits; each object with its path, its levels before and after,
// and whether it was raised as the container of another.
inline const QString relabelledKey = QStringLiteral("relabelled");
inline const QString relabelledCountKey = QStringLiteral("relabelledCount");
inline const QString loweredCountKey = QStringLiteral("loweredCount");
inline const QString relabelledPathKey = QStringLiteral("path");
inline const QString relabelledFromKey = QStringLiteral("from");
inline const QString relabelledToKey = QStringLiteral("to");
inline const QString relabelledContainerKey = QStringLiteral("container");

// A status as the maps carry it: its number is its value on the wire.
enum class Status : qint32 {
    None = 0, // not given
    Loading = 1, // read only: the labels are still being checked
    Enabled = 2,
    Partly = 3,
    Disabled = 4,
    EnabledAfterReboot = 5,
    DisabledAfterReboot = 6,
};

constexpr qint32 wire(Status status)
{
    return qint32(status);
}

// MIC is on, or will be, from the next boot.
constexpr bool enabledAfterReboot(Status mic)
{
    return mic == Status::Enabled || mic == Status::EnabledAfterReboot;
}

// A check box's state as a status: checked Enabled, partly Partly, else
// Disabled.
constexpr Status statusOfCheckState(Qt::CheckState state)
{
    return state == Qt::Checked ? Status::Enabled : state == Qt::PartiallyChecked ? Status::Partly : Status::Disabled;
}

// The statuses a change may carry under each key: the helper refuses any
// other.
inline const QList<Status> micStatusesOfAChange{Status::Enabled, Status::Disabled};
inline const QList<Status> fsStatusesOfAChange{Status::Enabled, Status::Disabled};
inline const QList<Status> isolationStatusesOfAChange{Status::Enabled, Status::Partly, Status::Disabled};
}

#endif
