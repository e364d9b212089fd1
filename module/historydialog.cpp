// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "historydialog.h"
#include "historymodel.h"
#include "ui_historydialog.h"

#include <KLocalizedString>

#include <QHeaderView>
#include <QPushButton>

HistoryDialog::HistoryDialog(const QVariantList &entries, QWidget *parent)
    : QDialog(parent)
    , ui(new Ui_HistoryDialog)
    , model(new HistoryModel(this))
{
    ui->setupUi(this);
    model->setEntries(entries);
    ui->historyView->setModel(model);
    QHeaderView *header = ui->historyView->header();
    header->setStretchLastSection(false);
    for (int column = 0; column < HistoryModel::ColumnCount; ++column) {
        header->setSectionResizeMode(column, column == HistoryModel::SummaryColumn ? QHeaderView::Stretch : QHeaderView::ResizeToContents);
    }
    restoreButton = ui->buttonBox->addButton(i18n("Restore the State Before This Change"), QDialogButtonBox::AcceptRole);
    restoreButton->setObjectName(QStringLiteral("restoreButton"));
    restoreButton->setIcon(QIcon::fromTheme(QStringLiteral("edit-undo")));
    // Enter on the list must not restore anything by itself.
    restoreButton->setAutoDefault(false);
    ui->buttonBox->button(QDialogButtonBox::Close)->setAutoDefault(false);
    connect(ui->buttonBox, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(ui->buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(ui->historyView->selectionModel(), &QItemSelectionModel::currentRowChanged, this, &HistoryDialog::showSelected);
    if (model->rowCount() > 0) {
        ui->historyView->setCurrentIndex(model->index(0, 0));
    }
    showSelected();
    ui->historyView->setFocus(Qt::OtherFocusReason);
}

HistoryDialog::~HistoryDialog()
{
    delete ui;
}

QVariantMap HistoryDialog::chosenEntry() const
{
    return ui->historyView->currentIndex().data(HistoryModel::EntryRole).toMap();
}

void HistoryDialog::showSelected()
{
    const QModelIndex current = ui->historyView->currentIndex();
    const bool restorable = model->isRestorable(current.row());
    restoreButton->setEnabled(restorable);
    if (!current.isValid()) {
        ui->selectionLabel->setText(model->rowCount() == 0 ? i18n("No changes are recorded.") : QString());
        return;
    }
    const QVariantMap entry = chosenEntry();
    QString text = current.data(Qt::ToolTipRole).toString();
    if (entry.value(QStringLiteral("outcome")).toString() != QLatin1String("applied")) {
        text += QLatin1Char('\n') + i18n("This change was not applied: there is nothing to go back from.");
    } else if (!restorable) {
        text += QLatin1Char('\n') + i18n("The state before this change is no longer kept: later changes replaced its backups.");
    }
    ui->selectionLabel->setText(text);
}
