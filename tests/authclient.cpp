// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

// Runs the helper's access action once, as the module does, and prints how
// it ended, for tests that run a client as another user or several clients
// at once. An argument goes to polkit as a detail of the request, which a
// test's polkit rule may look at.
#include <helperrequest.h>

#include <KAuth/Action>

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // The status as KAuth's polkit backend gives it, the request as the
    // module sends it.
    KAuth::Action action(QStringLiteral("org.lumen.kcm.mic.access"));
    Mic::HelperAction request(action.name());
    request.setHelperId(QStringLiteral("org.lumen.kcm.mic"));
    if (argc > 1 && qstrcmp(argv[1], "--first-on-the-bus") != 0) {
        request.setPolkitDetails({{QStringLiteral("other_details"), QString::fromLocal8Bit(argv[1])}});
    }
    // "--first-on-the-bus": the request is the first to use the system bus,
    // and the main thread is busy until the helper has answered: Qt holds
    // back the signals of a bus connection made in the main thread until its
    // event loop turns, but not the answer to the call.
    const bool firstOnTheBus = argc > 1 && qstrcmp(argv[1], "--first-on-the-bus") == 0;
    if (!firstOnTheBus) {
        std::printf("status %d\n", int(action.status()));
        std::fflush(stdout);
    }
    auto *job = new HelperRequest(request);
    QObject::connect(job, &KJob::result, &app, [job] {
        std::printf("error %d\n", job->error());
        std::printf("rules %d\n", job->data().value(QStringLiteral("micFsCurrentItems")).toHash().size());
        std::fflush(stdout);
        QCoreApplication::exit(job->error() == 0 ? 0 : 1);
    });
    QTimer::singleShot(20000, &app, [] {
        std::printf("no answer\n");
        QCoreApplication::exit(2);
    });
    job->start();
    if (firstOnTheBus) {
        QThread::sleep(1);
    }
    return app.exec();
}
