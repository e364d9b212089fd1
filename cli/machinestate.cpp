// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "machinestate.h"

#include <changerecords.h>
#include <protocol.h>

#include <printable.h>
#include <settingvalues.h>
#include <utils.h>

#include <texts.h>

#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>

using namespace Mic::Texts;

using Mic::Settings::Status;

namespace
{
// The helper reads a user the users' state does not name at this level.
constexpr unsigned int defaultUserLevel = 0;

bool micOnNow(Status status)
{
    return status == Status::Enabled || status == Status::DisabledAfterReboot;
}


// The words of the status text; the JSON keeps its own, the same in every
// language.
QString enabledText(bool enabled)
{
    return enabled ? i18nc("integrity control is", "enabled") : i18nc("integrity control is", "disabled");
}

QString protectionText(Status status)
{
    switch (status) {
    case Status::Enabled:
        return i18nc("file-system protection", "protected");
    case Status::Partly:
        return i18nc("file-system protection", "partly");
    default:
        return i18nc("file-system protection", "off");
    }
}


}

MachineState::MachineState(const QVariantMap &reply)
    : MachineState(Mic::Settings::ReadReply::fromWire(reply), reply.value(Mic::Protocol::interruptedChangeKey))
{
}

MachineState::MachineState(Mic::Settings::ReadReply settings, QVariant interruptedChange)
    : settings(std::move(settings))
    , interruptedChange(std::move(interruptedChange))
{
}

QJsonObject MachineState::userLevels(Defaults defaults) const
{
    QJsonObject object;
    for (auto it = settings.userLevels.cbegin(); it != settings.userLevels.cend(); ++it) {
        if (defaults == Defaults::Included || it.value() != defaultUserLevel) {
            object.insert(it.key(), qint64(it.value()));
        }
    }
    return object; // QJsonObject keeps its keys sorted
}

QMap<QString, MachineState::IsolatableService> MachineState::isolatableServices() const
{
    QMap<QString, IsolatableService> isolatable;
    for (const Mic::Settings::Service &service : settings.services) {
        if (service.isolatable) {
            isolatable.insert(service.name, {service.isolated, service.inError});
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

// The services whose isolation the helper cannot change.
QJsonArray MachineState::servicesInError() const
{
    QJsonArray names;
    const QMap<QString, IsolatableService> services = isolatableServices();
    for (auto it = services.cbegin(); it != services.cend(); ++it) {
        if (it->inError) {
            names.append(it.key());
        }
    }
    return names;
}

// The settings of the desired state but the rules and exceptions, which can
// be too many for a QJsonObject: each insertion moves what it holds.
QJsonObject MachineState::desiredState(Defaults defaults) const
{
    const Status protection = settings.protection;
    QJsonObject state;
    state.insert(QStringLiteral("micEnabledAfterReboot"), Mic::Settings::enabledAfterReboot(settings.mic));
    state.insert(QStringLiteral("maxLevelAfterReboot"), qint64(settings.futureLevel));
    state.insert(QStringLiteral("fileSystemProtection"), protection == Status::Enabled || protection == Status::Partly);
    state.insert(QStringLiteral("serviceIsolation"), serviceIsolation());
    state.insert(QStringLiteral("userLevels"), userLevels(defaults));
    return state;
}

namespace
{
// A string as JSON writes it, in UTF-8: quotes, backslashes and control
// characters escaped.
QByteArray jsonString(const QString &text)
{
    QByteArray out;
    out.reserve(text.size() + 2);
    out += '"';
    qsizetype plainFrom = 0;
    const auto escape = [&](qsizetype at, const QByteArray &escaped) {
        out += QStringView(text).mid(plainFrom, at - plainFrom).toUtf8() + escaped;
        plainFrom = at + 1;
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text.at(i).unicode();
        if (unit == u'"' || unit == u'\\') {
            escape(i, QByteArray("\\") + char(unit));
        } else if (unit == u'\n') {
            escape(i, "\\n");
        } else if (unit == u'\t') {
            escape(i, "\\t");
        } else if (unit == u'\r') {
            escape(i, "\\r");
        } else if (unit < 0x20) {
            escape(i, "\\u00" + QByteArray::number(unit, 16).rightJustified(2, '0'));
        }
    }
    out += QStringView(text).mid(plainFrom).toUtf8();
    out += '"';
    return out;
}

// A member of the file's top object, as QJsonDocument indents it.
QByteArray member(const QString &key, const QJsonValue &value)
{
    QByteArray text = QJsonDocument(QJsonObject{{key, value}}).toJson(QJsonDocument::Indented);
    // "{\n    \"key\": …\n}\n"
    return text.mid(2, text.size() - 5);
}

QByteArray rulesMember(const QVariantHash &rules)
{
    if (rules.isEmpty()) {
        return QByteArrayLiteral("    \"rules\": {\n    }");
    }
    QStringList paths = rules.keys();
    paths.sort();
    QByteArray text = QByteArrayLiteral("    \"rules\": {\n");
    for (const QString &path : std::as_const(paths)) {
        text += "        " + jsonString(path) + ": " + jsonString(rules.value(path).toString()) + ",\n";
    }
    text.chop(2);
    return text + "\n    }";
}

QByteArray exceptionsMember(const QStringList &exceptions)
{
    if (exceptions.isEmpty()) {
        return QByteArrayLiteral("    \"exceptions\": [\n    ]");
    }
    QByteArray text = QByteArrayLiteral("    \"exceptions\": [\n");
    for (const QString &path : exceptions) {
        text += "        " + jsonString(path) + ",\n";
    }
    text.chop(2);
    return text + "\n    ]";
}
}

// "format" and "version" first, for a reader to see what the file is, and
// what it leaves out; the settings in the order of their names, as
// QJsonDocument writes them.
QByteArray MachineState::desiredStateFile(Defaults defaults) const
{
    QMap<QString, QByteArray> members;
    const QJsonObject state = desiredState(defaults);
    for (auto it = state.constBegin(); it != state.constEnd(); ++it) {
        members.insert(it.key(), member(it.key(), it.value()));
    }
    members.insert(QStringLiteral("rules"), rulesMember(settings.rules.value_or(QVariantHash())));
    members.insert(QStringLiteral("exceptions"), exceptionsMember(settings.exceptions));
    QByteArray file = QByteArrayLiteral("{\n    \"format\": \"lumen-mic-state\",\n    \"version\": 1");
    if (defaults == Defaults::LeftOut) {
        file += ",\n" + member(QStringLiteral("defaultsLeftOut"), QJsonObject{{QStringLiteral("userLevels"), qint64(defaultUserLevel)}});
    }
    for (const QByteArray &text : std::as_const(members)) {
        file += ",\n" + text;
    }
    return file + "\n}\n";
}

QString MachineState::micWord(Status status)
{
    return micOnNow(status) ? QStringLiteral("enabled") : QStringLiteral("disabled");
}

QString MachineState::protectionWord(Status status)
{
    switch (status) {
    case Status::Enabled:
        return QStringLiteral("protected");
    case Status::Partly:
        return QStringLiteral("partly");
    default:
        return QStringLiteral("off");
    }
}

QString MachineState::isolationWord(Status status)
{
    switch (status) {
    case Status::Enabled:
        return QStringLiteral("all");
    case Status::Partly:
        return QStringLiteral("some");
    default:
        return QStringLiteral("none");
    }
}

// The helper counts the services it can isolate: those in error are left
// out of its "all" and "some", and the text says so.
QString MachineState::isolationText() const
{
    switch (settings.isolation) {
    case Status::Enabled: {
        const QMap<QString, IsolatableService> services = isolatableServices();
        const bool anyInError = std::any_of(services.cbegin(), services.cend(), [](const IsolatableService &service) {
            return service.inError;
        });
        return anyInError ? i18nc("service isolation", "all that can be isolated") : i18nc("service isolation", "all");
    }
    case Status::Partly:
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
    return Mic::Settings::enabledAfterReboot(settings.mic);
}

bool MachineState::rebootPending() const
{
    const Status mic = settings.mic;
    if (mic == Status::EnabledAfterReboot || mic == Status::DisabledAfterReboot) {
        return true;
    }
    return mic == Status::Enabled && settings.futureLevel != Mic::Utils::currentMaxLevel().value;
}

// The system's named levels, for a client that offers them as choices.
QJsonArray MachineState::levelCatalogue()
{
    QJsonArray levels;
    const QList<Mic::Level> catalogue = Mic::Utils::allLevels();
    for (const Mic::Level &level : catalogue) {
        levels.append(QJsonObject{{QStringLiteral("value"), qint64(level.value)}, {QStringLiteral("name"), level.name}});
    }
    return levels;
}

QJsonObject MachineState::status() const
{
    const Status mic = settings.mic;
    const bool afterReboot = Mic::Settings::enabledAfterReboot(mic);
    QJsonObject status;
    status.insert(QStringLiteral("mic"), QJsonObject{{QStringLiteral("now"), micWord(mic)},
                                                     {QStringLiteral("afterReboot"), afterReboot ? QStringLiteral("enabled") : QStringLiteral("disabled")}});
    status.insert(QStringLiteral("maxLevelNow"), qint64(Mic::Utils::currentMaxLevel().value));
    status.insert(QStringLiteral("maxLevelAfterReboot"), qint64(settings.futureLevel));
    status.insert(QStringLiteral("rebootPending"), rebootPending());
    status.insert(QStringLiteral("fileSystem"),
                  QJsonObject{{QStringLiteral("protection"), protectionWord(settings.protection)},
                              {QStringLiteral("unprotected"), QJsonArray::fromStringList(settings.unprotected.value_or(QStringList()))}});
    status.insert(QStringLiteral("services"),
                  QJsonObject{{QStringLiteral("isolation"), isolationWord(settings.isolation)},
                              {QStringLiteral("isolated"), serviceIsolation()},
                              {QStringLiteral("inError"), servicesInError()}});
    status.insert(QStringLiteral("userLevels"), userLevels());
    status.insert(QStringLiteral("levels"), levelCatalogue());
    status.insert(QStringLiteral("rules"), settings.rules ? settings.rules->size() : 0);
    status.insert(QStringLiteral("exceptions"), settings.exceptions.size());
    if (interruptedChange.isValid()) {
        status.insert(Mic::Protocol::interruptedChangeKey, QJsonObject::fromVariantMap(interruptedChange.toMap()));
    }
    return status;
}

QString MachineState::statusText() const
{
    const QJsonObject s = status();
    const QJsonObject fs = s.value(QStringLiteral("fileSystem")).toObject();
    const Status mic = settings.mic;
    QStringList lines;
    const QString interrupted = Mic::interruptedChangeText(interruptedChange);
    if (!interrupted.isEmpty()) {
        lines << i18n("Warning: %1", interrupted);
    }
    lines << i18n("Integrity control: %1 now, %2 after reboot", enabledText(micOnNow(mic)), enabledText(Mic::Settings::enabledAfterReboot(mic)));
    lines << i18n("Maximum level: %1 now, %2 after reboot",
                  Mic::printable(Mic::Utils::levelName(uint(s.value(QStringLiteral("maxLevelNow")).toInt()))),
                  Mic::printable(Mic::Utils::levelName(uint(s.value(QStringLiteral("maxLevelAfterReboot")).toInt()))));
    const QJsonArray unprotected = fs.value(QStringLiteral("unprotected")).toArray();
    lines << i18n("File-system protection: %1 (%2)", protectionText(settings.protection),
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
