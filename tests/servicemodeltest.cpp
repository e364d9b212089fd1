// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

// The service isolation table, its counters and the map form of a service.
#include "modelsignals.h"
#include "staterootfixture.h"

#include <servicemodel.h>

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace
{
Mic::ServiceInfo service(const QString &name, bool isolatable, bool isolated, bool error = false)
{
    Mic::ServiceInfo info;
    info.name = name;
    info.isIsolatable = isolatable;
    info.isIsolated = isolated;
    info.isError = error;
    info.levelDisplayName = QStringLiteral("level of ") + name;
    info.toolTip = QStringLiteral("tip of ") + name;
    return info;
}

QStringList isolatedNames(const ServiceModel &model)
{
    QStringList names;
    for (const Mic::ServiceInfo &info : model.servicesInfo()) {
        if (info.isIsolated) {
            names.append(info.name);
        }
    }
    return names;
}
}

Q_DECLARE_METATYPE(QList<Mic::ServiceInfo>)

class ServiceModelTest : public QObject
{
    Q_OBJECT
private:
    StateRootFixture state;
    std::unique_ptr<ServiceModel> model;
    std::unique_ptr<QAbstractItemModelTester> tester;

    bool setChecked(int row, Qt::CheckState checkState)
    {
        return model->setData(model->index(row, ServiceModel::IsolateColumn), int(checkState), Qt::CheckStateRole);
    }

private Q_SLOTS:
    void initTestCase()
    {
        qRegisterMetaType<Qt::CheckState>();
        state.writeCatalogue("0 1 3 7 15 31 63", "level.63 = High\n", 63);
    }

    void init()
    {
        model = std::make_unique<ServiceModel>();
        tester = std::make_unique<QAbstractItemModelTester>(model.get(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    }

    void cleanup()
    {
        tester.reset();
        model.reset();
    }

    void listsOnlyIsolatableServices()
    {
        QSignalSpy aggregate(model.get(), &ServiceModel::isolatedChanged);
        ModelSignals told(model.get());
        model->setServicesInfo({service(QStringLiteral("a"), true, true),
                                service(QStringLiteral("hidden"), false, true),
                                service(QStringLiteral("b"), true, false, true)});
        QCOMPARE(model->rowCount(), 2);
        QCOMPARE(model->columnCount(), 3);
        QCOMPARE(model->servicesInfo().at(1), service(QStringLiteral("b"), true, false, true));
        QCOMPARE(told.take(), QStringLiteral("modelReset"));

        model->setServicesInfo({});
        QCOMPARE(model->rowCount(), 0);
        QVERIFY(model->servicesInfo().isEmpty());
        QCOMPARE(aggregate.count(), 0);
    }

    // Isolated services that are not listed, or are in error, keep counting
    // as isolated, so the aggregate never reads "all" while they exist.
    void aggregateState_data()
    {
        QTest::addColumn<QList<Mic::ServiceInfo>>("services");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("checkState");
        QTest::addColumn<int>("aggregate");

        const Mic::ServiceInfo a = service(QStringLiteral("a"), true, true);
        const Mic::ServiceInfo b = service(QStringLiteral("b"), true, false);
        QTest::newRow("all listed isolated") << QList<Mic::ServiceInfo>{a, b} << 1 << int(Qt::Checked) << int(Qt::Checked);
        QTest::newRow("not isolatable but isolated") << QList<Mic::ServiceInfo>{a, service(QStringLiteral("x"), false, true), b} << 1 << int(Qt::Checked)
                                                     << int(Qt::PartiallyChecked);
        QTest::newRow("isolated in error") << QList<Mic::ServiceInfo>{a, b, service(QStringLiteral("e"), true, true, true)} << 1 << int(Qt::Checked)
                                           << int(Qt::PartiallyChecked);
        QTest::newRow("not isolated in error") << QList<Mic::ServiceInfo>{a, b, service(QStringLiteral("e"), true, false, true)} << 1 << int(Qt::Checked)
                                               << int(Qt::Checked);
        QTest::newRow("some isolated") << QList<Mic::ServiceInfo>{a, service(QStringLiteral("c"), true, true)} << 0 << int(Qt::Unchecked)
                                       << int(Qt::PartiallyChecked);
        QTest::newRow("last one unchecked") << QList<Mic::ServiceInfo>{a, b} << 0 << int(Qt::Unchecked) << int(Qt::Unchecked);
        // Three isolated services for three isolatable ones, but "c" is not.
        QTest::newRow("unlisted does not stand in for a listed one")
            << QList<Mic::ServiceInfo>{a, b, service(QStringLiteral("c"), true, false), service(QStringLiteral("x"), false, true)} << 1 << int(Qt::Checked)
            << int(Qt::PartiallyChecked);
        QTest::newRow("unlisted keeps it partial") << QList<Mic::ServiceInfo>{a, b, service(QStringLiteral("x"), false, true)} << 0 << int(Qt::Unchecked)
                                                   << int(Qt::PartiallyChecked);
    }

    void aggregateState()
    {
        QFETCH(QList<Mic::ServiceInfo>, services);
        QFETCH(int, row);
        QFETCH(int, checkState);
        QFETCH(int, aggregate);
        model->setServicesInfo(services);
        ModelSignals told(model.get());
        QSignalSpy isolated(model.get(), &ServiceModel::isolatedChanged);

        QVERIFY(setChecked(row, Qt::CheckState(checkState)));
        QCOMPARE(model->index(row, ServiceModel::IsolateColumn).data(Qt::CheckStateRole).toInt(), checkState);
        QCOMPARE(told.take(),
                 QStringLiteral("dataChanged %1,%2-%1,%2 checkState, dataChanged %1,%3-%1,%3")
                     .arg(row)
                     .arg(int(ServiceModel::IsolateColumn))
                     .arg(int(ServiceModel::LevelColumn)));
        QCOMPARE(isolated.count(), 1);
        QCOMPARE(isolated.at(0).at(0).value<Qt::CheckState>(), Qt::CheckState(aggregate));
    }

    void setDataRules()
    {
        model->setServicesInfo({service(QStringLiteral("a"), true, true), service(QStringLiteral("b"), true, false)});
        ModelSignals told(model.get());
        QSignalSpy isolated(model.get(), &ServiceModel::isolatedChanged);

        QVERIFY(setChecked(0, Qt::Checked)); // already so: accepted, nothing emitted
        QVERIFY(!setChecked(1, Qt::PartiallyChecked));
        QVERIFY(!model->setData(model->index(1, ServiceModel::NameColumn), int(Qt::Checked), Qt::CheckStateRole));
        QVERIFY(!model->setData(model->index(1, ServiceModel::IsolateColumn), int(Qt::Checked), Qt::EditRole));
        QVERIFY(!model->setData(QModelIndex(), int(Qt::Checked), Qt::CheckStateRole));
        QCOMPARE(told.take(), QString());
        QCOMPARE(isolated.count(), 0);
        QCOMPARE(isolatedNames(*model), QStringList{QStringLiteral("a")});

        // Anything but "checked" means not isolated.
        QVERIFY(model->setData(model->index(0, ServiceModel::IsolateColumn), 7, Qt::CheckStateRole));
        QVERIFY(isolatedNames(*model).isEmpty());
    }

    void setIsolatedLeavesErrorsAlone()
    {
        model->setServicesInfo({service(QStringLiteral("a"), true, false),
                                service(QStringLiteral("broken"), true, false, true),
                                service(QStringLiteral("b"), true, true),
                                service(QStringLiteral("failed"), true, true, true)});
        QSignalSpy isolated(model.get(), &ServiceModel::isolatedChanged);

        model->setIsolated(Qt::PartiallyChecked);
        QCOMPARE(isolated.count(), 0);

        model->setIsolated(Qt::Checked);
        QCOMPARE(isolatedNames(*model), (QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("failed")}));
        QCOMPARE(isolated.count(), 1);
        // "failed" is isolated but not isolatable: the aggregate stays partial.
        QCOMPARE(isolated.at(0).at(0).value<Qt::CheckState>(), Qt::PartiallyChecked);

        model->setIsolated(Qt::Checked);
        QCOMPARE(isolated.count(), 1);

        // Unchecking "a" leaves two isolated services for two isolatable
        // ones, yet "b" is the only isolatable one isolated: not "all".
        model->setIsolated(Qt::Unchecked);
        QCOMPARE(isolatedNames(*model), QStringList{QStringLiteral("failed")});
        QCOMPARE(isolated.count(), 3);
        QCOMPARE(isolated.at(1).at(0).value<Qt::CheckState>(), Qt::PartiallyChecked);
        QCOMPARE(isolated.at(2).at(0).value<Qt::CheckState>(), Qt::PartiallyChecked);
    }

    void cellsAndHeaders()
    {
        model->setServicesInfo({service(QStringLiteral("a"), true, true), service(QStringLiteral("broken"), true, false, true)});
        const QModelIndex name = model->index(0, ServiceModel::NameColumn);
        const QModelIndex check = model->index(0, ServiceModel::IsolateColumn);
        const QModelIndex level = model->index(0, ServiceModel::LevelColumn);
        QCOMPARE(name.data().toString(), QStringLiteral("a"));
        QVERIFY(!check.data().isValid());
        QCOMPARE(check.data(Qt::CheckStateRole), QVariant(int(Qt::Checked)));
        QVERIFY(!name.data(Qt::CheckStateRole).isValid());
        QCOMPARE(level.data().toString(), QStringLiteral("level of a"));
        QCOMPARE(model->index(1, ServiceModel::IsolateColumn).data(Qt::CheckStateRole), QVariant(int(Qt::Unchecked)));
        for (int column = 0; column < 3; ++column) {
            QCOMPARE(model->index(0, column).data(Qt::ToolTipRole).toString(), QStringLiteral("tip of a"));
        }
        QVERIFY(!name.data(Qt::EditRole).isValid());

        const Qt::ItemFlags enabled = Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
        QCOMPARE(model->flags(name), enabled);
        QCOMPARE(model->flags(check), enabled | Qt::ItemIsUserCheckable);
        QCOMPARE(model->flags(QModelIndex()), Qt::ItemFlags(Qt::NoItemFlags));

        // A service in error shows no level and cannot be changed in the view.
        QVERIFY(!model->index(1, ServiceModel::LevelColumn).data().isValid());
        QCOMPARE(model->index(1, ServiceModel::NameColumn).data().toString(), QStringLiteral("broken"));
        QCOMPARE(model->flags(model->index(1, ServiceModel::IsolateColumn)), (enabled & ~Qt::ItemIsEnabled) | Qt::ItemIsUserCheckable);
        QCOMPARE(model->flags(model->index(1, ServiceModel::LevelColumn)), enabled & ~Qt::ItemIsEnabled);

        QCOMPARE(model->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Service"));
        QCOMPARE(model->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Isolate"));
        QCOMPARE(model->headerData(2, Qt::Horizontal).toString(), QStringLiteral("Current integrity level"));
        QCOMPARE(model->headerData(1, Qt::Vertical).toInt(), 2);
        for (Qt::Orientation orientation : {Qt::Horizontal, Qt::Vertical}) {
            const QVariant alignment = model->headerData(4, orientation, Qt::TextAlignmentRole);
            QCOMPARE(alignment.userType(), int(QMetaType::UInt));
            QCOMPARE(alignment.toUInt(), 129u);
        }
    }

    void shownAsRead()
    {
        const Mic::ServiceInfo read = Mic::serviceInfoOf({QStringLiteral("cups"), 63, true, true, false});
        QCOMPARE(read.name, QStringLiteral("cups"));
        QCOMPARE(read.toolTip, QStringLiteral("cups"));
        QCOMPARE(read.levelDisplayName, QStringLiteral("63 - High"));
        QVERIFY(read.isIsolatable && read.isIsolated && !read.isError);

        const Mic::ServiceInfo empty = Mic::serviceInfoOf({});
        QVERIFY(empty.name.isEmpty() && !empty.isIsolatable && !empty.isIsolated && !empty.isError);
        QCOMPARE(empty.levelDisplayName, QStringLiteral("0"));

        // A service that cannot be isolated says why.
        const Mic::ServiceInfo failed = Mic::serviceInfoOf({QStringLiteral("cups"), 63, true, false, true});
        QCOMPARE(failed.toolTip, QStringLiteral("cups is in error: its isolation cannot be changed until the error is mended."));
        QCOMPARE(empty.toolTip, QStringLiteral(" cannot be started on an isolated level."));
    }
};

QTEST_MAIN(ServiceModelTest)
#include "servicemodeltest.moc"
