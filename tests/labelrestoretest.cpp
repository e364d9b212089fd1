// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

// What a recovery puts back after a crash, on a file system that keeps no
// birth time (ext4 with inodes too small for it, on a loop device): only
// the object recorded gets its label back. A user who owns an object can
// delete it and make another that gets its inode number, which device,
// inode and owner cannot tell apart; root's objects only root can replace.
#include <labelaccess.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace
{
const char labelName[] = "security.kestrel.ilev";

QByteArray labelOf(const QString &path)
{
    char buffer[32];
    const ssize_t size = ::lgetxattr(QFile::encodeName(path).constData(), labelName, buffer, sizeof(buffer));
    return size < 0 ? QByteArray() : QByteArray(buffer, int(size));
}

bool run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool createFile(const QString &path, uid_t owner)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && ::chown(QFile::encodeName(path).constData(), owner, owner) == 0;
}

// What a change records of an object before it labels it, as a journal
// read back after a crash holds it (nothing held open).
PreviousLabel recorded(const QString &path, const QByteArray &label)
{
    struct stat status;
    PreviousLabel previous;
    if (::lstat(QFile::encodeName(path).constData(), &status) == 0) {
        previous.device = status.st_dev;
        previous.inode = status.st_ino;
        previous.owner = status.st_uid;
    }
    previous.existed = true;
    previous.value = label;
    return previous;
}
}

class LabelRestoreTest : public QObject
{
    Q_OBJECT
    QTemporaryDir work;
    QString mountPoint;
    bool mounted = false;

private Q_SLOTS:
    void initTestCase()
    {
        if (::geteuid() != 0) {
            QSKIP("mounting a file system needs root");
        }
        const QString image = work.filePath(QStringLiteral("nobirth.img"));
        mountPoint = work.filePath(QStringLiteral("mnt"));
        QDir().mkpath(mountPoint);
        if (!run(QStringLiteral("truncate"), {QStringLiteral("-s"), QStringLiteral("16M"), image})
            || !run(QStringLiteral("mkfs.ext4"), {QStringLiteral("-q"), QStringLiteral("-F"), QStringLiteral("-I"), QStringLiteral("128"), image})
            || !run(QStringLiteral("mount"), {QStringLiteral("-o"), QStringLiteral("loop"), image, mountPoint})) {
            QSKIP("no ext4 file system could be mounted from a loop device here");
        }
        mounted = true;
    }

    void cleanupTestCase()
    {
        if (mounted) {
            ::umount2(QFile::encodeName(mountPoint).constData(), MNT_DETACH);
        }
    }

    void onlyTheObjectRecordedGetsItsLabelBack()
    {
        const QString users = mountPoint + QStringLiteral("/users");
        const QString roots = mountPoint + QStringLiteral("/roots");
        QVERIFY(QDir().mkpath(users) && QDir().mkpath(roots));
        QVERIFY(::chown(QFile::encodeName(users).constData(), 65534, 65534) == 0);

        // The user's object, recorded, then deleted and made again: the
        // file system hands out the freed inode number again.
        const QString usersObject = users + QStringLiteral("/f");
        QVERIFY(createFile(usersObject, 65534));
        const PreviousLabel usersRecord = recorded(usersObject, "8");
        QVERIFY(QFile::remove(usersObject));
        QVERIFY(createFile(usersObject, 65534));
        const PreviousLabel again = recorded(usersObject, "8");
        if (again.inode != usersRecord.inode) {
            QSKIP("the file system gave the new object another inode number");
        }
        QVERIFY2(usersRecord.birth.isEmpty(), "the recorded object has no birth time here");

        const QString rootsObject = roots + QStringLiteral("/g");
        QVERIFY(createFile(rootsObject, 0));
        const PreviousLabel rootsRecord = recorded(rootsObject, "8");

        LabelAccess labels;
        QVERIFY(!labels.restore(usersObject, usersRecord));
        QCOMPARE(labelOf(usersObject), QByteArray());
        QVERIFY(labels.restore(rootsObject, rootsRecord));
        QCOMPARE(labelOf(rootsObject), QByteArray("8"));
    }
};

QTEST_GUILESS_MAIN(LabelRestoreTest)
#include "labelrestoretest.moc"
