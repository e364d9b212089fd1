// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "helperservice.h"
#include "polkitauthorization.h"
#include "stoprequest.h"
#include "testpause.h"

#include <kauthwire.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDataStream>

#include <dbus/dbus.h>

#include <algorithm>

using Mic::ActionReply;

namespace
{
// The kinds of report of KAuth's signal.
enum SignalType { ActionStarted = 0, ActionPerformed = 1, ProgressStepData = 4 };

QByteArray serialized(const QVariantMap &map)
{
    return Mic::KAuthWire::streamed(map);
}

// The details as polkit takes them.
QMap<QString, QString> polkitDetails(const QVariantMap &details)
{
    QMap<QString, QString> texts;
    for (auto it = details.cbegin(); it != details.cend(); ++it) {
        texts.insert(it.key(), it.value().toString());
    }
    return texts;
}

// What polkit is shown about a call: a few short texts.
constexpr qsizetype maxDetailsSize = 64 * 1024;

bool areDetailsAsKAuthSendsThem(const QVariantMap &details)
{
    qsizetype size = 0;
    for (auto it = details.cbegin(); it != details.cend(); ++it) {
        if (it.value().userType() != QMetaType::QString) {
            return false;
        }
        size += it.key().size() + it.value().toString().size();
    }
    return size <= maxDetailsSize;
}
}

HelperService *HelperService::instance = nullptr;

HelperService::HelperService(const QString &helperId, const QHash<QString, Action> &actions)
    : helperId(helperId)
    , actions(actions)
{
    instance = this;
    idleTimer.setSingleShot(true);
    idleTimer.setInterval(idleWait);
    connect(&idleTimer, &QTimer::timeout, this, &HelperService::onIdle);
    idleTimer.start();
}

HelperService::~HelperService()
{
    instance = nullptr;
}

// libdbus stops reading a connection once the messages received and still
// held reach a limit (63 MiB by default), and the helper holds the calls
// that wait: below its own bounds of what may wait, it would stop reading
// polkit's answers, and every call would wait until polkit's time-out.
// The bounds of waiting calls (see hasRoomFor) keep what is held: the
// limit lies above them (all users' shared bound, root's and an
// administrator's own, the call being served), and still bounds what a
// flood can make the helper hold while its main thread is busy.
static void keepReadingAboveWaitingBounds(const QDBusConnection &bus)
{
    if (auto *connection = static_cast<DBusConnection *>(bus.internalPointer())) {
        dbus_connection_set_max_received_size(connection, 256L * 1024 * 1024);
    }
}

bool HelperService::registerOnBus()
{
    QDBusConnection bus = QDBusConnection::systemBus();
    keepReadingAboveWaitingBounds(bus);
    return bus.isConnected() && bus.registerObject(QStringLiteral("/"), this, QDBusConnection::ExportScriptableSlots | QDBusConnection::ExportScriptableSignals)
        && bus.registerService(helperId);
}

void HelperService::broadcastProgress(const QVariantMap &map)
{
    if (instance) {
        instance->report(ProgressStepData, instance->servedAction, serialized(map));
    }
}

// KAuth's signal, under both names of its interface: the signal declared
// here goes out under the one of this build's frameworks.
void HelperService::report(int type, const QString &action, const QByteArray &blob)
{
    Q_EMIT remoteSignal(type, action, blob);
    QDBusMessage other = QDBusMessage::createSignal(QStringLiteral("/"), Mic::KAuthWire::otherInterface, QStringLiteral("remoteSignal"));
    other << type << action << blob;
    QDBusConnection::systemBus().send(other);
}

qint64 HelperService::callerUid()
{
    return instance ? instance->servedUid : -1;
}

QByteArray HelperService::performAction(const QString &action, const QByteArray &callerID, const QVariantMap &details, const QByteArray &arguments)
{
    setDelayedReply(true);
    Call call;
    call.serial = ++calls;
    call.message = message();
    call.action = action.size() <= maxActionLength ? action : QString();
    call.arguments = arguments;
    // The message's bytes, and what Qt took out of them (the arguments are
    // shared with it).
    call.bytes = 2 * (arguments.size() + callerID.size() + action.size() * 2) + 2 * maxDetailsSize;
    idleTimer.stop();
    const QString caller = call.message.service();
    if (!action.startsWith(helperId + QLatin1Char('.')) || !actions.contains(action.mid(helperId.size() + 1))) {
        answer(call, ActionReply::NoSuchActionReply());
    } else if (QString::fromUtf8(callerID) != caller || !areDetailsAsKAuthSendsThem(details)) {
        // polkit is asked about the caller named in the call: it must be
        // the connection that sent it.
        answer(call, ActionReply::AuthorizationDeniedReply());
    } else {
        call.uid = uidOf(caller);
        if (call.uid < 0 || !hasRoomFor(call.uid, call.bytes)) {
            answer(call, ActionReply::HelperBusyReply());
        } else {
            waiting.push_back(call);
            authorize(call, details);
        }
    }
    serveNext();
    return QByteArray();
}

void HelperService::stopAction(const QString &action)
{
    StopRequest::offer(action);
}

qint64 HelperService::uidOf(const QString &caller)
{
    const auto known = callerUids.constFind(caller);
    if (known != callerUids.cend()) {
        return *known;
    }
    const QDBusReply<uint> uid = QDBusConnection::systemBus().interface()->serviceUid(caller);
    if (!uid.isValid()) {
        return -1;
    }
    if (callerUids.size() >= 4096) {
        callerUids.clear();
    }
    callerUids.insert(caller, qint64(uid.value()));
    return uid.value();
}

bool HelperService::isTrusted(qint64 uid) const
{
    return uid == 0 || authorizedUids.contains(uid);
}

// A user's calls wait within the user's own bounds; those of users neither
// root nor authorized before also within the bounds they all share.
bool HelperService::hasRoomFor(qint64 uid, qsizetype bytes) const
{
    if (ending) {
        return false;
    }
    int fromUser = 0;
    qsizetype userBytes = bytes;
    int shared = 0;
    qsizetype sharedBytes = bytes;
    for (const Call &call : waiting) {
        if (call.uid == uid) {
            ++fromUser;
            userBytes += call.bytes;
        }
        if (!isTrusted(call.uid) && call.authorization == Authorization::Asked) {
            ++shared;
            sharedBytes += call.bytes;
        }
    }
    if (fromUser >= maxWaitingPerUser || userBytes > maxWaitingBytesPerUser) {
        return false;
    }
    return isTrusted(uid) || (shared < maxWaiting && sharedBytes <= maxWaitingBytes);
}

void HelperService::authorize(const Call &call, const QVariantMap &details)
{
    const quint64 serial = call.serial;
    const auto onAnswer = [this, serial](bool authorized) {
        onAuthorization(serial, authorized);
    };
    if (unansweredForTest(call.uid, this, onAnswer)) {
        return;
    }
    PolkitAuthorization::check(QDBusConnection::systemBus(), call.action, call.message.service(), polkitDetails(details), this, onAnswer);
}

void HelperService::onAuthorization(quint64 serial, bool authorized)
{
    const auto call = std::find_if(waiting.begin(), waiting.end(), [serial](const Call &waitingCall) {
        return waitingCall.serial == serial;
    });
    if (call == waiting.end()) {
        return;
    }
    if (authorized) {
        call->authorization = Authorization::Granted;
        authorizedUids.insert(call->uid);
    } else {
        const Call refused = *call;
        waiting.erase(call);
        answer(refused, ActionReply::AuthorizationDeniedReply());
    }
    serveNext();
}

// The caller's answer, and KAuth's report of it, which KAuth's own clients
// wait for: to the caller alone, under both names of the interface.
void HelperService::answer(const Call &call, const ActionReply &reply)
{
    const QByteArray serializedReply = Mic::KAuthWire::streamed(reply);
    QDBusConnection bus = QDBusConnection::systemBus();
    for (const QString &interface : {Mic::KAuthWire::interface5, Mic::KAuthWire::interface6}) {
        QDBusMessage performed = QDBusMessage::createTargetedSignal(call.message.service(), QStringLiteral("/"), interface, QStringLiteral("remoteSignal"));
        performed << int(ActionPerformed) << call.action << serializedReply;
        bus.send(performed);
    }
    bus.send(call.message.createReply(QVariant(serializedReply)));
}

// Serves the first authorized call, if no other is being served. The work
// may handle events (test builds stop in it): calls that come in meanwhile
// wait, and are served after it.
void HelperService::serveNext()
{
    if (serving) {
        return;
    }
    const auto next = std::find_if(waiting.begin(), waiting.end(), [](const Call &call) {
        return call.authorization == Authorization::Granted;
    });
    if (next == waiting.end()) {
        if (waiting.empty()) {
            idleTimer.start();
        }
        return;
    }
    const Call call = *next;
    waiting.erase(next);
    serving = true;
    servedAction = call.action;
    servedUid = call.uid;
    report(ActionStarted, call.action, QByteArray());
    const ActionReply reply = run(call);
    answer(call, reply);
    servedAction.clear();
    servedUid = -1;
    serving = false;
    // The next once the answer is on its way.
    QTimer::singleShot(0, this, &HelperService::serveNext);
}

ActionReply HelperService::run(const Call &call) const
{
    const QVariantMap arguments = Mic::KAuthWire::mapOf(call.arguments);
    return actions.value(call.action.mid(helperId.size() + 1))(arguments);
}

// Calls that reach the helper while it ends are lost unanswered, and their
// clients send them again, to the helper the bus starts anew.
void HelperService::onIdle()
{
    if (serving || !waiting.empty()) {
        return;
    }
    ending = true;
    QDBusConnection::systemBus().unregisterService(helperId);
    QCoreApplication::quit();
}
