// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "pagemodule.h"

#include <QTimer>

namespace KCMLS
{
PageModule::PageModule(QWidget *parent)
    : QWidget(parent)
{
}

PageModule::~PageModule() = default;

PageModule::Buttons PageModule::buttons() const
{
    return shownButtons;
}

void PageModule::setButtons(Buttons buttons)
{
    shownButtons = buttons;
}

bool PageModule::hasLoadedItself() const
{
    return loadedItself;
}

void PageModule::load()
{
}

void PageModule::save()
{
}

void PageModule::defaults()
{
}

void PageModule::markAsChanged()
{
    Q_EMIT changed(true);
}

void PageModule::showEvent(QShowEvent *event)
{
    if (!shown) {
        shown = true;
        // After the host has shown the whole window, as the hosts' own
        // modules load; the host learns the page is unchanged.
        QTimer::singleShot(0, this, [this] {
            loadedItself = true;
            load();
            Q_EMIT changed(false);
        });
    }
    QWidget::showEvent(event);
}
}
