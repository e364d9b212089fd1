// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

// The history of changes on the page, and going back to the state before
// one: the helper says what the settings were then, the difference to the
// settings now is shown, and once confirmed it is saved as any change is.
#include "historydialog.h"
#include "micmanagementmodule.h"
#include "ui_micmanagementmodule.h"

#include <changerecords.h>
#include <desiredstate.h>
#include <helperrequest.h>
#include <printable.h>
#include <protocol.h>
#include <statedifference.h>
#include <settingvalues.h>

#include <KLocalizedString>

#include <QMessageBox>

namespace
{
// The newest changes the dialog lists.
constexpr int shownChanges = 500;
}

// Reads with the helper without touching the pages; `next` gets the reply
// once the request has ended, an error is shown instead.
void MicManagementModule::readThen(const QVariantMap &arguments, const std::function<void(const QVariantMap &reply)> &next)
{
    Mic::HelperAction action = Mic::HelperAction::ofHelper(Mic::Protocol::accessAction, arguments);
    HelperRequest::addLocale(&action);
    auto *job = new HelperRequest(action, this);
    historyJob = job;
    ui->historyButton->setEnabled(false);
    connect(job, &KJob::result, this, [this, job, next] {
        historyJob = nullptr;
        ui->historyButton->setEnabled(true);
        if (job->error()) {
            messagesManager()->newMessage(Mic::printableMessage(job->errorText()), KCMLS::ErrorMessage, QString(), KCMLS::NoState);
            return;
        }
        const QVariantMap reply = job->data();
        QMetaObject::invokeMethod(
            this,
            [next, reply] {
                next(reply);
            },
            Qt::QueuedConnection);
    });
    job->start();
}

void MicManagementModule::on_historyButton_clicked()
{
    if (historyJob || readJob || writeJob) {
        return;
    }
    readThen({{Mic::Protocol::historyKey, shownChanges}}, [this](const QVariantMap &reply) {
        HistoryDialog dialog(reply.value(Mic::Protocol::historyKey).toList(), this);
        if (dialog.exec() == QDialog::Accepted) {
            restoreStateBefore(dialog.chosenEntry());
        }
        ui->historyButton->setFocus(Qt::OtherFocusReason);
    });
}

// The state then, and the settings now: the page may show an older read.
void MicManagementModule::restoreStateBefore(const QVariantMap &entry)
{
    if (historyJob || readJob || writeJob) {
        return;
    }
    readThen({{Mic::Protocol::stateBeforeKey, entry.value(QStringLiteral("requestId"))}}, [this, entry](const QVariantMap &before) {
        readThen({}, [this, entry, before](const QVariantMap &machine) {
            confirmAndRestore(entry, before, machine);
        });
    });
}

void MicManagementModule::confirmAndRestore(const QVariantMap &entry, const QVariantMap &before, const QVariantMap &machine)
{
    QString problem;
    const std::optional<DesiredState> desired = DesiredState::restoring(before, machine, &problem);
    if (!desired) {
        messagesManager()->newMessage(Mic::printableMessage(problem), KCMLS::ErrorMessage, QString(), KCMLS::NoState);
        return;
    }
    // Users and services gone since cannot come back: left out, and said.
    const StateDifference difference(Mic::Settings::ReadReply::fromWire(machine), *desired, true);
    const QString when = Mic::historyTimeText(entry.value(QStringLiteral("time")).toString());
    if (!difference.refusals().isEmpty()) {
        messagesManager()->newMessage(Mic::printableMessage(difference.refusals().join(QLatin1Char('\n'))), KCMLS::ErrorMessage, QString(), KCMLS::NoState);
        return;
    }
    if (difference.isEmpty()) {
        messagesManager()->newMessage(i18n("The settings are as they were before the change of %1.", when), KCMLS::InformationMessage, QString(), KCMLS::NoState);
        return;
    }
    QString text = i18n("Going back to the state before the change of %1 by %2 changes this:", when, Mic::printable(entry.value(QStringLiteral("user")).toString()));
    if (hasPendingEdits) {
        text += QLatin1Char('\n') + i18n("The changes not yet applied on this page are dropped.");
    }
    QMessageBox question(QMessageBox::Question, i18n("Restore the State Before This Change"), text, QMessageBox::Yes | QMessageBox::No, this);
    QStringList details = difference.lines();
    details += difference.warnings();
    question.setDetailedText(Mic::printableMessage(details.join(QLatin1Char('\n'))));
    question.setInformativeText(Mic::printableMessage(difference.lines().mid(0, 8).join(QLatin1Char('\n'))));
    question.setDefaultButton(QMessageBox::No);
    if (question.exec() != QMessageBox::Yes) {
        return;
    }
    rememberFocus();
    const Mic::Settings::Change request = difference.change();
    if (request.protection == Mic::Settings::Status::Enabled) {
        checkThenSend(request);
    } else {
        send(request);
    }
}
