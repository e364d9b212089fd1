// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

// Takes the screenshots of the administrator's guide from the module running
// over the demo system: the general page, each tab of the expert page and the
// level dialog, written as PNG files into the folder given as argument.
// general-progress.png is not among them: it shows a save protecting a
// million objects, taken in kcmshell5 over the real helper.
#include <ilevelselectdialog.h>
#include <micmanagementmodule.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QElapsedTimer>
#include <QFileSystemModel>
#include <QFont>
#include <QIcon>
#include <QLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>
#include <QStyle>
#include <QTabWidget>
#include <QTimer>
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
void openTreeOn(QTreeView *tree, const QString &root, const QString &path)
{
    auto *model = qobject_cast<QFileSystemModel *>(tree->model());
    // From the demo's state root, which stands for the root of the demo
    // system: the rest of the machine's file system differs from one machine
    // and one run to the next, and so would the picture.
    tree->setRootIndex(model->index(root));
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
    // Nor Qt's own font, which kcmshell5 shows the page in on a machine
    // without a desktop's theme, and which sets the size of its window.
    QApplication::setFont(QFont(QStringLiteral("Sans Serif"), 9));
    if (argc < 2) {
        std::fprintf(stderr, "usage: screenshooter OUTPUT-FOLDER\n");
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    const QString stateRoot = QDir::cleanPath(qEnvironmentVariable("MIC_STATE_ROOT"));
    QDir().mkpath(folder.path());

    MicManagementModule module(nullptr, {});
    // As kcmshell5's default window shows the page: the host replaces the
    // page's own margins with those of a frame of its own (a widget's
    // default margins), makes that frame as wide as its size hint and the
    // room it keeps for a vertical scroll bar (the bar and 4 pixels), and as
    // tall as it asks to be at the width of its size hint.
    module.ensurePolished();
    QStyle *style = module.style();
    module.layout()->setContentsMargins(style->pixelMetric(QStyle::PM_LayoutLeftMargin),
                                        style->pixelMetric(QStyle::PM_LayoutTopMargin),
                                        style->pixelMetric(QStyle::PM_LayoutRightMargin),
                                        style->pixelMetric(QStyle::PM_LayoutBottomMargin));
    // Nor does the host hold the page to its minimum size.
    module.layout()->setSizeConstraint(QLayout::SetNoConstraint);
    const int hintWidth = module.sizeHint().width();
    module.resize(hintWidth + style->pixelMetric(QStyle::PM_ScrollBarExtent) + 4, module.heightForWidth(hintWidth));
    std::printf("page size %dx%d\n", module.width(), module.height());
    // A page taller than that scrolls in the host, which lays it out at the
    // height it asks for: the picture shows it so, whole.
    const QSize window = module.size();
    const auto savePage = [&module, &folder, window](const char *name) {
        settle();
        module.resize(window.width(), qMax(window.height(), module.heightForWidth(window.width())));
        const bool saved = save(&module, folder, name);
        module.resize(window);
        return saved;
    };
    module.show();
    waitFor([&] {
        return !module.isReading();
    });
    module.access();
    waitFor([&] {
        return !module.isReading();
    });
    module.findChild<QComboBox *>(QStringLiteral("userFilterComboBox"))->setCurrentIndex(0);
    bool ok = savePage("general");
    module.findChild<QToolButton *>(QStringLiteral("showUnprotectedFilesButton"))->click();
    ok &= savePage("general-unprotected");
    module.findChild<QToolButton *>(QStringLiteral("showUnprotectedFilesButton"))->click();

    module.findChild<QPushButton *>(QStringLiteral("expertModeButton"))->click();
    auto *tree = module.findChild<QTreeView *>(QStringLiteral("treeViewMic"));
    openTreeOn(tree, stateRoot, stateRoot + QStringLiteral("/srv/demo/bin"));
    ok &= savePage("expert-tree");
    auto *subTabs = module.findChild<QTabWidget *>(QStringLiteral("tabWidgetFs"));
    subTabs->setCurrentIndex(1);
    ok &= savePage("expert-rules");
    subTabs->setCurrentIndex(2);
    ok &= savePage("expert-exceptions");
    module.findChild<QTabWidget *>(QStringLiteral("tabWidgetExpert"))->setCurrentIndex(1);
    ok &= savePage("expert-services");

    ILevelSelectDialog dialog(&module);
    dialog.setILevel(15);
    dialog.show();
    ok &= save(&dialog, folder, "level-dialog");
    dialog.hide();

    // A save that protects the file system: what it did stays in view. It
    // changes the demo system, so it comes after the pages above.
    module.findChild<QPushButton *>(QStringLiteral("goBackButton"))->click();
    module.findChild<QCheckBox *>(QStringLiteral("protectFsCheckBox"))->click();
    // Protecting lowers a label of the demo: the page asks first, and the
    // question is pictured and answered Yes.
    QTimer question;
    QObject::connect(&question, &QTimer::timeout, &module, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || box->button(QMessageBox::Yes) == nullptr) {
            return;
        }
        question.stop();
        ok &= save(box, folder, "lowering-question");
        box->button(QMessageBox::Yes)->click();
    });
    question.start(100);
    module.save();
    waitFor([&] {
        return !module.isSaving() && !module.isReading();
    });
    settle();
    ok &= savePage("general-saved");

    // A read that fails: nothing stale stays on the page.
    QFile config(stateRoot + QStringLiteral("/etc/kestrel/fs-ilev.conf"));
    if (config.open(QIODevice::Append)) {
        config.write("a line the helper cannot read\n");
        config.close();
    }
    module.load();
    waitFor([&] {
        return !module.isReading();
    });
    settle();
    ok &= savePage("general-read-failed");
    return ok ? 0 : 1;
}
