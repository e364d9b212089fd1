// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef MICCTL_HISTORYTEXT_H
#define MICCTL_HISTORYTEXT_H

#include <QJsonObject>
#include <QString>
#include <QVariantList>
#include <QVariantMap>

#include <optional>

/*
 * The history of changes as micctl gives it: an entry of the helper's reply
 * as a line for an administrator and as an object for scripts, and the
 * applied change a rollback goes back before.
 */
namespace HistoryText
{
// A time as the helper records it ("2026-12-09T17:29:39Z") in ISO 8601, in
// this machine's local time with its offset from UTC
// ("2026-12-09T18:29:39+01:00"), as `date --iso-8601=seconds` writes it: one
// form in every language and locale, which says its zone. A text that is no
// such time is given as it is.
QString isoTime(const QString &recorded);

// An entry as `micctl history` prints it: one line, and a second one with
// what the helper answered when there is that.
QString line(const QVariantMap &entry);

// An entry with the keys of `micctl history --json`; "time" as the helper
// records it, in UTC.
QJsonObject object(const QVariantMap &entry);

// Of the history's `entries` (newest first), the applied change `back`
// changes before now (1 the last); or, in `error`, that there is none.
std::optional<QVariantMap> appliedChange(const QVariantList &entries, int back, QString *error);
}

#endif
