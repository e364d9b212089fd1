// micctl: the integrity control settings from a shell, through the same
// privileged helper, actions and polkit authorization as the settings page.
#include "machinestate.h"

#include <helperrequest.h>
#include <protocol.h>

#include <KLocalizedString>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QSaveFile>

#include <cstdio>
#include <optional>

namespace
{
enum ExitStatus { Success = 0, Failure = 1, Usage = 64 };

const char manual[] = R"(Reads the Mandatory Integrity Control settings of this machine through the
privileged helper of the system settings page, with the same polkit
authorization (an administrator's, kept for the session).

Commands:
  status            MIC now and after reboot, the maximum levels, file-system
                    protection with the objects below their configured level,
                    service isolation, the users' levels, the number of rules
                    and exceptions. With --json, the same as JSON with the
                    keys "mic" {"now", "afterReboot"}, "maxLevelNow",
                    "maxLevelAfterReboot", "fileSystem" {"protection",
                    "unprotected"}, "services" {"isolation", "isolated"},
                    "userLevels", "rules", "exceptions".
  export [FILE]     The desired state of this machine, to bring others to it:
                    a JSON object with "format": "lumen-mic-state",
                    "version": 1, "micEnabledAfterReboot",
                    "maxLevelAfterReboot", "fileSystemProtection",
                    "serviceIsolation" {service: isolated}, "userLevels"
                    {user: level}, "rules" {path: level string as configured},
                    "exceptions" [paths]. To FILE (written whole or not at
                    all), or to standard output.

Exit status: 0 done, 1 failed (the reason on standard error), 64 wrong usage.)";

void printError(const QString &text)
{
    std::fprintf(stderr, "micctl: %s\n", qPrintable(text));
}

// The helper's read reply, or nothing when the read failed (said on
// standard error).
std::optional<QVariantMap> readMachine()
{
    KAuth::Action action(Mic::Protocol::accessAction);
    action.setHelperId(Mic::Protocol::helperId);
    action.setTimeout(Mic::Protocol::actionTimeout);
    HelperRequest::addLocale(&action);
    auto *request = new HelperRequest(action);
    std::optional<QVariantMap> reply;
    QEventLoop loop;
    QObject::connect(request, &KJob::result, &loop, [&] {
        if (request->error() == 0) {
            reply = request->data();
        } else {
            printError(request->errorText());
        }
        loop.quit();
    });
    request->start();
    loop.exec();
    return reply;
}

int exportTo(const QString &file, const MachineState &state)
{
    const QByteArray json = QJsonDocument(state.desiredState()).toJson(QJsonDocument::Indented);
    if (file.isEmpty() || file == QLatin1String("-")) {
        std::fwrite(json.constData(), 1, size_t(json.size()), stdout);
        return Success;
    }
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(json) != json.size() || !out.commit()) {
        printError(i18n("Could not write %1: %2", file, out.errorString()));
        return Failure;
    }
    return Success;
}
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("micctl"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(manual));
    parser.addHelpOption();
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("status: print JSON."));
    parser.addOption(json);
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("status or export"), QStringLiteral("status [--json] | export [FILE]"));
    parser.process(app);

    const QStringList arguments = parser.positionalArguments();
    const QString command = arguments.value(0);
    const bool known = (command == QLatin1String("status") && arguments.size() == 1) || (command == QLatin1String("export") && arguments.size() <= 2);
    if (!known) {
        printError(command.isEmpty() ? QStringLiteral("no command given; see micctl --help") : QStringLiteral("unknown command or arguments; see micctl --help"));
        return Usage;
    }
    const std::optional<QVariantMap> reply = readMachine();
    if (!reply) {
        return Failure;
    }
    const MachineState state(*reply);
    if (command == QLatin1String("export")) {
        return exportTo(arguments.value(1), state);
    }
    const QByteArray text = parser.isSet(json) ? QJsonDocument(state.status()).toJson(QJsonDocument::Indented) : state.statusText().toUtf8();
    std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
    return Success;
}
