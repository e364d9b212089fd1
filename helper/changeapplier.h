// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef CHANGEAPPLIER_H
#define CHANGEAPPLIER_H

#include "changejournal.h"
#include "changerequest.h"
#include "labelaccess.h"
#include "protectioncheck.h"

#include <QHash>
#include <QSet>
#include <QStringList>
#include <QVariantList>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class MicSystem;

// Applies a checked change request to the MIC system as one transaction:
// labels first, then the files; a failure undoes what was done. Checking
// only goes the same way and writes nothing: the labels it would write
// stand in for the objects' own, and the files stay as they are.
class ChangeApplier
{
public:
    enum class Mode { Apply, CheckOnly };
    explicit ChangeApplier(MicSystem &system, Mode mode = Mode::Apply);

    // Applying writes what the change does to `journal` ahead of it, under
    // `header`, so that a change that cannot finish is undone later.
    void setJournal(ChangeJournal *journal, const ChangeJournal::Header &header);

    bool apply(const ChangeRequest &request, QString *error);

    // What was skipped or applied only in part, in an administrator's words.
    QStringList warnings() const;
    // Whether the change takes effect only after a reboot.
    bool needReboot() const;
    // The labels protecting the file system changed, the first
    // `maxListedRelabels` of them.
    QList<Mic::Settings::Relabelled> relabelled() const;
    int relabelledCount() const;
    // Of those, the labels that lose bits: subjects of lower levels may
    // then write the objects.
    int loweredCount() const;
    static constexpr int maxListedRelabels = 200;
    // The change's client stopped it, and nothing was changed.
    bool wasStopped() const;
    // A change that failed and could not put every state file back: the
    // helper's next start finishes that from the journal.
    bool leftForRecovery() const;

private:
    void applyMicState(const ChangeRequest &request);
    void applyServices(const ChangeRequest &request);
    bool applyUserLevels(const QHash<QString, unsigned int> &levels, QString *error);
    void applyRules(const ChangeRequest &request);
    bool protectFileSystem(QString *error);
    struct PlannedLabel {
        QString path;
        // The level it carries, as the check read it (an object; a
        // container's is looked up when it is labelled).
        unsigned int current = 0;
        unsigned int level = 0;
        // Raised as the container of labelled objects.
        bool container = false;
        // What the check saw of it, when it may be labelled by name.
        SeenByName seen;
    };
    // A vector: a list would allocate each of a million entries.
    using Plan = std::vector<PlannedLabel>;
    // On a checking thread: a run of objects it may label by name.
    bool labelSeenRun(LabelAccess &labels, std::vector<ProtectionCheck::Seen> &run, const std::atomic<bool> &stopping);
    void keepFirstFailure(const QString &why);
    void warnOfObjectsChangedSinceTheCheck();
    Plan containersToRaise(LabelAccess &labels, const ProtectionCheck &check);
    unsigned int *raisableLevel(LabelAccess &labels, const ProtectionCheck &check, const QString &container, QHash<QString, unsigned int> *levelOf);
    bool labelAll(LabelAccess &labels, const Plan &planned, QString *error);
    static QSet<QString> foldersOf(const Plan &objects);
    // Objects [begin, begin + count) of a plan, without copying them.
    struct Batch {
        const Plan &planned;
        int begin = 0;
        int count = 0;
        int size() const
        {
            return count;
        }
        const PlannedLabel &at(int i) const
        {
            return planned[std::size_t(begin + i)];
        }
    };
    bool labelBatch(LabelAccess &labels, const Batch &batch, QString *error);
    static void inTwo(int count, int split, const std::function<bool(int, bool)> &work);
    // Fewer objects than this per thread are labelled on one.
    static constexpr int minObjectsPerThread = 64;
    static constexpr int maxBatch = 65536;
    static int batchEnd(const Plan &planned, int start, int openAtOnce);
    // The object's label as the change has left it so far.
    ObjectLabel labelNow(LabelAccess &labels, const QString &path);
    // The objects whose label could not be put back; the journal is marked
    // undone unless told otherwise.
    QStringList restoreLabels(bool closeJournal = true);
    bool failLabelling(const QString &why, QString *error);
    bool failStopped(QString *error);
    bool beginJournal(QString *error);
    // Marks the journal's change as undone by the helper itself.
    void closeJournalUndone();

    struct LabelChange {
        QString path;
        PreviousLabel previous;
    };

    MicSystem &system;
    const Mode mode;
    // The access of the second thread that labels.
    std::unique_ptr<LabelAccess> otherLabels;
    ChangeJournal *journal = nullptr;
    ChangeJournal::Header journalHeader;
    QStringList warningTexts;
    // Objects gone, or changed so that they cannot be labelled, since the
    // check (the latter as why).
    QStringList vanishedPaths;
    QStringList unreachedObjects;
    bool rebootNeeded = false;
    // Vectors, not lists: a list allocates each of a million entries.
    // Labelled as the check went, in path order (their paths point into the
    // configuration, read while the change is applied), then the others
    // and the containers, in the order labelled.
    std::vector<ProtectionCheck::Seen> labelledSeen;
    std::vector<LabelChange> labelled;
    // Why labelling as the check went failed, the first thread's word.
    std::mutex failureMutex;
    QString failedOnTheWay;
    std::atomic<quint64> labelsWritten{0};
    // Of the objects the change labels: how many so far, and in all as far
    // as known (the containers to raise are known once the others are done).
    qint64 labellingDone = 0;
    qint64 labellingTotal = 0;
    bool stoppedWhole = false;
    // Checking only: the labels the change would have written so far, of
    // the objects that hold others (the only ones looked up again).
    QHash<QString, unsigned int> plannedLabels;
    QSet<QString> plannedFolders;
    struct Relabelled {
        QString path;
        unsigned int from = 0;
        unsigned int to = 0;
        bool container = false;
    };
    std::vector<Relabelled> relabelledObjects;
};

#endif
