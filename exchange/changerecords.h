// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef MIC_CHANGERECORDS_H
#define MIC_CHANGERECORDS_H

#include <QString>
#include <QVariant>

namespace Mic
{
// The warning about a change the helper could not finish and undid, as the
// page and micctl give it; empty when `change` (a reply's
// "interruptedChange") names none.
QString interruptedChangeText(const QVariant &change);

// What a change of the history asked for, as the helper records it beside
// its English summary (the key "changes" of an entry), so that each reader
// gets it in their own language. Each key is there only when the change
// asked for that setting.
namespace HistoryChanges
{
inline const QString key = QStringLiteral("changes");
inline const QString mic = QStringLiteral("mic"); // bool: on at the next boot
inline const QString futureLevel = QStringLiteral("futureLevel"); // level at the next boot
inline const QString protection = QStringLiteral("protection"); // bool
inline const QString isolation = QStringLiteral("isolation"); // bool: of every service
// {count, shown: [[name, level or isolated]...]}: how many, and the first
// few by name.
inline const QString users = QStringLiteral("users");
inline const QString services = QStringLiteral("services");
inline const QString count = QStringLiteral("count");
inline const QString shown = QStringLiteral("shown");
inline const QString rules = QStringLiteral("rules"); // {set, removed}
inline const QString rulesSet = QStringLiteral("set");
inline const QString rulesRemoved = QStringLiteral("removed");
inline const QString exceptions = QStringLiteral("exceptions"); // how many
// A request refused before it was understood: the keys of the settings it
// named.
inline const QString asked = QStringLiteral("asked");
// How many names a summary shows.
constexpr int shownNames = 5;
}

// The summary of `changes` in the reader's language, or in the first of
// `languages` that has a catalogue ("en_US" gives the English the helper
// records).
QString changeSummaryText(const QVariantMap &changes, const QStringList &languages = {});

// An entry's summary: from what it records of its change when it does,
// otherwise (older entries) the summary it holds.
QString historySummaryText(const QVariantMap &entry);

// An entry's outcome ("applied", "refused", …) in the reader's language.
QString historyOutcomeText(const QString &outcome);

// A time of the history ("2026-12-08T13:00:00Z") as the administrator's
// locale writes it, in local time.
QString historyTimeText(const QString &isoTime);
}

#endif
