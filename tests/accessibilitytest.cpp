// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

// The pages from the keyboard and for assistive technology: the order of
// the focus chain, names of icon-only buttons, and the texts that labels and
// level cells expose.
#include "staterootfixture.h"

#include <expertmodewidget.h>
#include <micmanagementmodule.h>

#include <QAccessible>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTreeView>

namespace
{
QString s(const char *text)
{
    return QString::fromUtf8(text);
}

// The named widgets in the order the Tab key reaches them.
QStringList tabOrder(QWidget *first, const QStringList &names)
{
    QStringList order;
    QWidget *widget = first;
    do {
        if (names.contains(widget->objectName()) && !order.contains(widget->objectName())) {
            order.append(widget->objectName());
        }
        widget = widget->nextInFocusChain();
    } while (widget && widget != first);
    return order;
}

QString accessibleName(QObject *object)
{
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(object);
    return iface ? iface->text(QAccessible::Name) : QString();
}

QString cellName(QAbstractItemView *view, int row, int column)
{
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(view);
    if (!iface || !iface->tableInterface()) {
        return QString();
    }
    QAccessibleInterface *cell = iface->tableInterface()->cellAt(row, column);
    return cell ? cell->text(QAccessible::Name) : QString();
}
}

class AccessibilityTest : public QObject
{
    Q_OBJECT
private:
    StateRootFixture state;

private Q_SLOTS:
    void initTestCase()
    {
        state.writeCatalogue("0 7 15 31 63", "level.0 = Low\nlevel.63 = High\n", 63);
        QFile passwd(state.root() + s("/passwd"));
        QVERIFY(passwd.open(QIODevice::WriteOnly));
        passwd.write("root:x:0:0:root:/root:/bin/bash\nalice:x:1000:1000:Alice:/home/alice:/bin/bash\n");
        passwd.close();
        qputenv("USERLIST_PASSWD_FILE", QFile::encodeName(passwd.fileName()));
    }

    void expertPageTabOrder()
    {
        ExpertModeWidget page(nullptr, nullptr);
        const QStringList expected{s("comboBoxLevel"),
                                   s("spinBoxCustomLevel"),
                                   s("protectFsCheckBox"),
                                   s("pushButtonDefaultItems"),
                                   s("tabWidgetFs"),
                                   s("treeViewMic"),
                                   s("tableViewFs"),
                                   s("pushButtonAdd"),
                                   s("pushButtonRemove"),
                                   s("pushButtonClear"),
                                   s("pushButtonOpenConfig")};
        QCOMPARE(tabOrder(page.findChild<QWidget *>(s("comboBoxLevel")), expected), expected);
    }

    void generalPageTabOrderByKeyboard()
    {
        MicManagementModule module(nullptr, {});
        module.show();
        module.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&module));
        QTRY_VERIFY(!module.isReading()); // the read the host starts on showing; no helper here
        module.setData({{s("micStatus"), 2}, {s("micFsStatus"), 3}});
        auto *first = module.findChild<QWidget *>(s("enableMicCheckBox"));
        first->setFocus(Qt::TabFocusReason);
        QStringList reached{first->objectName()};
        for (int i = 0; i < 12; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            reached.append(QApplication::focusWidget()->objectName());
        }
        const QStringList expected{s("enableMicCheckBox"),
                                   s("protectFsCheckBox"),
                                   s("servicesIsolatedCheckBox"),
                                   s("showUnprotectedFilesButton"),
                                   s("informationButton"),
                                   s("usersTreeView"),
                                   s("userFilterComboBox"),
                                   s("filterLineEdit"),
                                   s("changeUserIntegrityButton"),
                                   s("expertModeButton")};
        QCOMPARE(reached.mid(0, expected.size()), expected);

        // The disclosure buttons work from the keyboard.
        auto *information = module.findChild<QWidget *>(s("informationButton"));
        information->setFocus(Qt::TabFocusReason);
        QTest::keyClick(information, Qt::Key_Space);
        QVERIFY(module.findChild<QLabel *>(s("descriptionLabel"))->isVisible());
    }

    void namesForAssistiveTechnology()
    {
        ExpertModeWidget page(nullptr, nullptr);
        for (const char *name : {"pushButtonAdd", "pushButtonRemove", "pushButtonClear", "pushButtonOpenConfig", "pushButtonAddExc",
                                 "pushButtonRemoveExc", "pushButtonClearExc", "pushButtonOpenConfigExc"}) {
            auto *button = page.findChild<QPushButton *>(QLatin1String(name));
            // An icon, or without one in the theme a short text: never blank.
            QVERIFY(button->icon().isNull() != button->text().isEmpty());
            QCOMPARE(accessibleName(button), button->toolTip());
            QVERIFY(!accessibleName(button).isEmpty());
        }

        page.setData({{s("micFsCurrentItems"), QVariantHash{{s("/usr"), s("high")}, {s("/opt"), s("0x3f")}}}});
        auto *rules = page.findChild<QTableView *>(s("tableViewFs"));
        QCOMPARE(cellName(rules, 0, 0), s("63 - High"));
        QCOMPARE(cellName(rules, 1, 0), s("63 - High (high)"));
        QCOMPARE(cellName(rules, 1, 1), s("/usr"));

        MicManagementModule module(nullptr, {});
        module.show(); // a tree lays out its rows, and so its cells, when shown
        QTRY_VERIFY(!module.isReading());
        module.setData({{s("micStatus"), 5}, {s("micFsStatus"), 3}, {s("servicesIsolatedStatus"), 2}, {s("userILevels"), QVariantHash{{s("alice"), 63u}}}});
        QCOMPARE(accessibleName(module.findChild<QLabel *>(s("micStatusMessageLabel"))),
                 s("MIC subsystem is disabled, but it will be enabled after reboot."));
        QVERIFY(accessibleName(module.findChild<QLabel *>(s("fileSystemMessageLabel"))).startsWith(s("Filesystem is partly protected.")));
        QCOMPARE(accessibleName(module.findChild<QLabel *>(s("servicesMessageLabel"))), s("All services are isolated."));
        auto *users = module.findChild<QTreeView *>(s("usersTreeView"));
        QCoreApplication::processEvents();
        QCOMPARE(cellName(users, 0, 3), s("0 - Low"));
        QCOMPARE(cellName(users, 0, 4), s("63 - High"));
    }
};

QTEST_MAIN(AccessibilityTest)
#include "accessibilitytest.moc"
