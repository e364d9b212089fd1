// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "kcmodulehost.h"
#include "lumenkcmodule.h"

namespace KCMLS
{
KCModuleHost::KCModuleHost(QObject *parent, const KPluginMetaData &data, const PageMaker &makePage)
    : KCModule(parent, data)
    , shownPage(makePage(qobject_cast<QWidget *>(parent)))
{
    setButtons(KAbstractConfigModule::Buttons(int(shownPage->buttons())));
    connect(shownPage, &PageModule::changed, this, &KCModule::setNeedsSave);
    connect(shownPage, &PageModule::defaulted, this, &KCModule::setRepresentsDefaults);
}

KCModuleHost::~KCModuleHost()
{
    // A page without a parent widget is the host module's alone.
    if (shownPage && !shownPage->parent()) {
        delete shownPage;
    }
}

QWidget *KCModuleHost::widget()
{
    return shownPage;
}

LumenKCModule *KCModuleHost::page() const
{
    return shownPage;
}

void KCModuleHost::load()
{
    // The page loads itself once it is first shown; a load the host asks
    // for before that would read twice. Later ones are the host's Reset.
    if (shownPage && shownPage->hasLoadedItself()) {
        shownPage->load();
    }
}

void KCModuleHost::save()
{
    if (shownPage) {
        shownPage->save();
    }
}

void KCModuleHost::defaults()
{
    if (shownPage) {
        shownPage->defaults();
    }
}
}
