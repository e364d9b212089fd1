// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "changeapplier.h"
#include "labelaccess.h"
#include "micsystem.h"
#include "protectioncheck.h"
#include "stoprequest.h"
#include "workprogress.h"
#include <protocol.h>
#include <settings.h>
#include "testpause.h"

#include <printable.h>
#include <utils.h>

#include <texts.h>

#include <atomic>
#include <thread>
#include <vector>

#include <QFile>
#include <QSet>

#include <algorithm>

using namespace Mic::Texts;

using Mic::Settings::Status;

namespace
{
// A list of paths (or of texts that hold commas) for a message, cut short
// when long.
QString shortList(const QStringList &paths, const QString &separator = QStringLiteral(", "))
{
    constexpr int shownPaths = 10;
    QString list = paths.mid(0, shownPaths).join(separator);
    if (paths.size() > shownPaths) {
        list += i18np(" and %1 more", " and %1 more", paths.size() - shownPaths);
    }
    return list;
}

}

ChangeApplier::ChangeApplier(MicSystem &system, Mode mode)
    : system(system)
    , mode(mode)
{
}

QStringList ChangeApplier::warnings() const
{
    return warningTexts;
}

bool ChangeApplier::needReboot() const
{
    return rebootNeeded;
}

void ChangeApplier::setJournal(ChangeJournal *journal, const ChangeJournal::Header &header)
{
    this->journal = journal;
    journalHeader = header;
}

bool ChangeApplier::apply(const ChangeRequest &request, QString *error)
{
    applyMicState(request);
    applyServices(request);
    applyRules(request);
    if (request.userLevels && !applyUserLevels(*request.userLevels, error)) {
        return false;
    }
    if (request.protection) {
        system.setFsProtection(*request.protection == Status::Enabled);
    }
    // Everything the change does in memory is done: the journal can name
    // the files it replaces before the first label is written.
    if (!beginJournal(error)) {
        return false;
    }
    if (request.protection && *request.protection == Status::Enabled && !protectFileSystem(error)) {
        return false;
    }
    if (mode == Mode::CheckOnly) {
        return true;
    }
    pauseForTest("before-writing");
    if (!system.write(journal, error)) {
        // Files the change could not put back stay in the journal's hands.
        const QStringList notRestored = restoreLabels(!system.leftFilesToRecover());
        if (!notRestored.isEmpty()) {
            *error += QLatin1Char(' ') + i18n("The labels of these objects could not be put back: %1", shortList(notRestored));
        }
        return false;
    }
    return true;
}

bool ChangeApplier::leftForRecovery() const
{
    return system.leftFilesToRecover();
}

bool ChangeApplier::beginJournal(QString *error)
{
    if (mode == Mode::CheckOnly || !journal) {
        return true;
    }
    return journal->begin(journalHeader, system.filesToWrite(), error);
}

void ChangeApplier::closeJournalUndone()
{
    QString ignored;
    if (journal && mode == Mode::Apply && journal->markStage(ChangeJournal::Stage::Undone, &ignored)) {
        ChangeJournal::discard(ChangeJournal::folderOf(system.root()));
    }
}

void ChangeApplier::applyMicState(const ChangeRequest &request)
{
    const bool enabledBefore = system.isEnabledAfterReboot();
    const unsigned int levelBefore = system.maxLevelAfterReboot();
    if (request.mic) {
        system.setEnabledAfterReboot(*request.mic == Status::Enabled);
    }
    if (request.futureLevel) {
        system.setMaxLevelAfterReboot(*request.futureLevel);
    }
    const bool bootChanged = system.isEnabledAfterReboot() != enabledBefore || system.maxLevelAfterReboot() != levelBefore;
    // A change that only cancels a pending one leaves the running system as
    // the next boot will bring it.
    const unsigned int levelAtBoot = system.isEnabledAfterReboot() ? system.maxLevelAfterReboot() : 0;
    const bool bootDiffers = system.isEnabledAfterReboot() != system.isEnabled() || levelAtBoot != system.maxLevel();
    rebootNeeded = bootChanged && bootDiffers;
}

// New entries in the order of the names; users at level 0 without an entry
// get none, since a missing entry means 0.
bool ChangeApplier::applyUserLevels(const QHash<QString, unsigned int> &levels, QString *error)
{
    QStringList users = levels.keys();
    users.sort();
    for (const QString &user : std::as_const(users)) {
        const unsigned int level = levels.value(user);
        if ((level != 0 || system.hasUserEntry(user)) && !system.setUserLevel(user, level)) {
            *error = ChangeRequest::userNameProblem(user);
            return false;
        }
    }
    return true;
}

void ChangeApplier::applyServices(const ChangeRequest &request)
{
    const auto services = system.services();
    const auto setIsolated = [&](const ServiceState &service, bool isolated) {
        if (service.isolated == isolated) {
            return;
        }
        if (service.inError) {
            warningTexts.append(i18n("The service %1 is in error; its isolation was not changed.", service.name));
            return;
        }
        if (!system.setServiceIsolated(service.name, isolated)) {
            warningTexts.append(i18n("The isolation of the service %1 was not changed: the state file cannot hold its name.", Mic::printable(service.name)));
        }
    };
    if (request.isolation && *request.isolation != Status::Partly) {
        for (const ServiceState &service : services) {
            if (service.isolatable && !service.inError) {
                setIsolated(service, *request.isolation == Status::Enabled);
            }
        }
        return;
    }
    if (!request.services) {
        return;
    }
    for (const ServiceIsolation &wanted : *request.services) {
        for (const ServiceState &service : services) {
            if (service.name == wanted.name) {
                setIsolated(service, wanted.isolated);
            }
        }
    }
}

void ChangeApplier::applyRules(const ChangeRequest &request)
{
    FsIlevConfig &config = system.editableConfig();
    if (request.ruleChanges) {
        config.applyRuleChanges(*request.ruleChanges);
    }
    if (request.exceptions) {
        config.setExceptions(*request.exceptions);
    }
}

bool ChangeApplier::protectFileSystem(QString *error)
{
    ProtectionCheck check(system.config(), system.keywordMaxLevel());
    // Objects only root could change since the check read them are
    // labelled as it finds them, their folder still open.
    if (mode == Mode::Apply) {
        check.labelOnTheWay([this](LabelAccess &labels, std::vector<ProtectionCheck::Seen> &run, const std::atomic<bool> &stopping) {
            return labelSeenRun(labels, run, stopping);
        });
    }
    const bool checked = check.run(StopRequest::pollRequested);
    labelledSeen = check.takeLabelledOnTheWay();
    if (!checked) {
        return failedOnTheWay.isEmpty() ? failStopped(error) : failLabelling(failedOnTheWay, error);
    }
    pauseForTest("before-labelling");
    LabelAccess labels;
    // A second thread labels with access of its own, the objects it may
    // hold open shared between both. A check labels nothing.
    if (mode == Mode::Apply) {
        otherLabels = std::make_unique<LabelAccess>();
        labels.shareHoldingWith(*otherLabels);
    }
    Plan objects;
    objects.reserve(std::size_t(check.labellableCount()));
    check.forEachLabellable([&objects](const QString &path, unsigned int current, unsigned int level, const SeenByName &seen) {
        objects.push_back({path, current, level, false, seen});
    });
    if (mode == Mode::CheckOnly) {
        plannedFolders = foldersOf(objects);
    }
    // Containers after all objects: a container with a rule of its own is
    // labelled with exactly its level above, which must not take back bits
    // it is raised by for an object inside. The progress goes on from the
    // objects the check went through while labelling.
    if (mode == Mode::Apply) {
        labellingDone = check.configuredCount();
    }
    labellingTotal = labellingDone + qint64(objects.size());
    labelled.reserve(objects.size());
    relabelledObjects.reserve(objects.size());
    if (!labelAll(labels, objects, error)) {
        return false;
    }
    const Plan containers = containersToRaise(labels, check);
    labellingTotal += qint64(containers.size());
    if (!labelAll(labels, containers, error)) {
        return false;
    }
    // What cannot be labelled now will not be later either: said, and left
    // for the administrator, rather than failing every save.
    const QStringList unreadable = check.unreadablePaths();
    if (!unreadable.isEmpty()) {
        warningTexts.append(i18np("The label of a configured object cannot be read, so it was not labelled: %2",
                                  "The labels of %1 configured objects cannot be read, so they were not labelled: %2",
                                  unreadable.size(),
                                  shortList(unreadable)));
    }
    const QStringList missing = check.missingPaths();
    if (!missing.isEmpty()) {
        warningTexts.append(i18np("A configured object does not exist and was not labelled: %2",
                                  "%1 configured objects do not exist and were not labelled: %2",
                                  missing.size(),
                                  shortList(missing)));
    }
    warnOfObjectsChangedSinceTheCheck();
    return true;
}

// Objects a user removed, renamed or replaced between the check and their
// labelling: the rest of the change applies.
void ChangeApplier::warnOfObjectsChangedSinceTheCheck()
{
    if (!vanishedPaths.isEmpty()) {
        warningTexts.append(i18np("A configured object was gone when it was to be labelled, and was not labelled: %2",
                                  "%1 configured objects were gone when they were to be labelled, and were not labelled: %2",
                                  vanishedPaths.size(),
                                  shortList(vanishedPaths)));
    }
    if (!unreachedObjects.isEmpty()) {
        warningTexts.append(i18np("A configured object changed after it was checked, and was not labelled: %2",
                                  "%1 configured objects changed after they were checked, and were not labelled: %2",
                                  unreachedObjects.size(),
                                  shortList(unreachedObjects, QStringLiteral("; "))));
    }
}

// The run's records are on disk before any of its objects is labelled, as
// those of a batch are.
bool ChangeApplier::labelSeenRun(LabelAccess &labels, std::vector<ProtectionCheck::Seen> &run, const std::atomic<bool> &stopping)
{
    QString why;
    if (journal) {
        ChangeJournal::LabelRecords records;
        for (const ProtectionCheck::Seen &object : run) {
            records.add(object.path, object.seen.previous());
        }
        if (!journal->appendLabels(records, &why)) {
            keepFirstFailure(why);
            return false;
        }
    }
    const std::size_t middle = run.size() / 2;
    for (std::size_t i = 0; i < run.size(); ++i) {
        // A stop, or the other thread's failure, is taken within the run.
        if ((i & 1023) == 1023 && stopping.load(std::memory_order_relaxed)) {
            return false;
        }
        ProtectionCheck::Seen &object = run[i];
        if (!labels.labelSeen(object.path, object.required, &why)) {
            keepFirstFailure(why);
            return false;
        }
        object.labelledAs = ++labelsWritten;
        if (object.labelledAs == 1) {
            pauseForTest("after-first-label");
        } else if (i == middle) {
            pauseForTest("middle-labels");
        }
    }
    return true;
}

void ChangeApplier::keepFirstFailure(const QString &why)
{
    const std::lock_guard<std::mutex> lock(failureMutex);
    if (failedOnTheWay.isEmpty()) {
        failedOnTheWay = why;
    }
}

// An object's container must cover the object's level: raised, when it does
// not, to all the levels of the objects inside at once. Only the one parent,
// as the check of the tree does; the root is never raised, and an exception
// keeps its level.
ChangeApplier::Plan ChangeApplier::containersToRaise(LabelAccess &labels, const ProtectionCheck &check)
{
    QHash<QString, unsigned int> levelOf;
    QSet<QString> raisedOnce;
    QStringList raised;
    // The objects of a folder mostly follow each other: its container is
    // looked up once for the run of them.
    QString container;
    unsigned int *containerLevel = nullptr;
    const auto raiseFor = [&](unsigned int level) {
        if (containerLevel && !ProtectionCheck::covers(*containerLevel, level)) {
            if (!raisedOnce.contains(container)) {
                raisedOnce.insert(container);
                raised.append(container);
            }
            *containerLevel |= level;
        }
    };
    std::string_view seenFolder;
    bool folderKnown = false;
    for (const ProtectionCheck::Seen &object : labelledSeen) {
        const std::string_view folder = object.path.substr(0, object.path.rfind('/'));
        if (!folderKnown || folder != seenFolder) {
            seenFolder = folder;
            folderKnown = true;
            container = QString::fromUtf8(folder.data(), int(folder.size()));
            containerLevel = raisableLevel(labels, check, container, &levelOf);
        }
        raiseFor(object.required);
    }
    folderKnown = false;
    for (const Relabelled &object : relabelledObjects) {
        const QStringView folder = QStringView(object.path).left(object.path.lastIndexOf(QLatin1Char('/')));
        if (!folderKnown || folder != container) {
            container = folder.toString();
            folderKnown = true;
            containerLevel = raisableLevel(labels, check, container, &levelOf);
        }
        raiseFor(object.to);
    }
    Plan containers;
    for (const QString &folder : std::as_const(raised)) {
        containers.push_back({folder, 0, levelOf.value(folder), true, SeenByName()});
    }
    return containers;
}

// The level a container is known to carry, in `levelOf`; none for the root,
// an exception, or a container whose label cannot be read.
unsigned int *ChangeApplier::raisableLevel(LabelAccess &labels, const ProtectionCheck &check, const QString &container, QHash<QString, unsigned int> *levelOf)
{
    auto level = levelOf->find(container);
    if (level != levelOf->end()) {
        return &*level;
    }
    if (container.isEmpty() || check.isException(container)) {
        return nullptr;
    }
    const ObjectLabel current = labelNow(labels, container);
    if (current.state != ObjectLabel::Labelled) {
        return nullptr;
    }
    return &*levelOf->insert(container, current.level);
}

// The folders that hold planned objects, each once.
QSet<QString> ChangeApplier::foldersOf(const Plan &objects)
{
    QSet<QString> folders;
    QStringView last;
    for (const PlannedLabel &object : objects) {
        const QStringView folder = QStringView(object.path).left(object.path.lastIndexOf(QLatin1Char('/')));
        if (folder != last) {
            folders.insert(folder.toString());
            last = folder;
        }
    }
    return folders;
}

bool ChangeApplier::labelAll(LabelAccess &labels, const Plan &planned, QString *error)
{
    if (mode == Mode::CheckOnly) {
        for (const PlannedLabel &object : planned) {
            if (StopRequest::pollRequested()) {
                return failStopped(error);
            }
            // An object carries what the check read a moment ago; a
            // container may carry what the plan gives it as an object.
            const unsigned int from = object.container ? labelNow(labels, object.path).level : object.current;
            relabelledObjects.push_back({object.path, from, object.level, object.container});
            // Looked up again only as the container of other objects.
            if (object.container || plannedFolders.contains(object.path)) {
                plannedLabels.insert(object.path, object.level);
            }
            WorkProgress::report(Mic::Protocol::labellingPhase, ++labellingDone, labellingTotal);
        }
        return true;
    }
    for (int start = 0; start < int(planned.size());) {
        const int end = batchEnd(planned, start, labels.openAtOnce());
        if (!labelBatch(labels, {planned, start, end - start}, error)) {
            return false;
        }
        start = end;
    }
    return true;
}

// A batch holds open at most `openAtOnce` objects. Those labelled by name
// hold nothing open, so a batch of them can be larger: fewer waits for the
// journal to reach the disk.
int ChangeApplier::batchEnd(const Plan &planned, int start, int openAtOnce)
{
    int end = start;
    int opened = 0;
    while (end < int(planned.size()) && end - start < maxBatch && opened < openAtOnce) {
        opened += planned[std::size_t(end)].seen.valid ? 0 : 1;
        ++end;
    }
    return end;
}

// Objects are opened and their labels recorded in the journal, which is on
// disk before any of them is labelled: whatever a crash leaves labelled, the
// journal holds what it carried before.
// Runs `work` on the objects [0, split) here and [split, count) on another
// thread, until it returns false; `here` runs between the objects of this
// thread. Each side ends early once the other has failed.
void ChangeApplier::inTwo(int count, int split, const std::function<bool(int, bool)> &work)
{
    std::atomic<bool> failed{false};
    std::thread other;
    if (split < count) {
        other = std::thread([&] {
            for (int i = split; i < count && !failed.load(std::memory_order_relaxed); ++i) {
                if (!work(i, false)) {
                    failed = true;
                }
            }
        });
    }
    for (int i = 0; i < split && !failed.load(std::memory_order_relaxed); ++i) {
        if (!work(i, true)) {
            failed = true;
        }
    }
    if (other.joinable()) {
        other.join();
    }
}

// Objects are opened and their labels recorded in the journal, which is on
// disk before any of them is labelled: whatever a crash leaves labelled, the
// journal holds what it carried before. A large batch is opened and labelled
// on two threads, half of it each, with access of their own.
bool ChangeApplier::labelBatch(LabelAccess &labels, const Batch &batch, QString *error)
{
    const int count = batch.size();
    const int split = otherLabels && count >= 2 * minObjectsPerThread ? count / 2 : count;
    const auto accessFor = [&](int i) -> LabelAccess & {
        return i < split ? labels : *otherLabels;
    };
    std::vector<LabelAccess::Opened> opened;
    opened.resize(std::size_t(count));
    std::vector<char> isOpen(std::size_t(count), 0);
    std::vector<char> isLabelled(std::size_t(count), 0);
    QString problems[2];
    // Objects gone or changed since the check, of each thread: not labelled,
    // and said, as the check says what it cannot label.
    QStringList gone[2];
    QStringList unreached[2];
    // The journal's records of each thread's objects, made as they open.
    ChangeJournal::LabelRecords records[2];
    bool stopped = false;
    const auto releaseOpened = [&] {
        for (int i = 0; i < count; ++i) {
            if (isOpen[std::size_t(i)] && !isLabelled[std::size_t(i)]) {
                accessFor(i).release(&opened[std::size_t(i)]);
            }
        }
    };
    const auto failing = [&](const QString &why) {
        releaseOpened();
        return failLabelling(why, error);
    };

    inTwo(count, split, [&](int i, bool here) {
        if (here && StopRequest::pollRequested()) {
            stopped = true;
            return false;
        }
        // What the check saw of an object only root could have changed
        // since is what it carries: it is not read again.
        const PlannedLabel &object = batch.at(i);
        if (object.seen.valid) {
            opened[std::size_t(i)] = LabelAccess::openedAsSeen(object.seen);
        } else if (QString why; !accessFor(i).open(object.path, &opened[std::size_t(i)], &why)) {
            // Gone or changed since the check: skipped. Anything else (the
            // system failing to open or read it) fails the change.
            const LabelAccess::Opened &notOpened = opened[std::size_t(i)];
            if (!notOpened.gone && !notOpened.changed) {
                problems[here ? 0 : 1] = why;
                return false;
            }
            (notOpened.gone ? gone : unreached)[here ? 0 : 1].append(notOpened.gone ? object.path : why);
            return true;
        }
        isOpen[std::size_t(i)] = 1;
        if (journal) {
            records[here ? 0 : 1].add(object.path, opened[std::size_t(i)].previous);
        }
        return true;
    });
    if (stopped) {
        releaseOpened();
        return failStopped(error);
    }
    for (const QString &problem : problems) {
        if (!problem.isEmpty()) {
            return failing(problem);
        }
    }
    for (int side : {0, 1}) {
        vanishedPaths.append(gone[side]);
        unreachedObjects.append(unreached[side]);
    }
    if (journal) {
        // This thread's objects come first in the batch.
        journal->recordLabels(records[0]);
        journal->recordLabels(records[1]);
    }
    QString why;
    if (journal && !journal->flush(&why)) {
        return failing(why);
    }

    std::atomic<int> labelledThere{0};
    const qint64 doneBefore = labellingDone;
    const bool firstOfChange = labelled.empty() && labelledSeen.empty();
    inTwo(count, split, [&](int i, bool here) {
        if (here && StopRequest::pollRequested()) {
            stopped = true;
            return false;
        }
        const PlannedLabel &object = batch.at(i);
        if (!isOpen[std::size_t(i)]) {
            return true;
        }
        if (!accessFor(i).label(object.path, &opened[std::size_t(i)], object.level, &problems[here ? 0 : 1])) {
            return false;
        }
        isLabelled[std::size_t(i)] = 1;
        if (!here) {
            ++labelledThere;
            return true;
        }
        WorkProgress::report(Mic::Protocol::labellingPhase, doneBefore + i + 1 + labelledThere.load(), labellingTotal);
        if (i == 0 && firstOfChange) {
            pauseForTest("after-first-label");
        } else if (i == split / 2) {
            pauseForTest("middle-labels");
        }
        return true;
    });
    for (int i = 0; i < count; ++i) {
        if (!isLabelled[std::size_t(i)]) {
            continue;
        }
        const PlannedLabel &object = batch.at(i);
        const PreviousLabel &previous = opened[std::size_t(i)].previous;
        labelled.push_back({object.path, previous});
        relabelledObjects.push_back({object.path, previous.existed ? previous.value.toUInt() : 0, object.level, object.container});
        ++labellingDone;
    }
    // What was labelled is now in `labelled`, and is put back.
    if (stopped) {
        releaseOpened();
        return failStopped(error);
    }
    for (const QString &problem : problems) {
        if (!problem.isEmpty()) {
            return failing(problem);
        }
    }
    return true;
}

ObjectLabel ChangeApplier::labelNow(LabelAccess &labels, const QString &path)
{
    const auto planned = plannedLabels.constFind(path);
    if (planned != plannedLabels.cend()) {
        return {ObjectLabel::Labelled, *planned, QString(), SeenByName()};
    }
    return labels.read(path);
}

QList<Mic::Settings::Relabelled> ChangeApplier::relabelled() const
{
    QList<Mic::Settings::Relabelled> list;
    const auto add = [&list](const QString &path, unsigned int from, unsigned int to, bool container) {
        list.append({path, from, to, container});
    };
    // The objects in path order, whether labelled as the check went or
    // after it, as a change only checked lists them; then the containers.
    const auto containers = std::find_if(relabelledObjects.cbegin(), relabelledObjects.cend(), [](const Relabelled &object) {
        return object.container;
    });
    auto seen = labelledSeen.cbegin();
    auto other = relabelledObjects.cbegin();
    while (list.size() < maxListedRelabels && (seen != labelledSeen.cend() || other != containers)) {
        const bool seenFirst = other == containers || (seen != labelledSeen.cend() && QByteArray::fromRawData(seen->path.data(), int(seen->path.size())) < other->path.toUtf8());
        if (seenFirst) {
            add(QString::fromUtf8(seen->path.data(), int(seen->path.size())), seen->current, seen->required, false);
            ++seen;
        } else {
            add(other->path, other->from, other->to, other->container);
            ++other;
        }
    }
    for (; list.size() < maxListedRelabels && other != relabelledObjects.cend(); ++other) {
        add(other->path, other->from, other->to, other->container);
    }
    return list;
}

int ChangeApplier::relabelledCount() const
{
    return int(labelledSeen.size() + relabelledObjects.size());
}

int ChangeApplier::loweredCount() const
{
    const auto seenLowered = std::count_if(labelledSeen.cbegin(), labelledSeen.cend(), [](const ProtectionCheck::Seen &object) {
        return !ProtectionCheck::covers(object.required, object.current);
    });
    return int(seenLowered + std::count_if(relabelledObjects.cbegin(), relabelledObjects.cend(), [](const Relabelled &object) {
                   return !ProtectionCheck::covers(object.to, object.from);
               }));
}

bool ChangeApplier::failLabelling(const QString &why, QString *error)
{
    const QStringList notRestored = restoreLabels();
    *error = notRestored.isEmpty()
        ? i18nc("@info a label could not be written", "%1. Nothing was changed.", why)
        : i18n("%1. The labels of these objects could not be put back: %2", why, shortList(notRestored));
    return false;
}

bool ChangeApplier::failStopped(QString *error)
{
    const QStringList notRestored = restoreLabels();
    stoppedWhole = notRestored.isEmpty();
    *error = stoppedWhole ? i18n("Stopped: nothing was changed.")
                          : i18n("Stopped. The labels of these objects could not be put back: %1", shortList(notRestored));
    return false;
}

bool ChangeApplier::wasStopped() const
{
    return stoppedWhole;
}

QStringList ChangeApplier::restoreLabels(bool closeJournal)
{
    // Backwards: a container raised twice gets its first label back last.
    LabelAccess labels;
    QStringList failed;
    qint64 undone = 0;
    const qint64 total = qint64(labelled.size() + labelledSeen.size());
    for (auto it = labelled.crbegin(); it != labelled.crend(); ++it) {
        if (!labels.restore(it->path, it->previous)) {
            failed.append(it->path);
        }
        WorkProgress::report(Mic::Protocol::undoingPhase, ++undone, total);
    }
    // The last written first: two names of one object (hard links) each
    // recorded what the other's label left.
    std::vector<const ProtectionCheck::Seen *> newestFirst;
    newestFirst.reserve(labelledSeen.size());
    for (const ProtectionCheck::Seen &object : labelledSeen) {
        newestFirst.push_back(&object);
    }
    std::sort(newestFirst.begin(), newestFirst.end(), [](const ProtectionCheck::Seen *a, const ProtectionCheck::Seen *b) {
        return a->labelledAs > b->labelledAs;
    });
    for (const ProtectionCheck::Seen *object : newestFirst) {
        const QString path = QString::fromUtf8(object->path.data(), int(object->path.size()));
        if (!labels.restore(path, object->seen.previous())) {
            failed.append(path);
        }
        WorkProgress::report(Mic::Protocol::undoingPhase, ++undone, total);
    }
    if (closeJournal) {
        closeJournalUndone();
    }
    labelled.clear();
    labelledSeen.clear();
    relabelledObjects.clear();
    return failed;
}
