// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "micauthhelper.h"
#include "changeapplier.h"
#include "changehistory.h"
#include "changejournal.h"
#include "changerecovery.h"
#include "changerequest.h"
#include "keptstates.h"
#include "helpererror.h"
#include "helperservice.h"
#include "micsystem.h"
#include "protectioncheck.h"
#include "replychannel.h"
#include "stoprequest.h"
#include "workprogress.h"
#include <settings.h>
#include "testpause.h"

#include <texts.h>

#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <QTimer>

#include <memory>

#include <printable.h>
#include <protocol.h>

#include <pwd.h>

#include <algorithm>
#include <clocale>
#include <functional>

#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <syslog.h>

using namespace Mic::Texts;

using Mic::Settings::Status;

using Mic::ActionReply;

namespace
{

bool isLocaleName(const QByteArray &name)
{
    static const QRegularExpression localeName(QStringLiteral("^[A-Za-z0-9_.@-]{1,64}$"));
    return localeName.match(QString::fromLatin1(name)).hasMatch();
}

bool isPlainC(const char *locale)
{
    return locale == nullptr || qstrcmp(locale, "C") == 0 || qstrcmp(locale, "POSIX") == 0;
}

// Answers in the language of the user of the module. Catalogs are looked up
// by the languages the module sends; gettext follows them only under a
// message locale other than "C", so the helper takes the caller's, or when
// it has none of that name its own environment's, or C.UTF-8 (under which
// Debian 12's gettext follows them, and Debian 13's does not).
void useCallerLanguage(const QVariantMap &args)
{
    const QByteArray messagesLocale = args.value(QStringLiteral("lcmessages")).toString().toLatin1();
    const bool callerLocale = isLocaleName(messagesLocale) && !isPlainC(messagesLocale.constData())
        && std::setlocale(LC_MESSAGES, messagesLocale.constData()) != nullptr;
    if (!callerLocale && isPlainC(std::setlocale(LC_MESSAGES, ""))) {
        std::setlocale(LC_MESSAGES, "C.UTF-8");
    }
    // Language names become part of the paths of the catalogs read: only
    // names, never a path of the caller's choosing.
    QStringList languages = args.value(QStringLiteral("languages")).toStringList();
    languages.erase(std::remove_if(languages.begin(), languages.end(), [](const QString &language) {
                        return !isLocaleName(language.toLatin1()) || language.startsWith(QLatin1Char('.'));
                    }),
                    languages.end());
    KLocalizedString::setLanguages(languages);
}
}

namespace
{
// What a large change built is taken apart once its answer is out: a
// million labelled objects take a tenth of a second that the client, idle
// until the answer, need not wait. (A read's client is still busy with the
// rules when the answer goes: there the two would only share the cores.)
template<typename T>
void freeAfterAnswer(std::unique_ptr<T> object)
{
    T *kept = object.release();
    QTimer::singleShot(0, QCoreApplication::instance(), [kept] {
        delete kept;
    });
}

// What both actions do first: answer in the caller's language, under the
// request's seal, over the state as it is now.
ActionReply serve(const QVariantMap &args, const std::function<ActionReply(const ReplyChannel &, MicSystem &)> &work)
{
    useCallerLanguage(args);
    ActionReply refusal;
    const std::optional<ReplyChannel> channel = ReplyChannel::forRequest(args, &refusal);
    if (!channel) {
        return refusal;
    }
    channel->started();
    const StopRequest::Watch stoppable(channel->requestSeal());
    const WorkProgress::Watch reported(*channel);
    // A change left to recover (one a start could not undo, or one this
    // helper could not close) is tried again first: a helper kept running
    // by calls would never start again to do it.
    if (QFile::exists(ChangeJournal::pathIn(ChangeJournal::folderOf(MicSystem::rootFromEnvironment())))) {
        ChangeRecovery::recoverInterruptedChange(MicSystem(MicSystem::rootFromEnvironment()));
    }
    MicSystem system(MicSystem::rootFromEnvironment());
    QString error;
    if (!system.read(&error)) {
        return channel->error(int(HelperError::DamagedState), error);
    }
    return work(*channel, system);
}

ChangeHistory historyOf(const MicSystem &system)
{
    return ChangeHistory(ChangeJournal::folderOf(system.root()));
}

// A change whose journal remains, not done: the helper could not undo it.
std::optional<ChangeJournal::Content> changeNotUndone(const MicSystem &system)
{
    const QString folder = ChangeJournal::folderOf(system.root());
    if (!QFile::exists(ChangeJournal::pathIn(folder))) {
        return std::nullopt;
    }
    auto journal = ChangeJournal::read(folder);
    if (journal && journal->stage != ChangeJournal::Stage::None && journal->stage != ChangeJournal::Stage::BackedUp) {
        return std::nullopt;
    }
    return journal;
}

// The change the helper undid when it started, while no other came after
// it, or one it could not undo yet.
QVariant interruptedChange(const MicSystem &system)
{
    if (const auto remaining = changeNotUndone(system)) {
        const ChangeJournal::Header &header = remaining->header;
        return QVariantMap{{QStringLiteral("time"), header.time.toUTC().toString(Qt::ISODate)},
                           {QStringLiteral("user"), header.user},
                           {QStringLiteral("uid"), header.uid},
                           {QStringLiteral("summary"), header.summary},
                           {Mic::Protocol::interruptedUndoneKey, false}};
    }
    const QList<HistoryEntry> last = historyOf(system).newest(1);
    if (last.isEmpty() || last.constFirst().outcome != QLatin1String("undone")) {
        return QVariant();
    }
    const QVariantMap entry = last.constFirst().toMap();
    QVariantMap change;
    for (const char *key : {"time", "user", "uid", "summary"}) {
        change.insert(QLatin1String(key), entry.value(QLatin1String(key)));
    }
    return change;
}

ActionReply readHistory(const ReplyChannel &channel, const MicSystem &system, int limit)
{
    QVariantList entries;
    const QList<HistoryEntry> history = historyOf(system).newest(limit);
    const KeptStates kept(system);
    for (const HistoryEntry &entry : history) {
        QVariantMap map = entry.toMap();
        map.insert(Mic::Protocol::restorableKey, kept.holdsStateBefore(entry));
        entries.append(map);
    }
    return channel.reply({{Mic::Protocol::historyKey, entries}});
}

// The rules and exceptions go once, in chunks, straight from the
// configuration, when the client takes them so: a whole map of a large
// configuration would not fit in one message of the bus. They belong to the
// maps sent after them.
void sendConfigurationAhead(const ReplyChannel &channel, const MicSystem &system)
{
    if (channel.takesChunks()) {
        channel.sendRulesAhead(Mic::Settings::rulesKey, system.config());
        channel.sendRulesAhead(Mic::Settings::defaultRulesKey, system.defaults());
        channel.sendListAhead(Mic::Settings::exceptionsKey, system.config().exceptions());
        channel.sendListAhead(Mic::Settings::defaultExceptionsKey, system.defaults().exceptions());
    }
}

// The settings without the check of the labels.
Mic::Settings::ReadReply settingsReply(const ReplyChannel &channel, const MicSystem &system)
{
    sendConfigurationAhead(channel, system);
    return system.readReply(!channel.takesChunks());
}

ActionReply readStateBefore(const ReplyChannel &channel, const MicSystem &system, const QString &requestId)
{
    const QList<HistoryEntry> history = historyOf(system).newest(-1);
    const auto entry = std::find_if(history.cbegin(), history.cend(), [&requestId](const HistoryEntry &entry) {
        return QString::fromLatin1(entry.requestId.toHex()) == requestId && entry.outcome == QLatin1String("applied");
    });
    if (entry == history.cend()) {
        return channel.error(int(HelperError::InvalidRequest), i18n("No applied change with the id %1 is recorded.", Mic::printable(requestId)));
    }
    const auto contents = KeptStates(system).stateBefore(*entry);
    if (!contents) {
        return channel.error(int(HelperError::InvalidRequest),
                             i18n("The state before the change of %1 is no longer kept: later changes replaced its backups.",
                                  entry->time.toString(Qt::ISODate)));
    }
    MicSystem before(system.root());
    QString error;
    if (!before.readContents(*contents, &error)) {
        return channel.error(int(HelperError::DamagedState), error);
    }
    Mic::Settings::ReadReply reply = settingsReply(channel, before);
    reply.protection = before.isFsProtectionOn() ? Status::Enabled : Status::Disabled;
    return channel.reply(reply.toWire());
}

ActionReply read(const QVariantMap &args, const ReplyChannel &channel, MicSystem &system)
{
    if (args.contains(Mic::Protocol::historyKey)) {
        bool number = false;
        const int limit = args.value(Mic::Protocol::historyKey).toInt(&number);
        return readHistory(channel, system, number ? limit : -1);
    }
    if (args.contains(Mic::Protocol::stateBeforeKey)) {
        return readStateBefore(channel, system, args.value(Mic::Protocol::stateBeforeKey).toString());
    }
    // The labels are read on other threads while the settings go out.
    std::optional<ProtectionCheck> check;
    if (system.isFsProtectionOn()) {
        check.emplace(system.config(), system.keywordMaxLevel());
        check->start();
    }
    // The page can show everything but the protection state while the
    // configured files are checked: the settings go first, a client that
    // takes chunks gets the rules after them, for the reply.
    Mic::Settings::ReadReply reply = system.readReply(!channel.takesChunks());
    Mic::Settings::ReadReply loading = reply;
    loading.protection = Status::Loading;
    channel.progress(loading.toWire());
    sendConfigurationAhead(channel, system);
    pauseForTest("before-check");

    QStringList unprotected;
    reply.protection = Status::Disabled;
    // Of the unprotected objects, those a save would label (the others'
    // labels cannot be read): a client that brings the machine to a state
    // knows whether saving again would change anything.
    reply.labellableCount = 0;
    if (check) {
        if (!check->finish(StopRequest::pollRequested)) {
            return channel.error(int(HelperError::Stopped), i18n("The read was stopped by its client."));
        }
        unprotected = check->unprotectedMessages();
        reply.labellableCount = check->labellableCount();
        reply.protection = unprotected.isEmpty() ? Status::Enabled : Status::Partly;
    }
    if (channel.takesChunks()) {
        channel.sendListAhead(Mic::Settings::fsStatusMessagesKey, unprotected);
    } else {
        reply.unprotected = unprotected;
    }
    QVariantMap map = reply.toWire();
    const QVariant interrupted = interruptedChange(system);
    if (interrupted.isValid()) {
        map.insert(Mic::Protocol::interruptedChangeKey, interrupted);
    }
    return channel.reply(map);
}

QString userName(qint64 uid)
{
    const passwd *entry = uid >= 0 ? ::getpwuid(uid_t(uid)) : nullptr;
    return entry ? QString::fromLocal8Bit(entry->pw_name) : QString();
}

// A history entry of the request being served, its outcome still to come.
HistoryEntry entryOfRequest(const ReplyChannel &channel)
{
    HistoryEntry entry;
    entry.time = QDateTime::currentDateTimeUtc();
    entry.uid = HelperService::callerUid();
    entry.user = userName(entry.uid);
    entry.requestId = channel.requestSeal() ? channel.requestSeal()->requestId() : QByteArray();
    return entry;
}

ActionReply recordedError(const ReplyChannel &channel, const MicSystem &system, HistoryEntry entry, HelperError code, const QString &error)
{
    entry.outcome = code == HelperError::InvalidRequest ? QStringLiteral("refused")
        : code == HelperError::Stopped                  ? QStringLiteral("stopped")
                                                        : QStringLiteral("failed");
    entry.text = error;
    historyOf(system).append(entry);
    return channel.error(int(code), error);
}

ActionReply applyChange(const QVariantMap &args, const ReplyChannel &channel, MicSystem &system)
{
    QString error;
    const bool checkOnly = args.value(Mic::Protocol::checkOnlyKey).toBool();
    HistoryEntry entry = entryOfRequest(channel);
    if (!checkOnly) {
        // A check is not recorded: its digests would be work for nothing.
        entry.before = system.contentDigests();
    }
    const std::optional<ChangeRequest> request = ChangeRequest::parse(args, system.isolatableServiceNames(), &error);
    if (request && !request->checkOnly && QFile::exists(ChangeJournal::pathIn(ChangeJournal::folderOf(system.root())))) {
        entry.describe(ChangeHistory::changesOf(*request));
        return recordedError(channel, system, entry, HelperError::WriteFailed, ChangeJournal::remainsText(ChangeJournal::folderOf(system.root())));
    }
    if (!request) {
        entry.describe(ChangeHistory::changesOfRefused(args));
        return checkOnly ? channel.error(int(HelperError::InvalidRequest), error)
                         : recordedError(channel, system, entry, HelperError::InvalidRequest, error);
    }
    auto changing = std::make_unique<ChangeApplier>(system, request->checkOnly ? ChangeApplier::Mode::CheckOnly : ChangeApplier::Mode::Apply);
    ChangeApplier &applier = *changing;
    entry.describe(ChangeHistory::changesOf(*request));
    ChangeJournal journal(ChangeJournal::folderOf(system.root()));
    applier.setJournal(&journal, {entry.requestId, entry.uid, entry.user, entry.time, entry.summary, entry.before});
    const QVariant interrupted = interruptedChange(system);
    if (!applier.apply(*request, &error)) {
        if (applier.leftForRecovery()) {
            // Once this answer is out: the next start recovers, before any
            // other change could begin a journal of its own.
            QTimer::singleShot(0, QCoreApplication::instance(), &QCoreApplication::quit);
        }
        const HelperError code = applier.wasStopped() ? HelperError::Stopped : HelperError::WriteFailed;
        return request->checkOnly ? channel.error(int(code), error) : recordedError(channel, system, entry, code, error);
    }
    if (request->checkOnly) {
        pauseForTest("change-checked");
    }
    QVariantMap reply = Mic::Settings::ChangeOutcome{applier.warnings(), applier.needReboot(), applier.relabelled(), applier.relabelledCount(), applier.loweredCount()}.toWire();
    if (interrupted.isValid()) {
        reply.insert(Mic::Protocol::interruptedChangeKey, interrupted);
    }
    if (!request->checkOnly) {
        entry.outcome = QStringLiteral("applied");
        entry.text = applier.warnings().join(QLatin1Char(' '));
        entry.relabelled = applier.relabelledCount();
        historyOf(system).append(entry);
        ChangeJournal::discard(ChangeJournal::folderOf(system.root()));
    }
    freeAfterAnswer(std::move(changing));
    return channel.reply(reply);
}
}

ActionReply MicAuthHelper::access(const QVariantMap &args)
{
    return serve(args, [&args](const ReplyChannel &channel, MicSystem &system) {
        return read(args, channel, system);
    });
}

ActionReply MicAuthHelper::change(const QVariantMap &args)
{
    return serve(args, [&args](const ReplyChannel &channel, MicSystem &system) {
        return applyChange(args, channel, system);
    });
}

namespace
{
// Qt's messages go to the system log, never to the bus (KAuth's helpers
// send them to every listener) nor to a terminal nobody reads.
void toSystemLog(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    int priority = LOG_DEBUG;
    switch (type) {
    case QtInfoMsg:
        priority = LOG_INFO;
        break;
    case QtWarningMsg:
        priority = LOG_WARNING;
        break;
    case QtCriticalMsg:
    case QtFatalMsg:
        priority = LOG_ERR;
        break;
    case QtDebugMsg:
        break;
    }
    syslog(priority, "%s", message.toLocal8Bit().constData());
}

// A change holds the objects it labels open, to put their labels back on
// them if it fails: room for some thousands, within what root may have.
void allowManyOpenObjects()
{
    struct rlimit files;
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = std::min<rlim_t>(files.rlim_max, 65536);
        ::setrlimit(RLIMIT_NOFILE, &files);
    }
}
}

#ifdef MIC_HELPER_TEST_HOOKS
// Test builds send the entries of the system's journal to a socket the test
// owns, named by MIC_HELPER_TEST_JOURNAL, while it exists when the helper
// starts: in a mount namespace of the helper's own, an empty /run holds the
// journal's socket name, pointing there. The machine's own /run and journal
// stay as they are. Mounts the tests make later do not reach that
// namespace, so it is made only for the test that owns the socket.
void useTestJournal()
{
    const QByteArray socket = qgetenv("MIC_HELPER_TEST_JOURNAL");
    struct stat status;
    if (socket.isEmpty() || ::stat(socket.constData(), &status) != 0 || !S_ISSOCK(status.st_mode) || ::unshare(CLONE_NEWNS) != 0) {
        return;
    }
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 || ::mount("tmpfs", "/run", "tmpfs", MS_NOSUID | MS_NODEV, "mode=0755") != 0) {
        syslog(LOG_WARNING, "the test's journal cannot stand in for the system's");
        return;
    }
    ::mkdir("/run/systemd", 0755);
    ::mkdir("/run/systemd/journal", 0755);
    if (::symlink(socket.constData(), "/run/systemd/journal/socket") != 0) {
        syslog(LOG_WARNING, "the test's journal cannot stand in for the system's");
    }
}
#endif

int main(int argc, char **argv)
{
    openlog("lumen_kcm_mic_helper", LOG_PID, LOG_AUTHPRIV);
#ifdef MIC_HELPER_TEST_HOOKS
    useTestJournal();
#endif
    allowManyOpenObjects();
    qInstallMessageHandler(toSystemLog);
    QCoreApplication app(argc, argv);
    // A change the helper could not finish is undone before anything is
    // served: no read shows its half.
    ChangeJournal::lockFolderForProcess(ChangeJournal::folderOf(MicSystem::rootFromEnvironment()));
    ChangeRecovery::recoverInterruptedChange(MicSystem(MicSystem::rootFromEnvironment()));
    MicAuthHelper helper;
    HelperService service(Mic::Protocol::helperId,
                          {{QStringLiteral("access"),
                            [&helper](const QVariantMap &args) {
                                return helper.access(args);
                            }},
                           {QStringLiteral("change"), [&helper](const QVariantMap &args) {
                                return helper.change(args);
                            }}});
    if (!service.registerOnBus()) {
        syslog(LOG_ERR, "the helper could not take its name on the system bus");
        return 1;
    }
    return app.exec();
}
