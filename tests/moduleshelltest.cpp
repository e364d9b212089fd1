// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

// The module shell: its form, its connections and the switch between pages.
#include "staterootfixture.h"

#include <expertmodewidget.h>
#include <micmanagementmodule.h>
#include <micstatus.h>
#include <userlistmodel.h>

#include <KBusyIndicatorWidget>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTest>
#include <QToolButton>
#include <QTreeView>

class ModuleShellTest : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir users;
    std::unique_ptr<StateRootFixture> state;
    std::unique_ptr<MicManagementModule> module;

    // Widgets of the general page; the expert page has some of the same names.
    template<typename T>
    T *child(const char *name) const
    {
        QWidget *page = module->findChild<QWidget *>(QStringLiteral("generalMode"));
        T *widget = page->findChild<T *>(QLatin1String(name));
        if (!widget) {
            widget = module->findChild<T *>(QLatin1String(name), Qt::FindDirectChildrenOnly);
        }
        if (!widget) {
            widget = module->findChild<T *>(QLatin1String(name));
        }
        if (!widget) {
            qFatal("no widget %s", name);
        }
        return widget;
    }
    ExpertModeWidget *expert() const
    {
        return module->findChild<ExpertModeWidget *>();
    }

private Q_SLOTS:
    void initTestCase()
    {
        QFile passwd(users.filePath(QStringLiteral("passwd")));
        QVERIFY(passwd.open(QIODevice::WriteOnly));
        passwd.write("root:x:0:0:root:/root:/bin/bash\nalice:x:1000:1000:Alice:/home/alice:/bin/bash\n");
        passwd.close();
        qputenv("USERLIST_PASSWD_FILE", QFile::encodeName(passwd.fileName()));
    }

    void init()
    {
        state = std::make_unique<StateRootFixture>();
        state->writeCatalogue("0 1 3 7 15 31 63 255", "level.0 = Low\n");
        module = std::make_unique<MicManagementModule>(nullptr, QVariantList());
    }

    void cleanup()
    {
        module.reset();
        state.reset();
    }

    void formAsBuilt()
    {
        QCOMPARE(module->objectName(), QStringLiteral("MicManagementModule"));
        QCOMPARE(child<QGroupBox>("groupBoxMic")->title(), QStringLiteral("Mandatory Integrity Control subsystem"));
        QCOMPARE(child<QCheckBox>("enableMicCheckBox")->text(), QStringLiteral("Enable MIC"));
        QCOMPARE(child<QCheckBox>("protectFsCheckBox")->text(), QStringLiteral("Protect filesystem"));
        QCOMPARE(child<QCheckBox>("servicesIsolatedCheckBox")->text(), QStringLiteral("Start services on isolated level"));
        for (const char *label : {"micStatusMessageLabel", "micLevelsLabel", "fileSystemMessageLabel", "servicesMessageLabel"}) {
            QCOMPARE(child<QLabel>(label)->text(), QStringLiteral("..."));
        }
        QVERIFY(child<KBusyIndicatorWidget>("protectFsBusyIndicatorWidget")->isHidden());
        QVERIFY(child<QToolButton>("showUnprotectedFilesButton")->isHidden());
        QVERIFY(child<QListView>("unprotectedFilesListWidget")->isHidden());
        QVERIFY(child<QLabel>("descriptionLabel")->isHidden());
        QVERIFY(child<QLabel>("descriptionLabel")->text().startsWith(
            QStringLiteral("<p><b>MIC is responsible for ensuring that information cannot be changed by those who are not supposed to change it.</b>")));
        QCOMPARE(child<QGroupBox>("usersGroupBox")->title(), QStringLiteral("User Integrity Levels"));
        QCOMPARE(child<QLineEdit>("filterLineEdit")->placeholderText(), QStringLiteral("Filter"));
        QCOMPARE(child<QToolButton>("changeUserIntegrityButton")->text(), QStringLiteral("Change integrity"));
        QCOMPARE(child<QPushButton>("expertModeButton")->text(), QStringLiteral("Go to expert mode"));

        auto *stack = child<QStackedWidget>("stackedWidget");
        QCOMPARE(stack->count(), 2);
        QCOMPARE(stack->currentIndex(), 0);
        QCOMPARE(stack->widget(1), expert());

        auto *filter = child<QComboBox>("userFilterComboBox");
        QCOMPARE(filter->count(), 3);
        QCOMPARE(filter->itemText(0), QStringLiteral("All"));
        QCOMPARE(filter->itemData(2).toInt(), 2);
        QCOMPARE(filter->currentData().toInt(), 1); // the user list starts on ordinary users

        auto *users = child<QTreeView>("usersTreeView");
        QCOMPARE(users->model()->columnCount(), 5);
        QVERIFY(users->isSortingEnabled());
        QVERIFY(!users->rootIsDecorated());
        QVERIFY(module->isResetButtonVisible());
    }

    void enableMicDrivesItsWidgets()
    {
        auto *enable = child<QCheckBox>("enableMicCheckBox");
        const QList<QWidget *> dependents{child<QCheckBox>("protectFsCheckBox"),
                                          child<QGroupBox>("usersGroupBox"),
                                          child<QToolButton>("changeUserIntegrityButton"),
                                          child<QCheckBox>("servicesIsolatedCheckBox")};
        for (QWidget *widget : dependents) {
            QVERIFY(widget->isEnabled()); // until the box first changes
        }
        QSignalSpy changed(module.get(), qOverload<bool>(&KCMLS::LumenKCModule::changed));
        enable->click();
        QVERIFY(enable->isChecked());
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.last().first().toBool(), true);
        enable->click();
        for (QWidget *widget : dependents) {
            QVERIFY2(!widget->isEnabled(), qPrintable(widget->objectName()));
        }
        enable->click();
        for (QWidget *widget : dependents) {
            QVERIFY2(widget->isEnabled(), qPrintable(widget->objectName()));
        }
    }

    void enableMicGivesTheDefaultLevelOnlyWhenNoneIsChosen()
    {
        auto *enable = child<QCheckBox>("enableMicCheckBox");
        expert()->setChosenILev(0);
        QCOMPARE(expert()->chosenIlev(), 0u);
        enable->click();
        QCOMPARE(expert()->chosenIlev(), 63u);

        enable->click(); // unchecking keeps the level
        QCOMPARE(expert()->chosenIlev(), 63u);
        expert()->setChosenILev(255);
        enable->click();
        QCOMPARE(expert()->chosenIlev(), 255u);

        // A programmatic check is no click and chooses nothing.
        enable->setChecked(false);
        expert()->setChosenILev(0);
        enable->setChecked(true);
        QCOMPARE(expert()->chosenIlev(), 0u);
    }

    void partiallyCheckedBoxesBecomeChecked_data()
    {
        QTest::addColumn<QString>("box");
        QTest::newRow("protect") << QStringLiteral("protectFsCheckBox");
        QTest::newRow("isolate") << QStringLiteral("servicesIsolatedCheckBox");
    }
    void partiallyCheckedBoxesBecomeChecked()
    {
        QFETCH(QString, box);
        auto *checkBox = child<QCheckBox>(box.toLatin1().constData());
        checkBox->setCheckState(Qt::PartiallyChecked);
        QSignalSpy changed(module.get(), qOverload<bool>(&KCMLS::LumenKCModule::changed));
        checkBox->click();
        QCOMPARE(checkBox->checkState(), Qt::Checked);
        QCOMPARE(changed.count(), 1);
        for (int i = 0; i < 5; ++i) {
            checkBox->click();
            QVERIFY(checkBox->checkState() != Qt::PartiallyChecked);
        }
    }

    void userFilterEmptiesTheTextFilter()
    {
        auto *filter = child<QComboBox>("userFilterComboBox");
        auto *text = child<QLineEdit>("filterLineEdit");
        auto *users = child<QTreeView>("usersTreeView");
        filter->setCurrentIndex(0);
        QCOMPARE(users->model()->rowCount(), 2);
        text->setText(QStringLiteral("ali"));
        QCOMPARE(users->model()->rowCount(), 1);
        filter->setCurrentIndex(2);
        QCOMPARE(text->text(), QString());
        const UserListModel *userModel = module->findChild<UserListModel *>();
        QCOMPARE(userModel->filter(), UserListModel::SystemUsers);
        QCOMPARE(users->model()->rowCount(), 1);
        QCOMPARE(users->model()->index(0, 0).data().toString(), QStringLiteral("root"));
    }

    // The protection and the isolation are one state shown on both pages:
    // an edit on either shows on the other at once, whichever page is shown.
    void bothPagesShowOneState()
    {
        auto *stack = child<QStackedWidget>("stackedWidget");
        QWidget *general = stack->widget(0);
        auto *protect = general->findChild<QCheckBox *>(QStringLiteral("protectFsCheckBox"));
        auto *isolate = general->findChild<QCheckBox *>(QStringLiteral("servicesIsolatedCheckBox"));
        auto *expertProtect = expert()->findChild<QCheckBox *>(QStringLiteral("protectFsCheckBox"));
        auto *expertIsolate = expert()->findChild<QCheckBox *>(QStringLiteral("servicesIsolatedCheckBox"));
        auto *enable = child<QCheckBox>("enableMicCheckBox");
        module->setData({{QStringLiteral("micStatus"), 2},
                         {QStringLiteral("micFsStatus"), 3},
                         {QStringLiteral("micFutureLevel"), 63u},
                         {QStringLiteral("servicesIsolatedStatus"), 2},
                         {QStringLiteral("services"),
                          QVariantList{QVariantHash{{QStringLiteral("name"), QStringLiteral("cron")}, {QStringLiteral("isIsolatable"), true}, {QStringLiteral("isIsolated"), true}},
                                       QVariantHash{{QStringLiteral("name"), QStringLiteral("sshd")}, {QStringLiteral("isIsolatable"), true}, {QStringLiteral("isIsolated"), true}}}}});
        QCOMPARE(expertProtect->checkState(), Qt::PartiallyChecked);
        QCOMPARE(expertIsolate->checkState(), Qt::Checked);

        protect->click(); // partly: a click protects
        QCOMPARE(protect->checkState(), Qt::Checked);
        QCOMPARE(expertProtect->checkState(), Qt::Checked);

        child<QPushButton>("expertModeButton")->click();
        QCOMPARE(stack->currentIndex(), 1);
        expertProtect->click();
        QCOMPARE(protect->checkState(), Qt::Unchecked);
        // One service no longer isolated: some are.
        QAbstractItemModel *services = expert()->findChild<QTreeView *>(QStringLiteral("treeViewServices"))->model();
        QVERIFY(services->setData(services->index(0, 1), int(Qt::Unchecked), Qt::CheckStateRole));
        QCOMPARE(isolate->checkState(), Qt::PartiallyChecked);
        // Isolating all on the general page isolates each service.
        isolate->click();
        QCOMPARE(services->index(0, 1).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
        QCOMPARE(expertIsolate->checkState(), Qt::Checked);

        // Without a chosen level MIC cannot be on.
        QVERIFY(enable->isChecked());
        auto *levels = expert()->findChild<QComboBox *>(QStringLiteral("comboBoxLevel"));
        expert()->setChosenILev(0);
        Q_EMIT levels->activated(levels->currentIndex());
        QVERIFY(!enable->isChecked());
        // Other edits leave MIC as it is; a level typed in is chosen too.
        enable->setChecked(true);
        protect->click();
        QVERIFY(enable->isChecked());
        auto *custom = expert()->findChild<QSpinBox *>(QStringLiteral("spinBoxCustomLevel"));
        levels->setCurrentIndex(levels->count() - 1); // <Other>
        QVERIFY(custom->isVisibleTo(expert()));
        QSignalSpy edits(expert(), &ExpertModeWidget::contentChanged);
        custom->setValue(5);
        QVERIFY(enable->isChecked());
        QCOMPARE(edits.count(), 1);
        custom->setValue(0);
        QVERIFY(!enable->isChecked());
        Q_EMIT expert()->goBackRequest();
        QCOMPARE(stack->currentIndex(), 0);

        // A read again: the protection shows as off while it is checked.
        module->setData({{QStringLiteral("micStatus"), 2}, {QStringLiteral("micFsStatus"), 1}});
        QCOMPARE(protect->checkState(), Qt::Unchecked);
        module->setData({{QStringLiteral("micStatus"), 2}, {QStringLiteral("micFsStatus"), 3}});
        QCOMPARE(protect->checkState(), Qt::PartiallyChecked);
        QCOMPARE(expertProtect->checkState(), Qt::PartiallyChecked);
    }

    void disclosureButtons()
    {
        auto *information = child<QToolButton>("informationButton");
        auto *description = child<QLabel>("descriptionLabel");
        QVERIFY(!information->icon().isNull());
        information->click();
        QVERIFY(!description->isHidden());
        information->click();
        QVERIFY(description->isHidden());
    }

    void unchooseWithoutReadIsHarmless()
    {
        module->unchooseModule();
    }

    void statusFromPlainIntegers()
    {
        QCOMPARE(QVariant(5).value<Mic::Status>(), Mic::EnabledAfterReboot);
        QCOMPARE(QVariant(2u).value<Mic::Status>(), Mic::Enabled);
        QCOMPARE(QVariant().value<Mic::Status>(), Mic::Undefined);
        QCOMPARE(QVariant(QStringLiteral("x")).value<Mic::Status>(), Mic::Undefined);
#if QT_VERSION_MAJOR >= 6
        QCOMPARE(QMetaType::fromName("Mic::Status").id(), qMetaTypeId<Mic::Status>());
#else
        QCOMPARE(QMetaType::type("Mic::Status"), qMetaTypeId<Mic::Status>());
#endif
    }
};

QTEST_MAIN(ModuleShellTest)
#include "moduleshelltest.moc"
