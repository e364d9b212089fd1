// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "ilevelcombobox.h"

#include <ksec.h>

#include <QSignalBlocker>

#include <cstdlib>

namespace KestrelQt5
{
namespace
{
QString levelText(unsigned int level)
{
    const QString number = QString::number(level);
    char *text = ksec_ilev_get_text(level, nullptr);
    const QString name = text ? QString::fromLocal8Bit(text) : QString();
    std::free(text);
    return name.isEmpty() || name == number ? number : number + QStringLiteral(" - ") + name;
}
}

ILevelComboBox::ILevelComboBox(QWidget *parent)
    : QComboBox(parent)
{
    setSizeAdjustPolicy(QComboBox::AdjustToContents);
}

void ILevelComboBox::rebuild()
{
    const bool hadValue = count() > 0;
    const unsigned int chosen = value();
    const QSignalBlocker blocker(this);
    clear();
    int n = 0;
    const uint32_t *levels = ksec_get_ilevs(&n);
    for (int i = 0; levels && i < n; ++i) {
        if (findData(levels[i]) < 0) {
            addItem(levelText(levels[i]), levels[i]);
        }
    }
    if (hadValue) {
        setValue(chosen, false);
    }
}

void ILevelComboBox::setValue(unsigned int level, bool notify)
{
    const QSignalBlocker blocker(notify ? nullptr : this);
    int index = findData(level);
    if (index < 0) {
        addItem(levelText(level), level);
        index = count() - 1;
    }
    setCurrentIndex(index);
}

unsigned int ILevelComboBox::value() const
{
    return currentData().toUInt();
}
}
