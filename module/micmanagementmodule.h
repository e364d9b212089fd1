// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef MICMANAGEMENTMODULE_H
#define MICMANAGEMENTMODULE_H

#include <securitykcmodule.h>

#include <helperaction.h>

#include <QPair>
#include <functional>
#include <QPointer>
#include <kcmlstypes.h>
#include <QVariantMap>
#include <settingvalues.h>

class ExpertModeWidget;
class SharedSettings;
class HelperRequest;
class KJob;
class KMessageWidget;
class Ui_MicManagementModule;
class UserListModel;
class UnprotectedFilesModel;
class UserListProxyModel;
class WorkProgressPanel;

// The settings page of Mandatory Integrity Control: a general page and an
// expert page over the state that the privileged helper reads and writes.
class MicManagementModule : public KCMSS::SecurityKCModule
{
    Q_OBJECT
public:
    MicManagementModule(QWidget *parent, const QVariantList &args);
    ~MicManagementModule() override;

    void unchooseModule() override;
    // Whether a read of the settings is under way.
    bool isReading() const;
    // Whether a change of the settings is under way.
    bool isSaving() const;
    // Shows a settings map of the helper: a read reply or an intermediate map.
    void setData(const QVariantMap &map);

public Q_SLOTS:
    void access() override;
    void change() override;
    void selectUser(QString userName);
    void selectServices();

protected:
    void showEvent(QShowEvent *event) override;

private Q_SLOTS:
    void onReadMicSettingsJobFinished(KJob *job);
    void onWriteMicSettingsJobFinished(KJob *job);
    void on_expertModeButton_clicked();
    void on_changeUserIntegrityButton_clicked();
    void on_historyButton_clicked();
    void on_stackedWidget_currentChanged(int index);

private:
    void joinHostWindow();
    void tellWhenHelpCannotOpen();
    Mic::Settings::Change shownSettings() const;
    void rememberFocus();
    void readAgain();
    void readMicSettings(const Mic::HelperAction &action);
    void clear();
    void fillLevelsLabel();
    void applyUserFilter();
    void selectRememberedUser();
    void selectUserRow(const QString &user);
    void refuseToSave(const QString &text);
    void keepMarkedAsChanged();
    // Asks whether a maximum level that does not cover all underlying levels
    // is meant.
    bool confirmUncoveringLevel(unsigned int level);
    bool confirmLowering(const Mic::Settings::ChangeOutcome &outcome);
    HelperRequest *startChangeRequest(const QVariantMap &request);
    void checkThenSend(const Mic::Settings::Change &request);
    void send(const Mic::Settings::Change &request);
    void setUpUnreadNotice();
    void setSettingsRead(bool read);
    void keepRoomForRead(bool keep);
    void showOutcomeOfLastSave(bool once = true);
    static QPair<QString, KCMLS::MessageType> relabelledMessage(const QList<Mic::Settings::Relabelled> &relabelled, int count);
    void showInterruptedChange(const QVariantMap &map);
    // The history: read, shown, and the state before a change restored.
    void readThen(const QVariantMap &arguments, const std::function<void(const QVariantMap &reply)> &next);
    void restoreStateBefore(const QVariantMap &entry);
    void confirmAndRestore(const QVariantMap &entry, const QVariantMap &before, const QVariantMap &machine);

    Ui_MicManagementModule *ui;
    // What both pages show: the protection and the isolation of all
    // services.
    SharedSettings *shared;
    ExpertModeWidget *expertWidget;
    UserListModel *userModel;
    UserListProxyModel *userProxyModel;
    QString userToSelect;
    QPointer<HelperRequest> readJob;
    bool servicesRequested;
    // Whether the last read succeeded (or none has ended yet).
    bool settingsRead = true;
    KMessageWidget *unreadNotice = nullptr;
    // A read of the history or of an earlier state.
    QPointer<HelperRequest> historyJob;
    // The running save; like a read, it keeps the helper busy.
    QPointer<HelperRequest> writeJob;
    // How far a long save is, and its Stop button.
    WorkProgressPanel *workProgress = nullptr;
    UnprotectedFilesModel *unprotectedFiles = nullptr;
    // What the last save did (saved, labels changed, the helper's
    // warnings), shown again once the read that follows the save has
    // cleared the message area.
    QList<QPair<QString, KCMLS::MessageType>> outcomeOfLastSave;
    // The warning of a change the helper undid, once shown.
    QString interruptedChangeShown;
    // The settings as last read: a save sends only what differs from them.
    Mic::Settings::ReadReply readSettings;
    // Edits not yet applied, as the host was told.
    bool hasPendingEdits = false;
    bool joinedHostWindow = false;
    // Where the focus was when a save began, to put it back after it.
    QPointer<QWidget> focusBeforeSave;
    // The pending start of a read once the user has authorized it.
    QMetaObject::Connection authRequestConnection;
};

#endif
