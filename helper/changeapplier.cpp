#include "changeapplier.h"
#include "labelaccess.h"
#include "micsystem.h"
#include "protectioncheck.h"
#include "stoprequest.h"
#include <statusvalues.h>
#include "testpause.h"

#include <printable.h>
#include <utils.h>

#include <KLocalizedString>

#include <QFile>

#include <algorithm>

namespace
{
// A list of paths for a message, cut short when long.
QString shortList(const QStringList &paths)
{
    constexpr int shownPaths = 10;
    QString list = paths.mid(0, shownPaths).join(QStringLiteral(", "));
    if (paths.size() > shownPaths) {
        list += i18np(" and %1 more", " and %1 more", paths.size() - shownPaths);
    }
    return list;
}

QString stoppedText()
{
    return i18n("The change was stopped by its client");
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
    if (request.micFsStatus) {
        system.setFsProtection(*request.micFsStatus == StatusValue::Enabled);
    }
    // Everything the change does in memory is done: the journal can name
    // the files it replaces before the first label is written.
    if (!beginJournal(error)) {
        return false;
    }
    if (request.micFsStatus && *request.micFsStatus == StatusValue::Enabled && !protectFileSystem(error)) {
        return false;
    }
    if (mode == Mode::CheckOnly) {
        return true;
    }
    pauseForTest("before-writing");
    if (!system.write(journal, error)) {
        const QStringList notRestored = restoreLabels();
        if (!notRestored.isEmpty()) {
            *error += QLatin1Char(' ') + i18n("The labels of these objects could not be put back: %1", shortList(notRestored));
        }
        return false;
    }
    return true;
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
    if (journal && mode == Mode::Apply) {
        journal->markStage(ChangeJournal::Stage::Undone, &ignored);
    }
}

void ChangeApplier::applyMicState(const ChangeRequest &request)
{
    const bool enabledBefore = system.isEnabledAfterReboot();
    const unsigned int levelBefore = system.maxLevelAfterReboot();
    if (request.micStatus) {
        system.setEnabledAfterReboot(*request.micStatus == StatusValue::Enabled);
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
        if (service.error) {
            warningTexts.append(i18n("The service %1 is in error; its isolation was not changed.", service.name));
            return;
        }
        if (!system.setServiceIsolated(service.name, isolated)) {
            warningTexts.append(i18n("The isolation of the service %1 was not changed: the state file cannot hold its name.", Mic::printable(service.name)));
        }
    };
    if (request.servicesIsolatedStatus && *request.servicesIsolatedStatus != StatusValue::Partly) {
        for (const ServiceState &service : services) {
            if (service.isolatable && !service.error) {
                setIsolated(service, *request.servicesIsolatedStatus == StatusValue::Enabled);
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
    if (!check.run(StopRequest::pollRequested)) {
        return failLabelling(stoppedText(), error);
    }
    pauseForTest("before-labelling");
    LabelAccess labels;
    if (journal && mode == Mode::Apply) {
        labels.setBeforeWrite([this](const QString &path, const PreviousLabel &previous) {
            return journal->recordLabel(path, previous);
        });
    }
    const QStringList paths = check.unprotectedPaths();
    const QStringList levels = check.unprotectedLevels();
    QList<unsigned int> numbers;
    for (int i = 0; i < paths.size(); ++i) {
        if (StopRequest::pollRequested()) {
            return failLabelling(stoppedText(), error);
        }
        numbers.append(Mic::Utils::configLevelToNumber(levels.at(i), system.keywordMaxLevel(), nullptr));
        QString why;
        if (!label(labels, paths.at(i), numbers.last(), false, &why)) {
            return failLabelling(why, error);
        }
        if (i == 0) {
            pauseForTest("after-first-label");
        } else if (i == paths.size() / 2) {
            pauseForTest("middle-labels");
        }
    }
    // Containers after all objects: a container with a rule of its own is
    // labelled with exactly its level above, which must not take back bits
    // it was raised by for an object inside.
    for (int i = 0; i < paths.size(); ++i) {
        if (StopRequest::pollRequested()) {
            return failLabelling(stoppedText(), error);
        }
        QString why;
        if (!raiseContainer(labels, check, paths.at(i), numbers.at(i), &why)) {
            return failLabelling(why, error);
        }
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
    return true;
}

bool ChangeApplier::label(LabelAccess &labels, const QString &path, unsigned int level, bool container, QString *error)
{
    unsigned int previous = 0;
    if (mode == Mode::CheckOnly) {
        previous = labelNow(labels, path).level;
        plannedLabels.insert(path, level);
    } else {
        LabelChange change{path, {}};
        if (!labels.write(path, level, &change.previous, error)) {
            return false;
        }
        labelled.append(change);
        previous = change.previous.existed ? change.previous.value.toUInt() : 0;
    }
    relabelledObjects.append({path, previous, level, container});
    return true;
}

ObjectLabel ChangeApplier::labelNow(LabelAccess &labels, const QString &path)
{
    const auto planned = plannedLabels.constFind(path);
    if (planned != plannedLabels.cend()) {
        return {ObjectLabel::Labelled, *planned, QString()};
    }
    return labels.read(path);
}

// An object's container must cover the object's level: raised, when it does
// not, to both levels at once. Only the one parent, as the check of the
// tree does; the root is never raised, and an exception keeps its level.
bool ChangeApplier::raiseContainer(LabelAccess &labels, const ProtectionCheck &check, const QString &path, unsigned int level, QString *error)
{
    const QString container = path.left(path.lastIndexOf(QLatin1Char('/')));
    if (container.isEmpty() || check.isException(container)) {
        return true;
    }
    const ObjectLabel current = labelNow(labels, container);
    if (current.state != ObjectLabel::Labelled || ProtectionCheck::covers(current.level, level)) {
        return true;
    }
    return label(labels, container, current.level | level, true, error);
}

QVariantList ChangeApplier::relabelled() const
{
    QVariantList list;
    for (const Relabelled &object : std::as_const(relabelledObjects)) {
        if (list.size() == maxListedRelabels) {
            break;
        }
        list.append(QVariantHash{{QStringLiteral("path"), object.path},
                                 {QStringLiteral("from"), object.from},
                                 {QStringLiteral("to"), object.to},
                                 {QStringLiteral("container"), object.container}});
    }
    return list;
}

int ChangeApplier::relabelledCount() const
{
    return relabelledObjects.size();
}

int ChangeApplier::loweredCount() const
{
    return int(std::count_if(relabelledObjects.cbegin(), relabelledObjects.cend(), [](const Relabelled &object) {
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

QStringList ChangeApplier::restoreLabels()
{
    // Backwards: a container raised twice gets its first label back last.
    LabelAccess labels;
    QStringList failed;
    for (auto it = labelled.crbegin(); it != labelled.crend(); ++it) {
        if (!labels.restore(it->path, it->previous)) {
            failed.append(it->path);
        }
    }
    closeJournalUndone();
    labelled.clear();
    relabelledObjects.clear();
    return failed;
}
