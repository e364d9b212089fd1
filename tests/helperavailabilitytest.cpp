// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

// Another local user, without rights, cannot keep the administrator from
// the helper: neither by a flood of calls nor by calls whose callers are
// gone before polkit answers.
#include "helperfixture.h"

#include <QProcess>
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

    void aFloodOfAnotherUserKeepsNoAdministratorOut()
    {
        Nobody flood;
        QVERIFY(flood.start({s("flood")}));
        QTest::qWait(500);
        for (int read = 0; read < 20; ++read) {
            const Outcome outcome = execute(s("access"), locale(), 10000);
            QVERIFY2(outcome.error == 0, qPrintable(QStringLiteral("read %1: %2 %3").arg(read).arg(outcome.error).arg(outcome.errorText)));
        }
        for (uint level = 1; level <= 5; ++level) {
            const Outcome outcome = execute(s("change"), withLocale({{s("userILevels"), QVariantHash{{s("root"), level}}}}), 10000);
            QVERIFY2(outcome.error == 0, qPrintable(outcome.errorText));
            QVERIFY(readRootFile(s("var/lib/kestrel/users.state")).contains(QByteArray("root = " + QByteArray::number(level))));
        }
        flood.process.closeWriteChannel();
        QVERIFY(flood.process.waitForFinished(10000));
        const QByteArray output = flood.process.readAllStandardOutput();
        // The flood went on all along, each of its calls denied.
        QVERIFY2(output.startsWith("answered ") && output.mid(9).trimmed().toInt() > 100, output.constData());
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
