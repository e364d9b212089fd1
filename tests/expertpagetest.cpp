// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

// The expert page: its level chooser, the settings map in and out by the
// shown sub-tab, the defaults button, the table buttons and shortcuts.
#include "modaldialoganswerer.h"
#include "staterootfixture.h"

#include <commitabletableview.h>
#include <constants.h>
#include <expertmodewidget.h>

#include <QAction>
#include <QAbstractItemModelTester>
#include <QCheckBox>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

namespace
{
QString s(const char *text)
{
    return QString::fromUtf8(text);
}

QVariantMap sampleMap()
{
    return {{s("micFsCurrentItems"), QVariantHash{{s("/usr"), s("high")}, {s("/opt"), s("7")}}},
            {s("micFsDefaultItems"), QVariantHash{{s("/usr"), s("high")}}},
            {s("micFsCurrentExceptions"), QStringList{s("/tmp")}},
            {s("micFsDefaultExceptions"), QStringList{s("/tmp"), s("/var/tmp")}},
            {s("micFsStatus"), 3},
            {s("micFutureLevel"), 63u},
            {s("services"),
             QVariantList{QVariantHash{{s("name"), s("cron")}, {s("iLevel"), 15u}, {s("isIsolatable"), true}, {s("isIsolated"), true}},
                          QVariantHash{{s("name"), s("sshd")}, {s("iLevel"), 63u}, {s("isIsolatable"), true}},
                          QVariantHash{{s("name"), s("broken")}, {s("isIsolatable"), true}, {s("isError"), true}}}},
            {s("servicesIsolatedStatus"), 3}};
}
}

class ExpertPageTest : public QObject
{
    Q_OBJECT
private:
    StateRootFixture state;
    std::unique_ptr<ExpertModeWidget> page;

    Qt::CheckState box(const char *name) const
    {
        return child<QCheckBox>(name)->checkState();
    }

    // The rule changes a save would send.
    QHash<QString, QString> ruleChanges() const
    {
        return page->getData().ruleChanges.value_or(QHash<QString, QString>());
    }

    template<typename T>
    T *child(const char *name) const
    {
        T *widget = page->findChild<T *>(QLatin1String(name));
        if (!widget) {
            qFatal("no %s", name);
        }
        return widget;
    }
    QTabWidget *subTabs() const
    {
        return child<QTabWidget>("tabWidgetFs");
    }
    void triggerShortcut(const QKeySequence &keys)
    {
        const auto actions = page->actions();
        for (QAction *action : actions) {
            if (action->shortcut() == keys) {
                action->trigger();
            }
        }
    }

private Q_SLOTS:
    void init()
    {
        state.writeCatalogue("0 1 3 7 15 31 63", "level.63 = High\n", 63);
        page = std::make_unique<ExpertModeWidget>(nullptr, nullptr);
    }

    void cleanup()
    {
        page.reset();
    }

    void formAsBuilt()
    {
        QCOMPARE(page->windowTitle(), s("Expert mode"));
        QCOMPARE(child<QPushButton>("goBackButton")->text(), s("Back to base settings"));
        QVERIFY(!child<QPushButton>("goBackButton")->isHidden()); // no back button of the host
        QCOMPARE(child<QTabWidget>("tabWidgetExpert")->tabText(1), s("Services"));
        QCOMPARE(subTabs()->tabText(0), s("File system"));
        QCOMPARE(subTabs()->tabToolTip(2), s("Objects with zero level"));
        QVERIFY(!child<QPushButton>("pushButtonRemove")->isEnabled());
        QVERIFY(!child<QPushButton>("pushButtonRemoveExc")->isEnabled());
        QCOMPARE(child<QPushButton>("pushButtonAdd")->toolTip(), s("Add"));
        QCOMPARE(child<QPushButton>("pushButtonAdd")->shortcut(), QKeySequence(s("+")));
        QVERIFY(child<QPushButton>("pushButtonOpenConfig")->isDefault());
        QVERIFY(child<QCheckBox>("protectFsCheckBox")->isTristate());

        // 0 and the covering levels above the library's level below the top.
        auto *levels = child<QComboBox>("comboBoxLevel");
        QStringList entries;
        for (int i = 0; i < levels->count(); ++i) {
            entries.append(levels->itemText(i));
        }
        QCOMPARE(entries, (QStringList{s("0"), s("63 - High"), s("127"), s("<Other>")}));
        QCOMPARE(levels->itemData(1).userType(), int(QMetaType::UInt));
        QVERIFY(child<QLabel>("labelCustomLevel")->isHidden());
        QCOMPARE(child<QSpinBox>("spinBoxCustomLevel")->suffix(), QString());
    }

    void chosenLevel()
    {
        auto *custom = child<QSpinBox>("spinBoxCustomLevel");
        page->setChosenILev(127);
        QCOMPARE(page->chosenIlev(), 127u);
        QVERIFY(custom->isHidden());

        page->setChosenILev(7);
        QCOMPARE(child<QComboBox>("comboBoxLevel")->currentText(), s("<Other>"));
        QVERIFY(!custom->isHidden());
        QCOMPARE(custom->text(), s("7 (00000111)"));
        QCOMPARE(page->chosenIlev(), 7u);

        page->setChosenILev(300);
        QCOMPARE(page->chosenIlev(), 255u);
        page->setChosenILev(0);
        QCOMPARE(child<QComboBox>("comboBoxLevel")->currentIndex(), 0);
        QVERIFY(custom->isHidden());
    }

    void noLevelPassesTheChecks()
    {
        state.writeCatalogue("1 3 7 255 255", QByteArray(), 0); // level below the top: 255
        ExpertModeWidget bare(nullptr, nullptr);
        auto *levels = bare.findChild<QComboBox *>(s("comboBoxLevel"));
        QCOMPARE(levels->count(), 1);
        QCOMPARE(levels->currentText(), s("<Other>"));
        QVERIFY(bare.findChild<QSpinBox *>(s("spinBoxCustomLevel"))->isHidden());
        QCOMPARE(bare.chosenIlev(), 0u);
    }

    void dataInByMapAndOut()
    {
        QSignalSpy changes(page.get(), &ExpertModeWidget::contentChanged);
        page->setData(sampleMap());
        QCOMPARE(changes.count(), 0); // loading is no edit
        QCOMPARE(child<QLabel>("labelMicLevel")->text(), s("63 - High"));
        QCOMPARE(box("protectFsCheckBox"), Qt::PartiallyChecked);
        QCOMPARE(box("servicesIsolatedCheckBox"), Qt::PartiallyChecked);
        QCOMPARE(page->chosenIlev(), 63u);
        QCOMPARE(child<CommitableTableView>("tableViewFs")->model()->rowCount(), 2);

        Mic::Settings::Change out = page->getData();
        QCOMPARE(*out.futureLevel, 63u);
        QCOMPARE(*out.protection, Mic::Settings::Status::Partly); // as the box shows it
        QCOMPARE(ruleChanges(), (QHash<QString, QString>())); // nothing edited
        QCOMPARE(*out.exceptions, QStringList{s("/tmp")});
        QCOMPARE(*out.isolation, Mic::Settings::Status::Partly);
        QCOMPARE(out.services->size(), 3);
        QCOMPARE(out.services->first(), (Mic::Settings::ServiceIsolation{s("cron"), true}));

        child<QCheckBox>("servicesIsolatedCheckBox")->click();
        out = page->getData();
        QVERIFY(!out.services);
        QCOMPARE(*out.isolation, Mic::Settings::Status::Enabled);
    }

    void missingKeys()
    {
        page->setData(sampleMap());
        page->setData(QVariantMap());
        // Protection and isolation not read are left as they were, the
        // services' boxes with the isolation.
        QCOMPARE(box("protectFsCheckBox"), Qt::PartiallyChecked);
        QCOMPARE(box("servicesIsolatedCheckBox"), Qt::PartiallyChecked);
        QCOMPARE(child<QTreeView>("treeViewServices")->model()->rowCount(), 3);
        QCOMPARE(page->chosenIlev(), 0u);
        QCOMPARE(child<CommitableTableView>("tableViewFs")->model()->rowCount(), 0);
        QCOMPARE(child<CommitableTableView>("tableViewExc")->model()->rowCount(), 0);
        page->setData(QVariantMap{{s("servicesIsolatedStatus"), 7}, {s("micFsStatus"), -1}});
        QCOMPARE(box("servicesIsolatedCheckBox"), Qt::PartiallyChecked);

        // A loading map without rules: they come with the reply.
        page->setData(sampleMap());
        page->setData(QVariantMap{{s("micFsStatus"), 1}});
        QCOMPARE(child<CommitableTableView>("tableViewFs")->model()->rowCount(), 2);
    }

    void clickingTheBoxes()
    {
        page->setData(sampleMap());
        QSignalSpy changes(page.get(), &ExpertModeWidget::contentChanged);
        child<QCheckBox>("protectFsCheckBox")->click();
        QCOMPARE(box("protectFsCheckBox"), Qt::Checked);

        // Isolating all services leaves the one in error alone.
        auto *isolate = child<QCheckBox>("servicesIsolatedCheckBox");
        isolate->click();
        QAbstractItemModel *services = child<QTreeView>("treeViewServices")->model();
        QCOMPARE(services->index(1, 1).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
        QCOMPARE(services->index(2, 1).data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
        QVERIFY(isolate->checkState() != Qt::Unchecked);
        QVERIFY(changes.count() >= 2);
    }

    void defaultsButton()
    {
        auto *defaults = child<QPushButton>("pushButtonDefaultItems");
        page->setData(sampleMap());
        subTabs()->setCurrentIndex(1);
        QVERIFY(defaults->isEnabled()); // /opt is no default rule
        QSignalSpy changes(page.get(), &ExpertModeWidget::contentChanged);
        defaults->click();
        QVERIFY(!defaults->isEnabled());
        QVERIFY(changes.count() >= 1);
        QAbstractItemModel *rules = child<CommitableTableView>("tableViewFs")->model();
        QCOMPARE(rules->rowCount(), 1);
        const QHash<QString, QString> sent = ruleChanges();
        // /usr is unchanged; /opt, gone from the table, is removed.
        QCOMPARE(sent, (QHash<QString, QString>{{s("/opt"), Mic::noLevelString}}));

        // From the tree the same: the table shows what the save sends.
        page->setData(sampleMap());
        subTabs()->setCurrentIndex(0);
        defaults->click();
        QCOMPARE(rules->rowCount(), 1);
        QCOMPARE(ruleChanges(), sent);
        subTabs()->setCurrentIndex(1);

        // Any change of the table makes it differ from the defaults again.
        rules->setData(rules->index(0, 0), s("7"));
        QVERIFY(defaults->isEnabled());

        subTabs()->setCurrentIndex(2);
        QVERIFY(defaults->isEnabled()); // /tmp alone is not the default list
        defaults->click();
        QCOMPARE(*page->getData().exceptions, (QStringList{s("/tmp"), s("/var/tmp")}));
        QVERIFY(!defaults->isEnabled());
        subTabs()->setCurrentIndex(1);
        QVERIFY(defaults->isEnabled());
    }

    void tableButtonsAndShortcuts()
    {
        page->setData(sampleMap());
        auto *table = child<CommitableTableView>("tableViewFs");
        QAbstractItemModel *rules = table->model();

        subTabs()->setCurrentIndex(0);
        triggerShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
        triggerShortcut(QKeySequence(Qt::Key_Delete));
        QCOMPARE(rules->rowCount(), 2);

        subTabs()->setCurrentIndex(1);
        triggerShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
        QCOMPARE(rules->rowCount(), 3);
        QCOMPARE(table->currentIndex(), rules->index(2, 1));

        {
            // Leaving the new row without a path lands its empty path: refused.
            ModalDialogAnswerer answerer([](QDialog *dialog) {
                dialog->accept();
            });
            table->selectRow(0);
            QCOMPARE(answerer.texts, QStringList{s("File path can't be empty!")});
        }
        QCOMPARE(rules->rowCount(), 2);
        QVERIFY(child<QPushButton>("pushButtonRemove")->isEnabled());
        triggerShortcut(QKeySequence(Qt::Key_Delete));
        QCOMPARE(rules->rowCount(), 1);

        child<QPushButton>("pushButtonClear")->click();
        QCOMPARE(rules->rowCount(), 0);
        QVERIFY(!child<QPushButton>("pushButtonClear")->isEnabled());
        const QHash<QString, QString> removed = ruleChanges();
        QCOMPARE(removed.size(), 2);
        QCOMPARE(removed.value(s("/usr")), QString(QChar(0x2014)));

        subTabs()->setCurrentIndex(2);
        child<QPushButton>("pushButtonAddExc")->click();
        QCOMPARE(child<CommitableTableView>("tableViewExc")->model()->rowCount(), 2);
        QVERIFY(child<QPushButton>("pushButtonClearExc")->isEnabled());
    }

    // Finding rows among many: the filters show some rows, edits and removals
    // act on the row shown, and a hidden row keeps its pending edit.
    void filteredTables()
    {
        QVariantMap map = sampleMap();
        QVariantHash rules{{s("/usr/Lib/Module"), s("high")}};
        for (int i = 0; i < 200; ++i) {
            rules.insert(s("/srv/app%1/conf").arg(i), i % 2 ? s("7") : s("0xf"));
        }
        map.insert(s("micFsCurrentItems"), rules);
        page->setData(map);
        subTabs()->setCurrentIndex(1);
        auto *table = child<CommitableTableView>("tableViewFs");
        QAbstractItemModel *shown = table->model();
        QAbstractItemModelTester tester(shown, QAbstractItemModelTester::FailureReportingMode::QtTest);
        auto *filter = child<QLineEdit>("lineEditFilterFs");
        auto *levels = child<QComboBox>("comboBoxFilterLevel");
        const auto shownPaths = [shown] {
            QStringList paths;
            for (int row = 0; row < shown->rowCount(); ++row) {
                paths.append(shown->index(row, 1).data().toString());
            }
            return paths;
        };

        filter->setText(s("APP1")); // any case: app1, app10..19, app100..199
        QCOMPARE(shown->rowCount(), 111);
        QVERIFY(!child<QPushButton>("pushButtonClear")->isEnabled()); // would remove hidden rows
        filter->setText(s("app19"));
        QCOMPARE(shown->rowCount(), 11);
        levels->setCurrentIndex(levels->findText(s("7")));
        QCOMPARE(shownPaths(),
                 (QStringList{s("/srv/app19/conf"), s("/srv/app191/conf"), s("/srv/app193/conf"), s("/srv/app195/conf"), s("/srv/app197/conf"),
                              s("/srv/app199/conf")}));

        // An edit keeps its row in view, and its change while hidden.
        QVERIFY(shown->setData(shown->index(1, 0), s("15")));
        QCOMPARE(shown->rowCount(), 6);
        levels->setCurrentIndex(0);
        filter->setText(s("lib/"));
        QCOMPARE(shownPaths(), QStringList{s("/usr/Lib/Module")});
        QCOMPARE(ruleChanges(), (QHash<QString, QString>{{s("/srv/app191/conf"), s("15")}}));

        // Removing the row shown removes that rule.
        table->setCurrentIndex(shown->index(0, 1));
        child<QPushButton>("pushButtonRemove")->click();
        QCOMPARE(shown->rowCount(), 0);
        const QHash<QString, QString> changes = ruleChanges();
        QCOMPARE(changes.size(), 2);
        QCOMPARE(changes.value(s("/usr/Lib/Module")), QString(QChar(0x2014)));
        filter->clear();
        QCOMPARE(shown->rowCount(), 200);
        QVERIFY(child<QPushButton>("pushButtonClear")->isEnabled());

        // A new row shows whatever the filter.
        filter->setText(s("no such path"));
        child<QPushButton>("pushButtonAdd")->click();
        QCOMPARE(shown->rowCount(), 1);
        QCOMPARE(table->currentIndex(), shown->index(0, 1));
        {
            ModalDialogAnswerer answerer([](QDialog *dialog) {
                dialog->accept();
            });
            filter->clear(); // lands the empty path: refused, as anywhere else
            QCOMPARE(answerer.texts, QStringList{s("File path can't be empty!")});
        }
        QCOMPARE(shown->rowCount(), 200);

        subTabs()->setCurrentIndex(2);
        auto *exceptions = child<CommitableTableView>("tableViewExc")->model();
        child<QLineEdit>("lineEditFilterExc")->setText(s("TMP"));
        QCOMPARE(exceptions->rowCount(), 1);
        child<QLineEdit>("lineEditFilterExc")->setText(s("var"));
        QCOMPARE(exceptions->rowCount(), 0);
    }

    // A path typed above the tree opens the tree down to it and selects it.
    void pathTypedAboveTheTree()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath(s("a/b")));
        const QString target = dir.filePath(s("a/b"));
        auto *tree = child<QTreeView>("treeViewMic");
        page->show();
        child<QLineEdit>("lineEditTreePath")->setText(target + s("/"));
        const auto *files = qobject_cast<QFileSystemModel *>(tree->model());
        QCOMPARE(files->filePath(tree->currentIndex()), target);
        QVERIFY(tree->isExpanded(files->index(dir.filePath(s("a")))));
        QVERIFY(tree->selectionModel()->isRowSelected(tree->currentIndex().row(), tree->currentIndex().parent()));
        child<QLineEdit>("lineEditTreePath")->setText(target + s("/no-such"));
        QCOMPARE(files->filePath(tree->currentIndex()), target); // nothing to show: the tree stays
    }

    void hostBackButton()
    {
        QPushButton back;
        ExpertModeWidget hosted(&back, nullptr);
        QSignalSpy goBack(&hosted, &ExpertModeWidget::goBackRequest);
        QVERIFY(hosted.findChild<QPushButton *>(s("goBackButton"))->isHidden());
        back.click();
        QCOMPARE(goBack.count(), 1);
    }
};

QTEST_MAIN(ExpertPageTest)
#include "expertpagetest.moc"
