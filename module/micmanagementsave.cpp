// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

// Saving the pages: what the administrator edited, checked with the helper
// first when it would lower labels, and what the save did.
#include "micmanagementmodule.h"
#include "editedsettings.h"
#include "ui_micmanagementmodule.h"
#include "workprogresspanel.h"

#include <expertmodewidget.h>
#include <helperrequest.h>
#include <printable.h>
#include <protocol.h>
#include <reboot.h>
#include <userlistproxymodel.h>
#include <utils.h>
#include <settingvalues.h>
#include <sharedsettings.h>

#include <KAuth/Action>
#include <KLocalizedString>

#include <QAbstractItemView>
#include <QMessageBox>

using Mic::Settings::Status;

using Mic::Protocol::actionTimeout;
using Mic::Protocol::changeAction;
using Mic::Protocol::helperId;

void MicManagementModule::refuseToSave(const QString &text)
{
    stateWidget()->resetState();
    QMessageBox::warning(this, i18n("Warning"), text, QMessageBox::Ok);
    keepMarkedAsChanged();
}

void MicManagementModule::keepMarkedAsChanged()
{
    // The host marks the module unchanged once change() returns.
    QMetaObject::invokeMethod(this, &MicManagementModule::markAsChanged, Qt::QueuedConnection);
}

bool MicManagementModule::confirmUncoveringLevel(unsigned int level)
{
    const auto answer = QMessageBox::question(this,
                                              i18n("Warning"),
                                              i18n("Selected maximum integrity level does not cover all underlying levels, because level "
                                                   "comparison is done by mask\nPreferable values: %1\nDo you really want to set "
                                                   "integrity level to %2?",
                                                   Mic::Utils::maxILevelNames().join(QStringLiteral(", ")),
                                                   QString::number(level)),
                                              QMessageBox::Yes | QMessageBox::No);
    return answer != QMessageBox::No;
}

void MicManagementModule::change()
{
    if (readJob || writeJob) {
        refuseToSave(i18n("Wait until it loads completely before saving."));
        return;
    }
    if (!settingsRead) {
        refuseToSave(i18n("The settings could not be read, so they cannot be saved. Read them again first."));
        return;
    }
    rememberFocus();

    QString unfinished;
    if (!expertWidget->isComplete(&unfinished)) {
        refuseToSave(unfinished);
        return;
    }
    Mic::Settings::Change shown = shownSettings();
    if (ui->enableMicCheckBox->isChecked() && shown.futureLevel.value_or(0) == 0) {
        shown.futureLevel = Mic::Utils::defaultMaxLevel().value;
    }
    const Mic::Settings::Change request = EditedSettings::request(readSettings, shown);
    if (request.isEmpty()) {
        messagesManager()->clearMessages();
        outcomeOfLastSave = {{i18n("Nothing was changed: the page shows the settings as they were read."), KCMLS::InformationMessage}};
        access();
        return;
    }
    // Only a level being changed is checked against the running system.
    if (request.futureLevel) {
        const unsigned int level = *request.futureLevel;
        switch (Mic::Utils::maxLevelProblem(level)) {
        case Mic::Utils::MaxLevelProblem::RunningAtAnotherLevel:
            refuseToSave(i18n("If you want to change maximum integrity level you need to turn off MIC first."));
            return;
        case Mic::Utils::MaxLevelProblem::NotAbovePrevious:
            refuseToSave(i18n("Max integrity level can't be less than or equal to %1!", Mic::Utils::previousMaxLevel().name));
            return;
        case Mic::Utils::MaxLevelProblem::NotCoveringUnderlyingLevels:
            if (!confirmUncoveringLevel(level)) {
                stateWidget()->resetState();
                keepMarkedAsChanged();
                return;
            }
            break;
        case Mic::Utils::MaxLevelProblem::None:
            break;
        }
    }

    // Protecting may lower labels: the helper works out first what it would
    // do, and the administrator is asked before any is lowered.
    if (request.protection == Status::Enabled) {
        checkThenSend(request);
    } else {
        send(request);
    }
}

HelperRequest *MicManagementModule::startChangeRequest(const QVariantMap &request)
{
    Mic::HelperAction action = Mic::HelperAction::ofHelper(changeAction, request);
    HelperRequest::addLocale(&action);
    auto *job = new HelperRequest(action, this);
    writeJob = job;
    workProgress->follow(job);
    if (KAuth::Action(changeAction).status() == KAuth::Action::AuthorizedStatus) {
        stateWidget()->waitState(KCMLS::SavingState);
    }
    return job;
}

void MicManagementModule::checkThenSend(const Mic::Settings::Change &request)
{
    QVariantMap check = request.toWire();
    check.insert(Mic::Protocol::checkOnlyKey, true);
    HelperRequest *job = startChangeRequest(check);
    connect(job, &KJob::result, this, [this, job, request] {
        if (job->error()) {
            onWriteMicSettingsJobFinished(job);
            return;
        }
        writeJob = nullptr;
        // Stopped while the change was checked: the check changed nothing,
        // and the change itself is not sent.
        if (job->stopAsked()) {
            messagesManager()->newMessage(i18n("Stopped: nothing was changed."), KCMLS::InformationMessage, QString(), KCMLS::NoState);
            markAsChanged();
            stateWidget()->resetState();
            return;
        }
        const auto outcome = Mic::Settings::ChangeOutcome::fromWire(job->data());
        if (outcome.loweredCount > 0 && !confirmLowering(outcome)) {
            stateWidget()->resetState();
            markAsChanged();
            return;
        }
        send(request);
    });
    job->start();
}

// Names what a save would lower before it is made: the first lowered
// objects with their labels before and after, how many in all, and every
// label the check listed behind "Show Details".
bool MicManagementModule::confirmLowering(const Mic::Settings::ChangeOutcome &outcome)
{
    const int lowered = outcome.loweredCount;
    QStringList loweredLines;
    QStringList allLines;
    for (const Mic::Settings::Relabelled &object : outcome.relabelled) {
        const QString line = i18nc("@item a label a save would change", "%1: %2 → %3", Mic::printable(object.path), QString::number(object.from), QString::number(object.to));
        if ((object.to & object.from) != object.from) {
            loweredLines.append(line);
            allLines.append(i18nc("@item a label a save would lower", "%1 (lowered)", line));
        } else {
            allLines.append(line);
        }
    }
    constexpr int shownLines = 5;
    QString text = i18np("Saving protects the file system and lowers the label of one object (%2 labels change in all). A lowered "
                         "label lets processes of lower integrity levels write to the object.",
                         "Saving protects the file system and lowers the labels of %1 objects (%2 labels change in all). A lowered "
                         "label lets processes of lower integrity levels write to the object.",
                         lowered,
                         qMax(lowered, outcome.relabelledCount));
    if (!loweredLines.isEmpty()) {
        text += QStringLiteral("\n\n") + loweredLines.mid(0, shownLines).join(QLatin1Char('\n'));
        if (lowered > qMin(int(loweredLines.size()), shownLines)) {
            text += QLatin1Char('\n') + i18np("… and %1 more lowered", "… and %1 more lowered", lowered - qMin(int(loweredLines.size()), shownLines));
        }
    }
    text += QStringLiteral("\n\n") + i18n("Save anyway?");
    QMessageBox question(QMessageBox::Warning, i18n("Lower labels"), text, QMessageBox::Yes | QMessageBox::No, this);
    if (outcome.relabelledCount > allLines.size()) {
        allLines.append(i18np("… and %1 more", "… and %1 more", outcome.relabelledCount - int(allLines.size())));
    }
    question.setDetailedText(allLines.join(QLatin1Char('\n')));
    question.setDefaultButton(QMessageBox::No);
    return question.exec() == QMessageBox::Yes;
}

void MicManagementModule::send(const Mic::Settings::Change &request)
{
    HelperRequest *job = startChangeRequest(request.toWire());
    connect(job, &KJob::result, this, &MicManagementModule::onWriteMicSettingsJobFinished);
    connect(job, &HelperRequest::authorized, this, [this] {
        messagesManager()->clearMessages();
    });
    job->start();
}

// An editor in a table closes on saving: its table takes the focus back.
void MicManagementModule::rememberFocus()
{
    QWidget *focus = focusWidget();
    for (QWidget *widget = focus; widget && widget != this; widget = widget->parentWidget()) {
        if (auto *view = qobject_cast<QAbstractItemView *>(widget)) {
            focus = view;
            break;
        }
    }
    focusBeforeSave = isAncestorOf(focus) ? focus : nullptr;
}

// Every setting as the pages show it; the protection as its box shows it,
// partly checked included.
Mic::Settings::Change MicManagementModule::shownSettings() const
{
    Mic::Settings::Change shown = expertWidget->getData();
    shown.mic = ui->enableMicCheckBox->isChecked() ? Status::Enabled : Status::Disabled;
    shown.userLevels = userProxyModel->iLevels();
    return shown;
}

void MicManagementModule::showOutcomeOfLastSave(bool once)
{
    for (const auto &[text, type] : std::as_const(outcomeOfLastSave)) {
        messagesManager()->newMessage(text, type, QString(), KCMLS::NoState);
    }
    if (once) {
        outcomeOfLastSave.clear();
    }
}

// The labels a save changed, lowered ones first: a lowered label lets
// subjects of lower levels write the object.
QPair<QString, KCMLS::MessageType> MicManagementModule::relabelledMessage(const QList<Mic::Settings::Relabelled> &relabelled, int count)
{
    count = qMax(count, relabelled.size());
    QStringList lowered;
    QStringList raised;
    for (const Mic::Settings::Relabelled &object : relabelled) {
        const uint from = object.from;
        const uint to = object.to;
        const QString path = Mic::printable(object.path).toHtmlEscaped();
        const QString line = object.container
            ? i18nc("@item a label changed by a save", "%1: %2 → %3 (container of a labelled object)", path, QString::number(from), QString::number(to))
            : i18nc("@item a label changed by a save", "%1: %2 → %3", path, QString::number(from), QString::number(to));
        if ((to & from) != from) {
            lowered.append(i18nc("@item a lowered label", "<b>Lowered:</b> %1", line));
        } else {
            raised.append(line);
        }
    }
    // A few lines, lowered labels first, and the count: a message of
    // hundreds of lines would push the page out of view.
    constexpr int shownLines = 10;
    const QStringList lines = (lowered + raised).mid(0, shownLines);
    QString text = i18np("Protecting the file system changed the label of one object:",
                         "Protecting the file system changed the labels of %1 objects:",
                         count)
        + QStringLiteral("<br>") + lines.join(QStringLiteral("<br>"));
    if (count > lines.size()) {
        text += QStringLiteral("<br>") + i18np("… and %1 more", "… and %1 more", count - lines.size());
    }
    return {text, lowered.isEmpty() ? KCMLS::InformationMessage : KCMLS::WarningMessage};
}

void MicManagementModule::onWriteMicSettingsJobFinished(KJob *job)
{
    writeJob = nullptr;
    if (job->error()) {
        // A save the administrator stopped changed nothing: no failure.
        const KCMLS::MessageType type = job->error() == Mic::Protocol::Error::Stopped ? KCMLS::InformationMessage : KCMLS::ErrorMessage;
        messagesManager()->newMessage(Mic::printableMessage(job->errorText()), type, QString(), KCMLS::NoState);
        markAsChanged();
        stateWidget()->resetState();
        return;
    }
    const auto outcome = Mic::Settings::ChangeOutcome::fromWire(static_cast<HelperRequest *>(job)->data());
    const QStringList &warnings = outcome.warnings;
    // The read that follows clears the message area; what the save did must
    // stay in view, so it is shown again after it.
    outcomeOfLastSave = {{i18n("The integrity control settings were saved."), KCMLS::PositiveMessage}};
    if (!outcome.relabelled.isEmpty()) {
        outcomeOfLastSave.append(relabelledMessage(outcome.relabelled, outcome.relabelledCount));
    }
    if (!warnings.isEmpty()) {
        QStringList shown;
        for (const QString &warning : warnings) {
            shown.append(Mic::printableMessage(warning).toHtmlEscaped());
        }
        outcomeOfLastSave.append({shown.join(QStringLiteral("<br>")), KCMLS::WarningMessage});
    }
    showOutcomeOfLastSave(false);
    stateWidget()->resetState();

    if (outcome.needReboot) {
        // No by default: a stray Enter must not reboot the machine.
        const auto answer = QMessageBox::question(this,
                                                  i18n("Reboot system"),
                                                  i18n("To apply settings need reboot system\nReboot now?"),
                                                  QMessageBox::Yes | QMessageBox::No,
                                                  QMessageBox::No);
        if (answer == QMessageBox::Yes) {
            Mic::rebootMachine();
            outcomeOfLastSave.clear();
            Q_EMIT changed(false);
            return;
        }
    }
    access();
}
