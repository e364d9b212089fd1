// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

// The level and path editors, and committing an open editor, in a real
// table view over a model of the test's own.
#include "modaldialoganswerer.h"
#include "staterootfixture.h"

#include <commitabletableview.h>
#include <constants.h>
#include <miccomboboxdelegate.h>
#include <micfiledialogdelegate.h>
#include <utils.h>

#include <QAbstractTableModel>
#include <QAction>
#include <QComboBox>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace
{
enum Column { LevelColumn, PathColumn };

// Rows of a level and a path; the display text of a level is its pretty
// name, so that the editors' reading of Qt::UserRole is told apart.
class CellModel : public QAbstractTableModel
{
public:
    QVector<QStringList> rows{{Mic::noLevelString, QStringLiteral("/usr")}, {QStringLiteral("7"), QString()}, {Mic::noLevelString, QStringLiteral("/opt")}};
    int disabledRow = 2;
    QStringList writes;

    int rowCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : rows.size();
    }
    int columnCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : 2;
    }
    QVariant data(const QModelIndex &index, int role) const override
    {
        const QString stored = rows.at(index.row()).at(index.column());
        if (role == Qt::UserRole) {
            return stored;
        }
        if (role == Qt::DisplayRole) {
            return index.column() == LevelColumn ? Mic::Utils::configLevelToPrettyName(stored) : stored;
        }
        return {};
    }
    bool setData(const QModelIndex &index, const QVariant &value, int role) override
    {
        if (role != Qt::EditRole || value.userType() != QMetaType::QString) {
            return false;
        }
        writes.append(value.toString());
        rows[index.row()][index.column()] = value.toString();
        Q_EMIT dataChanged(index, index, {Qt::EditRole});
        return true;
    }
    Qt::ItemFlags flags(const QModelIndex &index) const override
    {
        return index.row() == disabledRow ? Qt::ItemIsSelectable : Qt::ItemIsSelectable | Qt::ItemIsEditable | Qt::ItemIsEnabled;
    }
};

// "text|data" of every entry.
QStringList entries(const QComboBox *comboBox)
{
    QStringList result;
    for (int i = 0; i < comboBox->count(); ++i) {
        result.append(comboBox->itemText(i) + QLatin1Char('|') + comboBox->itemData(i, Qt::UserRole).toString());
    }
    return result;
}
}

class EditorsTest : public QObject
{
    Q_OBJECT
private:
    StateRootFixture state;
    std::unique_ptr<CellModel> model;
    std::unique_ptr<CommitableTableView> view;

    QModelIndex cell(int row, int column) const
    {
        return model->index(row, column);
    }
    template<typename Editor>
    Editor *openEditor(const QModelIndex &index)
    {
        view->setCurrentIndex(index);
        view->edit(index);
        return qobject_cast<Editor *>(view->indexWidget(index));
    }
    QComboBox *openLevelEditor(const QString &stored)
    {
        model->rows[0][LevelColumn] = stored;
        return openEditor<QComboBox>(cell(0, LevelColumn));
    }
    void activate(QComboBox *comboBox, int entry)
    {
        comboBox->setCurrentIndex(entry);
        Q_EMIT comboBox->activated(entry);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        state.writeCatalogue("0 7 15 31 63", "level.0 = Low\nlevel.63 = High\n", 63);
    }

    void init()
    {
        model = std::make_unique<CellModel>();
        view = std::make_unique<CommitableTableView>(nullptr);
        view->setModel(model.get());
        view->setItemDelegateForColumn(LevelColumn, new MicComboBoxDelegate(view.get()));
        view->setItemDelegateForColumn(PathColumn, new MicFileDialogDelegate(model.get(), view.get()));
        view->resize(500, 200);
        view->show();
        QVERIFY(QTest::qWaitForWindowActive(view.get()));
    }

    void cleanup()
    {
        view.reset();
        model.reset();
    }

    void levelEntriesFollowTheCatalogue()
    {
        QComboBox *comboBox = openLevelEditor(Mic::noLevelString);
        QVERIFY(comboBox);
        QCOMPARE(entries(comboBox), QStringLiteral("—|—,0 - Low|0,7|7,15|15,31|31,63 - High|63,127|127,63 - High (max)|max,<Other>|").split(QLatin1Char(',')));
        QCOMPARE(comboBox->geometry(), view->visualRect(cell(0, LevelColumn)));
    }

    void levelEditorSelectsStoredLevel_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("data");
        QTest::newRow("high is the maximum") << QStringLiteral("high") << QStringLiteral("63 - High (high)") << Mic::highLevelString;
        QTest::newRow("hexadecimal") << QStringLiteral("0x3f") << QStringLiteral("63 - High") << QStringLiteral("63");
        QTest::newRow("no level") << Mic::noLevelString << Mic::noLevelString << Mic::noLevelString;
        QTest::newRow("outside the catalogue") << QStringLiteral("300") << QStringLiteral("300") << QStringLiteral("300");
        QTest::newRow("empty") << QString() << QStringLiteral("<Other>") << QString();
        QTest::newRow("invalid reads as 0") << QStringLiteral("abc") << QStringLiteral("0 - Low") << QStringLiteral("0");
    }
    void levelEditorSelectsStoredLevel()
    {
        QFETCH(QString, stored);
        QFETCH(QString, text);
        QFETCH(QString, data);
        QComboBox *comboBox = openLevelEditor(stored);
        QVERIFY(comboBox);
        QCOMPARE(comboBox->currentText(), text);
        QCOMPARE(comboBox->currentData(Qt::UserRole).toString(), data);
    }

    // Each choice lands in the model at once and ends the edit.
    void choosingAnEntryWritesAtOnce()
    {
        const QList<int> entries{7, 0, 4};
        for (int entry : entries) {
            QComboBox *comboBox = openLevelEditor(model->writes.isEmpty() ? QStringLiteral("high") : model->writes.last());
            activate(comboBox, entry);
            QVERIFY(!view->indexWidget(cell(0, LevelColumn)));
        }
        QCOMPARE(model->writes, (QStringList{Mic::highLevelString, Mic::noLevelString, QStringLiteral("31")}));
    }

    void customLevelDialog_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("initial");
        QTest::addColumn<QString>("suffix");
        QTest::addColumn<int>("chosen"); // -1: cancel
        QTest::addColumn<QString>("chosenSuffix");
        QTest::addColumn<QStringList>("writes");
        QTest::addColumn<QString>("shownAfter");
        QTest::newRow("clamped") << QStringLiteral("300") << 255 << QStringLiteral(" (11111111)") << 5 << QStringLiteral(" (00000101)")
                                 << QStringList{QStringLiteral("5")} << QStringLiteral("5");
        QTest::newRow("octal read as a level") << QStringLiteral("020") << 16 << QStringLiteral(" (00010000)") << 255 << QStringLiteral(" (11111111)")
                                               << QStringList{QStringLiteral("255")} << QStringLiteral("255");
        QTest::newRow("catalogue level") << Mic::noLevelString << 0 << QStringLiteral(" (00000000)") << 63 << QStringLiteral(" (00111111)")
                                         << QStringList{QStringLiteral("63")} << QStringLiteral("63 - High");
        QTest::newRow("cancelled") << Mic::noLevelString << 0 << QStringLiteral(" (00000000)") << -1 << QString() << QStringList() << Mic::noLevelString;
    }
    void customLevelDialog()
    {
        QFETCH(QString, stored);
        QFETCH(int, initial);
        QFETCH(QString, suffix);
        QFETCH(int, chosen);
        QFETCH(QString, chosenSuffix);
        QComboBox *comboBox = openLevelEditor(stored);
        ModalDialogAnswerer answerer([&](QDialog *dialog) {
            auto *input = qobject_cast<QInputDialog *>(dialog);
            QVERIFY(input);
            QCOMPARE(input->windowTitle(), QStringLiteral("Choose level"));
            QCOMPARE(input->labelText(), QStringLiteral("Integrity level"));
            QCOMPARE(input->intValue(), initial);
            auto *spinBox = input->findChild<QSpinBox *>();
            QCOMPARE(spinBox->suffix(), suffix);
            if (chosen < 0) {
                dialog->reject();
                return;
            }
            input->setIntValue(chosen);
            QCOMPARE(spinBox->suffix(), chosenSuffix);
            dialog->accept();
        });
        activate(comboBox, comboBox->count() - 1);
        QCOMPARE(answerer.seen.size(), 1);
        QTEST(model->writes, "writes");
        QTEST(comboBox->currentText(), "shownAfter");

        // A level chosen ends the edit; a cancelled choice leaves the editor
        // open, and committing it writes what it holds and asks nothing
        // again.
        QCOMPARE(!view->indexWidget(cell(0, LevelColumn)), chosen >= 0);
        const QStringList writes = model->writes;
        view->commit();
        QCOMPARE(answerer.seen.size(), 1);
        QCOMPARE(model->writes.mid(0, writes.size()), writes);
    }

    void popupOpensOnFirstMouseEnter()
    {
        QComboBox *comboBox = openLevelEditor(Mic::noLevelString);
        QEvent enter(QEvent::Enter);
        QCoreApplication::sendEvent(comboBox, &enter);
        QVERIFY(!comboBox->view()->isVisible());
        QTRY_VERIFY(comboBox->view()->isVisible());
        comboBox->hidePopup();
        QCoreApplication::sendEvent(comboBox, &enter);
        QTest::qWait(50);
        QVERIFY(!comboBox->view()->isVisible());
    }

    void levelCellsArePaintedAsComboBoxes()
    {
        view->setCurrentIndex({});
        const QImage image = view->grab().toImage();
        const QPoint offset = view->viewport()->pos();
        const QRect enabledCell = view->visualRect(cell(0, LevelColumn)).translated(offset);
        const QRect disabledCell = view->visualRect(cell(model->disabledRow, LevelColumn)).translated(offset);
        // Same text in both rows: only the state tells them apart.
        QVERIFY(image.copy(enabledCell) != image.copy(disabledCell));
    }

    void commitLandsTheOpenEditorOnly()
    {
        view->setCurrentIndex(cell(0, PathColumn));
        view->commit();
        QVERIFY(model->writes.isEmpty());

        auto *lineEdit = openEditor<QLineEdit>(cell(0, PathColumn));
        QVERIFY(lineEdit);
        QCOMPARE(lineEdit->text(), QStringLiteral("/usr"));
        QTRY_VERIFY(!lineEdit->hasSelectedText());
        QCOMPARE(lineEdit->geometry(), view->visualRect(cell(0, PathColumn)));
        lineEdit->setText(QStringLiteral("  /usr/local\t "));
        view->commit();
        QCOMPARE(model->writes, QStringList{QStringLiteral("/usr/local")});
        QVERIFY(!view->indexWidget(cell(0, PathColumn)));

        QComboBox *comboBox = openLevelEditor(QStringLiteral("7"));
        comboBox->setCurrentIndex(4);
        view->commit();
        QCOMPARE(model->writes.last(), QStringLiteral("31"));
    }

    void directoryChooser_data()
    {
        QTest::addColumn<bool>("accepted");
        QTest::newRow("accepted") << true;
        QTest::newRow("cancelled") << false;
    }
    void directoryChooser()
    {
        QFETCH(bool, accepted);
        QTemporaryDir chosen;
        const QModelIndex newRow = cell(1, PathColumn);
        auto *lineEdit = openEditor<QLineEdit>(newRow);
        QVERIFY(lineEdit);
        QCOMPARE(lineEdit->actions().size(), 1);
        QAction *chooseAction = lineEdit->actions().constFirst();
        QCOMPARE(chooseAction->text(), QStringLiteral("Select Object Path"));

        ModalDialogAnswerer answerer([&](QDialog *dialog) {
            auto *fileDialog = qobject_cast<QFileDialog *>(dialog);
            QVERIFY(fileDialog);
            QCOMPARE(fileDialog->windowTitle(), QStringLiteral("Select Object Path"));
            QVERIFY(fileDialog->testOption(QFileDialog::ShowDirsOnly));
            if (!accepted) {
                dialog->reject();
                return;
            }
            fileDialog->setDirectory(chosen.path());
            dialog->accept();
        });
        chooseAction->trigger();
        QCOMPARE(answerer.seen.size(), 1);
        // Nothing of the line edit is written on the way: a new row's empty
        // path would be refused and the row dropped.
        QCOMPARE(model->writes, accepted ? QStringList{chosen.path()} : QStringList());
        QCOMPARE(view->indexWidget(newRow), lineEdit);
        QCOMPARE(lineEdit->text(), accepted ? chosen.path() : QString());
    }
};

QTEST_MAIN(EditorsTest)
#include "editorstest.moc"
