// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

// Several clients of the helper at once, and a listener on the bus: each
// client gets its own replies and only its own, a request sent while the
// helper serves another is served after it, and what travels on the bus
// tells a listener nothing.
#include "helperfixture.h"

#include <kauthwire.h>

#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace HelperFixture;

namespace
{
QString s(const char *text)
{
    return QString::fromUtf8(text);
}

QVariantMap locale()
{
    return {{s("languages"), QStringList{s("C")}}, {s("lcmessages"), s("C.UTF-8")}};
}

// A request under way, with what it has reported so far.
struct Running {
    HelperRequest *request = nullptr;
    Outcome outcome;
};

void start(Running *running, const QString &action, const QVariantMap &arguments, int timeout = -1)
{
    QVariantMap withLocale = locale();
    withLocale.insert(arguments);
    Mic::HelperAction helperAction(helperId + QLatin1Char('.') + action, withLocale);
    helperAction.setHelperId(helperId);
    helperAction.setTimeout(timeout);
    running->request = new HelperRequest(helperAction);
    QObject::connect(running->request, &HelperRequest::newData, [running](const QVariantMap &data) {
        running->outcome.progress.append(data);
    });
    QObject::connect(running->request, &KJob::result, [running] {
        running->outcome.finished = true;
        running->outcome.error = running->request->error();
        running->outcome.errorText = running->request->errorText();
        running->outcome.data = running->request->data();
    });
    running->request->start();
}

// Holds the helper at a point of its work until the returned guard ends.
class Pause
{
public:
    explicit Pause(const char *point, const QByteArray &how = QByteArray())
        : file(qEnvironmentVariable("MIC_TEST_BUS_DIR") + s("/pause-") + QLatin1String(point))
    {
        QFile control(file);
        control.open(QIODevice::WriteOnly);
        control.write(how);
    }
    ~Pause()
    {
        release();
    }
    bool reached() const
    {
        return QFile::exists(file + s(".reached"));
    }
    void release()
    {
        QFile::remove(file);
    }

private:
    QString file;
};

// Every signal of the helper that another local user may receive: on a
// connection of its own, subscribed to all the helper's signals.
class Listener : public QObject
{
    Q_OBJECT
public:
    Listener()
        : bus(QDBusConnection::connectToBus(QDBusConnection::SystemBus, s("listener")))
    {
        bus.connect(helperId, s("/"), s("org.kde.kf5auth"), s("remoteSignal"), this, SLOT(heard(int,QString,QByteArray)));
        bus.connect(helperId, s("/"), s("org.lumen.kcm.mic.Replies"), s("Message"), this, SLOT(heard(QByteArray)));
    }
    ~Listener() override
    {
        QDBusConnection::disconnectFromBus(s("listener"));
    }
    QList<QByteArray> messages;
    qsizetype bytes = 0;

public Q_SLOTS:
    void heard(int, const QString &, const QByteArray &blob)
    {
        heard(blob);
    }
    void heard(const QByteArray &blob)
    {
        messages.append(blob);
        bytes += blob.size();
    }

private:
    QDBusConnection bus;
};

QByteArray asOnTheWire(const QString &text)
{
    QByteArray bytes;
    for (const QChar c : text) {
        bytes.append(char(c.unicode() >> 8)).append(char(c.unicode() & 0xff));
    }
    return bytes;
}
}

// The tests that stop the helper or make it answer in the clear.
#ifdef MIC_HELPER_TEST_HOOKS
#define SKIP_WITHOUT_HOOKS()
#else
#define SKIP_WITHOUT_HOOKS() QSKIP("the helper was built without the hooks of its tests (-DMIC_HELPER_TEST_HOOKS=ON)")
#endif

class HelperConcurrencyTest : public QObject
{
    Q_OBJECT
Q_SIGNALS:
    void heard(int type, const QString &action, const QByteArray &blob);

public Q_SLOTS:
    void heardHere(int type, const QString &action, const QByteArray &blob)
    {
        Q_EMIT heard(type, action, blob);
    }

private Q_SLOTS:
    void init()
    {
        laySampleSystem();
    }

    void requestsDuringAChangeAreServedAfterIt()
    {
        SKIP_WITHOUT_HOOKS();
        Pause pause("before-labelling");
        Running first;
        start(&first, s("change"), {{s("micFsStatus"), 2}});
        QTRY_VERIFY_WITH_TIMEOUT(pause.reached(), 20000);

        Running second;
        Running read;
        start(&second, s("change"), {{s("userILevels"), QVariantHash{{s("nobody"), 5u}}}});
        start(&read, s("access"), {});
        QTest::qWait(300);
        pause.release();
        QTRY_VERIFY_WITH_TIMEOUT(first.outcome.finished && second.outcome.finished && read.outcome.finished, 40000);

        QCOMPARE(first.outcome.error, 0);
        QVERIFY(first.outcome.data.contains(s("needReboot")));
        // The second change reports what it did, and did it.
        QCOMPARE(second.outcome.error, 0);
        QVERIFY(second.outcome.data.contains(s("needReboot")));
        QVERIFY(readRootFile(s("var/lib/kestrel/users.state")).contains("nobody = 5"));
        // The read got a read, after the changes.
        QCOMPARE(read.outcome.error, 0);
        QCOMPARE(read.outcome.data.value(s("micFsStatus")).toInt(), 2); // protected by the first
        QVERIFY(!read.outcome.progress.isEmpty());
    }

    // A call that comes in while the helper handles events (as it does
    // while polkit authorizes another) waits, and is served after the one
    // under way.
    void aCallDuringAnotherWaitsForIt()
    {
        SKIP_WITHOUT_HOOKS();
        Pause pause("before-check", "events");
        Running read;
        start(&read, s("access"), {});
        QTRY_VERIFY_WITH_TIMEOUT(pause.reached(), 20000);

        Running change;
        start(&change, s("change"), {{s("userILevels"), QVariantHash{{s("root"), 9u}}}});
        QTest::qWait(500);
        QVERIFY(!change.outcome.finished);
        pause.release();
        QTRY_VERIFY_WITH_TIMEOUT(read.outcome.finished && change.outcome.finished, 30000);
        QCOMPARE(read.outcome.error, 0);
        QCOMPARE(change.outcome.error, 0);
        QVERIFY(readRootFile(s("var/lib/kestrel/users.state")).contains("root = 9"));
    }

    // A request the helper has taken up and does not end within the action's
    // time-out (a file system that does not answer can hold it up) ends with
    // a text that says so, and the helper is asked to stop it: a change it
    // stops is undone.
    void aRequestNotEndedInTimeIsStopped()
    {
        SKIP_WITHOUT_HOOKS();
        const auto before = snapshotStateRoot();
        const QString stopTaken = qEnvironmentVariable("MIC_TEST_BUS_DIR") + s("/stop-taken");
        QFile::remove(stopTaken);
        {
            Pause pause("before-labelling", "events");
            Running change;
            start(&change, s("change"), {{s("micFsStatus"), 2}, {s("userILevels"), QVariantHash{{s("root"), 9u}}}}, 2000);
            QTRY_VERIFY_WITH_TIMEOUT(change.outcome.finished, 10000);
            QVERIFY(pause.reached());
            QCOMPARE(change.outcome.error, 212);
            QVERIFY2(change.outcome.errorText.contains(s("did not finish the change")), qPrintable(change.outcome.errorText));
            QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(stopTaken), 30000);
        }
        // Served after the stopped change has ended.
        QCOMPARE(execute(s("access"), locale()).error, 0);
        QCOMPARE(snapshotStateRoot(), before);
    }

    void aDeniedClientLearnsNothingOfAnothersRead()
    {
        SKIP_WITHOUT_HOOKS();
        const OpenCopy copy(s(AUTH_CLIENT_PATH));
        const QString client = copy.program();
        QVERIFY(!client.isEmpty());

        Pause pause("before-check");
        Running root;
        start(&root, s("access"), {});
        QTRY_VERIFY_WITH_TIMEOUT(pause.reached(), 20000);
        QProcess nobody;
        nobody.start(s("runuser"), {s("-u"), s("nobody"), s("--"), client});
        QVERIFY(nobody.waitForStarted());
        QTest::qWait(500);
        pause.release();
        QTRY_VERIFY_WITH_TIMEOUT(root.outcome.finished, 30000);
        QVERIFY(nobody.state() == QProcess::NotRunning || nobody.waitForFinished(30000));

        QCOMPARE(root.outcome.error, 0);
        QCOMPARE(root.outcome.data.value(s("micFsCurrentItems")).toHash().size(), 5);
        const QByteArray output = nobody.readAllStandardOutput();
        QVERIFY2(output.contains("error 4") && output.contains("rules 0"), output.constData());
    }

    // The helper's own report of a denial reaches every client on the bus.
    // A client still waiting for its authorization must not take another
    // user's denial for its own: user "daemon" here needs an administrator's
    // authorization by the client's reckoning, and polkit grants it when the
    // helper asks (a rule of the test's own, keyed to a detail of the call).
    void anotherUsersDenialIsNotTaken()
    {
        SKIP_WITHOUT_HOOKS();
        const PolkitRule rule(s("49-lumen-kcm-mic-concurrency-test.rules"),
                              "polkit.addRule(function(action, subject) {\n"
                              "    if (action.id.indexOf(\"org.lumen.kcm.mic.\") == 0 && subject.user == \"daemon\")\n"
                              "        return action.lookup(\"other_details\") == \"granted-by-test\" ? polkit.Result.YES : polkit.Result.AUTH_ADMIN;\n"
                              "});\n");
        if (!rule.isValid()) {
            QSKIP("no polkit rules folder");
        }
        const OpenCopy copy(s(AUTH_CLIENT_PATH));
        const QString client = copy.program();
        QVERIFY(!client.isEmpty());

        // Both calls wait while root's read is held; nobody's comes first.
        Pause pause("before-check");
        Running root;
        start(&root, s("access"), {});
        QTRY_VERIFY_WITH_TIMEOUT(pause.reached(), 20000);
        QProcess nobody;
        nobody.start(s("runuser"), {s("-u"), s("nobody"), s("--"), client});
        QVERIFY(nobody.waitForStarted());
        QTest::qWait(500);
        QProcess daemon;
        daemon.start(s("runuser"), {s("-u"), s("daemon"), s("--"), client, s("granted-by-test")});
        QVERIFY(daemon.waitForReadyRead(10000));
        QTest::qWait(500);
        pause.release();
        QVERIFY(nobody.state() == QProcess::NotRunning || nobody.waitForFinished(30000));
        QVERIFY(daemon.state() == QProcess::NotRunning || daemon.waitForFinished(30000));
        QTRY_VERIFY_WITH_TIMEOUT(root.outcome.finished, 30000);

        QCOMPARE(root.outcome.error, 0);
        const QByteArray denied = nobody.readAllStandardOutput();
        QVERIFY2(denied.contains("error 4"), denied.constData());
        const QByteArray granted = daemon.readAllStandardOutput();
        QVERIFY2(granted.startsWith("status 4\n"), granted.constData()); // authorization required, by its own reckoning
        QVERIFY2(granted.contains("error 0") && granted.contains("rules 5"), granted.constData());
    }

    // What the bus broadcasts is the same few bytes whatever the size of the
    // configuration: the maps and chunks go to the client alone. So nobody
    // learns them, and a listener that stops reading its messages (which
    // makes the bus stop reading from a sender it cannot hand them on for)
    // never holds up the helper.
    void aListenerOnTheBusLearnsNothing()
    {
        const QString secret = s("/opt/a-rule-nobody-may-see");
        QByteArray config = "63 " + secret.toUtf8() + '\n';
        config.reserve(20000 * 32);
        for (int i = 0; i < 20000; ++i) {
            config += "15 /srv/many/file-" + QByteArray::number(i) + '\n';
        }
        writeRootFile(s("etc/kestrel/fs-ilev.conf"), config);
        Listener listener;
        const Outcome outcome = execute(s("access"), locale());
        QCOMPARE(outcome.error, 0);
        QVERIFY(outcome.data.value(s("micFsCurrentItems")).toHash().contains(secret));
        QCOMPARE(outcome.data.value(s("micFsCurrentItems")).toHash().size(), 20001);
        // KAuth's own start; its end goes to the caller alone.
        QTRY_VERIFY(listener.messages.size() >= 1);
        QTest::qWait(200);
        QVERIFY2(listener.bytes < 16384, qPrintable(QString::number(listener.bytes)));

        for (const QByteArray &message : std::as_const(listener.messages)) {
            QVERIFY(!message.contains(asOnTheWire(secret)));
            QVERIFY(!message.contains(asOnTheWire(s("micFsCurrentItems"))));
            QVERIFY(!message.contains(asOnTheWire(s("userILevels"))));
        }
    }

    // A refused call is answered to its caller alone, under neither name
    // of KAuth's interface to anyone else, and an action of any length is
    // never sent on.
    void aRefusedCallIsAnsweredToItsCallerAlone()
    {
        Listener listener;
        QDBusConnection bus = QDBusConnection::systemBus();
        const QString action = helperId + s(".") + QString(1024 * 1024, QLatin1Char('x'));
        QDBusMessage call = QDBusMessage::createMethodCall(helperId, s("/"), s("org.kde.kf5auth"), s("performAction"));
        call << action << bus.baseService().toUtf8() << QVariantMap() << QByteArray();
        for (const QString &interface : {s("org.kde.kf5auth"), s("org.kde.kf6auth")}) {
            QVERIFY(bus.connect(helperId, s("/"), interface, s("remoteSignal"), this, SLOT(heardHere(int,QString,QByteArray))));
        }
        QSignalSpy heard(this, &HelperConcurrencyTest::heard);
        const QDBusMessage answer = bus.call(call, QDBus::Block, 10000);
        QCOMPARE(answer.type(), QDBusMessage::ReplyMessage);
        QCOMPARE(Mic::KAuthWire::replyOf(answer.arguments().value(0).toByteArray()).error(), int(Mic::ActionReply::NoSuchActionError));
        QTRY_COMPARE(heard.size(), 2);
        for (const QVariantList &reported : std::as_const(heard)) {
            QCOMPARE(reported.value(0).toInt(), 1);
            QVERIFY(reported.value(1).toString().isEmpty());
            QCOMPARE(reported.value(2).toByteArray(), answer.arguments().value(0).toByteArray());
        }
        QTest::qWait(200);
        QCOMPARE(listener.messages.size(), 0);
        for (const QString &interface : {s("org.kde.kf5auth"), s("org.kde.kf6auth")}) {
            bus.disconnect(helperId, s("/"), interface, s("remoteSignal"), this, SLOT(heardHere(int,QString,QByteArray)));
        }
    }

    // A helper that knows only the plain maps ignores the seal; its replies
    // are taken as they come, as before.
    void aHelperThatDoesNotSealIsFollowedAsBefore()
    {
        SKIP_WITHOUT_HOOKS();
        const QString plain = qEnvironmentVariable("MIC_TEST_BUS_DIR") + s("/plain");
        QFile(plain).open(QIODevice::WriteOnly);
        const auto cleanup = qScopeGuard([&] {
            QFile::remove(plain);
        });
        const Outcome read = execute(s("access"), locale());
        QCOMPARE(read.error, 0);
        QCOMPARE(read.data.value(s("micFsCurrentItems")).toHash().size(), 5);
        QCOMPARE(read.progress.size(), 1);
        QCOMPARE(read.progress.first().value(s("micFsStatus")).toInt(), 1);

        QVariantMap change = locale();
        change.insert(s("userILevels"), QVariantHash{{s("root"), 9u}});
        QCOMPARE(execute(s("change"), change).error, 0);
        QVERIFY(readRootFile(s("var/lib/kestrel/users.state")).contains("root = 9"));
        change.insert(s("micStatus"), 9);
        const Outcome refused = execute(s("change"), change);
        QCOMPARE(refused.error, 201);
        QVERIFY2(refused.errorText.contains(s("\"9\" is not a state")), qPrintable(refused.errorText));
    }

    // What does not fit in one message of the bus is refused with a text that
    // names it, on either side, and both sides go on working.
    void tooLargeForOneMessage()
    {
        SKIP_WITHOUT_HOOKS();
        const QString longName(90, QLatin1Char('x'));
        QVariantHash rules;
        for (int i = 0; i < 160000; ++i) {
            rules.insert(s("/srv/big/%1-%2").arg(longName).arg(i), s("15"));
        }
        QVariantMap change = locale();
        change.insert(s("micFsCurrentItems"), rules);
        const Outcome tooMany = execute(s("change"), change);
        QCOMPARE(tooMany.error, 206);
        QVERIFY2(tooMany.errorText.contains(s("too large")), qPrintable(tooMany.errorText));

        // A helper that sends whole maps cannot send this configuration.
        QByteArray config;
        config.reserve(160000 * 128);
        for (int i = 0; i < 160000; ++i) {
            config += "15 /srv/big/" + longName.toUtf8() + '-' + QByteArray::number(i) + '\n';
        }
        writeRootFile(s("etc/kestrel/fs-ilev.conf"), config);
        const QString plain = qEnvironmentVariable("MIC_TEST_BUS_DIR") + s("/plain");
        QFile(plain).open(QIODevice::WriteOnly);
        auto cleanup = qScopeGuard([&] {
            QFile::remove(plain);
        });
        const Outcome whole = execute(s("access"), locale());
        QCOMPARE(whole.error, 206);
        QVERIFY2(whole.errorText.contains(s("\"micFsCurrentItems\"")), qPrintable(whole.errorText));
        cleanup.dismiss();
        QFile::remove(plain);
        // In chunks it can.
        const Outcome chunked = execute(s("access"), locale());
        QCOMPARE(chunked.error, 0);
        QCOMPARE(chunked.data.value(s("micFsCurrentItems")).toHash().size(), 160000);
    }
};

QTEST_MAIN(HelperConcurrencyTest)
#include "helperconcurrencytest.moc"
