// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "lumenkcmodule.h"

namespace KCMLS
{
LumenKCModule::LumenKCModule(const QString &componentName, QWidget *parent, const QVariantList &args)
#if QT_VERSION_MAJOR >= 6
    : PageModule(parent)
#else
    : KCModule(parent, args)
#endif
    , component(componentName)
    , overlay(new StateWidget(this))
    , messageArea(new MessagesManager(this))
{
#if QT_VERSION_MAJOR >= 6
    Q_UNUSED(args)
#endif
    setButtons(Help | Apply);
}

LumenKCModule::~LumenKCModule() = default;

QString LumenKCModule::componentName() const
{
    return component;
}

bool LumenKCModule::isValid() const
{
    return true;
}

QPushButton *LumenKCModule::backButton() const
{
    return nullptr;
}

StateWidget *LumenKCModule::stateWidget() const
{
    return overlay;
}

MessagesManager *LumenKCModule::messagesManager() const
{
    return messageArea;
}

void LumenKCModule::setDefaultCallState(KCModulesSwitcher::CallState state)
{
    callState = state;
}

KCModulesSwitcher::CallState LumenKCModule::defaultCallState() const
{
    return callState;
}

void LumenKCModule::setResetButtonVisible(bool visible)
{
    // The KDE hosts show Reset together with Apply.
    resetButtonVisible = visible;
    if (visible) {
        setButtons(buttons() | Apply);
    }
}

bool LumenKCModule::isResetButtonVisible() const
{
    return resetButtonVisible;
}

void LumenKCModule::load()
{
    access();
}

void LumenKCModule::save()
{
    change();
    // The host counts a save as done; a module that refuses or fails marks
    // itself changed again afterwards.
    Q_EMIT changed(false);
}

void LumenKCModule::access()
{
}

void LumenKCModule::change()
{
}

void LumenKCModule::chooseModule()
{
}

void LumenKCModule::unchooseModule()
{
}
}
