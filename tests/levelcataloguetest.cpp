// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

// The integrity level catalogue over catalogues that the label library reads.
#include "staterootfixture.h"

#include <utils.h>

#include <QTest>

namespace
{
QList<uint> values(const QList<Mic::Level> &levels)
{
    QList<uint> result;
    for (const Mic::Level &level : levels) {
        result.append(level.value);
    }
    return result;
}

QStringList names(const QList<Mic::Level> &levels)
{
    QStringList result;
    for (const Mic::Level &level : levels) {
        result.append(level.name);
    }
    return result;
}
}

class LevelCatalogueTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void catalogueReplacesTheTopLevel_data()
    {
        QTest::addColumn<QByteArray>("library");
        QTest::addColumn<QList<uint>>("catalogue");
        QTest::newRow("seven levels") << QByteArray("0 1 3 7 15 31 63") << QList<uint>{0, 1, 3, 7, 15, 31, 63, 127};
        QTest::newRow("top 255 left out") << QByteArray("0 15 255") << QList<uint>{0, 15, 63, 127};
        QTest::newRow("63 twice") << QByteArray("0 63 255") << QList<uint>{0, 63, 63, 127};
        QTest::newRow("one level") << QByteArray("5") << QList<uint>{63, 127};
        QTest::newRow("empty list") << QByteArray("") << QList<uint>{127};
    }
    void catalogueReplacesTheTopLevel()
    {
        QFETCH(QByteArray, library);
        QFETCH(QList<uint>, catalogue);
        StateRootFixture state;
        state.writeCatalogue(library);
        QCOMPARE(values(Mic::Utils::allLevels()), catalogue);
    }

    void noLibraryList()
    {
        StateRootFixture state; // no state file at all
        QCOMPARE(values(Mic::Utils::allLevels()), QList<uint>{127});
        QCOMPARE(Mic::Utils::allLevels().constFirst().name, QStringLiteral("127"));
        QCOMPARE(Mic::Utils::previousMaxLevel(), (Mic::Level{0, QString()}));
        QVERIFY(!Mic::Utils::isGoodLevel(1));
        QVERIFY(!Mic::Utils::isGoodLevel(255));
        QVERIFY(Mic::Utils::isGoodLevel(0));
        QCOMPARE(Mic::Utils::currentMaxLevel().value, 0u);
        QCOMPARE(Mic::Utils::levelName(1000), QStringLiteral("1000"));
    }

    void namesFromLibraryTexts()
    {
        StateRootFixture state;
        state.writeCatalogue("0 1 3 63 127 255",
                             "level.0 = Low\n"
                             "level.1 = 1\n" // a text equal to the number is no name
                             "level.3 =\n" // nor is an empty one
                             "level.127 = Vireo level\n");
        // 63 and 127 without a library text at all are named by number only
        // in the catalogue...
        const QStringList expected{QStringLiteral("0 - Low"),
                                   QStringLiteral("1"),
                                   QStringLiteral("3"),
                                   QStringLiteral("63"),
                                   QStringLiteral("127 - Vireo level"),
                                   QStringLiteral("63"),
                                   QStringLiteral("127 - Vireo level")};
        QCOMPARE(names(Mic::Utils::allLevels()), expected);
        QCOMPARE(Mic::Utils::levelName(63), QStringLiteral("63"));

        // ...while the current maximum falls back to the module's own names.
        state.writeCatalogue("0 1 3 63 127 255", "level.127 = Vireo level\n", 63);
        QCOMPARE(Mic::Utils::currentMaxLevel(), Mic::Utils::defaultMaxLevel());
        QCOMPARE(Mic::Utils::currentMaxLevel().name, QStringLiteral("63 - High"));
        state.writeCatalogue("0 63 127 255", "level.63 = 63\nlevel.127 = Vireo level\n", 127);
        QCOMPARE(Mic::Utils::currentMaxLevel().name, QStringLiteral("127 - Vireo level"));
        QCOMPARE(names(Mic::Utils::allLevels()).at(1), QStringLiteral("63 - High")); // text "63" is no name
        state.writeCatalogue("0 63", "level.5 = Five\n", 5);
        QCOMPARE(Mic::Utils::currentMaxLevel(), (Mic::Level{5, QStringLiteral("5 - Five")}));
        state.writeCatalogue("0 63", "", 127);
        QCOMPARE(Mic::Utils::currentMaxLevel(), Mic::Utils::defaultVireoLevel());
    }

    void namedDefaults()
    {
        QCOMPARE(Mic::Utils::defaultMaxLevel(), (Mic::Level{63, QStringLiteral("63 - High")}));
        QCOMPARE(Mic::Utils::defaultVireoLevel(), (Mic::Level{127, QStringLiteral("127 - Vireo")}));
    }

    void levelNameTakesTheFirstEntry()
    {
        StateRootFixture state;
        state.writeCatalogue("0 63 255", "level.63 = Top\n");
        // Entry 1 is the library's 63 with its text, entry 2 the module's 63.
        QCOMPARE(Mic::Utils::levelName(63), QStringLiteral("63 - Top"));
        QCOMPARE(Mic::Utils::levelName(255), QStringLiteral("255"));
    }

    void previousLevel()
    {
        StateRootFixture state;
        state.writeCatalogue("0 1 3 7 15 31 63", "level.31 = Below\n");
        QCOMPARE(Mic::Utils::previousMaxLevel(), (Mic::Level{31, QStringLiteral("31 - Below")}));
        QVERIFY(!Mic::Utils::isGoodLevel(31));
        QVERIFY(Mic::Utils::isGoodLevel(32));
        QVERIFY(Mic::Utils::isGoodLevel(0));

        // Without a text the name keeps its separator and no default applies.
        state.writeCatalogue("0 63 127");
        QCOMPARE(Mic::Utils::previousMaxLevel(), (Mic::Level{63, QStringLiteral("63 - ")}));
        QVERIFY(!Mic::Utils::isGoodLevel(63));
        QVERIFY(Mic::Utils::isGoodLevel(0xffffffffu)); // compared unsigned

        // A list of one entry has no level below its top.
        state.writeCatalogue("15");
        QCOMPARE(Mic::Utils::previousMaxLevel().value, 0u);
        QVERIFY(Mic::Utils::isGoodLevel(1));
    }

    void coveringLevels()
    {
        for (uint level : {0u, 15u, 31u, 63u, 127u, 255u}) {
            QVERIFY2(Mic::Utils::isLevelCoverUnderlyingLevels(level), qPrintable(QString::number(level)));
        }
        for (uint level : {1u, 3u, 7u, 62u, 64u, 511u}) {
            QVERIFY2(!Mic::Utils::isLevelCoverUnderlyingLevels(level), qPrintable(QString::number(level)));
        }
        QCOMPARE(Mic::Utils::maxILevelNames(), (QStringList{QStringLiteral("15"), QStringLiteral("31"), QStringLiteral("63"), QStringLiteral("127"), QStringLiteral("255")}));
    }

    void fileLevelWithoutLabel()
    {
        QTemporaryDir dir;
        QCOMPARE(Mic::Utils::fileLevel(dir.path()), 0u);
        QCOMPARE(Mic::Utils::fileLevel(dir.filePath(QStringLiteral("none"))), 0u);
        QCOMPARE(Mic::Utils::fileLevel(QString()), 0u);
    }
};

QTEST_GUILESS_MAIN(LevelCatalogueTest)
#include "levelcataloguetest.moc"
