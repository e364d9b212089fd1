// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

// The rule and exception tables: loading, the adding and removal protocol,
// the checks of edited paths and the pending map that a save sends.
#include "modelsignals.h"
#include "modelwarnings.h"
#include "staterootfixture.h"

#include <constants.h>
#include <exceptionmodel.h>
#include <fsconfigmodel.h>

#include <QAbstractItemModelTester>
#include <QFont>
#include <QSignalSpy>
#include <QTest>

namespace
{
using Hash = QHash<QString, QVariant>;

QString s(const char *text)
{
    return QString::fromUtf8(text);
}

QStringList column(const QAbstractItemModel &model, int column)
{
    QStringList texts;
    for (int row = 0; row < model.rowCount(); ++row) {
        texts.append(model.index(row, column).data(Qt::UserRole).toString());
    }
    return texts;
}

bool isBold(const QModelIndex &index)
{
    return index.data(Qt::FontRole).value<QFont>().bold();
}
}

class ConfigModelsTest : public QObject
{
    Q_OBJECT
private:
    StateRootFixture state;

private Q_SLOTS:
    void initTestCase()
    {
        state.writeCatalogue("0 7 15 31 63", "level.63 = High\n", 63);
    }

    void loadingAndTrackedReset()
    {
        FsConfigModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.reset({{s("/usr"), s("63")}, {s("/bin"), s("high")}}, false);
        QCOMPARE(column(model, 1), (QStringList{s("/bin"), s("/usr")}));
        QCOMPARE(model.index(0, 0).data().toString(), s("63 - High (high)"));
        QCOMPARE(model.index(1, 0).data().toString(), s("63 - High"));
        QCOMPARE(model.index(1, 0).data(Qt::UserRole).toString(), s("63")); // the text as loaded
        QVERIFY(!isBold(model.index(0, 0)));
        QVERIFY(model.pathLevelHashUpdate().isEmpty());
        QCOMPARE(model.index(0, 1).data(Qt::TextAlignmentRole).toInt(), int(Qt::AlignVCenter));
        QVERIFY(!model.index(0, 0).data(Qt::EditRole).isValid());
        QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), s("Integrity level"));
        QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), s("Object path"));

        // Tracked: what differs from the rules read becomes pending, and a
        // rule read that the new set lacks is to be removed.
        const QString none = Mic::noLevelString;
        model.reset({{s("/usr"), s("63")}, {s("/opt"), s("0")}}, true);
        QCOMPARE(column(model, 1), (QStringList{s("/opt"), s("/usr")}));
        QCOMPARE(model.pathLevelHashUpdate(), (Hash{{s("/opt"), s("0")}, {s("/bin"), none}}));
        QVERIFY(isBold(model.index(0, 1)));
        QVERIFY(!isBold(model.index(1, 1)));

        model.reset({{s("/opt"), s("7")}}, true);
        QCOMPARE(model.pathLevelHashUpdate(), (Hash{{s("/opt"), s("7")}, {s("/bin"), none}, {s("/usr"), none}}));
        model.reset({{s("/usr"), s("63")}, {s("/bin"), s("high")}}, true);
        QVERIFY(model.pathLevelHashUpdate().isEmpty());
    }

    void loadWithAnEmptyPathDropsIt()
    {
        FsConfigModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.reset({{QString(), s("63")}, {s("/usr"), s("7")}}, false);
        QCOMPARE(column(model, 1), QStringList{s("/usr")});
        model.addRow(); // the only row without a path is the new last one
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(column(model, 1).constLast(), QString());
    }

    void addingThenPathThenLevel()
    {
        FsConfigModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.reset({{s("/usr"), s("63")}}, false);
        model.addRow();
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(model.index(1, 0).data().toString(), Mic::noLevelString);
        QVERIFY(isBold(model.index(1, 0)) && isBold(model.index(1, 1)));
        QCOMPARE(model.pathLevelHashUpdate(), (Hash{{QString(), Mic::noLevelString}}));

        ModelSignals told(&model);
        QVERIFY(model.setData(model.index(1, 1), s(" /etc ")));
        QVERIFY(model.setData(model.index(1, 0), s("15")));
        QCOMPARE(told.take(), s("dataChanged 1,1-1,1 edit, dataChanged 1,0-1,0 edit"));
        QCOMPARE(model.pathLevelHash(), (Hash{{s("/usr"), s("63")}, {s(" /etc "), s("15")}}));
        QCOMPARE(model.pathLevelHashUpdate(), (Hash{{s(" /etc "), s("15")}}));
        // Corrected, it leaves nothing of the mistyped path behind.
        QVERIFY(model.setData(model.index(1, 1), s("/etc")));
        QCOMPARE(model.pathLevelHashUpdate(), (Hash{{s("/etc"), s("15")}}));
        QVERIFY(model.setData(model.index(1, 1), s("/tmp/x")));
        QCOMPARE(model.pathLevelHashUpdate(), (Hash{{s("/tmp/x"), s("15")}}));

        // A second new row replaces an unfinished one.
        model.addRow();
        model.addRow();
        QCOMPARE(model.rowCount(), 3);
    }

    // A large load is sorted on another thread: the table is empty (nothing
    // to edit) until it fills, sorted; a later load overtakes an earlier one.
    void largeLoadsFillLater()
    {
        FsConfigModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.reset({{s("/old"), s("7")}}, false);
        Hash first;
        Hash second;
        for (int i = 0; i < FsConfigModel::backgroundSortFrom; ++i) {
            first.insert(s("/first/%1").arg(FsConfigModel::backgroundSortFrom - i), s("15"));
            second.insert(s("/second/%1").arg(i), s("63"));
        }
        model.reset(first, false);
        QVERIFY(model.isLoading());
        QCOMPARE(model.rowCount(), 0);
        model.reset(second, false);
        QTRY_VERIFY_WITH_TIMEOUT(!model.isLoading(), 30000);
        QCOMPARE(model.rowCount(), FsConfigModel::backgroundSortFrom);
        QCOMPARE(model.index(0, 1).data().toString(), s("/second/0"));
        QCOMPARE(model.index(1, 1).data().toString(), s("/second/1"));
        QCOMPARE(model.index(2, 1).data().toString(), s("/second/10"));
        QTest::qWait(100); // the overtaken sort ends without effect
        QCOMPARE(model.index(0, 1).data().toString(), s("/second/0"));
        QVERIFY(model.pathLevelHashUpdate().isEmpty());
    }

    void renameAndSameLevel()
    {
        FsConfigModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.reset({{s("/usr"), s("63")}, {s("/bin"), s("high")}}, false);
        QVERIFY(model.setData(model.index(1, 1), s("/usr/local")));
        QCOMPARE(model.pathLevelHash().value(s("/usr/local")), QVariant(s("63")));
        QCOMPARE(model.pathLevelHashUpdate(), (Hash{{s("/usr"), Mic::noLevelString}, {s("/usr/local"), s("63")}}));
        QCOMPARE(model.index(1, 1).data().toString(), s("/usr/local")); // keeps its row

        ModelSignals told(&model);
        QVERIFY(!model.setData(model.index(0, 0), s("max"))); // "max" over "high": the same
        QVERIFY(!model.setData(model.index(1, 1), s("/usr/local"))); // unchanged path, no warning
        QVERIFY(!model.setData(model.index(0, 1), s("/x"), Qt::DisplayRole));
        QCOMPARE(told.take(), QString());
        QVERIFY(model.setData(model.index(0, 0), s("0x3F"))); // "high" is the maximum, 0x3F a number: a change
        QCOMPARE(model.pathLevelHashUpdate().value(s("/bin")), QVariant(s("0x3F")));
    }

    void rejectedPaths_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("warning");
        QTest::newRow("blanks") << s("  ") << s("File path can't be empty!");
        QTest::newRow("root") << s(" / ") << s("Root directory is not supported by configuration!");
        QTest::newRow("duplicate") << s("/usr") << s("File /usr already added to config!");
    }
    void rejectedPaths()
    {
        QFETCH(QString, path);
        QFETCH(QString, warning);
        FsConfigModel rules;
        ExceptionModel exceptions;
        QAbstractItemModelTester rulesTester(&rules, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QAbstractItemModelTester exceptionsTester(&exceptions, QAbstractItemModelTester::FailureReportingMode::QtTest);
        rules.reset({{s("/usr"), s("63")}, {s("/bin"), s("7")}}, false);
        exceptions.reset({s("/usr"), s("/bin")}, false);

        for (QAbstractItemModel *model : {static_cast<QAbstractItemModel *>(&rules), static_cast<QAbstractItemModel *>(&exceptions)}) {
            const int pathColumn = model == &rules ? 1 : 0;
            const QModelIndex bin = model->index(model == &rules ? 0 : 1, pathColumn);
            QCOMPARE(bin.data().toString(), s("/bin"));
            // An existing row keeps its path.
            const ModelWarnings existing(model);
            QVERIFY(!model->setData(bin, path));
            QCOMPARE(existing.texts(), QStringList{warning});
            QCOMPARE(model->rowCount(), 2);
            QCOMPARE(bin.data().toString(), s("/bin"));

            // A new row goes.
            QMetaObject::invokeMethod(model, "addRow");
            const ModelWarnings added(model);
            QVERIFY(!model->setData(model->index(2, pathColumn), path));
            QCOMPARE(added.texts(), QStringList{warning});
            QCOMPARE(model->rowCount(), 2);
        }
        QVERIFY(rules.pathLevelHashUpdate().isEmpty());
        QCOMPARE(exceptions.exceptionList(), (QStringList{s("/usr"), s("/bin")}));
    }

    void removalProtocol()
    {
        FsConfigModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.reset({{s("/usr"), s("63")}, {s("/bin"), s("7")}, {s("/opt"), s("0")}}, false);

        // While a removal is announced every edit is refused; an unfinished
        // row goes at that moment, so the row to remove may no longer exist.
        model.addRow();
        model.beginRemoveRows();
        QVERIFY(!model.setData(model.index(3, 1), s("/new")));
        QCOMPARE(model.rowCount(), 3);
        model.removeRow(3);
        QVERIFY(model.setData(model.index(0, 0), s("15"))); // the flag is clear again

        model.beginRemoveRows();
        model.removeRow(-1);
        model.beginRemoveRows();
        model.removeRow(model.rowCount());
        QCOMPARE(model.rowCount(), 3);

        model.beginRemoveRows();
        model.removeRow(1); // /opt
        QCOMPARE(column(model, 1), (QStringList{s("/bin"), s("/usr")}));
        QCOMPARE(model.pathLevelHashUpdate(), (Hash{{s("/bin"), s("15")}, {s("/opt"), Mic::noLevelString}}));

        ModelSignals told(&model);
        model.beginRemoveRows();
        model.removeAllRows();
        QCOMPARE(told.take(), s("rowsRemoved 0-1"));
        QCOMPARE(model.rowCount(), 0);
        QCOMPARE(model.pathLevelHashUpdate(), (Hash{{s("/bin"), Mic::noLevelString}, {s("/opt"), Mic::noLevelString}, {s("/usr"), Mic::noLevelString}}));
        model.beginRemoveRows();
        model.removeAllRows(); // empty: nothing announced, flag cleared
        QCOMPARE(told.take(), QString());
        model.addRow();
        QVERIFY(model.setData(model.index(0, 1), s("/srv")));
    }

    void exceptionTable()
    {
        ExceptionModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.reset({s("/tmp"), s("/home")}, true);
        QCOMPARE(model.exceptionList(), (QStringList{s("/tmp"), s("/home")})); // not sorted
        QVERIFY(!isBold(model.index(0, 0)));
        QCOMPARE(model.columnCount(), 1);
        QVERIFY(!model.index(0, 0).data(Qt::TextAlignmentRole).isValid());

        model.addRow();
        QVERIFY(!isBold(model.index(2, 0)));
        QVERIFY(model.setData(model.index(2, 0), s("/var")));
        QVERIFY(isBold(model.index(2, 0)));
        QCOMPARE(model.exceptionList().constLast(), s("/var"));
        model.beginRemoveRows();
        model.removeRow(2);
        model.addRow();
        QVERIFY(model.setData(model.index(2, 0), s("/srv")));
        QVERIFY(isBold(model.index(2, 0)));

        // Empty entries of a load go together, one removal each, last first.
        model.reset({QString(), s("/a"), QString(), QString()}, false);
        ModelSignals told(&model);
        model.removeRowWithEmptyPath();
        QCOMPARE(model.exceptionList(), QStringList{s("/a")});
        QCOMPARE(told.take(), s("rowsRemoved 3-3, rowsRemoved 2-2, rowsRemoved 0-0"));

        model.beginRemoveRows();
        model.removeAllRows();
        QCOMPARE(told.take(), s("modelReset"));
        QCOMPARE(model.rowCount(), 0);
    }
};

QTEST_MAIN(ConfigModelsTest)
#include "configmodelstest.moc"
