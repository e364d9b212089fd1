// Takes the screenshots of the administrator's guide from the module running
// over the demo system: the general page, each tab of the expert page and the
// level dialog, written as PNG files into the folder given as argument.
#include <ilevelselectdialog.h>
#include <micmanagementmodule.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QElapsedTimer>
#include <QFileSystemModel>
#include <QIcon>
#include <QStandardPaths>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeView>

#include <cstdio>

namespace
{
void waitFor(const std::function<bool()> &condition, int ms = 30000)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition() && clock.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
}

void settle()
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 300) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
}

bool save(QWidget *widget, const QDir &folder, const char *name)
{
    settle();
    const QString path = folder.filePath(QString::fromLatin1(name) + QStringLiteral(".png"));
    const bool saved = widget->grab().save(path);
    std::printf("%s %s\n", saved ? "wrote" : "could not write", qPrintable(path));
    return saved;
}

// Opens the tree on the demo's files, so the picture shows labelled objects.
void openTreeOn(QTreeView *tree, const QString &path)
{
    auto *model = qobject_cast<QFileSystemModel *>(tree->model());
    QStringList parts;
    for (QString step = path; step != QStringLiteral("/") && !step.isEmpty(); step = QFileInfo(step).path()) {
        parts.prepend(step);
    }
    for (const QString &part : std::as_const(parts)) {
        const QModelIndex index = model->index(part);
        tree->expand(index);
        waitFor([&] {
            return !model->canFetchMore(index);
        }, 5000);
        settle();
    }
    tree->scrollTo(model->index(path), QAbstractItemView::PositionAtTop);
}
}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    // The pictures show the icons of a KDE desktop, which the platform
    // without a display neither picks nor looks for by itself.
    QIcon::setThemeSearchPaths(QIcon::themeSearchPaths()
                               + QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, QStringLiteral("icons"), QStandardPaths::LocateDirectory));
    QIcon::setThemeName(QStringLiteral("breeze"));
    if (argc < 2) {
        std::fprintf(stderr, "usage: screenshooter OUTPUT-FOLDER\n");
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    QDir().mkpath(folder.path());

    MicManagementModule module(nullptr, {});
    module.resize(900, 860);
    module.show();
    waitFor([&] {
        return !module.isReading();
    });
    module.access();
    waitFor([&] {
        return !module.isReading();
    });
    module.findChild<QComboBox *>(QStringLiteral("userFilterComboBox"))->setCurrentIndex(0);
    bool ok = save(&module, folder, "general");
    module.findChild<QToolButton *>(QStringLiteral("showUnprotectedFilesButton"))->click();
    ok &= save(&module, folder, "general-unprotected");
    module.findChild<QToolButton *>(QStringLiteral("showUnprotectedFilesButton"))->click();

    module.findChild<QPushButton *>(QStringLiteral("expertModeButton"))->click();
    auto *tree = module.findChild<QTreeView *>(QStringLiteral("treeViewMic"));
    openTreeOn(tree, QDir::cleanPath(qEnvironmentVariable("MIC_STATE_ROOT") + QStringLiteral("/srv/demo/bin")));
    ok &= save(&module, folder, "expert-tree");
    auto *subTabs = module.findChild<QTabWidget *>(QStringLiteral("tabWidgetFs"));
    subTabs->setCurrentIndex(1);
    ok &= save(&module, folder, "expert-rules");
    subTabs->setCurrentIndex(2);
    ok &= save(&module, folder, "expert-exceptions");
    module.findChild<QTabWidget *>(QStringLiteral("tabWidgetExpert"))->setCurrentIndex(1);
    ok &= save(&module, folder, "expert-services");

    ILevelSelectDialog dialog(&module);
    dialog.setILevel(15);
    dialog.show();
    ok &= save(&dialog, folder, "level-dialog");
    dialog.hide();

    // A save that protects the file system: what it did stays in view. It
    // changes the demo system, so it comes after the pages above.
    module.findChild<QPushButton *>(QStringLiteral("goBackButton"))->click();
    module.findChild<QCheckBox *>(QStringLiteral("protectFsCheckBox"))->click();
    module.save();
    waitFor([&] {
        return !module.isSaving() && !module.isReading();
    });
    settle();
    ok &= save(&module, folder, "general-saved");

    // A read that fails: nothing stale stays on the page.
    QFile config(QDir::cleanPath(qEnvironmentVariable("MIC_STATE_ROOT") + QStringLiteral("/etc/kestrel/fs-ilev.conf")));
    if (config.open(QIODevice::Append)) {
        config.write("a line the helper cannot read\n");
        config.close();
    }
    module.load();
    waitFor([&] {
        return !module.isReading();
    });
    settle();
    ok &= save(&module, folder, "general-read-failed");
    return ok ? 0 : 1;
}
