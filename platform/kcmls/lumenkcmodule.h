// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef KCMLS_LUMENKCMODULE_H
#define KCMLS_LUMENKCMODULE_H

#include "kcmodulesswitcher.h"
#include "messagesmanager.h"
#include "statewidget.h"

#include <QtGlobal>
#if QT_VERSION_MAJOR >= 6
#include "pagemodule.h"
#else
#include <KCModule>
#endif

class QPushButton;

namespace KCMLS
{
#if QT_VERSION_MAJOR >= 6
using ModuleBase = PageModule;
#else
using ModuleBase = KCModule;
#endif

/*
 * A settings module whose reads and writes are asynchronous: the host's
 * load() starts access() and save() starts change(). A module reports the
 * outcome itself, through its state overlay, its message area and its
 * changed state.
 */
class LumenKCModule : public ModuleBase
{
    Q_OBJECT
public:
    LumenKCModule(const QString &componentName, QWidget *parent, const QVariantList &args);
    ~LumenKCModule() override;

    QString componentName() const;
    virtual bool isValid() const;

    // The host's button that leads back from a module's inner page; null
    // when the host has none (as in the plain KDE hosts).
    QPushButton *backButton() const;
    StateWidget *stateWidget() const;
    MessagesManager *messagesManager() const;

    void setDefaultCallState(KCModulesSwitcher::CallState state);
    KCModulesSwitcher::CallState defaultCallState() const;
    void setResetButtonVisible(bool visible);
    bool isResetButtonVisible() const;

public Q_SLOTS:
    void load() override;
    void save() override;
    virtual void access();
    virtual void change();
    virtual void chooseModule();
    virtual void unchooseModule();

private:
    QString component;
    StateWidget *overlay;
    MessagesManager *messageArea;
    KCModulesSwitcher::CallState callState = KCModulesSwitcher::CallLoad;
    bool resetButtonVisible = false;
};
}

#endif
