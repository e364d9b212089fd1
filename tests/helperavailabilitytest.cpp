// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

// Another local user, without rights, cannot keep the administrator from
// the helper: neither by a flood of calls nor by calls whose callers are
// gone before polkit answers.
#include "helperfixture.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QScopeGuard>
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

QVariantMap withLocale(QVariantMap arguments)
{
    arguments.insert(locale());
    return arguments;
}

// The flooding client, run as nobody.
class Nobody
{
public:
    Nobody()
        : copy(s(FLOOD_CLIENT_PATH))
    {
    }
    bool start(const QStringList &arguments)
    {
        process.start(s("runuser"), QStringList{s("-u"), s("nobody"), s("--"), copy.program()} + arguments);
        return !copy.program().isEmpty() && process.waitForStarted();
    }
    QProcess process;

private:
    OpenCopy copy;
};

bool helperRuns()
{
    return QDBusConnection::systemBus().interface()->isServiceRegistered(helperId);
}
}

class HelperAvailabilityTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init()
    {
        laySampleSystem();
    }

    // Each way one user without rights can flood the helper, while root
    // reads 20 times and changes 5 times, each within the client's 10 s.
    // "silent polkit": the user's authorizations are never answered, as
    // with an agent that never answers (a test hook of the helper).
    void aFloodOfAnotherUserKeepsNoAdministratorOut_data()
    {
        QTest::addColumn<QStringList>("flood");
        QTest::addColumn<bool>("silentPolkit");
        QTest::newRow("calls, and stops of whatever runs") << QStringList{s("flood")} << false;
        QTest::newRow("stops that claim huge lists") << QStringList{s("stoptokens")} << false;
        QTest::newRow("three calls of 23 MiB on one connection") << QStringList{s("large"), s("3"), s("23")} << false;
        QTest::newRow("200 connections of 6 calls") << QStringList{s("connections"), s("200"), s("6")} << false;
        QTest::newRow("16 connections of 4 calls, polkit silent") << QStringList{s("connections"), s("16"), s("4")} << true;
    }

    void aFloodOfAnotherUserKeepsNoAdministratorOut()
    {
        QFETCH(QStringList, flood);
        QFETCH(bool, silentPolkit);
        const QString silent = qEnvironmentVariable("MIC_TEST_BUS_DIR") + s("/polkit-silent-65534");
        if (silentPolkit) {
#ifndef MIC_HELPER_TEST_HOOKS
            QSKIP("the helper was built without the hooks of its tests (-DMIC_HELPER_TEST_HOOKS=ON)");
#endif
            QFile(silent).open(QIODevice::WriteOnly);
        }
        const auto speakAgain = qScopeGuard([&] {
            QFile::remove(silent);
        });
        // One helper all along: none of the flood ends it.
        QCOMPARE(execute(s("access"), locale(), 10000).error, 0);
        const uint helper = QDBusConnection::systemBus().interface()->servicePid(helperId);
        Nobody nobody;
        QVERIFY(nobody.start(flood));
        QTest::qWait(1000);
        // A read held for a second in its work, taking the helper's calls
        // meanwhile as long work does: stops then reach a request to stop.
        const QString pause = qEnvironmentVariable("MIC_TEST_BUS_DIR") + s("/pause-before-check");
        QFile control(pause);
        if (control.open(QIODevice::WriteOnly) && control.write("events") == 6) {
            control.close();
            QTimer::singleShot(1000, this, [pause] {
                QFile::remove(pause);
            });
            QCOMPARE(execute(s("access"), locale(), 10000).error, 0);
        }
        qint64 slowestRead = 0;
        qint64 slowestChange = 0;
        QElapsedTimer took;
        for (int read = 0; read < 20; ++read) {
            took.start();
            const Outcome outcome = execute(s("access"), locale(), 10000);
            slowestRead = std::max(slowestRead, took.elapsed());
            QVERIFY2(outcome.error == 0, qPrintable(QStringLiteral("read %1: %2 %3").arg(read).arg(outcome.error).arg(outcome.errorText)));
        }
        for (uint level = 1; level <= 5; ++level) {
            took.start();
            const Outcome outcome = execute(s("change"), withLocale({{s("userILevels"), QVariantHash{{s("root"), level}}}}), 10000);
            slowestChange = std::max(slowestChange, took.elapsed());
            QVERIFY2(outcome.error == 0, qPrintable(outcome.errorText));
            QVERIFY(readRootFile(s("var/lib/kestrel/users.state")).contains(QByteArray("root = " + QByteArray::number(level))));
        }
        QCOMPARE(QDBusConnection::systemBus().interface()->servicePid(helperId).value(), helper);
        // Its calls answered, the flood ends.
        QFile::remove(silent);
        nobody.process.closeWriteChannel();
        QVERIFY(nobody.process.waitForFinished(30000));
        const QByteArray output = nobody.process.readAllStandardOutput();
        qInfo("%s: slowest read %lld ms, slowest change %lld ms; %s", QTest::currentDataTag(), slowestRead, slowestChange, output.trimmed().constData());
        // The flood went on all along.
        const QList<QByteArray> said = output.trimmed().split(' ');
        QVERIFY2(said.size() == 2 && said.at(1).toInt() > 5, output.constData());
    }

    // polkit answers a check of a caller that is gone with an error; the
    // helper takes that as a refusal and goes on, and still ends when idle.
    void callersGoneBeforeTheirAuthorizationHoldUpNothing()
    {
        Nobody vanishing;
        QVERIFY(vanishing.start({s("vanish"), s("10")}));
        QVERIFY(vanishing.process.waitForFinished(10000));
        QCOMPARE(vanishing.process.exitCode(), 0);
        QCOMPARE(execute(s("access"), locale(), 10000).error, 0);
        QTRY_VERIFY_WITH_TIMEOUT(!helperRuns(), 20000);
        QCOMPARE(execute(s("access"), locale(), 10000).error, 0);
    }
};

QTEST_MAIN(HelperAvailabilityTest)
#include "helperavailabilitytest.moc"
