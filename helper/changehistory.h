// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef CHANGEHISTORY_H
#define CHANGEHISTORY_H

#include <QDateTime>
#include <QList>
#include <QString>
#include <QVariantMap>

#include <optional>

struct ChangeRequest;

// One change asked of the helper, and what became of it.
struct HistoryEntry {
    QDateTime time;
    QString user;
    qint64 uid = -1;
    QByteArray requestId;
    // "applied", "refused", "failed", "stopped" (by its client) or "undone"
    // (after a crash).
    QString outcome;
    // What the change asked for (Mic::HistoryChanges), and the same in
    // English words, for the system log and readers of older entries.
    QVariantMap changes;
    QString summary;
    QString text;
    int relabelled = 0;
    // The state files, relative to the state root, and the SHA-256 of the
    // content each had before the change: the backup generation that holds
    // it is found by it, wherever later changes moved it.
    QVariantMap before;

    // Sets what the change asked for, and its summary.
    void describe(const QVariantMap &asked);

    // The keys of `micctl history --json`.
    QVariantMap toMap() const;
    static std::optional<HistoryEntry> fromMap(const QVariantMap &map);
};

/*
 * The history of changes in the helper's folder: "history", one JSON object
 * per line, appended to, root's alone (0600). Past `rotateAt` bytes it
 * becomes "history.1" (the one before is dropped) and a new one begins, so
 * the two keep at least the last `rotateAt` bytes of entries. Every entry
 * also goes to the system log.
 */
class ChangeHistory
{
public:
    static constexpr qint64 rotateAt = 1024 * 1024;

    explicit ChangeHistory(const QString &folder);

    bool append(const HistoryEntry &entry);
    // The last `limit` entries (all with a negative limit), newest first;
    // lines that are no entry are passed over.
    QList<HistoryEntry> newest(int limit) const;

    // The entries of the lines of a history file, newest (last) first, up to
    // `limit` of them (all with a negative one).
    static QList<HistoryEntry> parse(const QByteArray &content, int limit);

    // What a request asks (Mic::HistoryChanges).
    static QVariantMap changesOf(const ChangeRequest &request);
    // The same of a request refused before it was understood: the settings
    // it named.
    static QVariantMap changesOfRefused(const QVariantMap &arguments);

private:
    QString folder;
};

#endif
