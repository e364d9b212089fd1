// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "polkitauthorization.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace
{
const QString polkitService = QStringLiteral("org.freedesktop.PolicyKit1");
const QString authorityPath = QStringLiteral("/org/freedesktop/PolicyKit1/Authority");
const QString authorityInterface = QStringLiteral("org.freedesktop.PolicyKit1.Authority");
// CheckAuthorization's flag that lets polkit ask the user through the
// authentication agent of the caller's session.
constexpr uint allowUserInteraction = 0x1;

using Details = QMap<QString, QString>;

// The subject "system-bus-name": polkit finds the caller's process, user and
// session from its connection itself.
QDBusArgument busNameSubject(const QString &busName)
{
    QDBusArgument subject;
    subject.beginStructure();
    subject << QStringLiteral("system-bus-name") << QVariantMap{{QStringLiteral("name"), busName}};
    subject.endStructure();
    return subject;
}

// The first member of CheckAuthorization's answer (bba{ss}): is_authorized.
bool isAuthorized(const QDBusMessage &answer)
{
    if (answer.type() != QDBusMessage::ReplyMessage || answer.arguments().isEmpty()) {
        return false;
    }
    const QVariant result = answer.arguments().constFirst();
    if (result.userType() != qMetaTypeId<QDBusArgument>()) {
        return false;
    }
    const QDBusArgument argument = result.value<QDBusArgument>();
    if (argument.currentSignature() != QLatin1String("(bba{ss})")) {
        return false;
    }
    bool authorized = false;
    bool challenge = false;
    Details details;
    argument.beginStructure();
    argument >> authorized >> challenge >> details;
    argument.endStructure();
    return authorized;
}

QString nextCancellationId()
{
    static quint64 checks = 0;
    return QStringLiteral("lumen-kcm-mic-%1-%2").arg(QCoreApplication::applicationPid()).arg(++checks);
}
}

void PolkitAuthorization::check(const QDBusConnection &bus,
                                const QString &actionId,
                                const QString &busName,
                                const Details &details,
                                QObject *context,
                                const Answer &answer,
                                int wait)
{
    static const auto registered = qDBusRegisterMetaType<Details>();
    Q_UNUSED(registered)
    const QString cancellationId = nextCancellationId();
    QDBusMessage call = QDBusMessage::createMethodCall(polkitService, authorityPath, authorityInterface, QStringLiteral("CheckAuthorization"));
    call << QVariant::fromValue(busNameSubject(busName)) << actionId << QVariant::fromValue(details) << allowUserInteraction << cancellationId;
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, wait), context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context, [bus, watcher, cancellationId, answer] {
        watcher->deleteLater();
        const QDBusMessage reply = watcher->reply();
        if (reply.type() == QDBusMessage::ErrorMessage && reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.NoReply")) {
            QDBusMessage cancel =
                QDBusMessage::createMethodCall(polkitService, authorityPath, authorityInterface, QStringLiteral("CancelCheckAuthorization"));
            cancel << cancellationId;
            QDBusConnection(bus).call(cancel, QDBus::NoBlock);
        }
        answer(isAuthorized(reply));
    });
}
