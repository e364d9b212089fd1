// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "expertmodewidget.h"
#include "ui_expertmodewidget.h"

#include "commitabletableview.h"
#include "exceptionmodel.h"
#include "fsconfigmodel.h"
#include "miccomboboxdelegate.h"
#include "micfiledialogdelegate.h"
#include "micfilesystemmodel.h"
#include "pathfilterproxymodel.h"
#include "serviceinfo.h"
#include "servicemodel.h"
#include "sharedsettings.h"

#include <constants.h>
#include <printable.h>
#include <utils.h>
#include <settingvalues.h>

#include <KLocalizedString>

#include <QAction>
#include <QCompleter>
#include <QDesktopServices>
#include <QMessageBox>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QUrl>

using Mic::Settings::Status;

namespace
{
constexpr int fileSystemTab = 0;
constexpr int configEditorTab = 1;
constexpr int exceptionsTab = 2;
constexpr int servicesTab = 1;
constexpr int rulePathColumn = 1;
constexpr int exceptionPathColumn = 0;
// Columns sized to their contents look at this many rows at most, so large
// tables and directories stay quick to show.
constexpr int resizePrecision = 500;

}

ExpertModeWidget::ExpertModeWidget(QPushButton *backButton, QWidget *parent, SharedSettings *shared)
    : QWidget(parent)
    , ui(new Ui_ExpertModeWidget)
    , shared(shared ? shared : new SharedSettings(this))
{
    ui->setupUi(this);

    ruleModel = new FsConfigModel(this);
    treeModel = new MicFileSystemModel(this);
    treeModel->setRootPath(QDir::rootPath());
    treeModel->setFilter(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    exceptionModel = new ExceptionModel(this);
    shownRules = new PathFilterProxyModel([rules = ruleModel](int row) -> const QString & { return rules->pathAt(row); },
                                          [rules = ruleModel](int row) { return rules->levelAt(row); }, this);
    shownRules->setSourceModel(ruleModel);
    shownExceptionRows = new PathFilterProxyModel([exceptions = exceptionModel](int row) -> const QString & { return exceptions->pathAt(row); }, nullptr, this);
    shownExceptionRows->setSourceModel(exceptionModel);
    serviceModel = new ServiceModel(this);
    // The models refuse an edit or warn of one; the page shows why.
    connect(ruleModel, &FsConfigModel::warned, this, &ExpertModeWidget::showWarning);
    connect(exceptionModel, &ExceptionModel::warned, this, &ExpertModeWidget::showWarning);
    connect(treeModel, &MicFileSystemModel::warned, this, &ExpertModeWidget::showWarning);

    nameIconButtons();
    setUpViews();
    fillLevelComboBox();
    connectReactions();
    setUpFilters();
    setUpPathField();

    ui->labelCustomLevel->hide();
    ui->spinBoxCustomLevel->hide();

    if (backButton) {
        connect(backButton, &QPushButton::clicked, this, &ExpertModeWidget::goBackRequest);
        ui->goBackButton->hide();
    } else {
        connect(ui->goBackButton, &QPushButton::clicked, this, &ExpertModeWidget::goBackRequest);
    }

    connect(ui->tableViewFs, &QAbstractItemView::pressed, this, [this](const QModelIndex &index) {
        ui->tableViewFs->commit();
        ui->tableViewFs->edit(index);
    });
    addShortcuts();
}

ExpertModeWidget::~ExpertModeWidget()
{
    delete ui;
}

void ExpertModeWidget::nameIconButtons()
{
    // These buttons show only an icon; assistive technology reads their tool
    // tip as their name. An icon theme without their icons would leave them
    // blank: they then show a short text.
    const QList<QPair<QPushButton *, QString>> iconButtons{
        {ui->pushButtonAdd, i18nc("@action:button a short text for an icon", "Add")},
        {ui->pushButtonRemove, i18nc("@action:button a short text for an icon", "Remove")},
        {ui->pushButtonClear, i18nc("@action:button a short text for an icon", "Clear")},
        {ui->pushButtonOpenConfig, i18nc("@action:button a short text for an icon", "Open")},
        {ui->pushButtonAddExc, i18nc("@action:button a short text for an icon", "Add")},
        {ui->pushButtonRemoveExc, i18nc("@action:button a short text for an icon", "Remove")},
        {ui->pushButtonClearExc, i18nc("@action:button a short text for an icon", "Clear")},
        {ui->pushButtonOpenConfigExc, i18nc("@action:button a short text for an icon", "Open")}};
    for (const auto &[button, text] : iconButtons) {
        button->setAccessibleName(button->toolTip());
        if (button->icon().isNull()) {
            // A text sets the button's shortcut to its mnemonic: keep "+".
            const QKeySequence shortcut = button->shortcut();
            button->setText(text);
            button->setShortcut(shortcut);
        }
    }
}

void ExpertModeWidget::setUpViews()
{
    QTreeView *tree = ui->treeViewMic;
    tree->setModel(treeModel);
    tree->setUniformRowHeights(true);
    tree->setEditTriggers(QAbstractItemView::CurrentChanged | QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
    tree->setItemDelegateForColumn(5, new MicComboBoxDelegate(this));
    QHeaderView *treeHeader = tree->header();
    treeHeader->setResizeContentsPrecision(resizePrecision);
    for (int column : {0, 4, 5}) {
        treeHeader->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    }
    treeHeader->moveSection(4, 1);
    treeHeader->moveSection(5, 2);

    CommitableTableView *rules = ui->tableViewFs;
    rules->setModel(shownRules);
    rules->setEditTriggers(QAbstractItemView::NoEditTriggers);
    rules->setSelectionMode(QAbstractItemView::SingleSelection);
    rules->setSelectionBehavior(QAbstractItemView::SelectRows);
    rules->setSortingEnabled(false);
    rules->horizontalHeader()->setHighlightSections(false);
    rules->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft);
    rules->horizontalHeader()->setResizeContentsPrecision(resizePrecision);
    rules->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    rules->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    rules->setItemDelegateForColumn(0, new MicComboBoxDelegate(this));
    rulePathDelegate = new MicFileDialogDelegate(shownRules, this);
    rules->setItemDelegateForColumn(1, rulePathDelegate);

    CommitableTableView *exceptions = ui->tableViewExc;
    exceptions->setModel(shownExceptionRows);
    exceptions->setSelectionMode(QAbstractItemView::SingleSelection);
    exceptions->setSortingEnabled(false);
    exceptions->horizontalHeader()->setHighlightSections(false);
    exceptions->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft);
    exceptions->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    exceptionPathDelegate = new MicFileDialogDelegate(shownExceptionRows, this);
    exceptions->setItemDelegateForColumn(0, exceptionPathDelegate);

    ui->treeViewServices->setModel(serviceModel);
}

void ExpertModeWidget::fillLevelComboBox()
{
    const QList<Mic::Level> levels = Mic::Utils::allLevels();
    for (const Mic::Level &level : levels) {
        if (Mic::Utils::isGoodLevel(level.value) && Mic::Utils::isLevelCoverUnderlyingLevels(level.value)) {
            ui->comboBoxLevel->addItem(level.name, QVariant::fromValue<uint>(level.value));
        }
    }
    ui->comboBoxLevel->addItem(i18n("<Other>"), QVariant());
}

void ExpertModeWidget::connectReactions()
{
    const auto changedAndReevaluated = [this] {
        Q_EMIT contentChanged();
        disableButtonForDefaultItems();
    };
    connect(ui->comboBoxLevel, QOverload<int>::of(&QComboBox::activated), this, &ExpertModeWidget::contentChanged);
    connect(ui->comboBoxLevel, QOverload<int>::of(&QComboBox::activated), this, &ExpertModeWidget::levelChosen);
    connect(ui->spinBoxCustomLevel, QOverload<int>::of(&QSpinBox::valueChanged), this, [this] {
        if (!showingLevel) {
            Q_EMIT contentChanged();
            Q_EMIT levelChosen();
        }
    });
    shared->showProtectionIn(ui->protectFsCheckBox);
    connect(shared, &SharedSettings::protectionEdited, this, &ExpertModeWidget::contentChanged);
    connect(ui->pushButtonDefaultItems, &QPushButton::clicked, this, &ExpertModeWidget::contentChanged);
    // The file-system model also reports what it learns of the files
    // (names, sizes, a label the helper set): only edits are changes.
    // The tree and the rule table show one set of edits: each edit of one
    // goes to the other.
    connect(treeModel, &QAbstractItemModel::dataChanged, this, [this, changedAndReevaluated](const QModelIndex &first, const QModelIndex &, const QVector<int> &roles) {
        if (roles.contains(Qt::EditRole)) {
            if (!syncingRules) {
                syncingRules = true;
                ruleModel->setRule(treeModel->filePath(first), first.data(Qt::UserRole).toString());
                syncingRules = false;
            }
            changedAndReevaluated();
        }
    });
    const auto tableEdited = [this] {
        if (syncingRules) {
            return;
        }
        syncingRules = true;
        const QHash<QString, QVariant> &edits = ruleModel->pathLevelHashUpdate();
        for (auto it = edits.cbegin(); it != edits.cend(); ++it) {
            if (!it.key().isEmpty()) {
                treeModel->showRule(it.key(), it.value().toString());
            }
        }
        syncingRules = false;
    };
    connect(ruleModel, &QAbstractItemModel::dataChanged, this, tableEdited);
    connect(ruleModel, &QAbstractItemModel::rowsRemoved, this, tableEdited);
    connect(treeModel, &MicFileSystemModel::topDirConfigLevelChanged, this, &ExpertModeWidget::disableButtonForDefaultItems);
    connect(ruleModel, &QAbstractItemModel::dataChanged, this, changedAndReevaluated);
    connect(exceptionModel, &QAbstractItemModel::dataChanged, this, changedAndReevaluated);

    const auto followRows = [this](QAbstractItemModel *model) {
        const auto clearFollowsRows = [this] {
            enableClearButtons();
            disableButtonForDefaultItems();
        };
        connect(model, &QAbstractItemModel::rowsInserted, this, clearFollowsRows);
        connect(model, &QAbstractItemModel::rowsRemoved, this, clearFollowsRows);
        connect(model, &QAbstractItemModel::modelReset, this, clearFollowsRows);
    };
    followRows(ruleModel);
    followRows(exceptionModel);
    connect(ruleModel, &QAbstractItemModel::modelReset, this, &ExpertModeWidget::addUsedLevelsToFilter);

    const auto removeFollowsSelection = [this](QAbstractItemView *view, QPushButton *remove) {
        connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, this, [remove](const QItemSelection &selected) {
            remove->setEnabled(!selected.isEmpty());
        });
    };
    removeFollowsSelection(ui->tableViewFs, ui->pushButtonRemove);
    removeFollowsSelection(ui->tableViewExc, ui->pushButtonRemoveExc);

    connect(serviceModel, &QAbstractItemModel::dataChanged, this, &ExpertModeWidget::contentChanged);
    // The box of all services adds up the services' own; clicking it, on
    // either page, sets them all.
    shared->showIsolationIn(ui->servicesIsolatedCheckBox);
    connect(serviceModel, &ServiceModel::isolatedChanged, shared, &SharedSettings::setIsolation);
    connect(shared, &SharedSettings::isolationEdited, this, [this](Qt::CheckState state) {
        serviceModel->setIsolated(state);
        Q_EMIT contentChanged();
    });
    connect(ui->pushButtonDefaultItems, &QPushButton::clicked, this, [this] {
        ui->pushButtonDefaultItems->setEnabled(false);
    });
    connect(ui->comboBoxLevel, QOverload<int>::of(&QComboBox::currentIndexChanged), this, [this](int index) {
        const bool custom = index == ui->comboBoxLevel->count() - 1;
        ui->labelCustomLevel->setVisible(custom);
        ui->spinBoxCustomLevel->setVisible(custom);
    });
    connect(ui->spinBoxCustomLevel, QOverload<int>::of(&QSpinBox::valueChanged), this, [this](int value) {
        ui->spinBoxCustomLevel->setSuffix(QStringLiteral(" (%1)").arg(value, 8, 2, QLatin1Char('0')));
    });
    connect(ui->tabWidgetFs, &QTabWidget::currentChanged, this, [this](int index) {
        ui->pushButtonDefaultItems->setEnabled(!isTabHasDefaultItems(index));
    });
}

void ExpertModeWidget::addShortcuts()
{
    auto *add = new QAction(this);
    add->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    connect(add, &QAction::triggered, this, [this] {
        const int tab = ui->tabWidgetFs->currentIndex();
        if (tab == configEditorTab) {
            on_pushButtonAdd_clicked();
        } else if (tab == exceptionsTab) {
            on_pushButtonAddExc_clicked();
        }
    });
    addAction(add);

    auto *remove = new QAction(this);
    remove->setShortcut(QKeySequence(Qt::Key_Delete));
    connect(remove, &QAction::triggered, this, [this] {
        const int tab = ui->tabWidgetFs->currentIndex();
        if (tab == configEditorTab) {
            on_pushButtonRemove_clicked();
        } else if (tab == exceptionsTab) {
            on_pushButtonRemoveExc_clicked();
        }
    });
    addAction(remove);
}

// Filters and the path field ------------------------------------------------

void ExpertModeWidget::setUpFilters()
{
    fillFilterLevelComboBox();
    connect(ui->lineEditFilterFs, &QLineEdit::textChanged, this, &ExpertModeWidget::applyRuleFilter);
    connect(ui->comboBoxFilterLevel, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &ExpertModeWidget::applyRuleFilter);
    connect(ui->lineEditFilterExc, &QLineEdit::textChanged, this, &ExpertModeWidget::applyExceptionFilter);
}

void ExpertModeWidget::fillFilterLevelComboBox()
{
    QComboBox *levels = ui->comboBoxFilterLevel;
    levels->addItem(i18n("All levels"), QString());
    const QString maximum = Mic::Utils::configLevelToPrettyName(QStringLiteral("max"));
    levels->addItem(maximum, maximum);
    const QList<Mic::Level> catalogue = Mic::Utils::allLevels();
    for (const Mic::Level &level : catalogue) {
        const QString name = Mic::Utils::levelName(level.value);
        levels->addItem(name, name);
    }
}

// Levels that rules use beyond the catalogue (custom ones) can be filtered
// by too.
void ExpertModeWidget::addUsedLevelsToFilter()
{
    QComboBox *levels = ui->comboBoxFilterLevel;
    for (const QString &level : ruleModel->levelsInUse()) {
        const QString name = Mic::Utils::configLevelToPrettyName(level);
        if (level != Mic::noLevelString && levels->findData(name) < 0) {
            levels->addItem(name, name);
        }
    }
}

// The filters act on committed rows: an open editor is closed first, so that
// its edit lands in the row it was made in.
void ExpertModeWidget::applyRuleFilter()
{
    ui->tableViewFs->commit();
    shownRules->setFilter(ui->lineEditFilterFs->text(), ui->comboBoxFilterLevel->currentData().toString());
    enableClearButtons();
}

void ExpertModeWidget::applyExceptionFilter()
{
    ui->tableViewExc->commit();
    shownExceptionRows->setFilter(ui->lineEditFilterExc->text(), QString());
    enableClearButtons();
}

// Clearing a filtered table would remove rows the administrator cannot see.
void ExpertModeWidget::enableClearButtons() const
{
    ui->pushButtonClear->setEnabled(ruleModel->rowCount() > 0 && !shownRules->isFiltering());
    ui->pushButtonClearExc->setEnabled(exceptionModel->rowCount() > 0 && !shownExceptionRows->isFiltering());
}

void ExpertModeWidget::setUpPathField()
{
    auto *completer = new QCompleter(this);
    auto *files = new QFileSystemModel(completer);
    files->setFilter(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    files->setRootPath(QString());
    completer->setModel(files);
    ui->lineEditTreePath->setCompleter(completer);
    connect(ui->lineEditTreePath, &QLineEdit::textChanged, this, &ExpertModeWidget::showPathInTree);
    connect(completer, QOverload<const QString &>::of(&QCompleter::activated), this, &ExpertModeWidget::showPathInTree);
    // The tree reads folders in the background: once the folders on the way
    // to the path are read, the rows above it may have moved.
    connect(treeModel, &QFileSystemModel::directoryLoaded, this, [this](const QString &folder) {
        if (!pathToShow.isEmpty() && (pathToShow == folder || pathToShow.startsWith(folder + QLatin1Char('/')) || folder == QDir::rootPath())) {
            ui->treeViewMic->scrollTo(treeModel->index(pathToShow));
        }
    });
}

// The first rules read open the tree at the deepest folder that holds them
// all, when that is not "/": rules of one tree (a container's, a demo's)
// are then in sight.
void ExpertModeWidget::openTreeAtRules(const QHash<QString, QVariant> &rules)
{
    if (treeOpenedAtRules || rules.isEmpty()) {
        return;
    }
    treeOpenedAtRules = true;
    QString common;
    for (auto rule = rules.keyBegin(); rule != rules.keyEnd() && common != QDir::rootPath(); ++rule) {
        // A path that is not absolute is refused by the helper; it opens
        // nothing.
        if (!rule->startsWith(QLatin1Char('/'))) {
            continue;
        }
        const QString folder = QFileInfo(*rule).path();
        if (common.isNull()) {
            common = folder;
        }
        while (common != QDir::rootPath() && folder != common && !folder.startsWith(common + QLatin1Char('/'))) {
            common = QFileInfo(common).path();
        }
    }
    if (!common.isNull() && common != QDir::rootPath() && QFileInfo(common).isDir()) {
        ui->lineEditTreePath->setText(common);
        ui->treeViewMic->expand(treeModel->index(common));
    }
}

// Expands the tree to an existing absolute path and selects it; a text that
// names nothing (yet, while it is typed) leaves the tree as it is.
bool ExpertModeWidget::showPathInTree(const QString &text)
{
    const QString path = QDir::cleanPath(text.trimmed());
    const QFileInfo info(path);
    if (!QDir::isAbsolutePath(path) || (!info.exists() && !info.isSymLink())) {
        return false;
    }
    const QModelIndex index = treeModel->index(path);
    if (!index.isValid()) {
        return false;
    }
    pathToShow = path;
    QTreeView *tree = ui->treeViewMic;
    tree->scrollTo(index, QAbstractItemView::PositionAtCenter);
    tree->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    return true;
}

// Data in and out -----------------------------------------------------------

void ExpertModeWidget::setData(const QVariantMap &map)
{
    setData(Mic::Settings::ReadReply::fromWire(map));
}

void ExpertModeWidget::setData(const Mic::Settings::ReadReply &settings)
{
    // A loading reply sent ahead of the rules carries none of them: the
    // tables keep what they show until the reply brings the rules.
    const bool loading = settings.protection == Status::Loading; // still checking the labels
    if (!loading || settings.rules) {
        showConfiguration(settings);
    }
    // A helper that does not name its file uses the system's.
    configPath = settings.configPath;
    ui->labelMicLevel->setText(Mic::Utils::currentMaxLevel().name);
    // Protection being checked shows as off on both pages; one not read, or
    // unknown, stays as it is.
    const QList<Status> shown{Status::Enabled, Status::Partly, Status::Disabled, Status::Loading};
    if (shown.contains(settings.protection)) {
        shared->setProtection(Mic::Settings::checkStateOf(settings.protection));
    }
    setChosenILev(settings.futureLevel);

    // Isolation not read, or unknown, stays as it is too, the services'
    // boxes with it.
    if (!QList<Status>{Status::Enabled, Status::Partly, Status::Disabled}.contains(settings.isolation)) {
        return;
    }
    QList<Mic::ServiceInfo> services;
    for (const Mic::Settings::Service &service : settings.services) {
        services.append(Mic::serviceInfoOf(service));
    }
    serviceModel->setServicesInfo(services);
    shared->setIsolation(Mic::Settings::checkStateOf(settings.isolation));
}

void ExpertModeWidget::showConfiguration(const Mic::Settings::ReadReply &settings)
{
    // The loading reply and the reply of one read carry the very same
    // tables when both carry them: the models, which may hold a million
    // rows, are reset once per read.
    const QHash<QString, QVariant> currentItems = settings.rules.value_or(QVariantHash());
    const bool newRules = !currentItems.isSharedWith(shownItems) || currentItems.isEmpty();
    // The administrator stays on the row they were on, a save's read too.
    if (newRules) {
        const auto current = ui->tableViewFs->position(rulePathColumn);
        treeModel->setCurrentConfigLevels(currentItems);
        ruleModel->reset(currentItems, false);
        shownItems = currentItems;
        ui->tableViewFs->restore(current, rulePathColumn);
        openTreeAtRules(currentItems);
    }
    defaultItems = settings.defaultRules;
    const QStringList &exceptions = settings.exceptions;
    if (!exceptions.isSharedWith(shownExceptions) || exceptions.isEmpty()) {
        const auto current = ui->tableViewExc->position(exceptionPathColumn);
        exceptionModel->reset(exceptions, false);
        shownExceptions = exceptions;
        ui->tableViewExc->restore(current, exceptionPathColumn);
    }
    defaultExceptions = settings.defaultExceptions;
    ui->treeViewMic->expand(treeModel->index(0, 0, QModelIndex()));
}

Mic::Settings::Change ExpertModeWidget::getData() const
{
    ui->tableViewFs->commit();
    ui->tableViewExc->commit();

    Mic::Settings::Change shown;
    shown.futureLevel = chosenIlev();
    shown.protection = Mic::Settings::statusOfCheckState(shared->protection());
    // The rule table holds every edit, the tree's too. A row still waiting
    // for its path is no rule: it has nothing to send.
    const QHash<QString, QVariant> &edits = ruleModel->pathLevelHashUpdate();
    QHash<QString, QString> changes;
    for (auto it = edits.cbegin(); it != edits.cend(); ++it) {
        if (!it.key().isEmpty()) {
            changes.insert(it.key(), it.value().toString());
        }
    }
    shown.ruleChanges = changes;
    shown.exceptions = exceptionModel->exceptionList();
    shown.isolation = Mic::Settings::statusOfCheckState(shared->isolation());
    if (shown.isolation == Status::Partly) {
        QList<Mic::Settings::ServiceIsolation> services;
        const auto list = serviceModel->servicesInfo();
        for (const Mic::ServiceInfo &service : list) {
            services.append({service.name, service.isIsolated});
        }
        shown.services = services;
    }
    return shown;
}

bool ExpertModeWidget::isComplete(QString *problem) const
{
    ui->tableViewFs->commit();
    const QStringList unleveled = ruleModel->newRulesWithoutLevel();
    if (unleveled.isEmpty()) {
        return true;
    }
    *problem = i18np("The new rule for %2 has no integrity level. Choose a level for it, or remove the row.",
                     "%1 new rules have no integrity level, the first for %2. Choose a level for each, or remove their rows.",
                     unleveled.size(),
                     Mic::printable(unleveled.constFirst()));
    return false;
}

// Levels and check states ---------------------------------------------------

unsigned int ExpertModeWidget::chosenIlev() const
{
    if (ui->comboBoxLevel->currentIndex() == ui->comboBoxLevel->count() - 1) {
        return static_cast<unsigned int>(ui->spinBoxCustomLevel->value());
    }
    return ui->comboBoxLevel->currentData(Qt::UserRole).toUInt();
}

void ExpertModeWidget::setChosenILev(unsigned int level)
{
    int index = ui->comboBoxLevel->findData(QVariant::fromValue<uint>(level), Qt::UserRole, Qt::MatchExactly);
    if (index < 0) {
        index = ui->comboBoxLevel->count() - 1;
    }
    showingLevel = true;
    ui->comboBoxLevel->setCurrentIndex(index);
    ui->spinBoxCustomLevel->setValue(static_cast<int>(qMin(level, 255u)));
    showingLevel = false;
}

void ExpertModeWidget::selectServices()
{
    ui->tabWidgetExpert->setCurrentIndex(servicesTab);
}

// Defaults ------------------------------------------------------------------

bool ExpertModeWidget::isTabHasDefaultItems(int tab) const
{
    switch (tab) {
    case fileSystemTab:
        return treeModel->pathLevelHash() == defaultItems;
    case configEditorTab:
        return ruleModel->pathLevelHash() == defaultItems;
    case exceptionsTab:
        return exceptionModel->exceptionList() == defaultExceptions;
    default:
        return false;
    }
}

void ExpertModeWidget::disableButtonForDefaultItems() const
{
    ui->pushButtonDefaultItems->setEnabled(!isTabHasDefaultItems(ui->tabWidgetFs->currentIndex()));
}

void ExpertModeWidget::on_pushButtonDefaultItems_clicked()
{
    switch (ui->tabWidgetFs->currentIndex()) {
    case fileSystemTab:
    case configEditorTab:
        showDefaultRules();
        break;
    case exceptionsTab:
        exceptionModel->reset(defaultExceptions, false);
        break;
    default:
        break;
    }
}

// The tree and the rule table show one set of rules: both take the defaults.
void ExpertModeWidget::showDefaultRules()
{
    const QStringList shownPaths = ruleModel->pathLevelHash().keys();
    syncingRules = true;
    ruleModel->reset(defaultItems, true);
    treeModel->updateIndexesLevel(defaultItems);
    for (const QString &path : shownPaths) {
        if (!path.isEmpty() && !defaultItems.contains(path)) {
            treeModel->showRule(path, Mic::noLevelString);
        }
    }
    for (auto it = defaultItems.cbegin(); it != defaultItems.cend(); ++it) {
        treeModel->showRule(it.key(), it.value().toString());
    }
    syncingRules = false;
}

// Table buttons -------------------------------------------------------------

void ExpertModeWidget::on_pushButtonAdd_clicked()
{
    ui->tableViewFs->commit();
    Q_EMIT contentChanged();
    ruleModel->addRow();
    const QModelIndex path = shownRules->mapFromSource(ruleModel->index(ruleModel->rowCount() - 1, 1));
    ui->tableViewFs->setCurrentIndex(path);
    ui->tableViewFs->edit(path);
}

void ExpertModeWidget::on_pushButtonRemove_clicked()
{
    const int row = shownRules->mapToSource(ui->tableViewFs->currentIndex()).row();
    if (row < 0) {
        return;
    }
    ruleModel->beginRemoveRows();
    ui->tableViewFs->commit();
    Q_EMIT contentChanged();
    ruleModel->removeRow(row);
}

void ExpertModeWidget::on_pushButtonClear_clicked()
{
    ruleModel->beginRemoveRows();
    ui->tableViewFs->commit();
    Q_EMIT contentChanged();
    ruleModel->removeAllRows();
}

void ExpertModeWidget::on_pushButtonAddExc_clicked()
{
    ui->tableViewExc->commit();
    Q_EMIT contentChanged();
    exceptionModel->addRow();
    const QModelIndex path = shownExceptionRows->mapFromSource(exceptionModel->index(exceptionModel->rowCount() - 1, 0));
    ui->tableViewExc->setCurrentIndex(path);
    ui->tableViewExc->edit(path);
}

void ExpertModeWidget::on_pushButtonRemoveExc_clicked()
{
    const int row = shownExceptionRows->mapToSource(ui->tableViewExc->currentIndex()).row();
    if (row < 0) {
        return;
    }
    exceptionModel->beginRemoveRows();
    ui->tableViewExc->commit();
    Q_EMIT contentChanged();
    exceptionModel->removeRow(row);
}

void ExpertModeWidget::on_pushButtonClearExc_clicked()
{
    exceptionModel->beginRemoveRows();
    ui->tableViewExc->commit();
    Q_EMIT contentChanged();
    exceptionModel->removeAllRows();
}

void ExpertModeWidget::openConfigFile()
{
    const QString path = configPath.isEmpty() ? Mic::Utils::fsIlevConfPath() : configPath;
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path))) {
        QMessageBox::warning(this, i18n("Warning"), i18n("No application could open the configuration file %1.", Mic::printable(path)));
    }
}

void ExpertModeWidget::on_pushButtonOpenConfig_clicked()
{
    openConfigFile();
}

void ExpertModeWidget::on_pushButtonOpenConfigExc_clicked()
{
    openConfigFile();
}

void ExpertModeWidget::showWarning(const QString &text)
{
    QMessageBox::warning(this, i18n("Warning"), text, QMessageBox::Ok);
}
