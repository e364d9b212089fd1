// Runs the helper's access action once, as the module does, and prints how
// it ended, for tests that run a client as another user or several clients
// at once.
#include <helperrequest.h>

#include <KAuth/Action>

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    KAuth::Action action(QStringLiteral("org.lumen.kcm.mic.access"));
    action.setHelperId(QStringLiteral("org.lumen.kcm.mic"));
    std::printf("status %d\n", int(action.status()));
    auto *job = new HelperRequest(action);
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
    return app.exec();
}
