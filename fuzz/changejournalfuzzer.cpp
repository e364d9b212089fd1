// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

// Feeds arbitrary bytes to the readers of what the helper finds in its own
// folder after a crash: the journal of a change and the history. A journal
// that reads must name only what its writer could have written: absolute
// paths, labels no longer than a level, and each label record exactly as a
// whole line of the input holds it; a recovery then puts back no label the
// journal did not record. The history reader keeps only valid entries.
#include "fuzzcheck.h"

#include <changehistory.h>
#include <changejournal.h>

#include <QCoreApplication>

using FuzzCheck::require;
using FuzzCheck::shown;

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication application(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size)
{
    const QByteArray data(reinterpret_cast<const char *>(bytes), int(size));
    const auto journal = ChangeJournal::parse(data);
    if (journal) {
        for (const ChangeJournal::LabelRecord &label : journal->labels) {
            require(label.path.startsWith(QLatin1Char('/')), "a label record of a relative path", shown(label.path));
            require(label.previous.value.size() <= 64, "a label longer than a level", shown(label.path));
            require(label.previous.existed || label.previous.value.isEmpty(), "a value of a label that did not exist", shown(label.path));
            const QByteArray payload = ChangeJournal::labelPayload(label.path, label.previous);
            require(data.contains(' ' + payload + '\n'), "a label record no line of the journal holds", shown(label.path));
        }
        for (const ChangeJournal::FileRecord &file : journal->files) {
            require(file.path.startsWith(QLatin1Char('/')), "a file record of a relative path", shown(file.path));
        }
    }
    const QList<HistoryEntry> entries = ChangeHistory::parse(data, -1);
    for (const HistoryEntry &entry : entries) {
        require(entry.time.isValid(), "a history entry without a time");
        require(QStringList({QStringLiteral("applied"), QStringLiteral("refused"), QStringLiteral("failed"), QStringLiteral("undone"), QStringLiteral("stopped")}).contains(entry.outcome),
                "a history entry with an unknown outcome", shown(entry.outcome));
    }
    require(ChangeHistory::parse(data, 1).size() == std::min<qsizetype>(1, entries.size()), "a limit of 1 not kept");
    return 0;
}
