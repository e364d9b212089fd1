// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

// The helper when things go wrong around it: clients at the same time, a
// client that goes away, a state root that cannot be written, objects a
// user has put on a configured path.
#include "helperfixture.h"

#include <QProcess>
#include <QScopeGuard>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

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

QVariantMap withLocale(QVariantMap arguments)
{
    arguments.insert(s("languages"), QStringList{s("C")});
    arguments.insert(s("lcmessages"), s("C.UTF-8"));
    return arguments;
}

// A FUSE file system mounted for the user nobody (as fusermount mounts one
// for a user), whose server never answers: any request to it waits until
// the mount ends. -1 when this machine cannot mount one.
int mountSilentFuse(const QString &where)
{
    const int server = ::open("/dev/fuse", O_RDWR | O_CLOEXEC);
    if (server < 0) {
        return -1;
    }
    const QByteArray options = "fd=" + QByteArray::number(server) + ",rootmode=40000,user_id=65534,group_id=65534,allow_other";
    if (::mount("lumen-test", QFile::encodeName(where).constData(), "fuse", MS_NOSUID | MS_NODEV, options.constData()) != 0) {
        ::close(server);
        return -1;
    }
    return server;
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

    // The disk fills up between two state files: the file written already
    // gets its content back by a rename, which needs no room, and nothing
    // of the change is left.
    void diskFullInTheMiddleOfAChange()
    {
#ifndef MIC_HELPER_TEST_HOOKS
        QSKIP("the helper was built without the hooks of its tests (-DMIC_HELPER_TEST_HOOKS=ON)");
#endif
        if (!mountStateRoot("size=512k")) {
            QSKIP("mounting needs root");
        }
        const auto unmount = qScopeGuard([] {
            ::umount2(QFile::encodeName(stateRoot()).constData(), MNT_DETACH);
        });
        laySampleSystem();
        const auto before = snapshotStateRoot();
        const QString pause = qEnvironmentVariable("MIC_TEST_BUS_DIR") + s("/pause-between-files");
        QFile::remove(pause + s(".reached"));
        QFile(pause).open(QIODevice::WriteOnly);
        bool filled = false;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            if (filled || !QFile::exists(pause + s(".reached"))) {
                return;
            }
            QFile filler(rootPath(s("filler")));
            filler.open(QIODevice::WriteOnly);
            const QByteArray block(4096, 'x');
            while (filler.write(block) == block.size() && filler.flush()) {
            }
            filled = true;
            QFile::remove(pause);
        });
        poll.start(10);
        const Outcome outcome = execute(s("change"), smallChange(), 30000);
        QFile::remove(pause);
        QVERIFY(filled);
        QVERIFY(outcome.error != 0);
        QVERIFY2(outcome.errorText.contains(s("No space left")), qPrintable(outcome.errorText));
        QFile::remove(rootPath(s("filler")));
        QCOMPARE(snapshotStateRoot(), before);
    }

    // A user's own FUSE mount and a hard link that a user put into a folder
    // of theirs on a configured path: neither is read nor labelled (the
    // mount's server never answers; the link leads to a file of another
    // place), both are named, and the rest is protected.
    void objectsAUserCouldHavePlacedAreLeftAlone()
    {
        const QString users = rootPath(s("hostile/users"));
        const QString mount = rootPath(s("hostile/mount"));
        const QString outside = rootPath(s("outside"));
        for (const QString &folder : {users, mount, outside}) {
            QVERIFY(QDir().mkpath(folder));
        }
        const QStringList files{outside + s("/secret"), users + s("/own")};
        for (const QString &file : files) {
            QVERIFY(QFile(file).open(QIODevice::WriteOnly));
        }
        QVERIFY(setLabel(outside + s("/secret"), 8));
        QVERIFY(::link(QFile::encodeName(outside + s("/secret")).constData(), QFile::encodeName(users + s("/link")).constData()) == 0);
        QVERIFY(::chown(QFile::encodeName(users).constData(), 65534, 65534) == 0);
        const int server = mountSilentFuse(mount);
        if (server < 0) {
            QSKIP("mounting a FUSE file system needs root and /dev/fuse");
        }
        const auto unmount = qScopeGuard([&] {
            ::umount2(QFile::encodeName(mount).constData(), MNT_DETACH);
            ::close(server);
        });
        writeRootFile(s("etc/kestrel/fs-ilev.conf"),
                      "1 " + users.toUtf8() + "/link\n3 " + users.toUtf8() + "/own\n2 " + mount.toUtf8() + "\n2 " + mount.toUtf8() + "/inner\n");

        const Outcome read = execute(s("access"), withLocale({}), 20000);
        QVERIFY2(read.error == 0, qPrintable(read.errorText));
        const QString lines = read.data.value(s("micFsStatusMessages")).toStringList().join(QLatin1Char('\n'));
        QCOMPARE(lines.count(s("on a file system mounted by a user")), 2);
        QVERIFY2(lines.contains(users + s("/link (the label cannot be read: it has another name")), qPrintable(lines));

        const Outcome change = execute(s("change"), withLocale({{s("micFsStatus"), 2}}), 20000);
        QVERIFY2(change.error == 0, qPrintable(change.errorText));
        const QString warnings = change.data.value(s("warnings")).toStringList().join(QLatin1Char('\n'));
        QVERIFY2(warnings.contains(users + s("/link")) && warnings.contains(mount + s("/inner")), qPrintable(warnings));
        QCOMPARE(labelOf(outside + s("/secret")), QByteArray("8"));
        QCOMPARE(labelOf(users + s("/own")), QByteArray("3"));
    }

    // A change that fails after it labelled puts the labels back on the
    // objects it labelled, wherever they moved; an object a user put in the
    // place of one since is left as it is.
    void aFailedChangeRestoresOnlyTheObjectsItLabelled()
    {
#ifndef MIC_HELPER_TEST_HOOKS
        QSKIP("the helper was built without the hooks of its tests (-DMIC_HELPER_TEST_HOOKS=ON)");
#endif
        const QString users = rootPath(s("hostile/users"));
        QVERIFY(QDir().mkpath(users));
        QVERIFY(::chown(QFile::encodeName(users).constData(), 65534, 65534) == 0);
        QVERIFY(QFile(users + s("/own")).open(QIODevice::WriteOnly));
        QVERIFY(setLabel(users + s("/own"), 8));
        writeRootFile(s("etc/kestrel/fs-ilev.conf"), "3 " + users.toUtf8() + "/own\n");
        const QString stateFolder = rootPath(s("var/lib/kestrel"));

        const QString pause = qEnvironmentVariable("MIC_TEST_BUS_DIR") + s("/pause-before-writing");
        QFile(pause).open(QIODevice::WriteOnly);
        bool swapped = false;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            if (swapped || !QFile::exists(pause + s(".reached"))) {
                return;
            }
            // The labelled file moved away and another put in its place; the
            // state files cannot be written.
            swapped = QFile::rename(users + s("/own"), users + s("/own.labelled")) && QFile(users + s("/own")).open(QIODevice::WriteOnly)
                && setLabel(users + s("/own"), 5) && QFile::rename(stateFolder, stateFolder + s(".away"))
                && QFile(stateFolder).open(QIODevice::WriteOnly);
            QFile::remove(pause);
        });
        poll.start(10);
        const Outcome outcome = execute(s("change"), withLocale({{s("micFsStatus"), 2}, {s("userILevels"), QVariantHash{{s("root"), 9u}}}}), 30000);
        QFile::remove(pause);
        QFile::remove(stateFolder);
        QFile::rename(stateFolder + s(".away"), stateFolder);
        QVERIFY(swapped);
        QVERIFY(outcome.error > 200);
        QCOMPARE(labelOf(users + s("/own.labelled")), QByteArray("8"));
        QCOMPARE(labelOf(users + s("/own")), QByteArray("5"));
    }
};

QTEST_MAIN(HelperFaultsTest)
#include "helperfaultstest.moc"
