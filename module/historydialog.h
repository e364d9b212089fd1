// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef HISTORYDIALOG_H
#define HISTORYDIALOG_H

#include <QDialog>
#include <QVariantMap>

class HistoryModel;
class QPushButton;
class Ui_HistoryDialog;

// The history of changes; accepted when the administrator asks to go back
// to the state before the chosen one. It asks nothing of the helper: the
// module reads the history and restores.
class HistoryDialog : public QDialog
{
    Q_OBJECT
public:
    explicit HistoryDialog(const QVariantList &entries, QWidget *parent = nullptr);
    ~HistoryDialog() override;

    // The change whose state before is to come back.
    QVariantMap chosenEntry() const;

private:
    void showSelected();

    Ui_HistoryDialog *ui;
    HistoryModel *model;
    QPushButton *restoreButton;
};

#endif
