// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

// The level strings of the file-system integrity configuration.
#include "staterootfixture.h"

#include <constants.h>
#include <printable.h>
#include <utils.h>

#include <QTest>

class LevelStringsTest : public QObject
{
    Q_OBJECT
private:
    StateRootFixture state;

private Q_SLOTS:
    void initTestCase()
    {
        // System maximum 63; catalogue 0, 7, 15, 31, 63, 127.
        state.writeCatalogue("0 7 15 31 255", "level.0 = Low\nlevel.7 = Seven\nlevel.63 = High\n", 63);
    }

    void toNumber_data()
    {
        QTest::addColumn<QString>("level");
        QTest::addColumn<uint>("maxLevel");
        QTest::addColumn<bool>("okBefore");
        QTest::addColumn<uint>("number");
        QTest::addColumn<bool>("okAfter");
        // Keywords leave the flag as the caller set it.
        QTest::newRow("max") << QStringLiteral("max") << 127u << false << 127u << false;
        QTest::newRow("high") << QStringLiteral("high") << 127u << true << 127u << true;
        QTest::newRow("min") << QStringLiteral("min") << 127u << false << 0u << false;
        QTest::newRow("low") << QStringLiteral("low") << 127u << true << 0u << true;
        // Numbers in every form write it.
        QTest::newRow("hex") << QStringLiteral("0x7F") << 63u << false << 127u << true;
        QTest::newRow("octal") << QStringLiteral("077") << 63u << false << 63u << true;
        QTest::newRow("binary") << QStringLiteral("0b111111") << 63u << false << 63u << true;
        QTest::newRow("binary upper") << QStringLiteral("0B101") << 63u << false << 5u << true;
        QTest::newRow("decimal") << QStringLiteral("63") << 0u << false << 63u << true;
        QTest::newRow("32 bits") << QStringLiteral("4294967295") << 0u << false << 4294967295u << true;
        QTest::newRow("33 bits") << QStringLiteral("4294967296") << 0u << true << 0u << false;
        QTest::newRow("0b alone") << QStringLiteral("0b") << 63u << true << 0u << false;
        QTest::newRow("bad binary") << QStringLiteral("0b102") << 63u << true << 0u << false;
        QTest::newRow("bad octal") << QStringLiteral("08") << 63u << true << 0u << false;
        QTest::newRow("word") << QStringLiteral("abc") << 63u << true << 0u << false;
        // Keywords are case-sensitive and exact.
        QTest::newRow("Max") << QStringLiteral("Max") << 63u << true << 0u << false;
        QTest::newRow("HIGH") << QStringLiteral("HIGH") << 63u << true << 0u << false;
        QTest::newRow("blank max") << QStringLiteral(" max") << 63u << true << 0u << false;
        QTest::newRow("dash") << Mic::noLevelString << 63u << true << 0u << false;
    }
    void toNumber()
    {
        QFETCH(QString, level);
        QFETCH(uint, maxLevel);
        QFETCH(bool, okBefore);
        QFETCH(uint, number);
        QFETCH(bool, okAfter);
        bool ok = okBefore;
        QCOMPARE(Mic::Utils::configLevelToNumber(level, maxLevel, &ok), number);
        QCOMPARE(ok, okAfter);
        QCOMPARE(Mic::Utils::configLevelToNumber(level, maxLevel, nullptr), number); // a null flag is fine
    }

    void compare_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<bool>("same");
        QTest::newRow("max high") << QStringLiteral("max") << QStringLiteral("high") << true;
        QTest::newRow("high max") << QStringLiteral("high") << QStringLiteral("max") << false;
        QTest::newRow("high 63") << QStringLiteral("high") << QStringLiteral("0x3f") << true;
        QTest::newRow("63 high") << QStringLiteral("63") << QStringLiteral("high") << false;
        QTest::newRow("max 63") << QStringLiteral("max") << QStringLiteral("63") << false;
        QTest::newRow("min max") << QStringLiteral("min") << QStringLiteral("max") << false;
        QTest::newRow("dash dash") << Mic::noLevelString << Mic::noLevelString << true;
        QTest::newRow("dash 0") << Mic::noLevelString << QStringLiteral("0") << false;
        QTest::newRow("0 dash") << QStringLiteral("0") << Mic::noLevelString << false;
        QTest::newRow("min low") << QStringLiteral("min") << QStringLiteral("low") << true;
        QTest::newRow("low 0b0") << QStringLiteral("low") << QStringLiteral("0b0") << true;
        QTest::newRow("0x0 empty") << QStringLiteral("0x0") << QString() << true;
        QTest::newRow("abc 0") << QStringLiteral("abc") << QStringLiteral("0") << true;
        QTest::newRow("octal hex") << QStringLiteral("077") << QStringLiteral("0x3F") << true;
        QTest::newRow("7 8") << QStringLiteral("7") << QStringLiteral("8") << false;
    }
    void compare()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(bool, same);
        QCOMPARE(Mic::Utils::compareConfigLevelStrings(a, b), same);
    }

    void prettyNames_data()
    {
        QTest::addColumn<QString>("level");
        QTest::addColumn<QString>("shown");
        QTest::newRow("empty") << QString() << Mic::noLevelString;
        QTest::newRow("dash") << Mic::noLevelString << Mic::noLevelString;
        QTest::newRow("high") << QStringLiteral("high") << QStringLiteral("63 - High (high)");
        QTest::newRow("max") << QStringLiteral("max") << QStringLiteral("63 - High (max)");
        QTest::newRow("hex 63") << QStringLiteral("0x3f") << QStringLiteral("63 - High");
        QTest::newRow("min") << QStringLiteral("min") << QStringLiteral("0 - Low");
        QTest::newRow("binary 7") << QStringLiteral("0b111") << QStringLiteral("7 - Seven");
        QTest::newRow("not in catalogue") << QStringLiteral("5") << QStringLiteral("5");
        for (const char *wrong : {"0b", "0b102", "08", "abc", "Max"}) {
            QTest::newRow(wrong) << QString::fromLatin1(wrong) << QStringLiteral("<Wrong level>");
        }
    }
    void prettyNames()
    {
        QFETCH(QString, level);
        QFETCH(QString, shown);
        QCOMPARE(Mic::Utils::configLevelToPrettyName(level), shown);
    }

    void configurationPath()
    {
        QCOMPARE(Mic::Utils::fsIlevConfPath(), QStringLiteral("/etc/kestrel/fs-ilev.conf"));
    }

    // Names as they are shown: what a terminal cannot show is escaped, and
    // every escape reads one way, a literal backslash before one included.
    void printableNames()
    {
        const QString plain = QStringLiteral("/home/j\u00fcrgen/a b\\c/\U0001f600");
        QCOMPARE(Mic::printable(plain), plain);
        QCOMPARE(Mic::printable(QStringLiteral("/t\x1b]2;x\x07\u009b\u202e\t")), QStringLiteral("/t\\x1b]2;x\\x07\\x9b\\u202e\\x09"));
        QCOMPARE(Mic::printable(QStringLiteral("/a\\x1b")), QStringLiteral("/a\\\\x1b"));
        QCOMPARE(Mic::printable(QStringLiteral("/a\\\x1b\\")), QStringLiteral("/a\\\\\\x1b\\"));
        QCOMPARE(Mic::printable(QStringLiteral("/a") + QChar(0xd800)), QStringLiteral("/a\\ud800"));
        QCOMPARE(Mic::printableMessage(QStringLiteral("\"/a\\x1b\" is\nbad\x1b")), QStringLiteral("\"/a\\x1b\" is\nbad\\x1b"));
    }
};

QTEST_GUILESS_MAIN(LevelStringsTest)
#include "levelstringstest.moc"
