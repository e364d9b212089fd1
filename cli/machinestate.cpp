#include "machinestate.h"

#include <changerecords.h>
#include <protocol.h>

#include <printable.h>
#include <statusvalues.h>
#include <utils.h>

#include <KLocalizedString>

#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <functional>

using namespace StatusValue;

namespace
{
bool micOnNow(int status)
{
    return status == Enabled || status == DisabledAfterReboot;
}

bool micOnAfterReboot(int status)
{
    return status == Enabled || status == EnabledAfterReboot;
}

// The words of the status text; the JSON keeps its own, the same in every
// language.
QString enabledText(bool enabled)
{
    return enabled ? i18nc("integrity control is", "enabled") : i18nc("integrity control is", "disabled");
}

QString protectionText(int status)
{
    switch (status) {
    case Enabled:
        return i18nc("file-system protection", "protected");
    case Partly:
        return i18nc("file-system protection", "partly");
    default:
        return i18nc("file-system protection", "off");
    }
}

int statusOf(const QVariantMap &reply, const char *key)
{
    return reply.value(QLatin1String(key)).toInt();
}

QJsonObject sortedObject(const QVariantHash &hash, const std::function<QJsonValue(const QVariant &)> &value)
{
    QJsonObject object;
    for (auto it = hash.cbegin(); it != hash.cend(); ++it) {
        object.insert(it.key(), value(it.value()));
    }
    return object; // QJsonObject keeps its keys sorted
}
}

MachineState::MachineState(const QVariantMap &reply)
    : reply(reply)
{
}

QJsonObject MachineState::userLevels() const
{
    return sortedObject(reply.value(QStringLiteral("userILevels")).toHash(), [](const QVariant &level) {
        return QJsonValue(qint64(level.toUInt()));
    });
}

QMap<QString, MachineState::IsolatableService> MachineState::isolatableServices() const
{
    QMap<QString, IsolatableService> isolatable;
    const QVariantList services = reply.value(QStringLiteral("services")).toList();
    for (const QVariant &entry : services) {
        const QVariantHash service = entry.toHash();
        if (service.value(QStringLiteral("isIsolatable")).toBool()) {
            isolatable.insert(service.value(QStringLiteral("name")).toString(),
                              {service.value(QStringLiteral("isIsolated")).toBool(), service.value(QStringLiteral("isError")).toBool()});
        }
    }
    return isolatable;
}

// Isolatable services by name: isolated or not, those in error too.
QJsonObject MachineState::serviceIsolation() const
{
    QJsonObject isolation;
    const QMap<QString, IsolatableService> services = isolatableServices();
    for (auto it = services.cbegin(); it != services.cend(); ++it) {
        isolation.insert(it.key(), it->isolated);
    }
    return isolation;
}

QJsonObject MachineState::desiredState() const
{
    const int mic = statusOf(reply, "micStatus");
    const int protection = statusOf(reply, "micFsStatus");
    QJsonObject state;
    state.insert(QStringLiteral("format"), QStringLiteral("lumen-mic-state"));
    state.insert(QStringLiteral("version"), 1);
    state.insert(QStringLiteral("micEnabledAfterReboot"), micOnAfterReboot(mic));
    state.insert(QStringLiteral("maxLevelAfterReboot"), qint64(reply.value(QStringLiteral("micFutureLevel")).toUInt()));
    state.insert(QStringLiteral("fileSystemProtection"), protection == Enabled || protection == Partly);
    state.insert(QStringLiteral("serviceIsolation"), serviceIsolation());
    state.insert(QStringLiteral("userLevels"), userLevels());
    state.insert(QStringLiteral("rules"), sortedObject(reply.value(QStringLiteral("micFsCurrentItems")).toHash(), [](const QVariant &level) {
                     return QJsonValue(level.toString());
                 }));
    state.insert(QStringLiteral("exceptions"), QJsonArray::fromStringList(reply.value(QStringLiteral("micFsCurrentExceptions")).toStringList()));
    return state;
}

QByteArray MachineState::desiredStateFile() const
{
    // QJsonObject writes its keys sorted; a reader looks first for what the
    // file is.
    QJsonObject settings = desiredState();
    const QJsonObject identity{{QStringLiteral("format"), settings.take(QStringLiteral("format"))},
                               {QStringLiteral("version"), settings.take(QStringLiteral("version"))}};
    const QByteArray head = QJsonDocument(identity).toJson(QJsonDocument::Indented);
    const QByteArray rest = QJsonDocument(settings).toJson(QJsonDocument::Indented);
    // "{\n    \"format\": …,\n    \"version\": 1" and ",\n    \"exceptions\": …}\n"
    return head.chopped(int(qstrlen("\n}\n"))) + ',' + rest.mid(1);
}

QString MachineState::micWord(int status)
{
    return micOnNow(status) ? QStringLiteral("enabled") : QStringLiteral("disabled");
}

QString MachineState::protectionWord(int status)
{
    switch (status) {
    case Enabled:
        return QStringLiteral("protected");
    case Partly:
        return QStringLiteral("partly");
    default:
        return QStringLiteral("off");
    }
}

QString MachineState::isolationWord(int status)
{
    switch (status) {
    case Enabled:
        return QStringLiteral("all");
    case Partly:
        return QStringLiteral("some");
    default:
        return QStringLiteral("none");
    }
}

// The helper counts the services it can isolate: those in error are left
// out of its "all" and "some", and the text says so.
QString MachineState::isolationText() const
{
    switch (statusOf(reply, "servicesIsolatedStatus")) {
    case Enabled: {
        const QMap<QString, IsolatableService> services = isolatableServices();
        const bool anyInError = std::any_of(services.cbegin(), services.cend(), [](const IsolatableService &service) {
            return service.inError;
        });
        return anyInError ? i18nc("service isolation", "all that can be isolated") : i18nc("service isolation", "all");
    }
    case Partly:
        return i18nc("service isolation", "some");
    default:
        return i18nc("service isolation", "none");
    }
}

QStringList MachineState::serviceLines() const
{
    QStringList lines;
    const QMap<QString, IsolatableService> services = isolatableServices();
    for (auto it = services.cbegin(); it != services.cend(); ++it) {
        const QString name = Mic::printable(it.key());
        if (it->inError) {
            lines << (it->isolated ? i18n("%1: isolated, in error", name) : i18n("%1: cannot be isolated (in error)", name));
        } else {
            lines << (it->isolated ? i18n("%1: isolated", name) : i18n("%1: not isolated", name));
        }
    }
    return lines;
}

bool MachineState::micEnabledAfterReboot() const
{
    return micOnAfterReboot(statusOf(reply, "micStatus"));
}

bool MachineState::rebootPending() const
{
    const int mic = statusOf(reply, "micStatus");
    if (mic == EnabledAfterReboot || mic == DisabledAfterReboot) {
        return true;
    }
    return mic == Enabled && reply.value(QStringLiteral("micFutureLevel")).toUInt() != Mic::Utils::currentMaxLevel().value;
}

QJsonObject MachineState::status() const
{
    const int mic = statusOf(reply, "micStatus");
    const bool afterReboot = micOnAfterReboot(mic);
    QJsonObject status;
    status.insert(QStringLiteral("mic"), QJsonObject{{QStringLiteral("now"), micWord(mic)},
                                                     {QStringLiteral("afterReboot"), afterReboot ? QStringLiteral("enabled") : QStringLiteral("disabled")}});
    status.insert(QStringLiteral("maxLevelNow"), qint64(Mic::Utils::currentMaxLevel().value));
    status.insert(QStringLiteral("maxLevelAfterReboot"), qint64(reply.value(QStringLiteral("micFutureLevel")).toUInt()));
    status.insert(QStringLiteral("rebootPending"), rebootPending());
    status.insert(QStringLiteral("fileSystem"),
                  QJsonObject{{QStringLiteral("protection"), protectionWord(statusOf(reply, "micFsStatus"))},
                              {QStringLiteral("unprotected"), QJsonArray::fromStringList(reply.value(QStringLiteral("micFsStatusMessages")).toStringList())}});
    status.insert(QStringLiteral("services"),
                  QJsonObject{{QStringLiteral("isolation"), isolationWord(statusOf(reply, "servicesIsolatedStatus"))},
                              {QStringLiteral("isolated"), serviceIsolation()}});
    status.insert(QStringLiteral("userLevels"), userLevels());
    status.insert(QStringLiteral("rules"), reply.value(QStringLiteral("micFsCurrentItems")).toHash().size());
    status.insert(QStringLiteral("exceptions"), reply.value(QStringLiteral("micFsCurrentExceptions")).toStringList().size());
    const QVariant interrupted = reply.value(Mic::Protocol::interruptedChangeKey);
    if (interrupted.isValid()) {
        status.insert(Mic::Protocol::interruptedChangeKey, QJsonObject::fromVariantMap(interrupted.toMap()));
    }
    return status;
}

QString MachineState::statusText() const
{
    const QJsonObject s = status();
    const QJsonObject fs = s.value(QStringLiteral("fileSystem")).toObject();
    const int mic = statusOf(reply, "micStatus");
    QStringList lines;
    const QString interrupted = Mic::interruptedChangeText(reply.value(Mic::Protocol::interruptedChangeKey));
    if (!interrupted.isEmpty()) {
        lines << i18n("Warning: %1", interrupted);
    }
    lines << i18n("Integrity control: %1 now, %2 after reboot", enabledText(micOnNow(mic)), enabledText(micOnAfterReboot(mic)));
    lines << i18n("Maximum level: %1 now, %2 after reboot",
                  Mic::printable(Mic::Utils::levelName(uint(s.value(QStringLiteral("maxLevelNow")).toInt()))),
                  Mic::printable(Mic::Utils::levelName(uint(s.value(QStringLiteral("maxLevelAfterReboot")).toInt()))));
    const QJsonArray unprotected = fs.value(QStringLiteral("unprotected")).toArray();
    lines << i18n("File-system protection: %1 (%2)", protectionText(statusOf(reply, "micFsStatus")),
                  i18np("%1 object below its configured level", "%1 objects below their configured level", unprotected.size()));
    for (const QJsonValue &line : unprotected) {
        lines << QStringLiteral("  ") + Mic::printable(line.toString());
    }
    lines << i18n("Service isolation: %1", isolationText());
    const QStringList services = serviceLines();
    for (const QString &service : services) {
        lines << QStringLiteral("  ") + service;
    }
    lines << i18n("Users and their maximum levels:");
    const QJsonObject users = s.value(QStringLiteral("userLevels")).toObject();
    for (auto it = users.constBegin(); it != users.constEnd(); ++it) {
        lines << QStringLiteral("  %1: %2").arg(Mic::printable(it.key()), Mic::printable(Mic::Utils::levelName(uint(it.value().toInt()))));
    }
    lines << i18n("Rules: %1, exceptions: %2", QString::number(s.value(QStringLiteral("rules")).toInt()),
                  QString::number(s.value(QStringLiteral("exceptions")).toInt()));
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}
