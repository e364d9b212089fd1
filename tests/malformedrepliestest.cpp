// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

// Read replies that do not follow the protocol: every key with a value of
// the wrong type, very long lists, status values nobody defined. The pages
// must survive them and treat a value they cannot read as a missing key.
#include "staterootfixture.h"

#include <expertmodewidget.h>
#include <micmanagementmodule.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QListView>
#include <QTableView>
#include <QTest>
#include <QTreeView>

namespace
{
QString s(const char *text)
{
    return QString::fromUtf8(text);
}

QStringList keys()
{
    return {s("micStatus"),
            s("servicesIsolatedStatus"),
            s("micFsStatus"),
            s("micFsStatusMessages"),
            s("userILevels"),
            s("micFutureLevel"),
            s("micFsCurrentItems"),
            s("micFsDefaultItems"),
            s("micFsCurrentExceptions"),
            s("micFsDefaultExceptions"),
            s("services"),
            s("servicesIsolated")};
}

// Values of every kind the protocol uses, and some it never does.
QList<QVariant> strangeValues()
{
    return {QVariant(),
            QVariant(-1),
            QVariant(7),
            QVariant(4294967295u),
            QVariant(qlonglong(1) << 40),
            QVariant(2.5),
            QVariant(true),
            QVariant(s("2")),
            QVariant(s("not a value")),
            QVariant(QStringList{s("/a"), QString()}),
            QVariant(QVariantList{1, s("x"), QVariantList{}}),
            QVariant(QVariantHash{{s("root"), s("x")}, {QString(), QVariantList{}}}),
            QVariant(QVariantMap{{s("name"), 5}}),
            QVariant(QByteArray("\0\xff", 2)),
            QVariant(QDateTime::currentDateTime())};
}
}

class MalformedRepliesTest : public QObject
{
    Q_OBJECT
private:
    StateRootFixture state;

private Q_SLOTS:
    void initTestCase()
    {
        state.writeCatalogue("0 7 15 31 63", "level.63 = High\n", 63);
    }

    void everyKeyWithEveryStrangeValue()
    {
        MicManagementModule module(nullptr, {});
        module.resize(800, 600);
        const QList<QVariant> values = strangeValues();
        const QStringList all = keys();
        for (const QString &key : all) {
            for (const QVariant &value : values) {
                module.setData({{key, value}});
                QVariantMap everything;
                for (const QString &other : all) {
                    everything.insert(other, value);
                }
                module.setData(everything);
            }
        }
        // Services given as anything but a list of maps list nothing.
        module.setData({{s("services"), QVariantList{s("cron"), 5, QVariantList{s("x")}}}});
        QCOMPARE(module.findChild<QTreeView *>(s("treeViewServices"))->model()->rowCount(), 0);
        module.grab(); // and everything still paints
    }

    void unknownStatusesLeaveTheTexts()
    {
        MicManagementModule module(nullptr, {});
        module.setData({{s("micStatus"), 2}, {s("micFsStatus"), 2}, {s("servicesIsolatedStatus"), 2}});
        auto *page = module.findChild<QWidget *>(s("generalMode"));
        const QString mic = page->findChild<QLabel *>(s("micStatusMessageLabel"))->text();
        const QString fs = page->findChild<QLabel *>(s("fileSystemMessageLabel"))->text();
        for (int status : {7, -1, 0, 1000}) {
            module.setData({{s("micStatus"), status}, {s("micFsStatus"), status}, {s("servicesIsolatedStatus"), status}});
            QCOMPARE(page->findChild<QLabel *>(s("micStatusMessageLabel"))->text(), mic);
            QCOMPARE(page->findChild<QLabel *>(s("fileSystemMessageLabel"))->text(), fs);
            QVERIFY(!page->findChild<QCheckBox *>(s("enableMicCheckBox"))->isChecked()); // unknown: not on
        }
    }

    void veryLongLists()
    {
        MicManagementModule module(nullptr, {});
        module.resize(800, 600);
        QStringList lines;
        QVariantHash rules;
        QVariantList services;
        QVariantHash users;
        for (int i = 0; i < 100000; ++i) {
            lines.append(s("/srv/file%1").arg(i));
            rules.insert(lines.last(), s("high"));
            users.insert(s("user%1").arg(i), 63u);
        }
        for (int i = 0; i < 10000; ++i) {
            services.append(QVariantHash{{s("name"), s("service%1").arg(i)}, {s("isIsolatable"), true}, {s("iLevel"), 15u}});
        }
        module.setData({{s("micStatus"), 2},
                        {s("micFsStatus"), 3},
                        {s("micFsStatusMessages"), lines},
                        {s("micFsCurrentItems"), rules},
                        {s("micFsCurrentExceptions"), lines},
                        {s("userILevels"), users},
                        {s("servicesIsolatedStatus"), 3},
                        {s("services"), services}});
        QCOMPARE(module.findChild<QListView *>(s("unprotectedFilesListWidget"))->model()->rowCount(), 100000);
        // As many rules are sorted on another thread; the table fills after.
        QTRY_COMPARE(module.findChild<QTableView *>(s("tableViewFs"))->model()->rowCount(), 100000);
        QCOMPARE(module.findChild<QTreeView *>(s("treeViewServices"))->model()->rowCount(), 10000);
        module.grab();
    }

    void levelsOutOfRange()
    {
        ExpertModeWidget page(nullptr, nullptr);
        page.setData({{s("micFutureLevel"), -1}});
        QCOMPARE(page.chosenIlev(), 255u); // a custom level, clamped to what a level can be
        page.setData({{s("micFutureLevel"), s("63")}});
        QCOMPARE(page.chosenIlev(), 63u);
        page.setData({{s("micFutureLevel"), QVariantList{}}});
        QCOMPARE(page.chosenIlev(), 0u);
    }
};

QTEST_MAIN(MalformedRepliesTest)
#include "malformedrepliestest.moc"
