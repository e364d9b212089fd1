// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

// The helper's access action over the real system bus.
#include "helperfixture.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace HelperFixture;

class HelperAccessTest : public QObject
{
    Q_OBJECT
private:
    QString files;

    QString file(const char *name) const
    {
        return files + QLatin1Char('/') + QLatin1String(name);
    }
private Q_SLOTS:
    void init()
    {
        files = laySampleSystem();
    }

    void readReplyCarriesEveryKeyWithItsType()
    {
        const Outcome outcome = execute(QStringLiteral("access"), {{QStringLiteral("languages"), QStringList{QStringLiteral("C")}}});
        QVERIFY(outcome.finished);
        QCOMPARE(outcome.error, 0);

        // The loading state arrives first, on its own.
        QVERIFY(!outcome.progress.isEmpty());
        QCOMPARE(outcome.progress.first().value(QStringLiteral("micFsStatus")), QVariant(1));

        const QVariantMap &data = outcome.data;
        const QList<QPair<QString, int>> types{{QStringLiteral("micStatus"), QMetaType::Int},
                                               {QStringLiteral("servicesIsolatedStatus"), QMetaType::Int},
                                               {QStringLiteral("micFsStatus"), QMetaType::Int},
                                               {QStringLiteral("micFsStatusMessages"), QMetaType::QStringList},
                                               {QStringLiteral("userILevels"), QMetaType::QVariantHash},
                                               {QStringLiteral("micFutureLevel"), QMetaType::UInt},
                                               {QStringLiteral("micFsCurrentItems"), QMetaType::QVariantHash},
                                               {QStringLiteral("micFsDefaultItems"), QMetaType::QVariantHash},
                                               {QStringLiteral("micFsCurrentExceptions"), QMetaType::QStringList},
                                               {QStringLiteral("micFsDefaultExceptions"), QMetaType::QStringList},
                                               {QStringLiteral("services"), QMetaType::QVariantList},
                                               {QStringLiteral("servicesIsolated"), QMetaType::Int}};
        for (const auto &[key, type] : types) {
            QVERIFY2(data.contains(key), qPrintable(key));
            QCOMPARE(data.value(key).userType(), type);
        }

        QCOMPARE(data.value(QStringLiteral("micStatus")).toInt(), 2);
        QCOMPARE(data.value(QStringLiteral("micFutureLevel")).toUInt(), 127u);
        QCOMPARE(data.value(QStringLiteral("micFsStatus")).toInt(), 3);
        const QStringList messages = data.value(QStringLiteral("micFsStatusMessages")).toStringList();
        QCOMPARE(messages.size(), 1);
        QVERIFY(messages.first().startsWith(file("uncovered")));

        const QVariantHash users = data.value(QStringLiteral("userILevels")).toHash();
        QCOMPARE(users.value(QStringLiteral("root")).userType(), int(QMetaType::UInt));
        QCOMPARE(users.value(QStringLiteral("root")).toUInt(), 63u);
        QCOMPARE(users.value(QStringLiteral("nobody")).toUInt(), 0u);
        QVERIFY(!users.contains(QStringLiteral("no-such-user")));

        const QVariantHash rules = data.value(QStringLiteral("micFsCurrentItems")).toHash();
        QCOMPARE(rules.size(), 5);
        QCOMPARE(rules.value(file("mask")), QVariant(QStringLiteral("0b100"))); // as written
        QCOMPARE(data.value(QStringLiteral("micFsCurrentExceptions")).toStringList(), QStringList{file("excepted")});
        QCOMPARE(data.value(QStringLiteral("micFsDefaultItems")).toHash().value(QStringLiteral("/usr/bin")), QVariant(QStringLiteral("max")));
        QCOMPARE(data.value(QStringLiteral("micFsDefaultExceptions")).toStringList(), QStringList{QStringLiteral("/tmp")});

        const QVariantList services = data.value(QStringLiteral("services")).toList();
        QCOMPARE(services.size(), 3);
        QCOMPARE(services.first().userType(), int(QMetaType::QVariantHash));
        const QVariantHash cron = services.first().toHash();
        QCOMPARE(cron.value(QStringLiteral("name")).toString(), QStringLiteral("cron"));
        QCOMPARE(cron.value(QStringLiteral("iLevel")).userType(), int(QMetaType::UInt));
        QCOMPARE(cron.value(QStringLiteral("isIsolated")).userType(), int(QMetaType::Bool));
        QVERIFY(services.at(2).toHash().value(QStringLiteral("isError")).toBool());
        // One of the two working services is isolated; the broken one does not count.
        QCOMPARE(data.value(QStringLiteral("servicesIsolatedStatus")).toInt(), 3);
        QCOMPARE(data.value(QStringLiteral("servicesIsolated")).toInt(), int(Qt::PartiallyChecked));

        // A client that does not take the chunks as text (as none did
        // before that form) gets the same reply in the streamed forms.
        const Outcome streamed = execute(QStringLiteral("access"),
                                         {{QStringLiteral("languages"), QStringList{QStringLiteral("C")}}, {QStringLiteral("chunksAsText"), false}});
        QCOMPARE(streamed.error, 0);
        QCOMPARE(streamed.data, data);
    }

    void micStatusNowAndAfterReboot_data()
    {
        QTest::addColumn<bool>("now");
        QTest::addColumn<bool>("afterReboot");
        QTest::addColumn<int>("status");
        QTest::newRow("on") << true << true << 2;
        QTest::newRow("off") << false << false << 4;
        QTest::newRow("on after reboot") << false << true << 5;
        QTest::newRow("off after reboot") << true << false << 6;
    }
    void micStatusNowAndAfterReboot()
    {
        QFETCH(bool, now);
        QFETCH(bool, afterReboot);
        QFETCH(int, status);
        writeMicState(now, afterReboot, false);
        const Outcome outcome = execute(QStringLiteral("access"), {});
        QCOMPARE(outcome.error, 0);
        QCOMPARE(outcome.data.value(QStringLiteral("micStatus")).toInt(), status);
        // Protection off: nothing is reported unprotected.
        QCOMPARE(outcome.data.value(QStringLiteral("micFsStatus")).toInt(), 4);
        QVERIFY(outcome.data.value(QStringLiteral("micFsStatusMessages")).toStringList().isEmpty());
    }

    void everythingCovered()
    {
        QVERIFY(setLabel(file("uncovered"), 15));
        const Outcome outcome = execute(QStringLiteral("access"), {});
        QCOMPARE(outcome.data.value(QStringLiteral("micFsStatus")).toInt(), 2);
    }

    // A rule below a missing folder, then the folder's own rule: the second
    // path is the missing folder itself, not something below it.
    void aMissingFolderAfterARuleBelowIt()
    {
        writeRootFile(QStringLiteral("etc/kestrel/fs-ilev.conf"),
                      "7 " + file("gone/sub").toUtf8() + "\n7 " + file("gone").toUtf8() + "\n7 " + file("high").toUtf8() + "\n");
        const Outcome outcome = execute(QStringLiteral("access"), {});
        QCOMPARE(outcome.error, 0);
        QCOMPARE(outcome.data.value(QStringLiteral("micFsStatus")).toInt(), 2);
    }

    void damagedFilesGiveErrors_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("expected");
        QTest::newRow("config") << QStringLiteral("etc/kestrel/fs-ilev.conf") << QByteArray("# ok\nhigh /usr\nhihg /etc\n") << QStringLiteral("line 3");
        QTest::newRow("state") << QStringLiteral("var/lib/kestrel/mic.state") << QByteArray("enabled yes\n") << QStringLiteral("line 1");
        QTest::newRow("defaults") << QStringLiteral("usr/share/kestrel/fs-ilev.conf.default") << QByteArray("high relative/path\n")
                                  << QStringLiteral("line 1");
    }
    void damagedFilesGiveErrors()
    {
        QFETCH(QString, file);
        QFETCH(QByteArray, content);
        QFETCH(QString, expected);
        writeRootFile(file, content);
        const Outcome outcome = execute(QStringLiteral("access"), {});
        QVERIFY(outcome.finished);
        QVERIFY(outcome.error != 0);
        QVERIFY2(outcome.errorText.contains(expected), qPrintable(outcome.errorText));
        QVERIFY2(outcome.errorText.contains(rootPath(file)), qPrintable(outcome.errorText));
        QVERIFY(outcome.data.isEmpty());
    }

    // Rules that fill more than the bus's largest message (32 MiB by
    // default) arrive whole in the reply, also
    // while the client's main thread is busy as they stream in: more than
    // libdbus holds for a connection by default (63 MiB) then waits for it.
    void aReadLargerThanOneBusMessageToABusyClient()
    {
        constexpr int rules = 400000;
        const QByteArray folder = "/srv/a-folder-with-a-rather-long-name/" + QByteArray(100, 'f') + '/';
        QByteArray config;
        config.reserve(rules * (folder.size() + 30));
        for (int i = 0; i < rules; ++i) {
            config += "63 " + folder + "and-a-file-named-" + QByteArray::number(i) + '\n';
        }
        // Paths travel as text: spaces and letters of any script stay.
        config += "0b1111 /srv/a folder/\xc3\xbc and \xe6\x97\xa5\n";
        writeRootFile(QStringLiteral("etc/kestrel/fs-ilev.conf"), config);
        writeMicState(true, true, false);
        const Outcome outcome = execute(QStringLiteral("access"), {}, 120000, 8000);
        QVERIFY(outcome.finished);
        QCOMPARE(outcome.error, 0);
        const QVariantHash read = outcome.data.value(QStringLiteral("micFsCurrentItems")).toHash();
        QCOMPARE(read.size(), rules + 1);
        QCOMPARE(read.value(QString::fromLatin1(folder + "and-a-file-named-123456")).toString(), QStringLiteral("63"));
        QCOMPARE(read.value(QStringLiteral("/srv/a folder/ü and 日")).toString(), QStringLiteral("0b1111"));
        // The loading map goes ahead of the rules, which come for the reply.
        QCOMPARE(outcome.progress.size(), 1);
        QCOMPARE(outcome.progress.first().value(QStringLiteral("micFsStatus")).toInt(), 1);
        QVERIFY(outcome.progress.first().value(QStringLiteral("micFsCurrentItems")).toHash().isEmpty());

        // A client that does not take the chunks as text gets the entries
        // it knows, and the same rules.
        const Outcome entries = execute(QStringLiteral("access"), {{QStringLiteral("chunksAsText"), false}}, 120000);
        QCOMPARE(entries.error, 0);
        QVERIFY(entries.data.value(QStringLiteral("micFsCurrentItems")).toHash() == read);
    }

    // The first request of a process whose main thread is busy until the
    // helper has answered: Qt hands the answer to the call over before the
    // maps sent ahead of it, which the request waits for.
    void mapsSentAheadOfTheAnswerAreWaitedFor()
    {
        QProcess process;
        process.start(QStringLiteral(AUTH_CLIENT_PATH), {QStringLiteral("--first-on-the-bus")});
        QVERIFY(process.waitForFinished(30000));
        const QByteArray output = process.readAllStandardOutput();
        QVERIFY2(output.contains("error 0\nrules 5\n"), output.constData());
    }

    void deniedToOtherUsers()
    {
        // The client runs as an unprivileged user, from a place that user can
        // reach.
        const OpenCopy copy(QStringLiteral(AUTH_CLIENT_PATH));
        const QString client = copy.program();
        QVERIFY(!client.isEmpty());
        QProcess process;
        process.start(QStringLiteral("runuser"), {QStringLiteral("-u"), QStringLiteral("nobody"), QStringLiteral("--"), client});
        QVERIFY(process.waitForFinished(30000));
        const QByteArray output = process.readAllStandardOutput();
        QVERIFY2(output.contains("error 4"), output.constData()); // authorization denied, at once
        QCOMPARE(process.exitCode(), 1);
    }
};

QTEST_MAIN(HelperAccessTest)
#include "helperaccesstest.moc"
