// The helper when things go wrong around it: clients at the same time, a
// client that goes away, a state root that cannot be written.
#include "helperfixture.h"

#include <QProcess>
#include <QScopeGuard>
#include <QTest>

#include <sys/mount.h>
#include <sys/statvfs.h>

using namespace HelperFixture;

namespace
{
QString s(const char *text)
{
    return QString::fromUtf8(text);
}

// Enough configured files that checking them keeps the helper busy a while.
void layManyRules(int count)
{
    const QString dir = rootPath(s("many"));
    QDir().mkpath(dir);
    QByteArray config;
    for (int i = 0; i < count; ++i) {
        const QString path = dir + s("/f%1").arg(i);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly)) {
            qFatal("cannot create %s", qPrintable(path));
        }
        config += "high " + path.toUtf8() + '\n';
    }
    writeRootFile(s("etc/kestrel/fs-ilev.conf"), config);
}

QProcess *startClient(QObject *parent)
{
    auto *client = new QProcess(parent);
    client->start(s(AUTH_CLIENT_PATH), QStringList());
    return client;
}

QVariantMap smallChange()
{
    return {{s("userILevels"), QVariantHash{{s("root"), 7u}}}, {s("micFsCurrentItems"), QVariantHash{{s("/opt/x"), s("15")}}}};
}

// The state root on a file system of its own, for as long as the guard lives.
bool mountStateRoot(const char *options)
{
    return ::mount("tmpfs", QFile::encodeName(stateRoot()).constData(), "tmpfs", 0, options) == 0;
}
}

class HelperFaultsTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init()
    {
        laySampleSystem();
    }

    void twoClientsAtOnce()
    {
        layManyRules(20000);
        QObject owner;
        QProcess *first = startClient(&owner);
        QProcess *second = startClient(&owner);
        QVERIFY(first->waitForFinished(60000));
        QVERIFY(second->waitForFinished(60000));
        // Each gets a whole read of its own, the second after the first.
        QVERIFY2(first->readAllStandardOutput().contains("error 0\nrules 20000"), "first client");
        QVERIFY2(second->readAllStandardOutput().contains("error 0\nrules 20000"), "second client");
    }

    void clientGoneDuringTheCheck()
    {
        layManyRules(20000);
        const auto before = snapshotStateRoot();
        QObject owner;
        QProcess *client = startClient(&owner);
        QVERIFY(client->waitForStarted());
        QTest::qWait(150);
        client->kill();
        client->waitForFinished();
        // The helper is still there for the next client, and nothing changed.
        const Outcome outcome = execute(s("access"), {}, 60000);
        QVERIFY(outcome.finished);
        QCOMPARE(outcome.error, 0);
        QCOMPARE(snapshotStateRoot(), before);
    }

    void readOnlyStateRoot()
    {
        if (!mountStateRoot("size=4m")) {
            QSKIP("mounting needs root");
        }
        const auto unmount = qScopeGuard([] {
            ::umount2(QFile::encodeName(stateRoot()).constData(), MNT_DETACH);
        });
        laySampleSystem();
        QVERIFY(::mount("tmpfs", QFile::encodeName(stateRoot()).constData(), "tmpfs", MS_REMOUNT | MS_RDONLY, "size=4m") == 0);
        const auto before = snapshotStateRoot();

        const Outcome outcome = execute(s("change"), smallChange());
        QVERIFY(outcome.finished);
        QVERIFY(outcome.error != 0);
        QVERIFY2(outcome.errorText.contains(s("Read-only")), qPrintable(outcome.errorText));
        QCOMPARE(snapshotStateRoot(), before);
        QCOMPARE(execute(s("access"), {}).error, 0); // reading still works
    }

    void fullDisk()
    {
        if (!mountStateRoot("size=256k")) {
            QSKIP("mounting needs root");
        }
        const auto unmount = qScopeGuard([] {
            ::umount2(QFile::encodeName(stateRoot()).constData(), MNT_DETACH);
        });
        laySampleSystem();
        {
            QFile filler(rootPath(s("filler")));
            QVERIFY(filler.open(QIODevice::WriteOnly));
            const QByteArray block(4096, 'x');
            while (filler.write(block) == block.size() && filler.flush()) {
            }
        }
        struct statvfs space {
        };
        QVERIFY(::statvfs(QFile::encodeName(stateRoot()).constData(), &space) == 0);
        QCOMPARE(space.f_bavail, fsblkcnt_t(0));
        const auto before = snapshotStateRoot();

        const Outcome outcome = execute(s("change"), smallChange());
        QVERIFY(outcome.finished);
        QVERIFY(outcome.error != 0);
        QVERIFY2(outcome.errorText.contains(s("No space left")), qPrintable(outcome.errorText));
        QCOMPARE(snapshotStateRoot(), before);
    }
};

QTEST_MAIN(HelperFaultsTest)
#include "helperfaultstest.moc"
