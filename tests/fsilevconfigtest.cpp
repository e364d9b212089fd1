// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

// Reading and writing back the file-system integrity configuration.
#include <fsilevconfig.h>

#include <QTest>

namespace
{
constexpr char sample[] =
    "# Integrity levels of file-system objects.\n"
    "high /usr/bin\n"
    "\t0x3f\t/etc/passwd\n"
    "\n"
    "63 /opt/my dir/with blanks\n"
    "  # exception <path>: the object keeps whatever level it has.\n"
    "exception /var/tmp\n"
    "exception  /srv\n"
    "# end\n";

const QString noLevel = QStringLiteral("\u2014");

FsIlevConfig parsed(const QByteArray &content)
{
    QString error;
    const std::optional<FsIlevConfig> config = FsIlevConfig::parse(content, &error);
    if (!config) {
        qFatal("unexpected parse failure: %s", qPrintable(error));
    }
    return *config;
}
}

class FsIlevConfigTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void untouchedFileIsWrittenBackByteForByte_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("sample") << QByteArray(sample);
        QTest::newRow("no final newline") << QByteArray("# c\nhigh /usr");
        QTest::newRow("blank lines of blanks") << QByteArray("\n \t\n\n");
        QTest::newRow("utf-8 path") << QByteArray("low /home/j\xC3\xBCrgen\n");
        QTest::newRow("empty") << QByteArray();
    }
    void untouchedFileIsWrittenBackByteForByte()
    {
        QFETCH(QByteArray, content);
        QCOMPARE(parsed(content).serialize(), content);
    }

    void readsRulesAndExceptions()
    {
        const FsIlevConfig config = parsed(sample);
        const QHash<QString, QString> rules{{QStringLiteral("/usr/bin"), QStringLiteral("high")},
                                            {QStringLiteral("/etc/passwd"), QStringLiteral("0x3f")},
                                            {QStringLiteral("/opt/my dir/with blanks"), QStringLiteral("63")}};
        QCOMPARE(config.rules(), rules);
        QCOMPARE(config.exceptions(), (QStringList{QStringLiteral("/var/tmp"), QStringLiteral("/srv")}));
    }

    void everyLevelFormSurvivesAsText()
    {
        const QStringList forms = QStringLiteral("high max min low 0x3F 077 0b101 0B11 63").split(QLatin1Char(' '));
        FsIlevConfig config;
        for (const QString &form : forms) {
            QVERIFY2(config.setRule(QLatin1Char('/') + form, form), qPrintable(form));
        }
        const QHash<QString, QString> reread = parsed(config.serialize()).rules();
        QCOMPARE(reread.size(), forms.size());
        for (const QString &form : forms) {
            QCOMPARE(reread.value(QLatin1Char('/') + form), form);
        }
    }

    void badFileFailsOnItsLine_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("fault");
        QTest::newRow("keyword case") << QByteArray("Max /a") << QStringLiteral("invalid level string \"Max\"");
        QTest::newRow("misspelt keyword") << QByteArray("hihg /a") << QStringLiteral("invalid level string \"hihg\"");
        QTest::newRow("binary digit 2") << QByteArray("0b102 /a") << QStringLiteral("invalid level string");
        QTest::newRow("over 32 bits") << QByteArray("4294967296 /a") << QStringLiteral("invalid level string");
        QTest::newRow("no level") << QByteArray("\xE2\x80\x94 /a") << QStringLiteral("is no level");
        QTest::newRow("relative path") << QByteArray("high usr/bin") << QStringLiteral("relative path");
        QTest::newRow("dot-dot") << QByteArray("high /usr/../bin") << QStringLiteral("\"..\" segment");
        QTest::newRow("dot") << QByteArray("exception /usr/./bin") << QStringLiteral("\".\" segment");
        QTest::newRow("double slash") << QByteArray("high /usr//bin") << QStringLiteral("empty segment");
        QTest::newRow("trailing slash") << QByteArray("high /usr/") << QStringLiteral("trailing \"/\"");
        QTest::newRow("trailing blank") << QByteArray("high /usr ") << QStringLiteral("blank at the end");
        QTest::newRow("trailing tab") << QByteArray("exception /tmp\t") << QStringLiteral("blank at the end");
        QTest::newRow("carriage return") << QByteArray("high /usr\r") << QStringLiteral("carriage return");
        QTest::newRow("missing path") << QByteArray("high") << QStringLiteral("missing path");
        QTest::newRow("exception without path") << QByteArray("exception") << QStringLiteral("missing path");
        QTest::newRow("rule on root") << QByteArray("high /") << QStringLiteral("\"/\" cannot carry a rule");
        QTest::newRow("root as exception") << QByteArray("exception /") << QStringLiteral("\"/\" cannot be an exception");
        QTest::newRow("duplicate rule") << QByteArray("low /etc") << QStringLiteral("second rule for \"/etc\" (first on line 3)");
        QTest::newRow("duplicate exception") << QByteArray("exception /tmp") << QStringLiteral("(first on line 2)");
        QTest::newRow("invalid UTF-8") << QByteArray("high /caf\xC3\x28") << QStringLiteral("invalid UTF-8");
        QTest::newRow("NUL byte") << QByteArray("# a\0b", 5) << QStringLiteral("NUL byte");
    }
    void badFileFailsOnItsLine()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, fault);
        // Good lines of every kind before the bad one, and good ones after.
        const QByteArray content = "# rules\nexception /tmp\nhigh /etc\n\n" + line + "\nhigh /usr\n";
        QString error;
        QVERIFY(!FsIlevConfig::parse(content, &error));
        QVERIFY2(error.startsWith(QStringLiteral("line 5: ")), qPrintable(error));
        QVERIFY2(error.contains(fault), qPrintable(error));
    }

    // Many paths, so that the table of first lines grows: each path given
    // twice is found, with the line it was first given on, and only then.
    void repeatsAmongManyPaths()
    {
        QByteArray content;
        for (int i = 1; i <= 5000; ++i) {
            content += "63 /srv/f" + QByteArray::number(i) + "\nexception /srv/e" + QByteArray::number(i) + '\n';
        }
        QCOMPARE(parsed(content).rules().size(), 5000);
        QString error;
        QVERIFY(!FsIlevConfig::parse(content + "exception /srv/f1\nhigh /srv/f4321\n", &error));
        QCOMPARE(error, QStringLiteral("line 10002: second rule for \"/srv/f4321\" (first on line 8641)"));
        QVERIFY(!FsIlevConfig::parse(content + "exception /srv/e2500\n", &error));
        QCOMPARE(error, QStringLiteral("line 10001: second exception for \"/srv/e2500\" (first on line 5000)"));
    }

    // A file of more than a MiB is read in two halves at once: its first
    // fault is still the one reported, wherever the halves meet.
    void theFirstFaultOfALargeFileIsReported()
    {
        QByteArray half;
        for (int i = 1; half.size() < 1200 * 1024; ++i) {
            half += "63 /srv/a-rather-long-folder-name/f" + QByteArray::number(i) + '\n';
        }
        const int halfLines = int(half.count('\n'));
        const QByteArray bad = "63 relative/path\n";
        const QByteArray otherHalf = QByteArray(half).replace("/f", "/g");
        const QByteArray repeat = "0b11 /srv/a-rather-long-folder-name/f7\n";
        QString error;
        QCOMPARE(parsed(half + otherHalf).rules().size(), 2 * halfLines);
        QVERIFY(!FsIlevConfig::parse(half + repeat + otherHalf + bad, &error));
        QCOMPARE(error, QStringLiteral("line %1: second rule for \"/srv/a-rather-long-folder-name/f7\" (first on line 7)").arg(halfLines + 1));
        QVERIFY(!FsIlevConfig::parse(bad + half + repeat + otherHalf, &error));
        QVERIFY2(error.startsWith(QStringLiteral("line 1: ")), qPrintable(error));
        QVERIFY(!FsIlevConfig::parse(half + otherHalf + bad + repeat, &error));
        QVERIFY2(error.startsWith(QStringLiteral("line %1: relative path").arg(2 * halfLines + 1)), qPrintable(error));
    }

    void changesSurviveAReparse()
    {
        FsIlevConfig config = parsed(sample);
        QVERIFY(config.setRule(QStringLiteral("/etc/passwd"), QStringLiteral("max")));
        QVERIFY(config.setRule(QStringLiteral("/usr/bin"), noLevel));
        QVERIFY(config.setRule(QStringLiteral("/new"), QStringLiteral("0b1")));
        QVERIFY(config.setExceptions({QStringLiteral("/srv"), QStringLiteral("/cache")}));
        const QByteArray expected =
            "# Integrity levels of file-system objects.\n"
            "max /etc/passwd\n"
            "\n"
            "63 /opt/my dir/with blanks\n"
            "0b1 /new\n"
            "  # exception <path>: the object keeps whatever level it has.\n"
            "exception  /srv\n"
            "exception /cache\n"
            "# end\n";
        QCOMPARE(config.serialize(), expected);
        const FsIlevConfig reread = parsed(config.serialize());
        QCOMPARE(reread.rules(), config.rules());
        QCOMPARE(reread.exceptions(), config.exceptions());
    }

    void sameLevelTextLeavesTheLineAlone()
    {
        FsIlevConfig config = parsed(sample);
        QVERIFY(config.setRule(QStringLiteral("/etc/passwd"), QStringLiteral("0x3f")));
        QCOMPARE(config.serialize(), sample);
        // The same number written otherwise is a change of text.
        QVERIFY(config.setRule(QStringLiteral("/etc/passwd"), QStringLiteral("63")));
        QVERIFY(config.serialize().contains("\n63 /etc/passwd\n"));
    }

    void removingRules()
    {
        FsIlevConfig config = parsed("high /a\nlow /b\n");
        QVERIFY(config.setRule(QStringLiteral("/a"), noLevel));
        config.removeRule(QStringLiteral("/b"));
        config.removeRule(QStringLiteral("/never"));
        QVERIFY(config.setRule(QStringLiteral("/never"), noLevel));
        QCOMPARE(config.serialize(), QByteArray());
    }

    void manyRuleChangesAtOnce()
    {
        FsIlevConfig config = parsed("high /a\n# keep\nlow /b\n7 /c\nexception /t\n");
        // Refused whole: one change the file cannot hold.
        QVERIFY(!config.applyRuleChanges({{QStringLiteral("/a"), noLevel}, {QStringLiteral("/d"), QStringLiteral("Max")}}));
        QCOMPARE(config.rules().size(), 3);
        QVERIFY(config.applyRuleChanges({{QStringLiteral("/a"), noLevel},
                                         {QStringLiteral("/c"), QStringLiteral("0x7")},
                                         {QStringLiteral("/z"), QStringLiteral("15")},
                                         {QStringLiteral("/m"), QStringLiteral("max")},
                                         {QStringLiteral("/gone"), noLevel}}));
        QCOMPARE(config.serialize(), QByteArray("# keep\nlow /b\n0x7 /c\nmax /m\n15 /z\nexception /t\n"));

        // A change for every rule of a large file is one pass, not one per rule.
        QByteArray large;
        QHash<QString, QString> removals;
        for (int i = 0; i < 100000; ++i) {
            const QString path = QStringLiteral("/srv/f%1").arg(i);
            large += "high " + path.toUtf8() + '\n';
            removals.insert(path, noLevel);
        }
        FsIlevConfig big = parsed(large);
        QVERIFY(big.applyRuleChanges(removals));
        QVERIFY(big.rules().isEmpty());
    }

    void exceptionsKeepTheirPlacesAndNewOnesFollowInListOrder()
    {
        FsIlevConfig config = parsed("exception /a\nexception /b\n# between\nexception /c\nhigh /r\n");
        QVERIFY(config.setExceptions({QStringLiteral("/c"), QStringLiteral("/x"), QStringLiteral("/a"), QStringLiteral("/y"), QStringLiteral("/x")}));
        QCOMPARE(config.serialize(), QByteArray("exception /a\n# between\nexception /c\nexception /x\nexception /y\nhigh /r\n"));
        QCOMPARE(config.exceptions(), (QStringList{QStringLiteral("/a"), QStringLiteral("/c"), QStringLiteral("/x"), QStringLiteral("/y")}));
        QVERIFY(config.setExceptions({}));
        QCOMPARE(config.serialize(), QByteArray("# between\nhigh /r\n"));
    }

    void newEntriesGoToTheEndWhenNoneOfTheirKindExists()
    {
        FsIlevConfig config = parsed("# only a comment\n");
        QVERIFY(config.setExceptions({QStringLiteral("/tmp")}));
        QVERIFY(config.setRule(QStringLiteral("/usr"), QStringLiteral("high")));
        QCOMPARE(config.serialize(), QByteArray("# only a comment\nexception /tmp\nhigh /usr\n"));
    }

    void emptyFile()
    {
        FsIlevConfig config = parsed(QByteArray());
        QVERIFY(config.rules().isEmpty());
        QVERIFY(config.exceptions().isEmpty());
        QVERIFY(config.setRule(QStringLiteral("/usr"), QStringLiteral("low")));
        QCOMPARE(config.serialize(), QByteArray("low /usr\n"));
    }

    void settersRefuseWhatTheFileCannotHold()
    {
        FsIlevConfig config = parsed(sample);
        QVERIFY(!config.setRule(QStringLiteral("/"), QStringLiteral("high")));
        QVERIFY(!config.setRule(QStringLiteral("usr"), QStringLiteral("high")));
        QVERIFY(!config.setRule(QStringLiteral("/usr "), QStringLiteral("high")));
        QVERIFY(!config.setRule(QStringLiteral("/usr"), QStringLiteral("hihg")));
        QVERIFY(!config.setRule(QStringLiteral("/usr"), QStringLiteral(" 5")));
        QVERIFY(!config.setExceptions({QStringLiteral("/ok"), QStringLiteral("/bad/")}));
        QVERIFY(!config.setExceptions({QStringLiteral("/")}));
        QCOMPARE(config.serialize(), sample);
        QVERIFY(FsIlevConfig::isValidPath(QStringLiteral("/")));
        QVERIFY(FsIlevConfig::isValidPath(QStringLiteral("/a b/.hidden/..x")));
        QVERIFY(!FsIlevConfig::isValidPath(QStringLiteral("/a\nb")));
        QVERIFY(!FsIlevConfig::isValidPath(QString()));
    }

    // A lone surrogate has no UTF-8 form: written out it would become "?",
    // and the file would hold a rule for another object.
    void pathsWithoutAUtf8FormAreRefused()
    {
        FsIlevConfig config = parsed(sample);
        const QString lone = QStringLiteral("/tmp/a") + QChar(0xd800);
        QVERIFY(!FsIlevConfig::isValidPath(lone));
        QVERIFY(!FsIlevConfig::isValidPath(QStringLiteral("/tmp/") + QChar(0xdc00) + QChar(0xd800)));
        QVERIFY(!config.setRule(lone, QStringLiteral("high")));
        QVERIFY(!config.setExceptions({lone}));
        QCOMPARE(config.serialize(), sample);
        // A pair is one character, and is written and read back as such.
        const QString pair = QStringLiteral("/tmp/") + QChar(0xd83d) + QChar(0xde00);
        QVERIFY(config.setRule(pair, QStringLiteral("high")));
        QVERIFY(config.setExceptions({pair + QStringLiteral("/x")}));
        const FsIlevConfig reread = parsed(config.serialize());
        QCOMPARE(reread.rules().value(pair), QStringLiteral("high"));
        QCOMPARE(reread.exceptions(), QStringList{pair + QStringLiteral("/x")});
    }
};

QTEST_GUILESS_MAIN(FsIlevConfigTest)

#include "fsilevconfigtest.moc"
