#include "micauthhelper.h"
#include "changeapplier.h"
#include "changerequest.h"
#include "helpererror.h"
#include "micsystem.h"
#include "protectioncheck.h"
#include "statusvalues.h"

#include <KAuth/HelperSupport>
#include <KLocalizedString>

#include <QRegularExpression>

#include <clocale>

using KAuth::ActionReply;
namespace HelperSupport = KAuth::HelperSupport;

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
    KLocalizedString::setLanguages(args.value(QStringLiteral("languages")).toStringList());
}
}

ActionReply MicAuthHelper::access(const QVariantMap &args)
{
    useCallerLanguage(args);
    MicSystem system(MicSystem::rootFromEnvironment());
    QString error;
    if (!system.read(&error)) {
        return errorReply(HelperError::DamagedState, error);
    }
    QVariantMap reply = system.readReply();

    // The page can show everything but the protection state while the
    // configured files are checked.
    QVariantMap loading = reply;
    loading.insert(QStringLiteral("micFsStatus"), StatusValue::Loading);
    HelperSupport::progressStep(loading);

    QStringList unprotected;
    int fsStatus = StatusValue::Disabled;
    if (system.isFsProtectionOn()) {
        ProtectionCheck check(system.config().rules(), system.config().exceptions(), system.keywordMaxLevel());
        if (!check.run(&HelperSupport::isStopped)) {
            return errorReply(HelperError::Stopped, i18n("Reading the settings was cancelled."));
        }
        unprotected = check.unprotectedMessages();
        fsStatus = unprotected.isEmpty() ? StatusValue::Enabled : StatusValue::Partly;
    }
    reply.insert(QStringLiteral("micFsStatus"), fsStatus);
    reply.insert(QStringLiteral("micFsStatusMessages"), unprotected);

    ActionReply success = ActionReply::SuccessReply();
    success.setData(reply);
    return success;
}

ActionReply MicAuthHelper::change(const QVariantMap &args)
{
    useCallerLanguage(args);
    MicSystem system(MicSystem::rootFromEnvironment());
    QString error;
    if (!system.read(&error)) {
        return errorReply(HelperError::DamagedState, error);
    }
    const std::optional<ChangeRequest> request = ChangeRequest::parse(args, system.isolatableServiceNames(), &error);
    if (!request) {
        return errorReply(HelperError::InvalidRequest, error);
    }
    ChangeApplier applier(system);
    if (!applier.apply(*request, &error)) {
        return errorReply(HelperError::WriteFailed, error);
    }
    ActionReply success = ActionReply::SuccessReply();
    success.setData({{QStringLiteral("warnings"), applier.warnings()}, {QStringLiteral("needReboot"), applier.needReboot()}});
    return success;
}

KAUTH_HELPER_MAIN("org.lumen.kcm.mic", MicAuthHelper)
