#include "machinestate.h"

#include <printable.h>
#include <statusvalues.h>
#include <utils.h>

#include <KLocalizedString>

#include <QJsonArray>

#include <functional>

using namespace StatusValue;

namespace
{
bool micOnAfterReboot(int status)
{
    return status == Enabled || status == EnabledAfterReboot;
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

// Isolatable services by name: isolated or not.
QJsonObject MachineState::serviceIsolation() const
{
    QJsonObject isolation;
    const QVariantList services = reply.value(QStringLiteral("services")).toList();
    for (const QVariant &entry : services) {
        const QVariantHash service = entry.toHash();
        if (service.value(QStringLiteral("isIsolatable")).toBool()) {
            isolation.insert(service.value(QStringLiteral("name")).toString(), service.value(QStringLiteral("isIsolated")).toBool());
        }
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

QString MachineState::micWord(int status)
{
    switch (status) {
    case Enabled:
    case DisabledAfterReboot:
        return QStringLiteral("enabled");
    default:
        return QStringLiteral("disabled");
    }
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
    return status;
}

QString MachineState::statusText() const
{
    const QJsonObject s = status();
    const QJsonObject mic = s.value(QStringLiteral("mic")).toObject();
    const QJsonObject fs = s.value(QStringLiteral("fileSystem")).toObject();
    const QJsonObject services = s.value(QStringLiteral("services")).toObject();
    QStringList lines;
    lines << i18n("Integrity control: %1 now, %2 after reboot", mic.value(QStringLiteral("now")).toString(), mic.value(QStringLiteral("afterReboot")).toString());
    lines << i18n("Maximum level: %1 now, %2 after reboot",
                  Mic::printable(Mic::Utils::levelName(uint(s.value(QStringLiteral("maxLevelNow")).toInt()))),
                  Mic::printable(Mic::Utils::levelName(uint(s.value(QStringLiteral("maxLevelAfterReboot")).toInt()))));
    const QJsonArray unprotected = fs.value(QStringLiteral("unprotected")).toArray();
    lines << i18n("File-system protection: %1 (%2)", fs.value(QStringLiteral("protection")).toString(),
                  i18np("%1 object below its configured level", "%1 objects below their configured level", unprotected.size()));
    for (const QJsonValue &line : unprotected) {
        lines << QStringLiteral("  ") + Mic::printable(line.toString());
    }
    lines << i18n("Service isolation: %1", services.value(QStringLiteral("isolation")).toString());
    const QJsonObject isolated = services.value(QStringLiteral("isolated")).toObject();
    for (auto it = isolated.constBegin(); it != isolated.constEnd(); ++it) {
        const QString service = Mic::printable(it.key());
        lines << QStringLiteral("  ") + (it.value().toBool() ? i18n("%1: isolated", service) : i18n("%1: not isolated", service));
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
