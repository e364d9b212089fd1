// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef HELPERSERVICE_H
#define HELPERSERVICE_H

#include <actionreply.h>

#include <QDBusContext>
#include <QDBusMessage>
#include <QHash>
#include <QSet>
#include <QObject>
#include <QTimer>

#include <functional>
#include <list>

/*
 * The helper on the system bus: KAuth's helper interface (the method its
 * clients call, the signals they follow), served so that no other local
 * user can keep an administrator from the helper.
 *
 * Every call is taken as it comes and its authorization asked of polkit at
 * once, without waiting for the answer; calls are never turned away because
 * another is being authorized or served. Authorized calls are served one at
 * a time, in the order they came; a refused one is answered at once. A
 * caller that is gone, or a polkit that does not answer, refuses only that
 * call (see PolkitAuthorization). What one user may have waiting, and all
 * users together, is bounded by calls and by bytes; beyond that a call is
 * answered "busy", and the caller tries again. Root, and users polkit has
 * authorized before, wait outside the bound all users share, each within
 * their own: no other user can hold an administrator out. Refusals go to
 * their caller alone.
 *
 * The helper ends once it has had nothing to do for `idleWait`, as KAuth's
 * helpers do; the bus starts it again for the next call.
 */
// KAuth's helper interface under the name the other major version of the
// frameworks gives it: the bus hands the helper calls made under either
// name, since it serves this class's and its base's.
class OtherKAuthInterface : public QObject
{
    Q_OBJECT
#if QT_VERSION_MAJOR >= 6
    Q_CLASSINFO("D-Bus Interface", "org.kde.kf5auth")
#else
    Q_CLASSINFO("D-Bus Interface", "org.kde.kf6auth")
#endif
};

class HelperService : public OtherKAuthInterface, protected QDBusContext
{
    Q_OBJECT
#if QT_VERSION_MAJOR >= 6
    Q_CLASSINFO("D-Bus Interface", "org.kde.kf6auth")
#else
    Q_CLASSINFO("D-Bus Interface", "org.kde.kf5auth")
#endif
public:
    using Action = std::function<Mic::ActionReply(const QVariantMap &arguments)>;

    static constexpr int idleWait = 10000;
    // Calls of one user waiting to be authorized or served, and the bytes
    // they hold.
    static constexpr int maxWaitingPerUser = 4;
    static constexpr qsizetype maxWaitingBytesPerUser = 64 * 1024 * 1024;
    // Calls of users not yet authorized, all of them together.
    static constexpr int maxWaiting = 64;
    static constexpr qsizetype maxWaitingBytes = 96 * 1024 * 1024;
    // KAuth's action ids are short: a longer one is none of the helper's.
    static constexpr int maxActionLength = 128;

    // `actions` by the last part of their id ("access" for
    // "<helperId>.access").
    HelperService(const QString &helperId, const QHash<QString, Action> &actions);
    ~HelperService() override;

    // Takes the helper's name and object on the system bus.
    bool registerOnBus();

    // A progress map of the call being served, as KAuth's helpers send
    // them: to every listener.
    static void broadcastProgress(const QVariantMap &map);
    // The user who asked for the call being served, as the bus knows the
    // connection it came from; -1 when it could not say.
    static qint64 callerUid();

public Q_SLOTS:
    Q_SCRIPTABLE QByteArray performAction(const QString &action, const QByteArray &callerID, const QVariantMap &details, const QByteArray &arguments);
    // KAuth's clients ask the helper to stop when they stop following a
    // call. Anyone may send this: only a stop sealed by the client of the
    // request being served counts (see StopRequest).
    Q_SCRIPTABLE Q_NOREPLY void stopAction(const QString &action);

Q_SIGNALS:
    // KAuth's reports: type 0 a call was taken up, 1 performed (with the
    // serialized reply), 4 a progress map.
    Q_SCRIPTABLE void remoteSignal(int type, const QString &action, const QByteArray &blob);

private:
    void report(int type, const QString &action, const QByteArray &blob);

    enum class Authorization { Asked, Granted };
    // What a call waiting for polkit or its turn keeps: the message to
    // answer (which holds the call's bytes until then) and its arguments.
    struct Call {
        quint64 serial = 0;
        QDBusMessage message;
        QString action;
        QByteArray arguments;
        qint64 uid = -1;
        // What it holds: the message's bytes and the arguments taken out.
        qsizetype bytes = 0;
        Authorization authorization = Authorization::Asked;
    };
    using Calls = std::list<Call>;

    qint64 uidOf(const QString &caller);
    bool isTrusted(qint64 uid) const;
    bool hasRoomFor(qint64 uid, qsizetype bytes) const;
    void authorize(const Call &call, const QVariantMap &details);
    void onAuthorization(quint64 serial, bool authorized);
    void answer(const Call &call, const Mic::ActionReply &reply);
    void serveNext();
    Mic::ActionReply run(const Call &call) const;
    void onIdle();

    QString helperId;
    QHash<QString, Action> actions;
    Calls waiting;
    quint64 calls = 0;
    bool serving = false;
    bool ending = false;
    QString servedAction;
    qint64 servedUid = -1;
    // The users of the connections that called, by their unique names
    // (which the bus never gives again), and the users polkit authorized.
    QHash<QString, qint64> callerUids;
    QSet<qint64> authorizedUids;
    QTimer idleTimer;
    static HelperService *instance;
};

#endif
