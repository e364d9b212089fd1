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
    box->setCheckState(protectionState);
    connect(this, &SharedSettings::protectionChanged, box, &QCheckBox::setCheckState);
    onClick(box, [this](Qt::CheckState state) {
        setProtection(state);
        Q_EMIT protectionEdited(state);
    });
}

void SharedSettings::showIsolationIn(QCheckBox *box)
{
    box->setCheckState(isolationState);
    connect(this, &SharedSettings::isolationChanged, box, &QCheckBox::setCheckState);
    onClick(box, [this](Qt::CheckState state) {
        setIsolation(state);
        Q_EMIT isolationEdited(state);
    });
}

void SharedSettings::onClick(QCheckBox *box, const std::function<void(Qt::CheckState)> &edit)
{
    connect(box, &QCheckBox::clicked, this, [box, edit] {
        const Qt::CheckState clicked = clickedState(box);
        // The box shows the state even when it was held already.
        box->setCheckState(clicked);
        edit(clicked);
    });
}
