// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

// A change the helper does not finish (killed at every stage of it, or at a
// random moment) is undone when the helper starts again: the next read finds
// every state file and backup byte for byte and every label as before the
// change, or, once the change was done, as after it. A change its client
// stops is undone at once. The history says so.
#include "helperfixture.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QScopeGuard>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <csignal>
#include <cstring>

using namespace HelperFixture;

namespace
{
QString s(const char *text)
{
    return QString::fromUtf8(text);
}

constexpr int objectCount = 5000;
// How many objects the helper labels at a time as its check goes.
constexpr int helperRunLength = 8192;

QVariantMap inC(QVariantMap arguments = {})
{
    arguments.insert(s("languages"), QStringList{s("C")});
    arguments.insert(s("lcmessages"), s("C.UTF-8"));
    return arguments;
}

// MIC on without file-system protection; every configured object exists,
// unlabelled; each state file has a backup generation.
void layUnprotectedSystem(int objects = objectCount)
{
    clearStateRoot();
    const QString dir = rootPath(s("many"));
    QDir().mkpath(dir);
    QByteArray config = "# rules\n";
    // Appending to a string of exactly its size copies it whole each time.
    config.reserve(objects * (dir.size() + 16));
    for (int i = 0; i < objects; ++i) {
        const QString path = dir + s("/f%1").arg(i);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly)) {
            qFatal("cannot create %s", qPrintable(path));
        }
        config += (i % 2 ? "high " : "15 ") + path.toUtf8() + '\n';
    }
    writeMicState(true, true, false);
    writeRootFile(s("etc/kestrel/fs-ilev.conf"), config);
    writeRootFile(s("var/lib/kestrel/users.state"), "root = 63\n");
    writeRootFile(s("var/lib/kestrel/users.state.old"), "root = 31\n");
    writeRootFile(s("var/lib/kestrel/services.state"),
                  "services = cron sshd\n"
                  "service.cron.level = 15\nservice.cron.isolatable = yes\nservice.cron.isolated = no\n"
                  "service.sshd.level = 63\nservice.sshd.isolatable = yes\nservice.sshd.isolated = no\n");
}

// A change of every state file that labels every object.
QString writeDesiredState(const QTemporaryDir &dir)
{
    QJsonObject rules;
    for (int i = 0; i < objectCount; ++i) {
        rules.insert(rootPath(s("many/f%1").arg(i)), i == 0 ? s("63") : i % 2 ? s("high") : s("15"));
    }
    const QJsonObject state{{s("format"), s("lumen-mic-state")},
                            {s("version"), 1},
                            {s("micEnabledAfterReboot"), false},
                            {s("fileSystemProtection"), true},
                            {s("serviceIsolation"), QJsonObject{{s("sshd"), true}}},
                            {s("userLevels"), QJsonObject{{s("root"), 7}}},
                            {s("rules"), rules}};
    const QString path = dir.filePath(s("desired.json"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(state).toJson()) < 0) {
        qFatal("cannot write the desired state");
    }
    return path;
}

void killHelper()
{
    QDBusConnectionInterface *bus = QDBusConnection::systemBus().interface();
    const uint pid = bus->servicePid(helperId);
    if (pid > 1) {
        ::kill(pid_t(pid), SIGKILL);
    }
    for (int i = 0; i < 250 && bus->isServiceRegistered(helperId); ++i) {
        QThread::msleep(20);
    }
}

// The client goes first, so that it cannot send its request again to the
// helper the bus starts next.
void killChangeAndHelper(QProcess &client)
{
    client.kill();
    client.waitForFinished(5000);
    killHelper();
}

// An immutable file keeps its label: the file system refuses a new one.
bool setImmutable(const QString &path, bool immutable)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    int flags = 0;
    bool set = fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = immutable ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
    set = set && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    if (fd >= 0) {
        ::close(fd);
    }
    return set;
}

// Makes the helper stop at `point`; a helper killed there left its
// ".reached" behind, which would say it is there before it is.
QString armPause(const char *point)
{
    const QString pause = qEnvironmentVariable("MIC_TEST_BUS_DIR") + s("/pause-") + QLatin1String(point);
    QFile::remove(pause + s(".reached"));
    QFile(pause).open(QIODevice::WriteOnly);
    return pause;
}

// Stands in for the system's journal: the socket the helper of test builds
// sends its journal entries to, and the entries it got, as field maps. A
// helper started while the socket exists sends there: the one running is
// ended, now and when the socket goes.
class TestJournal
{
public:
    TestJournal()
        : path(qEnvironmentVariable("MIC_TEST_BUS_DIR") + s("/journal.socket"))
        , fd(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0))
    {
        QFile::remove(path);
        sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        const QByteArray name = QFile::encodeName(path);
        std::memcpy(address.sun_path, name.constData(), std::min<size_t>(name.size(), sizeof(address.sun_path) - 1));
        bound = ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) == 0;
        stopHelper();
    }
    ~TestJournal()
    {
        ::close(fd);
        QFile::remove(path);
        stopHelper();
    }
    bool isBound() const
    {
        return bound;
    }
    QList<QMap<QByteArray, QByteArray>> entries()
    {
        QList<QMap<QByteArray, QByteArray>> all;
        QByteArray buffer(256 * 1024, '\0');
        for (ssize_t size; (size = ::recv(fd, buffer.data(), buffer.size(), 0)) > 0;) {
            all.append(fields(buffer.left(int(size))));
        }
        return all;
    }

private:
    // The journal's native form: "KEY=value\n", or "KEY\n", a 64-bit
    // little-endian length, the value and "\n" for values with newlines.
    static QMap<QByteArray, QByteArray> fields(const QByteArray &datagram)
    {
        QMap<QByteArray, QByteArray> map;
        for (int at = 0; at < datagram.size();) {
            const int end = datagram.indexOf('\n', at);
            const QByteArray line = datagram.mid(at, end - at);
            const int equals = line.indexOf('=');
            if (equals >= 0) {
                map.insert(line.left(equals), line.mid(equals + 1));
                at = end + 1;
            } else {
                quint64 length = 0;
                std::memcpy(&length, datagram.constData() + end + 1, sizeof(length));
                map.insert(line, datagram.mid(end + 1 + 8, int(length)));
                at = end + 1 + 8 + int(length) + 1;
            }
        }
        return map;
    }
    QString path;
    int fd;
    bool bound = false;
};

bool waitFor(const QString &path, int milliseconds)
{
    for (int waited = 0; waited < milliseconds; waited += 20) {
        if (QFile::exists(path)) {
            return true;
        }
        QThread::msleep(20);
    }
    return false;
}
}

class HelperCrashTest : public QObject
{
    Q_OBJECT
    QTemporaryDir dir;
    QString desired;
    QMap<QString, QByteArray> before;
    QMap<QString, QByteArray> after;
    int changeMilliseconds = 0;
    // The system of 10^5 objects the stops run on, laid once: a stopped
    // change leaves it as it was.
    QMap<QString, QByteArray> beforeStops;

    void startChange(QProcess &client)
    {
        // The test may kill the client as it ends: a leak check of the
        // sanitizer builds, cut short, would report a failure of its own.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(s("ASAN_OPTIONS"), environment.value(s("ASAN_OPTIONS")) + s(":detect_leaks=0"));
        client.setProcessEnvironment(environment);
        client.start(s(MICCTL_PATH), {s("apply"), desired});
        QVERIFY(client.waitForStarted());
    }

    // Starts the change, and kills it and the helper once the helper stops
    // at `point`; whether it got there.
    bool killChangeAt(const char *point)
    {
        const QString pause = armPause(point);
        QProcess client;
        startChange(client);
        const bool reached = waitFor(pause + s(".reached"), 60000);
        killChangeAndHelper(client);
        QFile::remove(pause);
        return reached;
    }

    // The read that starts the helper again, and with it the recovery.
    QVariantMap readAfterRestart()
    {
        const Outcome read = execute(s("access"), inC());
        if (read.error != 0) {
            qWarning("read failed: %d %s", read.error, qPrintable(read.errorText));
        }
        return read.data;
    }

    QVariantMap newestHistoryEntry()
    {
        const QVariantList history = execute(s("access"), inC({{s("history"), 1}})).data.value(s("history")).toList();
        return history.isEmpty() ? QVariantMap() : history.constFirst().toMap();
    }

private Q_SLOTS:
    void initTestCase()
    {
        desired = writeDesiredState(dir);
        layUnprotectedSystem();
        before = snapshotStateRoot();
        QElapsedTimer timer;
        timer.start();
        QProcess client;
        startChange(client);
        QVERIFY(client.waitForFinished(120000));
        changeMilliseconds = int(timer.elapsed());
        QVERIFY2(client.exitCode() == 0, QByteArray(client.readAllStandardOutput() + client.readAllStandardError()).constData());
        after = snapshotStateRoot();
        QVERIFY(after != before);
        QCOMPARE(labelOf(rootPath(s("many/f1"))), QByteArray("63"));
        QCOMPARE(readRootFile(s("var/lib/kestrel/users.state.old.1")), QByteArray("root = 31\n"));
    }

    void aChangeKilledAtAnyStageIsUndoneAtTheNextStart_data()
    {
        QTest::addColumn<QString>("point");
        QTest::addColumn<bool>("done");
        QTest::newRow("after the first label") << s("after-first-label") << false;
        QTest::newRow("in the middle of the labels") << s("middle-labels") << false;
        QTest::newRow("after the last label") << s("before-writing") << false;
        QTest::newRow("between two state files") << s("between-files") << false;
        QTest::newRow("after the last file") << s("before-done") << false;
        QTest::newRow("after the journal was marked done") << s("after-done") << true;
    }

    void aChangeKilledAtAnyStageIsUndoneAtTheNextStart()
    {
#ifndef MIC_HELPER_TEST_HOOKS
        QSKIP("the helper was built without the hooks of its tests (-DMIC_HELPER_TEST_HOOKS=ON)");
#endif
        QFETCH(QString, point);
        QFETCH(bool, done);
        layUnprotectedSystem();
        QCOMPARE(snapshotStateRoot(), before);

        QVERIFY(killChangeAt(point.toLatin1().constData()));

        const QVariantMap read = readAfterRestart();
        QCOMPARE(snapshotStateRoot(), done ? after : before);
        const QVariantMap entry = newestHistoryEntry();
        QCOMPARE(entry.value(s("outcome")).toString(), done ? s("applied") : s("undone"));
        QCOMPARE(entry.value(s("user")).toString(), s("root"));
        QCOMPARE(read.contains(s("interruptedChange")), !done);
        if (!done) {
            QVERIFY(read.value(s("interruptedChange")).toMap().value(s("summary")).toString().contains(s("file-system protection on")));
        }
    }

    // A recovery that cannot put a state file back (here it is immutable)
    // keeps the journal: every read says the change is not undone, no change
    // is made meanwhile, and the next start once the file can be written
    // undoes it whole and records it.
    void aRecoveryThatCannotFinishHoldsEveryChange()
    {
#ifndef MIC_HELPER_TEST_HOOKS
        QSKIP("the helper was built without the hooks of its tests (-DMIC_HELPER_TEST_HOOKS=ON)");
#endif
        layUnprotectedSystem();
        QVERIFY(killChangeAt("before-done"));
        const QStringList stateFiles{rootPath(s("var/lib/kestrel/mic.state")), rootPath(s("var/lib/kestrel/users.state"))};
        for (const QString &file : stateFiles) {
            if (!setImmutable(file, true)) {
                QSKIP("the state root's file system keeps no immutable files");
            }
        }
        auto writable = qScopeGuard([&] {
            for (const QString &file : stateFiles) {
                setImmutable(file, false);
            }
        });

        const QVariantMap read = readAfterRestart();
        const QVariantMap interrupted = read.value(s("interruptedChange")).toMap();
        QCOMPARE(interrupted.value(s("undone")), QVariant(false));
        QVERIFY(interrupted.value(s("summary")).toString().contains(s("file-system protection on")));
        const Outcome refused = execute(s("change"), inC({{s("micFsStatus"), 4}}));
        QVERIFY(refused.error > 200);
        QVERIFY2(refused.errorText.contains(s("not undone yet")), qPrintable(refused.errorText));
        QVERIFY(QFile::exists(rootPath(helperFolder + s("/change.journal"))));

        writable.dismiss();
        for (const QString &file : stateFiles) {
            setImmutable(file, false);
        }
        killHelper();
        const QVariantMap recovered = readAfterRestart();
        QVERIFY(!recovered.value(s("interruptedChange")).toMap().contains(s("undone")));
        QCOMPARE(snapshotStateRoot(), before);
        QVERIFY(!QFile::exists(rootPath(s("var/lib/kestrel/mic.state.old.next"))));
        QCOMPARE(newestHistoryEntry().value(s("outcome")).toString(), s("undone"));
    }

    // A journal without a single whole record was begun and never reached
    // the disk: nothing was changed, and it goes. One whose records are
    // whole but do not read (damaged, or of another version) may name
    // labels to put back: it stays, and holds every change.
    void aJournalIsDroppedOnlyWhenItsBeginningNeverReachedTheDisk()
    {
        layUnprotectedSystem(10);
        const QString journal = rootPath(helperFolder + s("/change.journal"));
        QDir().mkpath(rootPath(helperFolder));
        const auto writeJournal = [&](const QByteArray &content) {
            killHelper();
            writeRootFile(helperFolder + s("/change.journal"), content);
        };
        const auto change = [] {
            return execute(s("change"), inC({{s("userILevels"), QVariantHash{{s("root"), 7u}}}}));
        };

        writeJournal("3f2a9c01 begin AAEC");
        QCOMPARE(readAfterRestart().value(s("micStatus")).toInt(), 2);
        QVERIFY(!QFile::exists(journal));
        QCOMPARE(change().error, 0);

        const QByteArray payload = "begin of-a-form-this-helper-does-not-know";
        writeJournal(QCryptographicHash::hash(payload, QCryptographicHash::Sha1).toHex().left(8) + ' ' + payload + '\n');
        readAfterRestart();
        QVERIFY(QFile::exists(journal));
        const Outcome refused = change();
        QVERIFY2(refused.errorText.contains(s("not undone yet")), qPrintable(refused.errorText));
        QFile::remove(journal);
    }

    // What the administrator sees after the helper undid a change: micctl
    // says so until the next change, and its history lists every change
    // asked, newest first, refused ones too.
    void theHistoryTellsWhatHappened()
    {
        QProcess micctl;
        const auto run = [&micctl](const QStringList &arguments) {
            micctl.start(s(MICCTL_PATH), arguments);
            micctl.waitForFinished(60000);
            return micctl.exitCode();
        };
        TestJournal journal;
        QVERIFY(journal.isBound());
        // The last change killed before it was done.
        layUnprotectedSystem();
        QVERIFY(killChangeAt("middle-labels"));

        QCOMPARE(run({s("status")}), 0);
        const QByteArray statusText = micctl.readAllStandardOutput();
        QVERIFY2(statusText.startsWith("Warning: A change begun at "), statusText.constData());
        QCOMPARE(run({s("status"), s("--json")}), 0);
        const QJsonObject interrupted = QJsonDocument::fromJson(micctl.readAllStandardOutput()).object().value(s("interruptedChange")).toObject();
        QCOMPARE(interrupted.value(s("user")).toString(), s("root"));

        // A refused change, then one applied: it says so once more.
        QFile bad(dir.filePath(s("bad.json")));
        QVERIFY(bad.open(QIODevice::WriteOnly));
        bad.write(R"({"format": "lumen-mic-state", "version": 1, "rules": {"relative/path": "7"}})");
        bad.close();
        QCOMPARE(run({s("apply"), bad.fileName()}), 1);
        QVERIFY(micctl.readAllStandardError().contains("was interrupted and has been undone"));
        QCOMPARE(run({s("apply"), desired}), 0);
        QCOMPARE(run({s("status")}), 0);
        QVERIFY(!micctl.readAllStandardOutput().contains("Warning"));

        QCOMPARE(run({s("history"), s("--json"), s("-n"), s("3")}), 0);
        const QJsonArray history = QJsonDocument::fromJson(micctl.readAllStandardOutput()).array();
        QCOMPARE(history.size(), 3);
        QStringList outcomes;
        for (const QJsonValue &entry : history) {
            outcomes.append(entry[s("outcome")].toString());
            QCOMPARE(entry[s("uid")].toInt(), 0);
            QCOMPARE(entry[s("requestId")].toString().size(), 32);
        }
        QCOMPARE(outcomes, (QStringList{s("applied"), s("refused"), s("undone")}));
        // In the reader's words too.
        QCOMPARE(history.at(2)[s("outcomeText")].toString(), s("Interrupted, undone"));

        // The system's journal got the same, under the product's message id.
        QStringList logged;
        const auto entries = journal.entries();
        for (const auto &entry : entries) {
            if (entry.value("MESSAGE_ID") == "4f1c2b9e7a3d48c6b05e9d2a6c7f1e38") {
                logged.prepend(QString::fromUtf8(entry.value("MIC_OUTCOME") + ' ' + entry.value("MIC_REQUEST_ID") + ' ' + entry.value("MIC_CALLER_UID")));
            }
        }
        QStringList recorded;
        for (const QJsonValue &entry : history) {
            recorded.append(entry[s("outcome")].toString() + QLatin1Char(' ') + entry[s("requestId")].toString() + s(" 0"));
        }
        QCOMPARE(logged, recorded);
        QVERIFY(history.at(0)[s("summary")].toString().contains(s("maximal level of 1 user: root to 7")));
        QVERIFY(history.at(0)[s("relabelled")].toInt() > objectCount); // their folder too
        // The JSON gives the time as recorded, in UTC; the text in ISO 8601
        // too, in local time with its offset.
        const QString utc = history.at(0)[s("time")].toString();
        QVERIFY2(utc.endsWith(QLatin1Char('Z')), qPrintable(utc));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(s("TZ"), s("XST-05:30"));
        micctl.setProcessEnvironment(environment);
        QCOMPARE(run({s("history"), s("-n"), s("1")}), 0);
        const QByteArray line = micctl.readAllStandardOutput();
        const QString local = QDateTime::fromString(utc, Qt::ISODate).toOffsetFromUtc(5 * 3600 + 30 * 60).toString(Qt::ISODate);
        QVERIFY2(line.startsWith(QString(local + s("  root (uid 0)  Applied: ")).toUtf8()), line.constData());
        micctl.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
        QCOMPARE(run({s("history"), s("-n"), s("0")}), 64);

        // Root's alone.
        struct stat status;
        QVERIFY(::stat(QFile::encodeName(rootPath(helperFolder + s("/history"))).constData(), &status) == 0);
        QCOMPARE(status.st_mode & 07777, mode_t(0600));
        QVERIFY(::stat(QFile::encodeName(rootPath(helperFolder)).constData(), &status) == 0);
        QCOMPARE(status.st_mode & 07777, mode_t(0700));
    }

    // Stopped by its client at several moments of a change of 10^5 objects,
    // which reports its progress meanwhile: the client learns that nothing
    // was changed, and nothing was.
    void aChangeStoppedByItsClientChangesNothing_data()
    {
        QTest::addColumn<QString>("phase");
        QTest::addColumn<double>("share");
        // Or while the helper is held at a point, handling its calls.
        QTest::addColumn<QByteArray>("heldAt");
        QTest::newRow("before any progress") << QString() << 0.0 << QByteArray();
        // Objects only root holds are labelled as the check goes.
        QTest::newRow("while labelling as it checks") << s("labelling") << 0.2 << QByteArray();
        QTest::newRow("at the first labels") << s("labelling") << 0.0 << QByteArray();
        QTest::newRow("halfway through a batch of labels") << QString() << 0.0 << QByteArrayLiteral("middle-labels");
    }

    void aChangeStoppedByItsClientChangesNothing()
    {
        QFETCH(QString, phase);
        QFETCH(double, share);
        QFETCH(QByteArray, heldAt);
        if (beforeStops.isEmpty()) {
            layUnprotectedSystem(100000);
            beforeStops = snapshotStateRoot();
        }

        Mic::HelperAction action(helperId + s(".change"), inC({{s("micFsStatus"), 2}, {s("userILevels"), QVariantHash{{s("root"), 9u}}}}));
        action.setHelperId(helperId);
        HelperRequest request(action);
        request.setAutoDelete(false);
        QStringList phases;
        connect(&request, &HelperRequest::workProgressed, this, [&](const QString &reported, qint64 done, qint64 total) {
            QVERIFY(done >= 0 && done <= total);
            if (phases.isEmpty() || phases.constLast() != reported) {
                phases.append(reported);
            }
            if (reported == phase && double(done) >= share * double(total)) {
                request.askToStop();
            }
        });
        bool ended = false;
        connect(&request, &KJob::result, this, [&ended] {
            ended = true;
        });
        QString pause;
        const QString stopTaken = qEnvironmentVariable("MIC_TEST_BUS_DIR") + s("/stop-taken");
        if (!heldAt.isEmpty()) {
            pause = armPause(heldAt.constData());
            QFile control(pause);
            QVERIFY(control.open(QIODevice::WriteOnly) && control.write("events") == 6);
        }
        request.start();
        if (phase.isEmpty() && pause.isEmpty()) {
            request.askToStop();
        }
        if (!pause.isEmpty()) {
            QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(pause + s(".reached")), 60000);
            QFile::remove(stopTaken);
            request.askToStop();
            // The stop arrives while the helper is held; it goes on from there.
            QVERIFY(waitFor(stopTaken, 30000));
            QFile::remove(pause);
        }
        QTRY_VERIFY_WITH_TIMEOUT(ended, 120000);

        QVERIFY2(phase.isEmpty() || phases.contains(phase), qPrintable(phases.join(QLatin1Char(' '))));
        QCOMPARE(request.error(), 207);
        QCOMPARE(request.errorText(), s("Stopped: nothing was changed."));
        QCOMPARE(snapshotStateRoot(), beforeStops);
        const QVariantMap entry = newestHistoryEntry();
        QCOMPARE(entry.value(s("outcome")).toString(), s("stopped"));
        QCOMPARE(entry.value(s("text")).toString(), s("Stopped: nothing was changed."));
    }

    // micctl as a web console runs it: progress as JSON lines on standard
    // error, stopped by SIGTERM once the labelling has begun, and the reader
    // of its standard error gone. It asks the helper to stop, waits until
    // everything is back, and fails.
    void micctlStoppedByATerminationSignalChangesNothing()
    {
        if (beforeStops.isEmpty()) {
            layUnprotectedSystem(100000);
            beforeStops = snapshotStateRoot();
        }
        QTemporaryDir files;
        const QString state = files.filePath(s("state.json"));
        QFile stateFile(state);
        QVERIFY(stateFile.open(QIODevice::WriteOnly));
        stateFile.write(R"({"format": "lumen-mic-state", "version": 1, "fileSystemProtection": true, "userLevels": {"root": 9}})");
        stateFile.close();

        // Held amid its labels, so that micctl has a labelling line to show;
        // the helper takes the stop while held.
        const QString pause = armPause("middle-labels");
        const QString stopTaken = qEnvironmentVariable("MIC_TEST_BUS_DIR") + s("/stop-taken");
        QFile::remove(stopTaken);
        QFile control(pause);
        QVERIFY(control.open(QIODevice::WriteOnly) && control.write("events") == 6);
        control.close();
        const auto release = qScopeGuard([&pause] {
            QFile::remove(pause);
        });
        QProcess micctl;
        micctl.start(s(MICCTL_PATH), {s("--progress=json"), s("apply"), state});
        QVERIFY(micctl.waitForStarted());
        QByteArray errors;
        QJsonObject firstProgress;
        while (firstProgress.isEmpty() && micctl.state() == QProcess::Running) {
            micctl.waitForReadyRead(1000);
            errors += micctl.readAllStandardError();
            const QList<QByteArray> lines = errors.split('\n');
            for (const QByteArray &line : lines) {
                const QJsonObject object = QJsonDocument::fromJson(line).object();
                if (object.contains(s("progress")) && object.value(s("progress")).toObject().value(s("phase")).toString() == s("labelling")) {
                    firstProgress = object.value(s("progress")).toObject();
                }
            }
        }
        QVERIFY2(!firstProgress.isEmpty(), errors.constData());
        QVERIFY(firstProgress.value(s("total")).toDouble() > 0);
        QVERIFY(!firstProgress.value(s("text")).toString().isEmpty());
        ::kill(pid_t(micctl.processId()), SIGTERM);
        micctl.closeReadChannel(QProcess::StandardError);
        QVERIFY(waitFor(stopTaken, 30000));
        QFile::remove(pause);
        QVERIFY(micctl.waitForFinished(120000));

        QCOMPARE(micctl.exitStatus(), QProcess::NormalExit);
        QCOMPARE(micctl.exitCode(), 1);
        QCOMPARE(snapshotStateRoot(), beforeStops);
        QCOMPARE(newestHistoryEntry().value(s("outcome")).toString(), s("stopped"));
    }

    // A label refused once both threads have labelled objects as the check
    // went: the change fails, names the object, and every label is back.
    // Among them one file under two names, labelled a run apart, the second
    // name over the label the first gave: put back last written first.
    void aLabelRefusedHalfwayPutsEveryLabelBack()
    {
        constexpr int perFolder = 30000;
        layUnprotectedSystem(perFolder);
        const QString other = rootPath(s("other"));
        QDir().mkpath(other);
        const QString firstName = rootPath(s("many/z-linked"));
        const QString secondName = rootPath(s("many/a-link"));
        QFile(firstName).open(QIODevice::WriteOnly);
        QVERIFY(setLabel(firstName, 1) && ::link(QFile::encodeName(firstName).constData(), QFile::encodeName(secondName).constData()) == 0);
        QList<QByteArray> lines = readRootFile(s("etc/kestrel/fs-ilev.conf")).split('\n');
        lines.insert(1, "7 " + firstName.toUtf8());
        lines.insert(int(helperRunLength) + 100, "56 " + secondName.toUtf8());
        QByteArray config = lines.join('\n');
        for (int i = 0; i < perFolder; ++i) {
            const QString path = other + s("/g%1").arg(i);
            QFile(path).open(QIODevice::WriteOnly);
            config += "15 " + path.toUtf8() + '\n';
        }
        writeRootFile(s("etc/kestrel/fs-ilev.conf"), config);
        const QString refusing = other + s("/g25000");
        if (!setImmutable(refusing, true)) {
            QSKIP("the state root's file system keeps no immutable files");
        }
        const auto before = snapshotStateRoot();
        const Outcome outcome = execute(s("change"), inC({{s("micFsStatus"), 2}}));
        setImmutable(refusing, false);
        QVERIFY(outcome.error > 200);
        QVERIFY2(outcome.errorText.contains(refusing) && outcome.errorText.contains(s("Nothing was changed.")), qPrintable(outcome.errorText));
        QCOMPARE(snapshotStateRoot(), before);
        QCOMPARE(labelOf(other + s("/g0")), QByteArray());
        QCOMPARE(labelOf(secondName), QByteArray("1"));
    }

    // Without hooks: killed at a random moment, the machine is as before
    // the change or as after it, never in between.
    void aChangeKilledAtARandomMomentIsWholeOrUndone()
    {
        for (int run = 0; run < 6; ++run) {
            layUnprotectedSystem();
            QProcess client;
            startChange(client);
            QThread::msleep(QRandomGenerator::global()->bounded(changeMilliseconds + 1));
            killHelper();
            client.kill();
            client.waitForFinished(5000);
            readAfterRestart();
            const QMap<QString, QByteArray> now = snapshotStateRoot();
            QVERIFY2(now == before || now == after, qPrintable(s("run %1").arg(run)));
        }
    }
};

QTEST_GUILESS_MAIN(HelperCrashTest)
#include "helpercrashtest.moc"
