// The helper's change action over the real system bus: what it applies, and
// what it refuses without touching anything.
#include "helperfixture.h"

#include <QProcess>
#include <QTest>

using namespace HelperFixture;

namespace
{
const QString em = QStringLiteral("\u2014");

QVariantMap locale()
{
    return {{QStringLiteral("languages"), QStringList{QStringLiteral("C")}}, {QStringLiteral("lcmessages"), QStringLiteral("C.UTF-8")}};
}

QVariantMap request(std::initializer_list<std::pair<const QString, QVariant>> entries)
{
    QVariantMap map = locale();
    for (const auto &[key, value] : entries) {
        map.insert(key, value);
    }
    return map;
}

QVariantHash hash(std::initializer_list<std::pair<const QString, QVariant>> entries)
{
    QVariantHash result;
    for (const auto &[key, value] : entries) {
        result.insert(key, value);
    }
    return result;
}
}

class HelperChangeTest : public QObject
{
    Q_OBJECT
private:
    QString files;

    QString file(const char *name) const
    {
        return files + QLatin1Char('/') + QLatin1String(name);
    }

    QVariantMap readState()
    {
        const Outcome outcome = execute(QStringLiteral("access"), locale());
        if (outcome.error != 0) {
            qWarning() << outcome.errorText;
        }
        return outcome.data;
    }

private Q_SLOTS:
    void init()
    {
        files = laySampleSystem();
        writeMicState(false, false, false);
    }

    void badRequestsChangeNothing_data()
    {
        QTest::addColumn<QVariantMap>("args");
        QTest::addColumn<QString>("named");

        const QString link = QStringLiteral("files/link");
        QTest::newRow("status as text") << request({{QStringLiteral("micStatus"), QStringLiteral("2")}}) << QStringLiteral("micStatus");
        QTest::newRow("status not settable") << request({{QStringLiteral("micStatus"), 5}}) << QStringLiteral("micStatus");
        QTest::newRow("level 256") << request({{QStringLiteral("micFutureLevel"), 256u}}) << QStringLiteral("micFutureLevel");
        QTest::newRow("negative level") << request({{QStringLiteral("micFutureLevel"), -1}}) << QStringLiteral("micFutureLevel");
        QTest::newRow("user level 256") << request({{QStringLiteral("userILevels"), hash({{QStringLiteral("root"), 256u}})}}) << QStringLiteral("userILevels");
        QTest::newRow("unknown user") << request({{QStringLiteral("userILevels"), hash({{QStringLiteral("no-such-user-x"), 1u}})}})
                                      << QStringLiteral("no-such-user-x");
        QTest::newRow("users not a hash") << request({{QStringLiteral("userILevels"), QVariantMap{{QStringLiteral("root"), 1u}}}})
                                          << QStringLiteral("userILevels");
        QTest::newRow("relative path") << request({{QStringLiteral("micFsCurrentItems"), hash({{QStringLiteral("usr/bin"), QStringLiteral("high")}})}})
                                       << QStringLiteral("usr/bin");
        QTest::newRow("dot dot") << request({{QStringLiteral("micFsCurrentItems"), hash({{QStringLiteral("/usr/../etc"), QStringLiteral("high")}})}})
                                 << QStringLiteral("/usr/../etc");
        QTest::newRow("newline in path") << request({{QStringLiteral("micFsCurrentExceptions"), QStringList{QStringLiteral("/tmp/a\nb")}}})
                                         << QStringLiteral("micFsCurrentExceptions");
        QTest::newRow("lone surrogate in path")
            << request({{QStringLiteral("micFsCurrentItems"), hash({{QStringLiteral("/usr/a") + QChar(0xd800), QStringLiteral("high")}})}})
            << QStringLiteral("micFsCurrentItems");
        QTest::newRow("root as rule") << request({{QStringLiteral("micFsCurrentItems"), hash({{QStringLiteral("/"), QStringLiteral("high")}})}})
                                      << QStringLiteral("micFsCurrentItems");
        QTest::newRow("bad level string") << request({{QStringLiteral("micFsCurrentItems"), hash({{QStringLiteral("/usr"), QStringLiteral("Max")}})}})
                                          << QStringLiteral("Max");
        QTest::newRow("level as number") << request({{QStringLiteral("micFsCurrentItems"), hash({{QStringLiteral("/usr"), 63}})}})
                                         << QStringLiteral("/usr");
        QTest::newRow("unknown key") << request({{QStringLiteral("micStatusX"), 2}}) << QStringLiteral("micStatusX");
        QTest::newRow("unknown service") << request({{QStringLiteral("services"), QVariantList{hash({{QStringLiteral("name"), QStringLiteral("nope")}, {QStringLiteral("isIsolated"), true}})}}})
                                         << QStringLiteral("nope");
        QTest::newRow("symlink to label") << request({{QStringLiteral("micFsCurrentItems"), hash({{rootPath(link), QStringLiteral("63")}})},
                                                      {QStringLiteral("micFsStatus"), 2}})
                                          << rootPath(link);
    }
    void badRequestsChangeNothing()
    {
        QFETCH(QVariantMap, args);
        QFETCH(QString, named);
        QVERIFY(QFile::link(file("uncovered"), rootPath(QStringLiteral("files/link"))));
        // A valid part beside the bad one must not be applied either.
        args.insert(QStringLiteral("userILevels"), args.value(QStringLiteral("userILevels"), hash({{QStringLiteral("root"), 7u}})));
        const auto before = snapshotStateRoot();
        const Outcome outcome = execute(QStringLiteral("change"), args);
        QVERIFY(outcome.finished);
        QVERIFY(outcome.error != 0);
        QVERIFY2(outcome.errorText.contains(named), qPrintable(outcome.errorText));
        QCOMPARE(snapshotStateRoot(), before);
    }

    void errorsInTheCallersLanguage()
    {
        QVariantMap args{{QStringLiteral("micStatus"), QStringLiteral("x")},
                         {QStringLiteral("languages"), QStringList{QStringLiteral("de")}},
                         {QStringLiteral("lcmessages"), QStringLiteral("C")}};
        const Outcome german = execute(QStringLiteral("change"), args);
        QVERIFY2(german.errorText.startsWith(QStringLiteral("Ungültiger Wert")), qPrintable(german.errorText));
        args.insert(QStringLiteral("languages"), QStringList{QStringLiteral("C")});
        const Outcome english = execute(QStringLiteral("change"), args);
        QVERIFY2(english.errorText.startsWith(QStringLiteral("Invalid value")), qPrintable(english.errorText));
    }

    void enablingNeedsAReboot()
    {
        const Outcome outcome = execute(QStringLiteral("change"),
                                        request({{QStringLiteral("micStatus"), 2}, {QStringLiteral("micFutureLevel"), 63u}, {QStringLiteral("micFsStatus"), 4}}));
        QCOMPARE(outcome.error, 0);
        QCOMPARE(outcome.data.value(QStringLiteral("needReboot")), QVariant(true));
        QCOMPARE(readState().value(QStringLiteral("micStatus")).toInt(), 5); // enabled after reboot
        QVERIFY(QFile::exists(rootPath(QStringLiteral("var/lib/kestrel/mic.state.old"))));

        // The same again changes nothing that needs a boot.
        const Outcome again = execute(QStringLiteral("change"), request({{QStringLiteral("micStatus"), 2}, {QStringLiteral("micFutureLevel"), 63u}}));
        QCOMPARE(again.data.value(QStringLiteral("needReboot")), QVariant(false));

        QProcess reboot;
        reboot.start(QStringLiteral(REBOOT_COMMAND_PATH), {QStringLiteral("TARNWM_REBOOT")});
        QVERIFY(reboot.waitForFinished());
        QCOMPARE(reboot.exitCode(), 0);
        const QVariantMap state = readState();
        QCOMPARE(state.value(QStringLiteral("micStatus")).toInt(), 2);
        QCOMPARE(state.value(QStringLiteral("micFutureLevel")).toUInt(), 63u);
        QVERIFY(readRootFile(QStringLiteral("var/lib/kestrel/mic.state")).contains("max-ilev = 63"));
    }

    void rulesExceptionsUsersAndServices()
    {
        const QByteArray configBefore = readRootFile(QStringLiteral("etc/kestrel/fs-ilev.conf"));
        const Outcome outcome = execute(QStringLiteral("change"),
                                        request({{QStringLiteral("micFsCurrentItems"),
                                                  hash({{file("mask"), em}, {file("high"), QStringLiteral("0x3F")}, {QStringLiteral("/opt/new"), QStringLiteral("low")}})},
                                                 {QStringLiteral("micFsCurrentExceptions"), QStringList{QStringLiteral("/var/tmp")}},
                                                 {QStringLiteral("userILevels"), hash({{QStringLiteral("root"), 31u}, {QStringLiteral("nobody"), 3}})},
                                                 {QStringLiteral("servicesIsolatedStatus"), 3},
                                                 {QStringLiteral("services"),
                                                  QVariantList{hash({{QStringLiteral("name"), QStringLiteral("sshd")}, {QStringLiteral("isIsolated"), true}}),
                                                               hash({{QStringLiteral("name"), QStringLiteral("broken")}, {QStringLiteral("isIsolated"), true}})}}}));
        QCOMPARE(outcome.error, 0);
        QCOMPARE(outcome.data.value(QStringLiteral("needReboot")), QVariant(false));
        const QStringList warnings = outcome.data.value(QStringLiteral("warnings")).toStringList();
        QCOMPARE(warnings.size(), 1);
        QVERIFY2(warnings.first().contains(QStringLiteral("broken")), qPrintable(warnings.first()));
        QCOMPARE(readRootFile(QStringLiteral("etc/kestrel/fs-ilev.conf.old")), configBefore);

        const QVariantMap state = readState();
        const QVariantHash rules = state.value(QStringLiteral("micFsCurrentItems")).toHash();
        QVERIFY(!rules.contains(file("mask")));
        QCOMPARE(rules.value(file("high")).toString(), QStringLiteral("0x3F"));
        QCOMPARE(rules.value(QStringLiteral("/opt/new")).toString(), QStringLiteral("low"));
        QCOMPARE(state.value(QStringLiteral("micFsCurrentExceptions")).toStringList(), QStringList{QStringLiteral("/var/tmp")});
        QCOMPARE(state.value(QStringLiteral("userILevels")).toHash().value(QStringLiteral("root")).toUInt(), 31u);
        QCOMPARE(state.value(QStringLiteral("userILevels")).toHash().value(QStringLiteral("nobody")).toUInt(), 3u);
        QCOMPARE(state.value(QStringLiteral("servicesIsolatedStatus")).toInt(), 2); // both working services now
        QVERIFY(readRootFile(QStringLiteral("etc/kestrel/fs-ilev.conf")).startsWith("# rules\n"));
    }

    void protectingLabelsWhatIsNotCovered()
    {
        const Outcome outcome = execute(QStringLiteral("change"), request({{QStringLiteral("micFsStatus"), 2}}));
        QCOMPARE(outcome.error, 0);
        QCOMPARE(labelOf(file("uncovered")), QByteArray("7"));
        QCOMPARE(labelOf(file("mask")), QByteArray("12")); // covered already: untouched
        QCOMPARE(labelOf(file("excepted")), QByteArray());
        const QStringList warnings = outcome.data.value(QStringLiteral("warnings")).toStringList();
        QCOMPARE(warnings.size(), 1);
        QVERIFY(warnings.first().contains(file("missing")));
        QCOMPARE(readState().value(QStringLiteral("micFsStatus")).toInt(), 2);

        QCOMPARE(execute(QStringLiteral("change"), request({{QStringLiteral("micFsStatus"), 4}})).error, 0);
        QCOMPARE(readState().value(QStringLiteral("micFsStatus")).toInt(), 4);
    }
};

QTEST_MAIN(HelperChangeTest)
#include "helperchangetest.moc"
