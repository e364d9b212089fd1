// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

// The security-label library over a simulated state root.
#include "staterootfixture.h"

#include <ksec.h>
#include <ksec_sim.h>
#include <statefile.h>

#include <QFile>
#include <QTest>

#include <sys/xattr.h>

#include <cerrno>
#include <cstdlib>

namespace
{
QVector<uint32_t> levelList(int *countOut = nullptr)
{
    int count = 0;
    const uint32_t *levels = ksec_get_ilevs(&count);
    if (countOut) {
        *countOut = count;
    }
    QVector<uint32_t> list;
    for (int i = 0; levels && i < count; ++i) {
        list.append(levels[i]);
    }
    return levels ? list : QVector<uint32_t>{0xdead};
}

// The level text, "<null>" when the library has none.
QByteArray text(uint32_t level)
{
    char *raw = ksec_ilev_get_text(level, nullptr);
    const QByteArray result = raw ? QByteArray(raw) : QByteArrayLiteral("<null>");
    std::free(raw);
    return result;
}

bool setLabel(const QString &path, const QByteArray &value)
{
    return ::lsetxattr(QFile::encodeName(path).constData(), KSEC_LABEL_XATTR, value.constData(), value.size(), 0) == 0;
}

uint32_t labelOf(const QString &path, bool *found)
{
    ksec_label_t *label = ksec_get_path(QFile::encodeName(path).constData());
    *found = label != nullptr;
    const uint32_t level = ksecl_ilev(label);
    ksecl_put(label);
    return level;
}
}

class LabelLibraryTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void catalogueAndTexts()
    {
        StateRootFixture state;
        state.writeState(
            "# comment\n"
            "levels = 0 1 3 63\n"
            "level.1 = One\n"
            "level.3 =\n"
            "max-ilev = 63\n");
        int count = 0;
        QCOMPARE(levelList(&count), (QVector<uint32_t>{0, 1, 3, 63}));
        QCOMPARE(count, 4);
        QCOMPARE(text(1), QByteArray("One"));
        QCOMPARE(text(3), QByteArray("")); // an empty text is not a missing one
        QCOMPARE(text(0), QByteArray("<null>"));
        QCOMPARE(ksec_get_max_ilev(), 63u);

        // A change of the state shows at the next call.
        state.writeState("levels = 0 15\nmax-ilev = 15\n");
        QCOMPARE(levelList(), (QVector<uint32_t>{0, 15}));
        QCOMPARE(ksec_get_max_ilev(), 15u);
        QCOMPARE(text(1), QByteArray("<null>"));
    }

    void noUsableState_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("no file") << QByteArray();
        QTest::newRow("line without =") << QByteArray("levels = 0 1\nmax-ilev 63\n");
        QTest::newRow("duplicate key") << QByteArray("levels = 0 1\nlevels = 0 3\n");
        QTest::newRow("key with a blank") << QByteArray("lev els = 0 1\n");
        QTest::newRow("level not a number") << QByteArray("levels = 0 x 3\nmax-ilev = 63\n");
        QTest::newRow("level over 32 bits") << QByteArray("levels = 0 4294967296\nmax-ilev = 63\n");
        QTest::newRow("negative level") << QByteArray("levels = 0 -1\nmax-ilev = 63\n");
    }
    void noUsableState()
    {
        QFETCH(QByteArray, content);
        StateRootFixture state;
        if (!content.isEmpty()) {
            state.writeState(content);
        }
        int count = 0;
        QVERIFY(ksec_get_ilevs(&count) == nullptr);
        QCOMPARE(count, 0);
        QCOMPARE(ksec_get_max_ilev(), 0u);
        QCOMPARE(text(0), QByteArray("<null>"));
    }

    void missingKeys()
    {
        StateRootFixture state;
        state.writeState("max-ilev = 7\n");
        int count = 0;
        QVERIFY(ksec_get_ilevs(&count) == nullptr); // no catalogue
        QCOMPARE(ksec_get_max_ilev(), 7u);

        state.writeState("levels =\nmax-ilev = seven\n");
        QVERIFY(ksec_get_ilevs(&count) != nullptr); // a catalogue without entries
        QCOMPARE(count, 0);
        QCOMPARE(ksec_get_max_ilev(), 0u);
    }

    void fileLabels()
    {
        QTemporaryDir dir;
        const QString labelled = dir.filePath(QStringLiteral("labelled"));
        const QString plain = dir.filePath(QStringLiteral("plain"));
        const QString link = dir.filePath(QStringLiteral("link"));
        const QString garbage = dir.filePath(QStringLiteral("garbage"));
        for (const QString &path : {labelled, plain, garbage}) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        QVERIFY(QFile::link(labelled, link));
        if (!setLabel(labelled, "12")) {
            QSKIP("setting security labels needs CAP_SYS_ADMIN");
        }
        QVERIFY(setLabel(garbage, "12abc"));

        bool found = false;
        QCOMPARE(labelOf(labelled, &found), 12u);
        QVERIFY(found);
        labelOf(plain, &found);
        QVERIFY(!found);
        labelOf(link, &found); // a link has a label of its own, or none
        QVERIFY(!found);
        labelOf(garbage, &found);
        QVERIFY(!found);
        labelOf(dir.filePath(QStringLiteral("missing")), &found);
        QVERIFY(!found);
        QVERIFY(ksec_get_path(nullptr) == nullptr);
        ksecl_put(nullptr);
    }

    void stateFileKeepsWhatItDoesNotChange()
    {
        const std::string original =
            "# head\n"
            "a = 1\n"
            "\n"
            "b   =   two words  \n"
            "# tail\n";
        std::string error;
        auto file = StateFile::parse(original, &error);
        QVERIFY(file);
        QCOMPARE(*file->value("b"), std::string("two words"));
        QCOMPARE(file->serialize(), original);

        file->setValue("a", "3");
        file->setValue("c", "new");
        file->remove("b");
        QCOMPARE(file->serialize(), std::string("# head\na = 3\n\n# tail\nc = new\n"));

        QVERIFY(!StateFile::parse("a = 1\n\nb\n", &error));
        QCOMPARE(error, std::string("line 3: expected \"key = value\""));
        QVERIFY(!StateFile::isValidValue("two\nlines"));
        QVERIFY(!StateFile::isValidValue(" padded"));
        // Never a line it could not read back.
        QVERIFY(!file->setValue("john doe", "5") && !file->setValue("#a", "5") && !file->setValue("a=b", "5") && !file->setValue("a", "x\ny"));
        QCOMPARE(file->serialize(), std::string("# head\na = 3\n\n# tail\nc = new\n"));
    }
};

QTEST_GUILESS_MAIN(LabelLibraryTest)
#include "labellibrarytest.moc"
