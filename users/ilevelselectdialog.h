// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef ILEVELSELECTDIALOG_H
#define ILEVELSELECTDIALOG_H

#include <QDialog>

class Ui_ILevelSelectDialog;

// Chooses a user's maximal integrity level; the minimal one is always 0.
class ILevelSelectDialog : public QDialog
{
public:
    explicit ILevelSelectDialog(QWidget *parent);
    ~ILevelSelectDialog() override;

    void setILevel(unsigned char level);
    unsigned char iLevel() const;

private:
    Ui_ILevelSelectDialog *ui;
};

#endif
