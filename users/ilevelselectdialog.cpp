// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "ilevelselectdialog.h"
#include "ui_ilevelselectdialog.h"

ILevelSelectDialog::ILevelSelectDialog(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui_ILevelSelectDialog)
{
    ui->setupUi(this);
    ui->minimalILevelComboBox->rebuild();
    ui->maximalILevelComboBox->rebuild();
}

ILevelSelectDialog::~ILevelSelectDialog()
{
    delete ui;
}

void ILevelSelectDialog::setILevel(unsigned char level)
{
    ui->minimalILevelComboBox->setValue(0, false);
    ui->minimalILevelComboBox->setEnabled(false);
    ui->maximalILevelComboBox->setValue(level, false);
}

unsigned char ILevelSelectDialog::iLevel() const
{
    return static_cast<unsigned char>(ui->maximalILevelComboBox->value() & 0xffu);
}
