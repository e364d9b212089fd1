// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

// The general page: the user level table, the maps of the helper shown on
// the page, and changing a user's level through the level dialog.
#include "modaldialoganswerer.h"
#include "modelsignals.h"
#include "staterootfixture.h"

#include <expertmodewidget.h>
#include <ilevelcombobox.h>
#include <micmanagementmodule.h>
#include <settingvalues.h>
#include <userlistmodel.h>
#include <userlistproxymodel.h>

#include <KBusyIndicatorWidget>
#include <KMessageWidget>

#include <QAbstractItemModelTester>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QTreeView>

namespace
{
QVariantMap map(std::initializer_list<std::pair<const QString, QVariant>> entries)
{
    QVariantMap result;
    for (const auto &[key, value] : entries) {
        result.insert(key, value);
    }
    return result;
}
}

class GeneralPageTest : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir users;
    std::unique_ptr<StateRootFixture> state;
    std::unique_ptr<MicManagementModule> module;

    template<typename T>
    T *child(const char *name) const
    {
        return module->findChild<QWidget *>(QStringLiteral("generalMode"))->template findChild<T *>(QLatin1String(name));
    }
    QString labelText(const char *label) const
    {
        return child<QLabel>(label)->text();
    }
    UserListProxyModel *proxy() const
    {
        return static_cast<UserListProxyModel *>(child<QTreeView>("usersTreeView")->model());
    }
    int rowOf(const QString &user) const
    {
        for (int row = 0; row < proxy()->rowCount(); ++row) {
            if (proxy()->index(row, 0).data().toString() == user) {
                return row;
            }
        }
        return -1;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QFile passwd(users.filePath(QStringLiteral("passwd")));
        QVERIFY(passwd.open(QIODevice::WriteOnly));
        passwd.write(
            "root:x:0:0:root:/root:/bin/bash\n"
            "daemon:x:1:1:daemon:/usr/sbin:/usr/sbin/nologin\n"
            "alice:x:1000:1000:Alice:/home/alice:/bin/bash\n"
            "bob:x:1001:1001:Bob:/home/bob:/bin/bash\n"
            "carol:x:1002:1002:Carol:/home/carol:/bin/bash\n");
        passwd.close();
        qputenv("USERLIST_PASSWD_FILE", QFile::encodeName(passwd.fileName()));
        qputenv("USERLIST_LOGIN_DEFS", "/nonexistent");
    }

    void init()
    {
        state = std::make_unique<StateRootFixture>();
        state->writeCatalogue("0 7 15 31 63", "level.0 = Low\nlevel.7 = Seven\nlevel.63 = High\n", 63);
        module = std::make_unique<MicManagementModule>(nullptr, QVariantList());
    }

    void cleanup()
    {
        module.reset();
        state.reset();
    }

    void userTableUnderTheModelTester()
    {
        UserListModel userList;
        UserListProxyModel table(&userList, nullptr);
        QAbstractItemModelTester tester(&table, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(table.columnCount(), 5);
        QCOMPARE(table.headerData(3, Qt::Horizontal).toString(), QStringLiteral("Minimal level"));
        QCOMPARE(table.headerData(4, Qt::Horizontal).toString(), QStringLiteral("Maximal level"));
        QVERIFY(!table.headerData(4, Qt::Horizontal, Qt::ToolTipRole).isValid());
        QVERIFY(table.data(table.index(0, 4)).toString().isEmpty()); // no levels yet

        table.setILevels({{QStringLiteral("alice"), 63u}, {QStringLiteral("bob"), 7u}, {QStringLiteral("ghost"), 15u}});
        userList.setFilter(UserListModel::AllUsers);
        table.setFilterFixedString(QStringLiteral("o")); // root, daemon, bob, carol
        QCOMPARE(table.rowCount(), 4);
        table.setUserMaxIlevel(QStringLiteral("carol"), 31);
        table.setFilterFixedString(QString());
        userList.setFilter(UserListModel::SystemUsers);
        table.setUserMaxIlevel(QStringLiteral("alice"), 15); // hidden now
        userList.setFilter(UserListModel::OrdinaryUsers);
        table.sort(0, Qt::DescendingOrder);
        QCOMPARE(table.index(0, 0).data().toString(), QStringLiteral("carol"));
        QCOMPARE(table.index(0, 4).data().toString(), QStringLiteral("31"));
        QCOMPARE(table.index(2, 4).data().toString(), QStringLiteral("15"));
        QCOMPARE(table.index(0, 3).data().toString(), QStringLiteral("0 - Low"));
        QCOMPARE(table.flags(table.index(0, 4)), table.flags(table.index(0, 0)));
        QVERIFY(!table.index(0, 5).isValid());
    }

    void levelsOutsideTheCatalogue()
    {
        UserListModel userList;
        userList.setFilter(UserListModel::AllUsers);
        UserListProxyModel table(&userList, nullptr);
        // The levels as a read reply brings them off the wire.
        const QVariantHash read{{QStringLiteral("alice"), 100u},
                                {QStringLiteral("bob"), QStringLiteral("junk")},
                                {QStringLiteral("carol"), qlonglong(63)},
                                {QStringLiteral("ghost"), 15u}};
        table.setILevels(Mic::Settings::ReadReply::fromWire({{Mic::Settings::userLevelsKey, read}}).userLevels);
        const int alice = 2;
        QCOMPARE(table.index(alice, 4).data().toString(), QStringLiteral("0 - Low")); // 100 is no catalogue level
        QCOMPARE(table.getUserMaxILevel(QStringLiteral("alice")), 0u);
        const QHash<QString, unsigned int> levels = table.iLevels();
        QVERIFY(!levels.contains(QStringLiteral("alice")));
        QCOMPARE(levels.value(QStringLiteral("bob"), 99u), 0u); // not a number: 0, which the catalogue has
        QCOMPARE(levels.value(QStringLiteral("carol")), 63u);
        QCOMPARE(levels.value(QStringLiteral("ghost")), 15u); // not listed, still kept

        ModelSignals told(&table);
        table.setUserMaxIlevel(QStringLiteral("alice"), 1000);
        QCOMPARE(told.take(), QStringLiteral("dataChanged %1,4-%1,4 display").arg(alice));
        QCOMPARE(table.index(alice, 4).data().toString(), QStringLiteral("1000"));
        QCOMPARE(table.iLevels().value(QStringLiteral("alice")), 1000u);
    }

    void micStatusTexts_data()
    {
        QTest::addColumn<QVariant>("status");
        QTest::addColumn<bool>("checked");
        QTest::addColumn<QString>("text");
        QTest::newRow("enabled") << QVariant(2) << true << QStringLiteral("MIC subsystem is <b>enabled</b>.");
        QTest::newRow("disabled") << QVariant(4u) << false << QStringLiteral("MIC subsystem is <b>disabled</b>.");
        QTest::newRow("on after reboot") << QVariant(5) << true << QStringLiteral("MIC subsystem is disabled, but it will be <b>enabled after reboot</b>.");
        QTest::newRow("off after reboot") << QVariant(6) << false << QStringLiteral("MIC subsystem is enabled, but it will be <b>disabled after reboot</b>.");
        QTest::newRow("missing") << QVariant() << false << QStringLiteral("...");
        QTest::newRow("unknown") << QVariant(7) << false << QStringLiteral("...");
    }
    void micStatusTexts()
    {
        QFETCH(QVariant, status);
        QFETCH(bool, checked);
        QFETCH(QString, text);
        child<QCheckBox>("enableMicCheckBox")->setChecked(!checked);
        module->setData(status.isValid() ? map({{QStringLiteral("micStatus"), status}}) : QVariantMap());
        QCOMPARE(child<QCheckBox>("enableMicCheckBox")->isChecked(), checked);
        QCOMPARE(labelText("micStatusMessageLabel"), text);
    }

    void serviceAndFileSystemStates()
    {
        module->setData(map({{QStringLiteral("micStatus"), 2}, {QStringLiteral("servicesIsolatedStatus"), 3}, {QStringLiteral("micFsStatus"), 3}}));
        QCOMPARE(labelText("servicesMessageLabel"), QStringLiteral("Some services are <b>isolated</b>. Go to expert mode for details."));
        QCOMPARE(child<QCheckBox>("servicesIsolatedCheckBox")->checkState(), Qt::PartiallyChecked);
        QCOMPARE(child<QCheckBox>("protectFsCheckBox")->checkState(), Qt::PartiallyChecked);
        QVERIFY(!child<QToolButton>("showUnprotectedFilesButton")->isHidden());

        module->setData(map({{QStringLiteral("micStatus"), 4}, {QStringLiteral("servicesIsolatedStatus"), 4}, {QStringLiteral("micFsStatus"), 3}}));
        QCOMPARE(labelText("servicesMessageLabel"), QStringLiteral("Service isolation is <b>disabled</b>."));
        QCOMPARE(labelText("fileSystemMessageLabel"), QStringLiteral("Filesystem is <b>partly protected</b>. Some files have lower integrity than they should be."));
        QVERIFY(child<QToolButton>("showUnprotectedFilesButton")->isHidden()); // MIC is off
        QVERIFY(!child<QCheckBox>("protectFsCheckBox")->isEnabled());
        QVERIFY(!child<QPushButton>("expertModeButton")->isEnabled());
        QVERIFY(!child<QGroupBox>("usersGroupBox")->isEnabled());
        QVERIFY(!child<QCheckBox>("servicesIsolatedCheckBox")->isEnabled()); // follows "Enable MIC" alone

        module->setData(map({{QStringLiteral("micStatus"), 2}, {QStringLiteral("servicesIsolatedStatus"), 2}, {QStringLiteral("micFsStatus"), 2}}));
        QCOMPARE(labelText("servicesMessageLabel"), QStringLiteral("All services are <b>isolated</b>."));
        QCOMPARE(labelText("fileSystemMessageLabel"), QStringLiteral("Filesystem is <b>protected</b>."));
        QCOMPARE(child<QCheckBox>("servicesIsolatedCheckBox")->checkState(), Qt::Checked);
        QVERIFY(child<QCheckBox>("servicesIsolatedCheckBox")->isEnabled());
        QVERIFY(child<QPushButton>("expertModeButton")->isEnabled());

        // Values the page does not know leave the texts and boxes alone.
        module->setData(map({{QStringLiteral("micStatus"), 2}, {QStringLiteral("servicesIsolatedStatus"), 9}, {QStringLiteral("micFsStatus"), -1}}));
        QCOMPARE(labelText("servicesMessageLabel"), QStringLiteral("All services are <b>isolated</b>."));
        QCOMPARE(labelText("fileSystemMessageLabel"), QStringLiteral("Filesystem is <b>protected</b>."));
        QCOMPARE(child<QCheckBox>("protectFsCheckBox")->checkState(), Qt::Checked);
        QVERIFY(child<QCheckBox>("protectFsCheckBox")->isEnabled());
        QCOMPARE(child<QCheckBox>("servicesIsolatedCheckBox")->checkState(), Qt::Checked);
        // Nor does a status left out: no box disagrees with its text, and
        // nothing the administrator did not touch counts as edited.
        QSignalSpy changed(module.get(), SIGNAL(changed(bool)));
        module->setData(map({{QStringLiteral("micStatus"), 2}, {QStringLiteral("micFsStatus"), 4}}));
        QCOMPARE(labelText("servicesMessageLabel"), QStringLiteral("All services are <b>isolated</b>."));
        QCOMPARE(child<QCheckBox>("servicesIsolatedCheckBox")->checkState(), Qt::Checked);
        QCOMPARE(module->findChild<ExpertModeWidget *>()->getData().isolation, Mic::Settings::Status::Enabled);
        QVERIFY(!changed.contains(QVariantList{true}));
    }

    void loadingThenFinal()
    {
        auto *list = child<QListView>("unprotectedFilesListWidget");
        QAbstractItemModelTester tester(list->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        module->setData(map({{QStringLiteral("micStatus"), 2}, {QStringLiteral("micFsStatus"), 1}, {QStringLiteral("micFsStatusMessages"), QStringList{QStringLiteral("/a")}}}));
        QCOMPARE(labelText("fileSystemMessageLabel"), QStringLiteral("Loading..."));
        QVERIFY(!child<KBusyIndicatorWidget>("protectFsBusyIndicatorWidget")->isHidden());
        QVERIFY(!child<QCheckBox>("protectFsCheckBox")->isEnabled());
        QCOMPARE(child<QCheckBox>("protectFsCheckBox")->checkState(), Qt::Unchecked);
        QVERIFY(!child<QPushButton>("expertModeButton")->isEnabled());
        QCOMPARE(child<QPushButton>("expertModeButton")->toolTip(), QStringLiteral("Reading file system..."));
        QVERIFY(!child<QToolButton>("changeUserIntegrityButton")->isEnabled());

        module->setData(map({{QStringLiteral("micStatus"), 2}, {QStringLiteral("micFsStatus"), 3}, {QStringLiteral("micFsStatusMessages"), QStringList{QStringLiteral("/b"), QStringLiteral("/c\x1b[2J")}}}));
        QVERIFY(child<KBusyIndicatorWidget>("protectFsBusyIndicatorWidget")->isHidden());
        QVERIFY(child<QPushButton>("expertModeButton")->toolTip().isEmpty());
        QVERIFY(child<QToolButton>("changeUserIntegrityButton")->isEnabled());
        QCOMPARE(list->model()->rowCount(), 3); // lines of both maps
        const QModelIndex shown = list->model()->index(2, 0);
        QCOMPARE(shown.data().toString(), QStringLiteral("/c\\x1b[2J")); // as it can be shown
        QCOMPARE(shown.data(Qt::ToolTipRole).toString(), shown.data().toString());

        // The list empties only when the next read starts.
        auto *show = child<QToolButton>("showUnprotectedFilesButton");
        show->click();
        QVERIFY(!list->isHidden());
        QMetaObject::invokeMethod(module.get(), "access");
        QCOMPARE(list->model()->rowCount(), 0);
        QVERIFY(!show->isChecked());
        QVERIFY(list->isHidden());
        QVERIFY(show->isHidden());
    }

    void enableTogglesAndExplicitEnabling()
    {
        auto *enable = child<QCheckBox>("enableMicCheckBox");
        auto *isolate = child<QCheckBox>("servicesIsolatedCheckBox");
        // A map while loading: the toggle enables the four widgets, then the
        // page disables three of them again explicitly.
        enable->setChecked(false);
        module->setData(map({{QStringLiteral("micStatus"), 2}, {QStringLiteral("micFsStatus"), 1}}));
        QVERIFY(isolate->isEnabled());
        QVERIFY(!child<QCheckBox>("protectFsCheckBox")->isEnabled());
        QVERIFY(!child<QToolButton>("changeUserIntegrityButton")->isEnabled());
        QVERIFY(child<QGroupBox>("usersGroupBox")->isEnabled());

        // Without a change of "Enable MIC" no toggle comes: the isolation box
        // keeps what it had, even when disabled by hand.
        isolate->setEnabled(false);
        module->setData(map({{QStringLiteral("micStatus"), 2}, {QStringLiteral("micFsStatus"), 2}}));
        QVERIFY(!isolate->isEnabled());
        QVERIFY(child<QCheckBox>("protectFsCheckBox")->isEnabled());
    }

    void userLevelsAndRememberedUser()
    {
        auto *view = child<QTreeView>("usersTreeView");
        QCOMPARE(child<QComboBox>("userFilterComboBox")->currentData().toInt(), 1);
        module->selectUser(QStringLiteral("daemon")); // a system user, outside the ordinary filter
        module->setData(map({{QStringLiteral("micStatus"), 2}, {QStringLiteral("userILevels"), QVariantHash{{QStringLiteral("daemon"), 7u}}}}));
        QCOMPARE(view->currentIndex().siblingAtColumn(0).data().toString(), QStringLiteral("daemon"));
        QCOMPARE(view->currentIndex().siblingAtColumn(4).data().toString(), QStringLiteral("7 - Seven"));
        QCOMPARE(child<QComboBox>("userFilterComboBox")->currentData().toInt(), 1); // the combo box stays

        // Consumed: a later map selects nothing new, and keeps the selection.
        view->setCurrentIndex(proxy()->index(rowOf(QStringLiteral("root")), 0));
        module->setData(map({{QStringLiteral("micStatus"), 2}}));
        QCOMPARE(view->currentIndex().siblingAtColumn(0).data().toString(), QStringLiteral("root"));
    }

    void servicesRequestedWhileLoading()
    {
        module->selectServices();
        module->setData(map({{QStringLiteral("micStatus"), 2}, {QStringLiteral("micFsStatus"), 1}}));
        QCOMPARE(module->messagesManager()->messages().size(), 1);
        QCOMPARE(module->messagesManager()->messages().first()->messageType(), KMessageWidget::Information);
        module->setData(map({{QStringLiteral("micStatus"), 2}, {QStringLiteral("micFsStatus"), 2}}));
        QVERIFY(module->messagesManager()->messages().isEmpty());
    }

    void levelsLabel()
    {
        QMetaObject::invokeMethod(module.get(), "access");
        QCOMPARE(labelText("micLevelsLabel"), QStringLiteral("Available integrity levels: <b>0 - Low</b>, <b>63 - High</b>"));
        state->writeCatalogue("0 7 15 31 63", "level.0 = Low\n", 0);
        QTRY_VERIFY(!module->isReading()); // no bus here: the read fails
        QMetaObject::invokeMethod(module.get(), "access");
        QCOMPARE(labelText("micLevelsLabel"), QStringLiteral("Available integrity levels: <b>0 - Low</b>"));
    }

    void changingAUsersLevel()
    {
        auto *view = child<QTreeView>("usersTreeView");
        auto *change = child<QToolButton>("changeUserIntegrityButton");
        module->setData(map({{QStringLiteral("micStatus"), 2}, {QStringLiteral("micFsStatus"), 2}, {QStringLiteral("userILevels"), QVariantHash{{QStringLiteral("bob"), 7u}}}}));
        proxy()->setUserMaxIlevel(QStringLiteral("carol"), 300); // not a level a dialog can show

        // Without a current row nothing opens.
        view->setCurrentIndex(QModelIndex());
        {
            ModalDialogAnswerer answerer([](QDialog *dialog) {
                dialog->reject();
            });
            change->click();
            QVERIFY(answerer.seen.isEmpty());
        }

        QSignalSpy changed(module.get(), qOverload<bool>(&KCMLS::LumenKCModule::changed));
        view->setCurrentIndex(proxy()->index(rowOf(QStringLiteral("carol")), 4));
        unsigned int shown = 0;
        {
            ModalDialogAnswerer answerer([&shown](QDialog *dialog) {
                QCOMPARE(dialog->windowTitle(), QStringLiteral("Integrity Levels of carol"));
                auto *maximal = dialog->findChild<KestrelQt5::ILevelComboBox *>(QStringLiteral("maximalILevelComboBox"));
                auto *minimal = dialog->findChild<KestrelQt5::ILevelComboBox *>(QStringLiteral("minimalILevelComboBox"));
                shown = maximal->value();
                QVERIFY(!minimal->isEnabled());
                QCOMPARE(minimal->value(), 0u);
                dialog->reject();
            });
            change->click();
            QCOMPARE(answerer.seen.size(), 1);
        }
        QCOMPARE(shown, 300u % 256); // the low 8 bits
        QCOMPARE(proxy()->getUserMaxILevel(QStringLiteral("carol")), 300u); // cancelled: unchanged
        QCOMPARE(changed.count(), 0);

        view->setCurrentIndex(proxy()->index(rowOf(QStringLiteral("bob")), 0));
        {
            ModalDialogAnswerer answerer([](QDialog *dialog) {
                auto *maximal = dialog->findChild<KestrelQt5::ILevelComboBox *>(QStringLiteral("maximalILevelComboBox"));
                QCOMPARE(maximal->value(), 7u);
                maximal->setValue(63, false);
                dialog->accept();
            });
            change->click();
        }
        QCOMPARE(proxy()->index(rowOf(QStringLiteral("bob")), 4).data().toString(), QStringLiteral("63 - High"));
        QCOMPARE(proxy()->iLevels().value(QStringLiteral("bob")), 63u);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.last().first().toBool(), true);
    }
};

QTEST_MAIN(GeneralPageTest)
#include "generalpagetest.moc"
