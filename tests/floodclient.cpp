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
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusPendingCallWatcher>
#include <QDataStream>
#include <QIODevice>
#include <QSocketNotifier>

#include <cstdio>

#include <unistd.h>

namespace
{
QDBusMessage helperCall()
{
    QDBusConnection bus = QDBusConnection::systemBus();
    QDBusMessage message = QDBusMessage::createMethodCall(QStringLiteral("org.lumen.kcm.mic"),
                                                          QStringLiteral("/"),
                                                          QStringLiteral("org.kde.kf5auth"),
                                                          QStringLiteral("performAction"));
    QByteArray arguments;
    QDataStream stream(&arguments, QIODevice::WriteOnly);
    stream << QVariantMap();
    message << QStringLiteral("org.lumen.kcm.mic.access") << bus.baseService().toUtf8() << QVariantMap() << arguments;
    return message;
}

int answered = 0;

// Anyone may ask the helper to stop: by the action's name, as KAuth's
// clients do, or with a stop sealed by a key of its own.
void askToStop()
{
    for (const QString &what : {QStringLiteral("org.lumen.kcm.mic.change"), QStringLiteral("stop:AAAAAQAAAAwAcwBlAGEAbABlAGQ=")}) {
        QDBusMessage stop = QDBusMessage::createMethodCall(QStringLiteral("org.lumen.kcm.mic"),
                                                           QStringLiteral("/"),
                                                           QStringLiteral("org.kde.kf5auth"),
                                                           QStringLiteral("stopAction"));
        stop << what;
        QDBusConnection::systemBus().send(stop);
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
    if (mode != "flood") {
        std::fprintf(stderr, "usage: floodclient flood | vanish COUNT\n");
        return 64;
    }
    for (int loop = 0; loop < 4; ++loop) {
        callInALoop();
    }
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [] {
        char buffer[64];
        if (::read(STDIN_FILENO, buffer, sizeof(buffer)) <= 0) {
            std::printf("answered %d\n", answered);
            std::fflush(stdout);
            QCoreApplication::exit(0);
        }
    });
    return app.exec();
}
