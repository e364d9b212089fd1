// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "micmanagementmodule.h"
#include "hostwindow.h"
#include "micstatus.h"
#include "ui_micmanagementmodule.h"
#include "unprotectedfilesmodel.h"
#include "workprogresspanel.h"

#include <expertmodewidget.h>
#include <changerecords.h>
#include <helperrequest.h>
#include <ilevelselectdialog.h>
#include <printable.h>
#include <protocol.h>
#include <userlistmodel.h>
#include <userlistproxymodel.h>
#include <utils.h>
#include <settingvalues.h>
#include <sharedsettings.h>
#include <textlanguages.h>

#include <KAuth/Action>
#include <KLocalizedString>

#include <KMessageWidget>

#include <QAbstractButton>
#include <QAction>
#include <QBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QMessageBox>
#include <QMetaEnum>
#include <QStyle>
#include <QTabWidget>

#include <clocale>

namespace
{
using Mic::Protocol::accessAction;
using Mic::Protocol::actionTimeout;
using Mic::Protocol::helperId;


// A status as the page's texts name it.
Mic::Status statusOf(Mic::Settings::Status status)
{
    return Mic::Status(Mic::Settings::wire(status));
}

// What the page says of each state the helper reports; empty for a state
// the helper does not report for that setting.
QString micStatusText(Mic::Status status)
{
    switch (status) {
    case Mic::Disabled:
        return i18n("MIC subsystem is <b>disabled</b>.");
    case Mic::Enabled:
        return i18n("MIC subsystem is <b>enabled</b>.");
    case Mic::EnabledAfterReboot:
        return i18n("MIC subsystem is disabled, but it will be <b>enabled after reboot</b>.");
    case Mic::DisabledAfterReboot:
        return i18n("MIC subsystem is enabled, but it will be <b>disabled after reboot</b>.");
    default:
        return QString();
    }
}

QString servicesStatusText(Mic::Status status)
{
    switch (status) {
    case Mic::Enabled:
        return i18n("All services are <b>isolated</b>.");
    case Mic::Partly:
        return i18n("Some services are <b>isolated</b>. Go to expert mode for details.");
    case Mic::Disabled:
        return i18n("Service isolation is <b>disabled</b>.");
    default:
        return QString();
    }
}

QString fileSystemStatusText(Mic::Status status)
{
    switch (status) {
    case Mic::Enabled:
        return i18n("Filesystem is <b>protected</b>.");
    case Mic::Partly:
        return i18n("Filesystem is <b>partly protected</b>. Some files have lower integrity than they should be.");
    case Mic::Disabled:
        return i18n("Filesystem is <b>not protected</b>.");
    case Mic::Loading:
        return i18n("Loading...");
    default:
        return QString();
    }
}

// A map that leaves a status out, or gives one the page does not know, says
// nothing of that setting: the page keeps what it showed and read of it, so
// that a save does not take it for an edit.
Mic::Settings::ReadReply keepingUnknownStatuses(const Mic::Settings::ReadReply &before, Mic::Settings::ReadReply now)
{
    using Mic::Settings::Status;
    if (!QList<Status>{Status::Enabled, Status::Partly, Status::Disabled}.contains(now.isolation)) {
        now.isolation = before.isolation;
        now.services = before.services;
    }
    if (!QList<Status>{Status::Enabled, Status::Partly, Status::Disabled, Status::Loading}.contains(now.protection)) {
        now.protection = before.protection;
    }
    return now;
}

void setStatusText(QLabel *label, const QString &text)
{
    if (!text.isEmpty()) {
        label->setText(text);
    }
}

}

MicManagementModule::MicManagementModule(QWidget *parent, const QVariantList &args)
    : KCMSS::SecurityKCModule(QStringLiteral("lumen_kcm_mic"), parent, args)
    , ui(new Ui_MicManagementModule)
    , readJob(nullptr)
    , servicesRequested(false)
{
    // The texts the page shares with the helper and micctl speak the page's
    // languages.
    Mic::Texts::followLanguagesOf([] {
        return KLocalizedString::languages();
    });
    registerMicStatus();
    setDefaultCallState(KCMLS::KCModulesSwitcher::CallLoadAndDefaults);
    ui->setupUi(this);
    setUpUnreadNotice();
    workProgress = new WorkProgressPanel(this);

    userModel = new UserListModel(this);
    userProxyModel = new UserListProxyModel(userModel, this);
    ui->usersTreeView->setModel(userProxyModel);
    ui->usersTreeView->sortByColumn(0, Qt::AscendingOrder);

    ui->userFilterComboBox->addItem(QIcon(), i18nc("filter", "All"), 0);
    ui->userFilterComboBox->addItem(QIcon(), i18nc("filter", "Ordinary"), 1);
    ui->userFilterComboBox->addItem(QIcon(), i18nc("filter", "System"), 2);

    ui->showUnprotectedFilesButton->setIcon(style()->standardIcon(QStyle::SP_ArrowRight));
    ui->informationButton->setIcon(style()->standardIcon(QStyle::SP_ArrowRight));

    ui->userFilterComboBox->setCurrentIndex(
        ui->userFilterComboBox->findData(static_cast<int>(userModel->filter()), Qt::UserRole, Qt::MatchExactly));

    shared = new SharedSettings(this);
    shared->showProtectionIn(ui->protectFsCheckBox);
    shared->showIsolationIn(ui->servicesIsolatedCheckBox);
    expertWidget = new ExpertModeWidget(backButton(), this, shared);
    ui->stackedWidget->addWidget(expertWidget);

    connect(ui->enableMicCheckBox, &QCheckBox::clicked, this, &MicManagementModule::markAsChanged);
    connect(ui->enableMicCheckBox, &QCheckBox::clicked, this, [this](bool checked) {
        if (checked && expertWidget->chosenIlev() == 0) {
            expertWidget->setChosenILev(Mic::Utils::defaultMaxLevel().value);
        }
    });
    // The expert page reports the edits of what it shows, the boxes both
    // pages show included.
    connect(expertWidget, &ExpertModeWidget::contentChanged, this, &MicManagementModule::markAsChanged);
    // No maximum level is MIC off at the next boot.
    connect(expertWidget, &ExpertModeWidget::levelChosen, this, [this] {
        if (expertWidget->chosenIlev() == 0) {
            ui->enableMicCheckBox->setChecked(false);
        }
    });
    connect(this, qOverload<bool>(&KCMLS::LumenKCModule::changed), this, [this](bool changed) {
        hasPendingEdits = changed;
    });
    // F5, the reload shortcut of KDE's applications, on both pages and on
    // the host's buttons around them, while the page is shown.
    auto *readAgainAction = new QAction(this);
    readAgainAction->setShortcuts(QKeySequence::Refresh);
    readAgainAction->setShortcutContext(Qt::WindowShortcut);
    connect(readAgainAction, &QAction::triggered, this, &MicManagementModule::readAgain);
    addAction(readAgainAction);
    connect(ui->readAgainButton, &QPushButton::clicked, this, &MicManagementModule::readAgain);
    connect(expertWidget, &ExpertModeWidget::goBackRequest, this, [this] {
        ui->stackedWidget->setCurrentIndex(0);
    });
    connect(ui->userFilterComboBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &MicManagementModule::applyUserFilter);
    connect(ui->filterLineEdit, &QLineEdit::textChanged, userProxyModel, &UserListProxyModel::setFilterFixedString);
    const auto discloseWith = [this](QToolButton *button, QWidget *target) {
        connect(button, &QToolButton::toggled, this, [this, button, target](bool on) {
            button->setIcon(style()->standardIcon(on ? QStyle::SP_ArrowDown : QStyle::SP_ArrowRight));
            target->setVisible(on);
        });
    };
    discloseWith(ui->informationButton, ui->descriptionLabel);
    discloseWith(ui->showUnprotectedFilesButton, ui->unprotectedFilesListWidget);

    keepRoomForRead(true);
    // A few lines in sight, the rest by scrolling, so that opening the list
    // does not push the users out of the window; long paths are shortened in
    // the middle (the whole line is the tool tip).
    QListView *unprotected = ui->unprotectedFilesListWidget;
    unprotectedFiles = new UnprotectedFilesModel(this);
    unprotected->setModel(unprotectedFiles);
    unprotected->setTextElideMode(Qt::ElideMiddle);
    unprotected->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    unprotected->setMaximumHeight(2 * unprotected->frameWidth() + 5 * (unprotected->fontMetrics().height() + 4));
    ui->unprotectedFilesListWidget->hide();
    ui->showUnprotectedFilesButton->hide();
    ui->descriptionLabel->hide();


    ui->protectFsBusyIndicatorWidget->hide();
    setResetButtonVisible(true);

    // The form lays the general page out before it sets the texts (adding a
    // page to the stacked widget shows it), and the layouts nested in the
    // page keep the sizes of widgets without text until the event loop gets
    // to them: after the host has sized its window from them.
    const QList<QLayout *> layouts = findChildren<QLayout *>();
    for (QLayout *pageLayout : layouts) {
        pageLayout->invalidate();
    }
}

MicManagementModule::~MicManagementModule()
{
    delete ui;
}

void MicManagementModule::showEvent(QShowEvent *event)
{
    KCMSS::SecurityKCModule::showEvent(event);
    if (!joinedHostWindow) {
        joinedHostWindow = true;
        joinHostWindow();
    }
}

// Once the host shows the page in its window, with the host's buttons.
void MicManagementModule::joinHostWindow()
{
    HostWindow::manageAccelerators(this);
    // The accelerator manager passes over hidden widgets: each page and tab
    // gets its mnemonics once shown.
    const QList<QTabWidget *> tabs = findChildren<QTabWidget *>();
    for (QTabWidget *tab : tabs) {
        connect(tab, &QTabWidget::currentChanged, this, [this] {
            HostWindow::manageAccelerators(this);
        });
    }
    const QList<QAbstractButton *> helpButtons = HostWindow::helpButtons(this);
    for (QAbstractButton *help : helpButtons) {
        connect(help, &QAbstractButton::clicked, this, &MicManagementModule::tellWhenHelpCannotOpen);
    }
}

// The hosts open the guide in KDE's help centre; without one, nothing shows
// it, or a browser that does not run for root, and only a log would say so.
void MicManagementModule::tellWhenHelpCannotOpen()
{
    if (HostWindow::helpCentreInstalled()) {
        return;
    }
    const QString guide = HostWindow::guideFile();
    messagesManager()->newMessage(i18n("Help cannot show the guide: KDE's help centre is not installed."),
                                  KCMLS::WarningMessage,
                                  guide.isEmpty() ? i18n("Install the package khelpcenter to read the guide here.")
                                                  : i18n("Install the package khelpcenter to read the guide here, or open %1 in a web browser.", guide),
                                  KCMLS::NoState);
}

void MicManagementModule::applyUserFilter()
{
    const QVariant data = ui->userFilterComboBox->currentData(Qt::UserRole);
    const auto filter = data.canConvert<int>() ? static_cast<UserListModel::Filter>(data.toInt()) : UserListModel::AllUsers;
    userModel->setFilter(filter);
    ui->usersTreeView->resizeColumnToContents(0);
    ui->filterLineEdit->clear();
    for (int column = 0; column < userProxyModel->columnCount(); ++column) {
        ui->usersTreeView->resizeColumnToContents(column);
    }
}

void MicManagementModule::selectUser(QString userName)
{
    userToSelect = userName;
}

void MicManagementModule::selectServices()
{
    servicesRequested = true;
}

void MicManagementModule::on_expertModeButton_clicked()
{
    ui->stackedWidget->setCurrentIndex(1);
}

void MicManagementModule::on_stackedWidget_currentChanged(int index)
{
    if (joinedHostWindow) {
        HostWindow::manageAccelerators(this);
    }
    if (QPushButton *back = backButton()) {
        back->setVisible(index == 1);
    }
}

// Drops what was edited and not applied, after asking; what the last save
// said goes too.
void MicManagementModule::readAgain()
{
    if (readJob || writeJob) {
        return;
    }
    if (hasPendingEdits) {
        QMessageBox question(QMessageBox::Question,
                             i18n("Read again"),
                             i18n("Reading the settings again drops the changes that were not applied. Read them again?"),
                             QMessageBox::Yes | QMessageBox::No,
                             this);
        question.setDefaultButton(QMessageBox::No);
        if (question.exec() != QMessageBox::Yes) {
            return;
        }
    }
    outcomeOfLastSave.clear();
    messagesManager()->clearMessages();
    access();
}

void MicManagementModule::on_changeUserIntegrityButton_clicked()
{
    const QModelIndex current = ui->usersTreeView->currentIndex();
    if (!current.isValid()) {
        return;
    }
    auto *dialog = new ILevelSelectDialog(this);
    const QString user = userProxyModel->data(userProxyModel->index(current.row(), 0), Qt::DisplayRole).toString();
    dialog->setILevel(static_cast<unsigned char>(userProxyModel->getUserMaxILevel(user) & 0xffu));
    dialog->setWindowTitle(i18nc("@title:window", "Integrity Levels of %1", Mic::printable(user)));
    const int result = dialog->exec();
    if (result == QDialog::Accepted) {
        userProxyModel->setUserMaxIlevel(user, dialog->iLevel());
        markAsChanged();
    }
    // The dialog serves one change; owned by the module, it need not outlive it.
    dialog->deleteLater();
}

// Before a read; the page shown stays, as after a save.
void MicManagementModule::clear()
{
    ui->micLevelsLabel->clear();
    ui->showUnprotectedFilesButton->hide();
    if (ui->showUnprotectedFilesButton->isChecked()) {
        ui->showUnprotectedFilesButton->toggle();
    }
    unprotectedFiles->setStringList({});
}

// Shown while the settings could not be read: the pages then hold nothing
// current, and nothing on them can be changed until a read succeeds.
void MicManagementModule::setUpUnreadNotice()
{
    unreadNotice = new KMessageWidget(this);
    unreadNotice->setObjectName(QStringLiteral("unreadNotice"));
    unreadNotice->setMessageType(KMessageWidget::Information);
    unreadNotice->setWordWrap(true);
    unreadNotice->setCloseButtonVisible(false);
    unreadNotice->setText(i18n("The integrity control settings could not be read. What the page shows may be out of date, and nothing can be changed until they are read."));
    auto *retry = new QAction(QIcon::fromTheme(QStringLiteral("view-refresh")), i18n("Try again"), unreadNotice);
    retry->setObjectName(QStringLiteral("tryAgainAction"));
    connect(retry, &QAction::triggered, this, &MicManagementModule::access);
    unreadNotice->addAction(retry);
    unreadNotice->hide();
    if (auto *pageLayout = qobject_cast<QBoxLayout *>(layout())) {
        pageLayout->insertWidget(0, unreadNotice);
    }
}

void MicManagementModule::setSettingsRead(bool read)
{
    settingsRead = read;
    ui->stackedWidget->setEnabled(read);
    unreadNotice->setVisible(!read);
    if (!read) {
        // Statements of the current state that no read backs any more.
        for (QLabel *label : {ui->micStatusMessageLabel, ui->fileSystemMessageLabel, ui->servicesMessageLabel}) {
            label->setText(QStringLiteral("..."));
        }
        ui->showUnprotectedFilesButton->hide();
    }
}

// kcmshell5 sizes its window once, from the page as it is before the first
// read: until that read has filled the page, the page keeps the room of all
// a read can show on it, or it would need a scroll bar afterwards.
void MicManagementModule::keepRoomForRead(bool keep)
{
    QStringList micTexts;
    QStringList servicesTexts;
    QStringList fileSystemTexts;
    const QMetaEnum statuses = QMetaEnum::fromType<Mic::Status>();
    for (int i = 0; keep && i < statuses.keyCount(); ++i) {
        const auto status = static_cast<Mic::Status>(statuses.value(i));
        micTexts.append(micStatusText(status));
        servicesTexts.append(servicesStatusText(status));
        fileSystemTexts.append(fileSystemStatusText(status));
    }
    ui->micStatusMessageLabel->setPossibleTexts(micTexts);
    ui->servicesMessageLabel->setPossibleTexts(servicesTexts);
    ui->fileSystemMessageLabel->setPossibleTexts(fileSystemTexts);
    QSizePolicy policy = ui->showUnprotectedFilesButton->sizePolicy();
    policy.setRetainSizeWhenHidden(keep);
    ui->showUnprotectedFilesButton->setSizePolicy(policy);
}

void MicManagementModule::fillLevelsLabel()
{
    const unsigned int currentMax = Mic::Utils::currentMaxLevel().value;
    QStringList names;
    const QList<Mic::Level> levels = Mic::Utils::allLevels();
    for (const Mic::Level &level : levels) {
        if (level.value == 0 || level.value == currentMax) {
            names.append(QStringLiteral("<b>%1</b>").arg(level.name));
        }
    }
    ui->micLevelsLabel->setText(i18n("Available integrity levels: %1", names.join(QStringLiteral(", "))));
}

void MicManagementModule::unchooseModule()
{
    if (readJob) {
        // The helper answers a stop request with a reply of its own; the
        // module has been left, so nobody is to see it.
        disconnect(readJob, nullptr, this, nullptr);
        readJob->kill(KJob::Quietly);
        readJob.clear();
    }
    KCMSS::SecurityKCModule::unchooseModule();
}

// Reading -------------------------------------------------------------------

bool MicManagementModule::isReading() const
{
    return readJob;
}

bool MicManagementModule::isSaving() const
{
    return writeJob;
}

void MicManagementModule::access()
{
    // The helper serves one call at a time and a call made while it is busy
    // never finishes: while a read or a save runs, its own result (or the read
    // that follows a save) brings the state.
    if (readJob || writeJob) {
        return;
    }
    clear();
    fillLevelsLabel();

    Mic::HelperAction action = Mic::HelperAction::ofHelper(accessAction);
    HelperRequest::addLocale(&action);

    disconnect(authRequestConnection);
    if (KAuth::Action(accessAction).status() == KAuth::Action::AuthRequiredStatus) {
        stateWidget()->waitState(KCMLS::AuthorizationState);
        authRequestConnection = connect(stateWidget(), &KCMLS::StateWidget::authRequest, this, [this, action] {
            disconnect(authRequestConnection);
            readMicSettings(action);
        });
    } else {
        readMicSettings(action);
    }
}

void MicManagementModule::readMicSettings(const Mic::HelperAction &action)
{
    if (readJob || writeJob) {
        return;
    }
    auto *job = new HelperRequest(action, this);
    readJob = job;
    connect(job, &KJob::result, this, &MicManagementModule::onReadMicSettingsJobFinished);
    connect(job, &HelperRequest::authorized, this, [this] {
        stateWidget()->waitState(KCMLS::ReadingState);
        messagesManager()->clearMessages();
    });
    connect(job, &HelperRequest::newData, this, &MicManagementModule::setData);
    stateWidget()->waitState(KCMLS::ReadingState);
    messagesManager()->clearMessages();
    job->start();
}

void MicManagementModule::onReadMicSettingsJobFinished(KJob *job)
{
    keepRoomForRead(false);
    showOutcomeOfLastSave();
    if (job->error()) {
        messagesManager()->newMessage(Mic::printableMessage(job->errorText()), KCMLS::ErrorMessage, QString(), KCMLS::NoState);
        stateWidget()->resetState();
        userToSelect.clear();
        setSettingsRead(false);
        // What the pages hold is no edit of the current settings.
        Q_EMIT changed(false);
    } else {
        setData(static_cast<HelperRequest *>(job)->data());
        showInterruptedChange(static_cast<HelperRequest *>(job)->data());
        // The pages show what the system holds: nothing is left to save.
        Q_EMIT changed(false);
        if (servicesRequested) {
            ui->stackedWidget->setCurrentIndex(1);
            expertWidget->selectServices();
        }
    }
    servicesRequested = false;
    // Back where it was before the save, once the page can take it again.
    if (focusBeforeSave && focusBeforeSave->isEnabled() && focusBeforeSave->isVisible()) {
        focusBeforeSave->setFocus(Qt::OtherFocusReason);
    }
    focusBeforeSave = nullptr;
}

// Once per change: a read again does not repeat what was said.
void MicManagementModule::showInterruptedChange(const QVariantMap &map)
{
    const QString text = Mic::interruptedChangeText(map.value(Mic::Protocol::interruptedChangeKey));
    if (!text.isEmpty() && text != interruptedChangeShown) {
        messagesManager()->newMessage(text, KCMLS::WarningMessage, QString(), KCMLS::NoState);
        interruptedChangeShown = text;
    }
}

void MicManagementModule::setData(const QVariantMap &map)
{
    setSettingsRead(true);
    readSettings = keepingUnknownStatuses(readSettings, Mic::Settings::ReadReply::fromWire(map));
    const Mic::Status micStatus = statusOf(readSettings.mic);
    const Mic::Status servicesStatus = statusOf(readSettings.isolation);
    const Mic::Status fsStatus = statusOf(readSettings.protection);

    ui->enableMicCheckBox->setChecked(micStatus == Mic::Enabled || micStatus == Mic::EnabledAfterReboot);
    const bool micEnabled = ui->enableMicCheckBox->isChecked();

    setStatusText(ui->micStatusMessageLabel, micStatusText(micStatus));

    setStatusText(ui->servicesMessageLabel, servicesStatusText(servicesStatus));

    // Each map resets the user table; the user selected before stays so.
    const QString selectedUser = ui->usersTreeView->currentIndex().siblingAtColumn(0).data().toString();
    userProxyModel->setILevels(readSettings.userLevels);
    selectUserRow(selectedUser);

    const bool loading = fsStatus == Mic::Loading;
    setStatusText(ui->fileSystemMessageLabel, fileSystemStatusText(fsStatus));
    ui->protectFsCheckBox->setEnabled(!loading && micEnabled);
    ui->expertModeButton->setEnabled(!loading && micEnabled);
    ui->expertModeButton->setToolTip(loading ? i18n("Reading file system...") : QString());

    ui->changeUserIntegrityButton->setEnabled(!loading && micEnabled);
    ui->usersGroupBox->setEnabled(micEnabled);
    ui->protectFsBusyIndicatorWidget->setVisible(loading);
    ui->showUnprotectedFilesButton->setVisible(fsStatus == Mic::Partly && micEnabled);
    unprotectedFiles->append(readSettings.unprotected.value_or(QStringList()));

    if (servicesRequested) {
        if (loading) {
            messagesManager()->newMessage(i18n("Before transition to the service settings, you must load the current settings. Please, wait..."),
                                          KCMLS::InformationMessage,
                                          QString(),
                                          KCMLS::NoState);
        } else {
            messagesManager()->clearMessages();
        }
    }

    expertWidget->setData(readSettings);
    stateWidget()->resetState();
    selectRememberedUser();
}

void MicManagementModule::selectRememberedUser()
{
    if (userToSelect.isEmpty()) {
        return;
    }
    if (!userModel->findUser(userToSelect).isValid()) {
        userModel->setFilter(UserListModel::AllUsers);
    }
    selectUserRow(userToSelect);
    userToSelect.clear();
}

void MicManagementModule::selectUserRow(const QString &user)
{
    const QModelIndex row = user.isEmpty() ? QModelIndex() : userModel->findUser(user);
    if (row.isValid()) {
        ui->usersTreeView->setCurrentIndex(userProxyModel->mapFromSource(row));
    }
}
