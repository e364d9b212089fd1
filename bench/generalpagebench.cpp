// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

// Showing a read reply on the general page with many users and many
// unprotected files, painted, side by side with filling bare containers with
// the same data.
#include "benchtable.h"
#include "staterootfixture.h"

#include <micmanagementmodule.h>

#include <ksec_sim.h>
#include <settings.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QListView>
#include <QToolButton>
#include <QTemporaryDir>

#include <algorithm>

namespace
{
constexpr int userCount = 5000;
constexpr int lineCount = 10000;
constexpr int runs = 5;
constexpr int longListLines = 1000000;

struct ListTimes {
    QVector<double> open;
    QVector<double> scroll;
};

// Opens the list of unprotected files of a page that shows `lines`, and
// scrolls it to its end, each painted.
ListTimes timeUnprotectedList(const QStringList &lines)
{
    MicManagementModule module(nullptr, {});
    module.resize(1000, 900);
    module.setData({{Mic::Settings::micStatusKey, Mic::Settings::wire(Mic::Settings::Status::Enabled)}, {Mic::Settings::fsStatusKey, Mic::Settings::wire(Mic::Settings::Status::Partly)}, {Mic::Settings::fsStatusMessagesKey, lines}});
    module.grab();
    auto *button = module.findChild<QToolButton *>(QStringLiteral("showUnprotectedFilesButton"));
    auto *list = module.findChild<QListView *>(QStringLiteral("unprotectedFilesListWidget"));
    ListTimes times;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        button->setChecked(true);
        module.grab();
        times.open.append(timer.nsecsElapsed() / 1e6);
        timer.restart();
        list->scrollToBottom();
        list->viewport()->grab();
        list->scrollToTop();
        list->viewport()->grab();
        times.scroll.append(timer.nsecsElapsed() / 1e6 / 2);
        button->setChecked(false);
        module.grab();
    }
    return times;
}

QStringList unprotectedLines(int count)
{
    QStringList lines;
    lines.reserve(count);
    for (int i = 0; i < count; ++i) {
        lines.append(QStringLiteral("/srv/data/d%1/file%2 (level 7, configured 63)").arg(i / 1000).arg(i));
    }
    return lines;
}
}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    StateRootFixture state;
    state.writeCatalogue("0 1 3 7 15 31 63", "level.0 = Low\nlevel.15 = Upper\nlevel.63 = High\n", 63);

    QFile passwd(state.root() + QStringLiteral("/passwd"));
    passwd.open(QIODevice::WriteOnly);
    QVariantHash levels;
    for (int i = 0; i < userCount; ++i) {
        const QString name = QStringLiteral("user%1").arg(i, 5, 10, QLatin1Char('0'));
        passwd.write(QStringLiteral("%1:x:%2:%2:User %2:/home/%1:/bin/sh\n").arg(name).arg(1000 + i).toUtf8());
        levels.insert(name, QVariant::fromValue<uint>(i % 3 == 0 ? 63u : i % 3 == 1 ? 15u : 0u));
    }
    passwd.close();
    qputenv("USERLIST_PASSWD_FILE", QFile::encodeName(passwd.fileName()));

    QStringList lines;
    for (int i = 0; i < lineCount; ++i) {
        lines.append(QStringLiteral("/srv/data/file%1 (level 7, configured 63)").arg(i));
    }
    const QVariantMap reply{{Mic::Settings::micStatusKey, Mic::Settings::wire(Mic::Settings::Status::Enabled)},
                            {Mic::Settings::fsStatusKey, Mic::Settings::wire(Mic::Settings::Status::Partly)},
                            {Mic::Settings::servicesIsolatedStatusKey, Mic::Settings::wire(Mic::Settings::Status::Partly)},
                            {Mic::Settings::fsStatusMessagesKey, lines},
                            {Mic::Settings::userLevelsKey, levels},
                            {Mic::Settings::futureLevelKey, 63u}};

    QVector<double> times;
    unsigned long catalogueReads = 0;
    for (int run = 0; run < runs; ++run) {
        MicManagementModule module(nullptr, {});
        module.findChild<QComboBox *>(QStringLiteral("userFilterComboBox"))->setCurrentIndex(0);
        module.resize(1000, 900);
        const unsigned long readsBefore = ksec_sim_catalogue_reads();
        QElapsedTimer timer;
        timer.start();
        module.setData(reply);
        module.grab(); // lays out and paints the page with the table
        times.append(timer.nsecsElapsed() / 1e6);
        catalogueReads = ksec_sim_catalogue_reads() - readsBefore;
    }

    QVector<double> baseline;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        QHash<QString, uint> plainLevels;
        for (auto it = levels.cbegin(); it != levels.cend(); ++it) {
            plainLevels.insert(it.key(), it.value().toUInt());
        }
        QStringList keys = plainLevels.keys();
        std::sort(keys.begin(), keys.end());
        QStringList copy = lines;
        baseline.append(timer.nsecsElapsed() / 1e6);
    }

    BenchTable::printRow(QStringLiteral("general page setData + paint (%1 users, %2 lines; catalogue reads: %3)")
                             .arg(userCount)
                             .arg(lineCount)
                             .arg(catalogueReads),
                         userCount,
                         BenchTable::median(times),
                         QStringLiteral("bare containers"),
                         BenchTable::median(baseline));

    const ListTimes longList = timeUnprotectedList(unprotectedLines(longListLines));
    const ListTimes shortList = timeUnprotectedList(unprotectedLines(10));
    BenchTable::printRow(QStringLiteral("unprotected files list: opening, painted"),
                         longListLines,
                         BenchTable::median(longList.open),
                         QStringLiteral("the same with 10 lines"),
                         BenchTable::median(shortList.open));
    BenchTable::printRow(QStringLiteral("unprotected files list: scrolling to the end or the top, painted"),
                         longListLines,
                         BenchTable::median(longList.scroll),
                         QStringLiteral("the same with 10 lines"),
                         BenchTable::median(shortList.scroll));
    return 0;
}
