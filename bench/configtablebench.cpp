// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

// Loading the rule and exception tables of the expert page and painting the
// rule table for the first time, at several sizes, side by side with building
// and sorting the same keys in a bare container.
#include "benchtable.h"
#include "staterootfixture.h"

#include <expertmodewidget.h>
#include <fsconfigmodel.h>
#include <settings.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTimer>
#include <QFile>
#include <QTabWidget>
#include <QTableView>
#include <QLineEdit>
#include <QComboBox>
#include <QSortFilterProxyModel>
#include <QTemporaryDir>

#include <algorithm>

namespace
{
constexpr int runs = 3;

QVariantMap replyWith(int rules, int exceptions)
{
    QVariantHash items;
    items.reserve(rules);
    const QStringList levels{QStringLiteral("high"), QStringLiteral("0x3f"), QStringLiteral("15"), QStringLiteral("0b111")};
    for (int i = 0; i < rules; ++i) {
        items.insert(QStringLiteral("/srv/data/dir%1/file%2").arg(i % 997).arg(i), levels.at(i % levels.size()));
    }
    QStringList exceptionPaths;
    for (int i = 0; i < exceptions; ++i) {
        exceptionPaths.append(QStringLiteral("/var/cache/item%1").arg(i));
    }
    return {{Mic::Settings::rulesKey, items},
            {Mic::Settings::defaultRulesKey, items},
            {Mic::Settings::exceptionsKey, exceptionPaths},
            {Mic::Settings::defaultExceptionsKey, exceptionPaths},
            {Mic::Settings::fsStatusKey, Mic::Settings::wire(Mic::Settings::Status::Enabled)},
            {Mic::Settings::futureLevelKey, 63u}};
}

// Typing into the rule table's filter: each character refilters the whole
// table and paints it, beside finding the same rows in a bare list.
void filterRows(const QVariantMap &reply, int rules)
{
    ExpertModeWidget page(nullptr, nullptr);
    page.findChild<QTabWidget *>(QStringLiteral("tabWidgetFs"))->setCurrentIndex(1);
    page.resize(900, 700);
    page.show();
    page.setData(reply);
    auto *view = page.findChild<QTableView *>(QStringLiteral("tableViewFs"));
    auto *model = qobject_cast<FsConfigModel *>(qobject_cast<QSortFilterProxyModel *>(view->model())->sourceModel());
    while (model->isLoading()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    QCoreApplication::processEvents();
    auto *filter = page.findChild<QLineEdit *>(QStringLiteral("lineEditFilterFs"));
    const QString typed = QStringLiteral("dir42/file");
    QVector<double> times;
    for (int length = 1; length <= typed.size(); ++length) {
        QElapsedTimer timer;
        timer.start();
        filter->setText(typed.left(length));
        view->grab();
        times.append(timer.nsecsElapsed() / 1e6);
    }
    QVector<double> baseline;
    const QStringList paths = reply.value(Mic::Settings::rulesKey).toHash().keys();
    for (int length = 1; length <= typed.size(); ++length) {
        const QString needle = typed.left(length);
        QElapsedTimer timer;
        timer.start();
        int found = 0;
        for (const QString &path : paths) {
            found += path.contains(needle, Qt::CaseInsensitive) ? 1 : 0;
        }
        baseline.append(timer.nsecsElapsed() / 1e6 + (found < 0 ? 1 : 0));
    }
    std::sort(times.begin(), times.end());
    BenchTable::printRow(QStringLiteral("rule table filtered by one typed character (slowest of %1: %2 ms)").arg(times.size()).arg(times.last(), 0, 'f', 0),
                         rules,
                         BenchTable::median(times),
                         QStringLiteral("substring search of a bare list"),
                         BenchTable::median(baseline));
}
}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    StateRootFixture state;
    state.writeCatalogue("0 1 3 7 15 31 63", "level.63 = High\n", 63);

    for (const int rules : {10000, 100000, 1000000}) {
        const QVariantMap reply = replyWith(rules, rules / 10);
        QVector<double> times;
        double longestBlock = 0;
        for (int run = 0; run < runs; ++run) {
            ExpertModeWidget page(nullptr, nullptr);
            page.findChild<QTabWidget *>(QStringLiteral("tabWidgetFs"))->setCurrentIndex(1);
            page.resize(900, 700);
            page.show();
            QCoreApplication::processEvents();
            auto *view = page.findChild<QTableView *>(QStringLiteral("tableViewFs"));
            auto *model = qobject_cast<FsConfigModel *>(qobject_cast<QSortFilterProxyModel *>(view->model())->sourceModel());
            // The longest time the event loop did not turn: what the
            // administrator feels as a frozen page.
            QElapsedTimer sinceTick;
            double block = 0;
            QTimer heartbeat;
            QObject::connect(&heartbeat, &QTimer::timeout, [&] {
                block = qMax(block, sinceTick.nsecsElapsed() / 1e6);
                sinceTick.restart();
            });
            QElapsedTimer timer;
            timer.start();
            sinceTick.start();
            heartbeat.start(1);
            page.setData(reply);
            block = qMax(block, sinceTick.nsecsElapsed() / 1e6);
            sinceTick.restart();
            while (model->isLoading()) {
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            }
            QCoreApplication::processEvents();
            view->grab();
            block = qMax(block, sinceTick.nsecsElapsed() / 1e6);
            times.append(timer.nsecsElapsed() / 1e6);
            longestBlock = qMax(longestBlock, block);
        }

        QVector<double> baseline;
        for (int run = 0; run < runs; ++run) {
            QElapsedTimer timer;
            timer.start();
            const QVariantHash items = reply.value(Mic::Settings::rulesKey).toHash();
            QHash<QString, QVariant> copy = items;
            QStringList keys = copy.keys();
            keys.sort(Qt::CaseSensitive);
            QStringList exceptions = reply.value(Mic::Settings::exceptionsKey).toStringList();
            baseline.append(timer.nsecsElapsed() / 1e6);
        }
        filterRows(reply, rules);
        BenchTable::printRow(QStringLiteral("rule table filled + first paint (%1 rules, %2 exceptions; longest freeze %3 ms)")
                                 .arg(rules)
                                 .arg(rules / 10)
                                 .arg(longestBlock, 0, 'f', 0),
                             rules,
                             BenchTable::median(times),
                             QStringLiteral("sorted keys in a bare container"),
                             BenchTable::median(baseline));
    }
    return 0;
}
