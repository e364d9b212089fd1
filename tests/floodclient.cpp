// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

// What a hostile local user without rights can do to the helper, for tests
// that run it as another user:
//   floodclient flood                four loops of calls, each sent again as
//                                    soon as it is answered, until standard
//                                    input ends, each with requests to stop
//                                    whatever the helper does; prints how
//                                    many were answered
//   floodclient vanish COUNT         COUNT calls sent without waiting for an
//                                    answer, and gone before polkit answers
//   floodclient stoptokens           stops in a loop, each a sealed map in the
//                                    stream form whose list claims two
//                                    thousand million entries
//   floodclient large COUNT MIB      COUNT calls of MIB MiB each at once on
//                                    one connection, each sent again when
//                                    answered
//   floodclient connections N CALLS  N connections with CALLS calls each at
//                                    once, each sent again when answered
// The last four go on until standard input ends, and print how many
// messages they sent.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusPendingCallWatcher>
#include <QDataStream>
#include <QIODevice>
#include <QSocketNotifier>
#include <QTimer>

#include <cstdio>

#include <unistd.h>

namespace
{
QDBusMessage helperCall(const QDBusConnection &bus = QDBusConnection::systemBus(), const QByteArray &filler = QByteArray())
{
    QDBusMessage message = QDBusMessage::createMethodCall(QStringLiteral("org.lumen.kcm.mic"),
                                                          QStringLiteral("/"),
                                                          QStringLiteral("org.kde.kf5auth"),
                                                          QStringLiteral("performAction"));
    QByteArray arguments;
    QDataStream stream(&arguments, QIODevice::WriteOnly);
    stream << QVariantMap();
    message << QStringLiteral("org.lumen.kcm.mic.access") << bus.baseService().toUtf8() << QVariantMap() << QByteArray(arguments + filler);
    return message;
}

int answered = 0;

void sendStop(const QString &what)
{
    QDBusMessage stop = QDBusMessage::createMethodCall(QStringLiteral("org.lumen.kcm.mic"),
                                                       QStringLiteral("/"),
                                                       QStringLiteral("org.kde.kf5auth"),
                                                       QStringLiteral("stopAction"));
    stop << what;
    QDBusConnection::systemBus().send(stop);
}

// A map whose one list claims 0x7fffffff entries, in the form of a stop.
QString stopClaimingAHugeList()
{
    QByteArray map;
    QDataStream stream(&map, QIODevice::WriteOnly);
    stream.setVersion(QDataStream::Qt_5_15);
    stream << QVariantMap{{QStringLiteral("sealed"), QVariantList{1}}};
    // The list's count: the four bytes before its one entry (type, null
    // flag, int).
    const int count = map.size() - 9 - 4;
    map[count] = char(0x7f);
    map[count + 1] = map[count + 2] = map[count + 3] = char(0xff);
    return QStringLiteral("stop:") + QString::fromLatin1(map.toBase64());
}

int sent = 0;
// Calls not yet answered, and whether the flood is ending: it ends once
// they are answered, and holds nothing of the bus's then.
int unanswered = 0;
bool ending = false;
// The connections of its own the flood opened.
QStringList &connectionNames()
{
    static QStringList names;
    return names;
}

void sendStopsInALoop()
{
    static const QString token = stopClaimingAHugeList();
    if (ending) {
        return;
    }
    for (int i = 0; i < 50; ++i) {
        sendStop(token);
        ++sent;
    }
    QTimer::singleShot(5, QCoreApplication::instance(), &sendStopsInALoop);
}


void endOnceAnswered()
{
    if (ending && unanswered == 0) {
        for (const QString &name : std::as_const(connectionNames())) {
            QDBusConnection::disconnectFromBus(name);
        }
        QCoreApplication::exit(0);
    }
}

// A call on `bus`, sent again each time it is answered.
void keepCalling(QDBusConnection bus, const QByteArray &filler)
{
    ++sent;
    ++unanswered;
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(helperCall(bus, filler), 120000), QCoreApplication::instance());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [watcher, bus, filler] {
        watcher->deleteLater();
        --unanswered;
        if (ending) {
            endOnceAnswered();
        } else {
            keepCalling(bus, filler);
        }
    });
}

// Starts the flood of `mode`; false for a mode it does not know.
bool startFlood(const QByteArray &mode, int argc, char **argv)
{
    if (mode == "stoptokens") {
        sendStopsInALoop();
        return true;
    }
    if (mode == "large" && argc > 3) {
        const QByteArray filler(QByteArray(argv[3]).toInt() * 1024 * 1024, 'x');
        for (int i = 0; i < QByteArray(argv[2]).toInt(); ++i) {
            keepCalling(QDBusConnection::systemBus(), filler);
        }
        return true;
    }
    if (mode == "connections" && argc > 3) {
        for (int connection = 0; connection < QByteArray(argv[2]).toInt(); ++connection) {
            connectionNames().append(QStringLiteral("flood%1").arg(connection));
            const QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SystemBus, connectionNames().constLast());
            for (int call = 0; call < QByteArray(argv[3]).toInt(); ++call) {
                keepCalling(bus, QByteArray());
            }
        }
        return true;
    }
    return false;
}

// Ends the application, saying `count`, once standard input ends and its
// calls are answered.
void endWithInput(const char *what, const int *count)
{
    auto *input = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(input, &QSocketNotifier::activated, input, [input, what, count] {
        char buffer[64];
        if (::read(STDIN_FILENO, buffer, sizeof(buffer)) <= 0) {
            input->setEnabled(false);
            std::printf("%s %d\n", what, *count);
            std::fflush(stdout);
            ending = true;
            endOnceAnswered();
        }
    });
}

// Anyone may ask the helper to stop: by the action's name, as KAuth's
// clients do, or with a stop sealed by a key of its own.
void askToStop()
{
    for (const QString &what : {QStringLiteral("org.lumen.kcm.mic.change"), QStringLiteral("stop:AAAAAQAAAAwAcwBlAGEAbABlAGQ=")}) {
        sendStop(what);
    }
}

void callInALoop()
{
    askToStop();
    // Owned by the application: the calls still open at the end go with it.
    auto *watcher = new QDBusPendingCallWatcher(QDBusConnection::systemBus().asyncCall(helperCall()), QCoreApplication::instance());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, [watcher] {
        watcher->deleteLater();
        ++answered;
        callInALoop();
    });
}
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QByteArray mode = argc > 1 ? QByteArray(argv[1]) : QByteArray();
    if (mode == "vanish" && argc > 2) {
        const int amount = QByteArray(argv[2]).toInt();
        for (int i = 0; i < amount; ++i) {
            QDBusConnection::systemBus().send(helperCall());
        }
        // A call to the bus itself returns after the calls above are sent.
        QDBusConnection::systemBus().interface()->isServiceRegistered(QStringLiteral("org.lumen.kcm.mic"));
        return 0;
    }
    if (mode == "flood") {
        for (int loop = 0; loop < 4; ++loop) {
            callInALoop();
        }
        endWithInput("answered", &answered);
    } else if (startFlood(mode, argc, argv)) {
        endWithInput("sent", &sent);
    } else {
        std::fprintf(stderr, "usage: floodclient flood | vanish COUNT | stoptokens | large COUNT MIB | connections N CALLS\n");
        return 64;
    }
    return app.exec();
}
