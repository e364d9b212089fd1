// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef HELPERFIXTURE_H
#define HELPERFIXTURE_H

// Tests that talk to the privileged helper over the private system bus that
// the test run starts. The helper serves the state root named by
// MIC_STATE_ROOT; the tests lay out that root themselves.

#include <helperrequest.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QDirIterator>
#include <QMap>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>

#include <QThread>

#include <csignal>
#include <sys/xattr.h>

namespace HelperFixture
{
inline const QString helperId = QStringLiteral("org.lumen.kcm.mic");

// The tests empty the state root before each use. Without one named, that
// would be the directory the test was started in: a test started by hand
// from the source tree would delete it. So stop instead.
inline QString stateRoot()
{
    const QString root = qEnvironmentVariable("MIC_STATE_ROOT");
    if (root.isEmpty() || !QDir::isAbsolutePath(root)) {
        qFatal("MIC_STATE_ROOT must name the absolute path of a state root the test may empty; run the test through ctest");
    }
    return root;
}

inline QString rootPath(const QString &relative)
{
    return QDir(stateRoot()).filePath(relative);
}

inline void writeRootFile(const QString &relative, const QByteArray &content)
{
    const QString path = rootPath(relative);
    QDir().mkpath(QFileInfo(path).path());
    QFile::remove(path);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size()) {
        qFatal("cannot write %s", qPrintable(path));
    }
}

inline QByteArray readRootFile(const QString &relative)
{
    QFile file(rootPath(relative));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Empties the state root, keeping the directory the helper was started on.
inline void clearStateRoot()
{
    QDir root(stateRoot());
    root.mkpath(QStringLiteral("."));
    const QStringList entries = root.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    for (const QString &entry : entries) {
        QFileInfo info(root.filePath(entry));
        if (info.isDir() && !info.isSymLink()) {
            QDir(info.filePath()).removeRecursively();
        } else {
            QFile::remove(info.filePath());
        }
    }
}

inline bool setLabel(const QString &path, unsigned int level)
{
    const QByteArray value = QByteArray::number(level);
    return ::lsetxattr(QFile::encodeName(path).constData(), "security.kestrel.ilev", value.constData(), value.size(), 0) == 0;
}

inline QByteArray labelOf(const QString &path)
{
    char buffer[32];
    const ssize_t size = ::lgetxattr(QFile::encodeName(path).constData(), "security.kestrel.ilev", buffer, sizeof(buffer));
    return size < 0 ? QByteArray() : QByteArray(buffer, int(size));
}

struct Outcome {
    int error = -1;
    QString errorText;
    QVariantMap data;
    QList<QVariantMap> progress;
    bool finished = false;
};

// Runs an action of the helper to its end (or a deadline), as the module
// does: sealed, taking only its own replies. With busyMilliseconds, the
// main thread is busy for that long once the request has started, as a
// client's is while it sorts what came in.
inline Outcome execute(const QString &action, const QVariantMap &arguments, int deadline = 60000, int busyMilliseconds = 0)
{
    Mic::HelperAction helperAction(helperId + QLatin1Char('.') + action, arguments);
    helperAction.setHelperId(helperId);
    helperAction.setTimeout(deadline);
    auto *request = new HelperRequest(helperAction);
    Outcome outcome;
    QEventLoop loop;
    // The loop is the connections' context: they end with it, before the
    // outcome does.
    QObject::connect(request, &HelperRequest::newData, &loop, [reached = &outcome](const QVariantMap &data) {
        reached->progress.append(data);
    });
    QObject::connect(request, &KJob::result, &loop, [reached = &outcome, request, waiting = &loop](KJob *) {
        reached->finished = true;
        reached->error = request->error();
        reached->errorText = request->errorText();
        reached->data = request->data();
        waiting->quit();
    });
    QTimer::singleShot(deadline, &loop, &QEventLoop::quit);
    request->start();
    QThread::msleep(busyMilliseconds);
    loop.exec();
    if (!outcome.finished) {
        request->kill(KJob::Quietly);
    }
    return outcome;
}

inline void writeMicState(bool enabled, bool afterReboot, bool protection)
{
    const auto yesNo = [](bool on) {
        return on ? QByteArray("yes") : QByteArray("no");
    };
    writeRootFile(QStringLiteral("var/lib/kestrel/mic.state"),
                  "levels = 0 1 3 7 15 31 63\nlevel.63 = High\nmax-ilev = " + QByteArray(enabled ? "63" : "0")
                      + "\nmax-ilev-after-reboot = 127\nenabled = " + yesNo(enabled) + "\nenabled-after-reboot = " + yesNo(afterReboot)
                      + "\nfs-protection = " + yesNo(protection) + "\n");
}

// A small MIC system: MIC on with file-system protection, rules on files of
// the state root (one of them uncovered by mask, one excepted, one missing),
// defaults, users and three services. Returns the folder of the files.
inline QString laySampleSystem()
{
    clearStateRoot();
    const QString files = rootPath(QStringLiteral("files"));
    QDir().mkpath(files);
    const auto file = [&](const char *name) -> QString {
        return files + QLatin1Char('/') + QLatin1String(name);
    };
    for (const char *name : {"high", "mask", "uncovered", "excepted"}) {
        QFile f(file(name));
        if (!f.open(QIODevice::WriteOnly)) {
            qFatal("cannot create %s", name);
        }
    }
    if (!setLabel(file("high"), 63) || !setLabel(file("mask"), 12) || !setLabel(file("uncovered"), 8)) {
        qFatal("cannot set labels: the tests need CAP_SYS_ADMIN");
    }
    writeMicState(true, true, true);
    writeRootFile(QStringLiteral("etc/kestrel/fs-ilev.conf"),
                  "# rules\nhigh " + file("high").toUtf8() + "\n0b100 " + file("mask").toUtf8() + "\n7 " + file("uncovered").toUtf8() + "\n63 "
                      + file("excepted").toUtf8() + "\n63 " + file("missing").toUtf8() + "\nexception " + file("excepted").toUtf8() + "\n");
    writeRootFile(QStringLiteral("usr/share/kestrel/fs-ilev.conf.default"), "max /usr/bin\nexception /tmp\n");
    writeRootFile(QStringLiteral("var/lib/kestrel/users.state"), "root = 63\nno-such-user = 15\nnobody = junk\n");
    writeRootFile(QStringLiteral("var/lib/kestrel/services.state"),
                  "services = cron sshd broken\n"
                  "service.cron.level = 15\nservice.cron.isolatable = yes\nservice.cron.isolated = yes\n"
                  "service.sshd.level = 63\nservice.sshd.isolatable = yes\nservice.sshd.isolated = no\n"
                  "service.broken.isolatable = yes\nservice.broken.error = yes\n");
    return files;
}

// The helper's own folder: its journal and the history of changes.
inline const QString helperFolder = QStringLiteral("var/lib/lumen-kcm-mic");

// Every file below the state root with its content and label, to see that
// nothing changed; the helper's own records of changes aside.
inline QMap<QString, QByteArray> snapshotStateRoot()
{
    QMap<QString, QByteArray> files;
    const QString ownFolder = rootPath(helperFolder);
    QDirIterator it(stateRoot(), QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (path == ownFolder || path.startsWith(ownFolder + QLatin1Char('/'))) {
            continue;
        }
        QFile file(path);
        const bool readable = it.fileInfo().isFile() && !it.fileInfo().isSymLink() && file.open(QIODevice::ReadOnly);
        files.insert(path, (readable ? file.readAll() : QByteArray()) + "\nlabel:" + labelOf(path));
    }
    return files;
}

// Ends the running helper, so that the bus starts it afresh at the next call.
// A folder every user may enter, holding a copy of a client program, for
// clients run as another user: the build tree may lie where only root can
// go. `program()` is empty when the copy failed.
class OpenCopy
{
public:
    explicit OpenCopy(const QString &original)
        : dir(QStringLiteral("/tmp/lumen-mic-client-XXXXXX"))
    {
        const QString copy = dir.filePath(QFileInfo(original).fileName());
        if (QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther)
            && QFile::copy(original, copy)) {
            copied = copy;
        }
    }
    QString program() const
    {
        return copied;
    }
    QString folder() const
    {
        return dir.path();
    }

private:
    QTemporaryDir dir;
    QString copied;
};

// A polkit rule of the test's own while the object lives. polkitd notices
// new rules by itself, within a second. Not valid where the machine has no
// rules folder.
class PolkitRule
{
public:
    PolkitRule(const QString &name, const QByteArray &javascript)
        : file(QStringLiteral("/etc/polkit-1/rules.d/") + name)
    {
        QFile rule(file);
        valid = rule.open(QIODevice::WriteOnly) && rule.write(javascript) == javascript.size();
        rule.close();
        QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
        if (valid) {
            QThread::msleep(1000);
        }
    }
    ~PolkitRule()
    {
        QFile::remove(file);
    }
    bool isValid() const
    {
        return valid;
    }

private:
    QString file;
    bool valid = false;
};

inline void stopHelper()
{
    QDBusConnectionInterface *bus = QDBusConnection::systemBus().interface();
    if (!bus || !bus->isServiceRegistered(helperId)) {
        return;
    }
    const uint pid = bus->servicePid(helperId);
    if (pid > 1) {
        ::kill(pid_t(pid), SIGTERM);
    }
    for (int i = 0; i < 100 && bus->isServiceRegistered(helperId); ++i) {
        QThread::msleep(20);
    }
}
}

#endif
