// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef KCMLS_PAGEMODULE_H
#define KCMLS_PAGEMODULE_H

#include <QWidget>

namespace KCMLS
{
/*
 * The part of the Frameworks 5 KCModule that the modules of the Frameworks 6
 * build use: there, KCModule is no longer a widget, so a module is this
 * page, and a KCModuleHost shows it in the hosts. As the Frameworks 5 module
 * did, the page loads itself when it is first shown.
 */
class PageModule : public QWidget
{
    Q_OBJECT
public:
    enum Button {
        NoAdditionalButton = 0,
        Help = 1,
        Default = 2,
        Apply = 4,
        Export = 8,
    };
    Q_DECLARE_FLAGS(Buttons, Button)

    explicit PageModule(QWidget *parent);
    ~PageModule() override;

    Buttons buttons() const;
    void setButtons(Buttons buttons);
    // Whether the page has loaded itself after its first show.
    bool hasLoadedItself() const;

public Q_SLOTS:
    virtual void load();
    virtual void save();
    virtual void defaults();
    void markAsChanged();

Q_SIGNALS:
    void changed(bool state);
    void defaulted(bool state);

protected:
    void showEvent(QShowEvent *event) override;

private:
    Buttons shownButtons = Buttons(Help | Default | Apply);
    bool shown = false;
    bool loadedItself = false;
};
}

Q_DECLARE_OPERATORS_FOR_FLAGS(KCMLS::PageModule::Buttons)

#endif
