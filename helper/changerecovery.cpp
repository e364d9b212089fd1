// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "changerecovery.h"
#include "changehistory.h"
#include "changejournal.h"
#include "labelaccess.h"
#include "micsystem.h"

#include <QFile>

#include <algorithm>

#include <syslog.h>

namespace
{
// Only the state files: a damaged journal names no other file to write.
QList<ChangeJournal::FileRecord> stateFilesOf(const ChangeJournal::Content &journal, const MicSystem &system)
{
    const QStringList known = system.stateFilePaths();
    QList<ChangeJournal::FileRecord> files;
    for (const ChangeJournal::FileRecord &file : journal.files) {
        if (known.contains(file.path)) {
            files.append(file);
        }
    }
    return files;
}

// Backwards: an object labelled twice gets its first label back last.
QStringList putBackLabels(const ChangeJournal::Content &journal)
{
    LabelAccess labels;
    QStringList notRestored;
    for (auto it = journal.labels.crbegin(); it != journal.labels.crend(); ++it) {
        if (!labels.restore(it->path, it->previous)) {
            notRestored.append(it->path);
        }
    }
    return notRestored;
}

QStringList putBackFiles(const QList<ChangeJournal::FileRecord> &files, bool backedUp)
{
    QStringList notRestored;
    for (const ChangeJournal::FileRecord &file : files) {
        if (!backedUp) {
            // The files were not touched; a previous content kept in part goes.
            QFile::remove(MicSystem::pendingBackupName(file.path));
        } else if (!MicSystem::putBackFile(file.path, file.existed)) {
            notRestored.append(file.path);
        }
    }
    return notRestored;
}

QString outcomeText(const QStringList &labelsNotRestored)
{
    QString text = QStringLiteral("The change was interrupted and has been undone.");
    if (!labelsNotRestored.isEmpty()) {
        text += QStringLiteral(" These objects are gone or were replaced, and kept their labels: %1.")
                    .arg(labelsNotRestored.mid(0, 10).join(QStringLiteral(", ")) + (labelsNotRestored.size() > 10 ? QStringLiteral(" …") : QString()));
    }
    return text;
}
}

namespace
{
HistoryEntry entryOf(const ChangeJournal::Content &journal)
{
    HistoryEntry entry;
    entry.time = journal.header.time;
    entry.user = journal.header.user;
    entry.uid = journal.header.uid;
    entry.requestId = journal.header.requestId;
    entry.summary = journal.header.summary;
    entry.before = journal.header.before;
    return entry;
}

// The helper ended after the change was done and before the history had it.
void recordDoneChange(const QString &folder, const ChangeJournal::Content &journal)
{
    // The helper may have ended after the history had it, before the journal
    // said so.
    const QList<HistoryEntry> recent = ChangeHistory(folder).newest(8);
    const bool recorded = std::any_of(recent.cbegin(), recent.cend(), [&journal](const HistoryEntry &entry) {
        return entry.requestId == journal.header.requestId;
    });
    if (recorded) {
        return;
    }
    HistoryEntry entry = entryOf(journal);
    entry.outcome = QStringLiteral("applied");
    entry.text = QStringLiteral("The helper ended before it recorded the change.");
    entry.relabelled = int(journal.labels.size());
    ChangeHistory(folder).append(entry);
}

bool undoChange(const QString &folder, const ChangeJournal::Content &journal, const QList<ChangeJournal::FileRecord> &files)
{
    const QStringList labelsNotRestored = putBackLabels(journal);
    const QStringList filesNotRestored = putBackFiles(files, journal.stage == ChangeJournal::Stage::BackedUp);
    if (!filesNotRestored.isEmpty()) {
        // The journal stays: the next start tries again.
        syslog(LOG_ERR, "an interrupted change could not be undone whole: %s", qPrintable(filesNotRestored.join(QLatin1Char(' '))));
        return false;
    }
    HistoryEntry entry = entryOf(journal);
    entry.outcome = QStringLiteral("undone");
    entry.text = outcomeText(labelsNotRestored);
    entry.relabelled = int(journal.labels.size() - labelsNotRestored.size());
    ChangeHistory(folder).append(entry);
    ChangeJournal::appendStage(folder, ChangeJournal::Stage::Undone);
    return true;
}
}

void ChangeRecovery::recoverInterruptedChange(const MicSystem &system)
{
    const QString folder = ChangeJournal::folderOf(system.root());
    const auto journal = ChangeJournal::read(folder);
    if (!journal) {
        // A journal whose beginning is not whole: the change it began did
        // not go on before the beginning was on disk, so nothing was
        // changed.
        if (ChangeJournal::isUnbegun(folder)) {
            ChangeJournal::discard(folder);
        }
        return;
    }
    const QList<ChangeJournal::FileRecord> files = stateFilesOf(*journal, system);
    switch (journal->stage) {
    case ChangeJournal::Stage::None:
    case ChangeJournal::Stage::BackedUp:
        // Kept when a file could not be put back: the next start tries again.
        if (!undoChange(folder, *journal, files)) {
            return;
        }
        break;
    case ChangeJournal::Stage::Done:
        for (const ChangeJournal::FileRecord &file : files) {
            MicSystem::settleBackup(file.path);
        }
        recordDoneChange(folder, *journal);
        break;
    case ChangeJournal::Stage::Undone:
        break;
    }
    ChangeJournal::discard(folder);
}
