// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

// Opening a directory of many labelled files in the file-system level tree,
// until its rows are laid out and the visible ones painted, side by side with
// a plain file-system model in the same kind of view. Also counts how often
// the label library is asked per shown level cell.
#include "benchtable.h"
#include "staterootfixture.h"

#include <micfilesystemmodel.h>

#include <ksec_sim.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHeaderView>
#include <QScrollBar>
#include <QSet>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>

#include <sys/xattr.h>

#include <algorithm>
#include <memory>

namespace
{
constexpr int fileCount = 10000;
constexpr int runs = 5;

bool layOutFiles(const QString &dir)
{
    static const QByteArray labels[] = {"0", "7", "15", "63"};
    for (int i = 0; i < fileCount; ++i) {
        const QString path = QStringLiteral("%1/file%2").arg(dir).arg(i, 5, 10, QLatin1Char('0'));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly)) {
            return false;
        }
        file.close();
        const QByteArray &label = labels[i % 4];
        if (::lsetxattr(QFile::encodeName(path).constData(), "security.kestrel.ilev", label.constData(), label.size(), 0) != 0) {
            return false;
        }
    }
    return true;
}

// Level tree whose level columns report the cells the view asked for.
class CountingModel : public MicFileSystemModel
{
public:
    mutable QSet<QPersistentModelIndex> shownCells;

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (index.column() == CurrentLevelColumn && role == Qt::DisplayRole) {
            shownCells.insert(index);
        }
        return MicFileSystemModel::data(index, role);
    }
};

// The tree view as the expert page sets it up.
std::unique_ptr<QTreeView> makeView(QFileSystemModel *model)
{
    auto view = std::make_unique<QTreeView>();
    view->resize(1000, 800);
    view->setModel(model);
    QHeaderView *header = view->header();
    header->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    if (model->columnCount() > MicFileSystemModel::ConfigLevelColumn) {
        header->setSectionResizeMode(MicFileSystemModel::CurrentLevelColumn, QHeaderView::ResizeToContents);
        header->setSectionResizeMode(MicFileSystemModel::ConfigLevelColumn, QHeaderView::ResizeToContents);
        header->moveSection(MicFileSystemModel::CurrentLevelColumn, 1);
        header->moveSection(MicFileSystemModel::ConfigLevelColumn, 2);
    }
    view->show();
    return view;
}

void settle()
{
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
}

// Opens `dir` in `view` and returns the milliseconds until it is painted.
double openAndPaint(QFileSystemModel *model, QTreeView *view, const QString &dir)
{
    QEventLoop loaded;
    QObject::connect(model, &QFileSystemModel::directoryLoaded, &loaded, [&](const QString &path) {
        if (path == dir) {
            loaded.quit();
        }
    });
    QTimer::singleShot(60000, &loaded, &QEventLoop::quit);

    QElapsedTimer timer;
    timer.start();
    model->setRootPath(dir);
    view->setRootIndex(model->index(dir));
    loaded.exec();
    settle();
    view->grab();
    const double ms = timer.nsecsElapsed() / 1e6;
    if (model->rowCount(model->index(dir)) != fileCount) {
        qFatal("directory not loaded: %d rows", model->rowCount(model->index(dir)));
    }
    return ms;
}

}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    StateRootFixture state;
    state.writeCatalogue("0 1 3 7 15 31 63", "level.0 = Low\nlevel.15 = Upper\nlevel.63 = High\n", 63);
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/mic-tree-bench-XXXXXX"));
    if (!layOutFiles(dir.path())) {
        qWarning("cannot lay out the files (labels need root)");
        return 1;
    }

    // The two take turns, so that both meet the same caches.
    QVector<double> times;
    QVector<double> baseline;
    for (int run = 0; run < runs; ++run) {
        {
            MicFileSystemModel model;
            model.setCurrentConfigLevels({{dir.path() + QStringLiteral("/file00001"), QStringLiteral("high")}});
            const auto view = makeView(&model);
            times.append(openAndPaint(&model, view.get(), dir.path()));
        }
        {
            QFileSystemModel model;
            const auto view = makeView(&model);
            baseline.append(openAndPaint(&model, view.get(), dir.path()));
        }
    }

    // Label reads per cell the view asked for, and on later repaints.
    CountingModel model;
    const auto view = makeView(&model);
    const unsigned long readsBefore = ksec_sim_label_reads();
    openAndPaint(&model, view.get(), dir.path());
    const unsigned long firstReads = ksec_sim_label_reads() - readsBefore;
    const int firstCells = model.shownCells.size();
    view->verticalScrollBar()->setValue(view->verticalScrollBar()->maximum() / 2);
    view->grab();
    view->verticalScrollBar()->setValue(0);
    view->grab();
    view->grab();
    const unsigned long allReads = ksec_sim_label_reads() - readsBefore;
    const double readsPerCell = model.shownCells.isEmpty() ? 0.0 : double(allReads) / model.shownCells.size();

    BenchTable::printRow(QStringLiteral("level tree: open + paint a directory (label reads per shown cell: %1; first paint %2 reads for %3 cells, %4 in all)")
                             .arg(readsPerCell, 0, 'f', 2)
                             .arg(firstReads)
                             .arg(firstCells)
                             .arg(model.shownCells.size()),
                         fileCount,
                         BenchTable::median(times),
                         QStringLiteral("plain file-system model"),
                         BenchTable::median(baseline));
    return 0;
}
