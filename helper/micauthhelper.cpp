#include "micauthhelper.h"
#include "changeapplier.h"
#include "changerequest.h"
#include "helpererror.h"
#include "helperservice.h"
#include "micsystem.h"
#include "protectioncheck.h"
#include "replychannel.h"
#include "stoprequest.h"
#include <statusvalues.h>
#include "testpause.h"

#include <KLocalizedString>

#include <QCoreApplication>
#include <QRegularExpression>

#include <algorithm>
#include <clocale>
#include <functional>

#include <sys/resource.h>
#include <syslog.h>

using KAuth::ActionReply;

namespace
{

bool isLocaleName(const QByteArray &name)
{
    static const QRegularExpression localeName(QStringLiteral("^[A-Za-z0-9_.@-]{1,64}$"));
    return localeName.match(QString::fromLatin1(name)).hasMatch();
}

// Answers in the language of the user of the module. Catalogs are looked up
// by the languages the module sends; gettext follows them only under a
// message locale other than "C", so the helper takes the caller's, or
// C.UTF-8 when it has none of that name.
void useCallerLanguage(const QVariantMap &args)
{
    const QByteArray messagesLocale = args.value(QStringLiteral("lcmessages")).toString().toLatin1();
    const bool callerLocale = isLocaleName(messagesLocale) && messagesLocale != "C" && messagesLocale != "POSIX"
        && std::setlocale(LC_MESSAGES, messagesLocale.constData()) != nullptr;
    if (!callerLocale) {
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
    MicSystem system(MicSystem::rootFromEnvironment());
    QString error;
    if (!system.read(&error)) {
        return channel->error(int(HelperError::DamagedState), error);
    }
    return work(*channel, system);
}

ActionReply read(const ReplyChannel &channel, MicSystem &system)
{
    // The rules and exceptions go ahead once, in chunks, straight from the
    // configuration, when the client takes them so: a whole map of a large
    // configuration would not fit in one message of the bus.
    if (channel.takesChunks()) {
        channel.sendRulesAhead(QStringLiteral("micFsCurrentItems"), system.config());
        channel.sendRulesAhead(QStringLiteral("micFsDefaultItems"), system.defaults());
        channel.sendListAhead(QStringLiteral("micFsCurrentExceptions"), system.config().exceptions());
        channel.sendListAhead(QStringLiteral("micFsDefaultExceptions"), system.defaults().exceptions());
    }
    QVariantMap reply = system.readReply(!channel.takesChunks());

    // The page can show everything but the protection state while the
    // configured files are checked.
    QVariantMap loading = reply;
    loading.insert(QStringLiteral("micFsStatus"), StatusValue::Loading);
    channel.progress(loading);
    pauseForTest("before-check");

    QStringList unprotected;
    int fsStatus = StatusValue::Disabled;
    int labellable = 0;
    if (system.isFsProtectionOn()) {
        ProtectionCheck check(system.config(), system.keywordMaxLevel());
        if (!check.run(StopRequest::pollRequested)) {
            return channel.error(int(HelperError::Stopped), i18n("The read was stopped by its client."));
        }
        unprotected = check.unprotectedMessages();
        labellable = check.unprotectedPaths().size();
        fsStatus = unprotected.isEmpty() ? StatusValue::Enabled : StatusValue::Partly;
    }
    reply.insert(QStringLiteral("micFsStatus"), fsStatus);
    // Of the unprotected objects, those a save would label (the others'
    // labels cannot be read): a client that brings the machine to a state
    // knows whether saving again would change anything.
    reply.insert(QStringLiteral("micFsLabellableCount"), labellable);
    if (channel.takesChunks()) {
        channel.sendListAhead(QStringLiteral("micFsStatusMessages"), unprotected);
    } else {
        reply.insert(QStringLiteral("micFsStatusMessages"), unprotected);
    }
    return channel.reply(reply);
}

ActionReply applyChange(const QVariantMap &args, const ReplyChannel &channel, MicSystem &system)
{
    QString error;
    const std::optional<ChangeRequest> request = ChangeRequest::parse(args, system.isolatableServiceNames(), &error);
    if (!request) {
        return channel.error(int(HelperError::InvalidRequest), error);
    }
    ChangeApplier applier(system, request->checkOnly ? ChangeApplier::Mode::CheckOnly : ChangeApplier::Mode::Apply);
    if (!applier.apply(*request, &error)) {
        return channel.error(int(HelperError::WriteFailed), error);
    }
    return channel.reply({{QStringLiteral("warnings"), applier.warnings()},
                          {QStringLiteral("needReboot"), applier.needReboot()},
                          {QStringLiteral("relabelled"), applier.relabelled()},
                          {QStringLiteral("relabelledCount"), applier.relabelledCount()},
                          {QStringLiteral("loweredCount"), applier.loweredCount()}});
}
}

ActionReply MicAuthHelper::access(const QVariantMap &args)
{
    return serve(args, read);
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

int main(int argc, char **argv)
{
    openlog("lumen_kcm_mic_helper", LOG_PID, LOG_AUTHPRIV);
    allowManyOpenObjects();
    qInstallMessageHandler(toSystemLog);
    QCoreApplication app(argc, argv);
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
