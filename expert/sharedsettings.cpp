// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "sharedsettings.h"

#include <QCheckBox>

namespace
{
// A click cycles a tristate box through "partly": an administrator chooses
// on or off.
Qt::CheckState clickedState(const QCheckBox *box)
{
    return box->checkState() == Qt::PartiallyChecked ? Qt::Checked : box->checkState();
}
}

SharedSettings::SharedSettings(QObject *parent)
    : QObject(parent)
{
}

Qt::CheckState SharedSettings::protection() const
{
    return protectionState;
}

Qt::CheckState SharedSettings::isolation() const
{
    return isolationState;
}

void SharedSettings::setProtection(Qt::CheckState state)
{
    if (state != protectionState) {
        protectionState = state;
        Q_EMIT protectionChanged(state);
    }
}

void SharedSettings::setIsolation(Qt::CheckState state)
{
    if (state != isolationState) {
        isolationState = state;
        Q_EMIT isolationChanged(state);
    }
}

void SharedSettings::showProtectionIn(QCheckBox *box)
{
    show(box, protectionState, &SharedSettings::protectionChanged, &SharedSettings::setProtection, &SharedSettings::protectionEdited);
}

void SharedSettings::showIsolationIn(QCheckBox *box)
{
    show(box, isolationState, &SharedSettings::isolationChanged, &SharedSettings::setIsolation, &SharedSettings::isolationEdited);
}

void SharedSettings::show(QCheckBox *box, Qt::CheckState state, StateSignal changed, void (SharedSettings::*set)(Qt::CheckState), StateSignal edited)
{
    box->setCheckState(state);
    connect(this, changed, box, &QCheckBox::setCheckState);
    connect(box, &QCheckBox::clicked, this, [this, box, set, edited] {
        const Qt::CheckState clicked = clickedState(box);
        // The box shows the state even when it was held already.
        box->setCheckState(clicked);
        (this->*set)(clicked);
        Q_EMIT(this->*edited)(clicked);
    });
}
