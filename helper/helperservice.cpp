// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "helperservice.h"
#include "polkitauthorization.h"
#include "stoprequest.h"

#include <kauthwire.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDataStream>

#include <algorithm>

using KAuth::ActionReply;

namespace
{
// The kinds of report of KAuth's signal.
enum SignalType { ActionStarted = 0, ActionPerformed = 1, ProgressStepData = 4 };

QByteArray serialized(const QVariantMap &map)
{
    return Mic::KAuthWire::streamed(map);
}

// The details as polkit takes them. KAuth's clients send texts only.
QMap<QString, QString> polkitDetails(const QVariantMap &details)
{
    QMap<QString, QString> texts;
    for (auto it = details.cbegin(); it != details.cend(); ++it) {
        if (it.value().userType() == QMetaType::QString) {
            texts.insert(it.key(), it.value().toString());
        }
    }
    return texts;
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

bool HelperService::registerOnBus()
{
    QDBusConnection bus = QDBusConnection::systemBus();
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
    call.action = action;
    call.arguments = arguments;
    idleTimer.stop();
    const QString caller = call.message.service();
    if (!action.startsWith(helperId + QLatin1Char('.')) || !actions.contains(action.mid(helperId.size() + 1))) {
        answer(call, ActionReply::NoSuchActionReply());
    } else if (QString::fromUtf8(callerID) != caller) {
        // polkit is asked about the caller named in the call: it must be
        // the connection that sent it.
        answer(call, ActionReply::AuthorizationDeniedReply());
    } else if (!hasRoomFor(caller, arguments.size())) {
        answer(call, ActionReply::HelperBusyReply());
    } else {
        const QDBusReply<uint> uid = QDBusConnection::systemBus().interface()->serviceUid(caller);
        call.uid = uid.isValid() ? qint64(uid.value()) : -1;
        waiting.push_back(call);
        authorize(call, details);
    }
    serveNext();
    return QByteArray();
}

void HelperService::stopAction(const QString &action)
{
    StopRequest::offer(action);
}

bool HelperService::hasRoomFor(const QString &caller, qsizetype bytes) const
{
    if (ending || waiting.size() >= std::size_t(maxWaiting)) {
        return false;
    }
    qsizetype waitingBytes = bytes;
    int fromCaller = 0;
    for (const Call &call : waiting) {
        waitingBytes += call.arguments.size();
        fromCaller += call.message.service() == caller ? 1 : 0;
    }
    return fromCaller < maxWaitingPerCaller && waitingBytes <= maxWaitingBytes;
}

void HelperService::authorize(const Call &call, const QVariantMap &details)
{
    const quint64 serial = call.serial;
    PolkitAuthorization::check(QDBusConnection::systemBus(), call.action, call.message.service(), polkitDetails(details), this, [this, serial](bool authorized) {
        onAuthorization(serial, authorized);
    });
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
    } else {
        const Call refused = *call;
        waiting.erase(call);
        answer(refused, ActionReply::AuthorizationDeniedReply());
    }
    serveNext();
}

// The caller's answer, and KAuth's report of it to all, which KAuth's own
// clients wait for.
void HelperService::answer(const Call &call, const ActionReply &reply)
{
    const QByteArray serializedReply = Mic::KAuthWire::streamed(reply);
    report(ActionPerformed, call.action, serializedReply);
    QDBusConnection::systemBus().send(call.message.createReply(QVariant(serializedReply)));
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
