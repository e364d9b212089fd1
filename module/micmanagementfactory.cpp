// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "micmanagementmodule.h"
#include "qttranslations.h"

#include <KPluginFactory>

#if QT_VERSION_MAJOR >= 6
#include <kcmodulehost.h>

namespace
{
// What the Frameworks 6 hosts load: the page inside a KCModule.
class MicManagementHost : public KCMLS::KCModuleHost
{
public:
    MicManagementHost(QObject *parent, const KPluginMetaData &data)
        : KCMLS::KCModuleHost(parent, data, [](QWidget *parentWidget) {
            return new MicManagementModule(parentWidget, {});
        })
    {
    }
};
}

// The factory is made once, when the host loads the plugin.
K_PLUGIN_FACTORY_WITH_JSON(MicManagementFactory, "lumen_kcm_mic.json", Mic::installQtTranslations(); registerPlugin<MicManagementHost>();)
#else
K_PLUGIN_FACTORY(MicManagementFactory, Mic::installQtTranslations(); registerPlugin<MicManagementModule>();)
#endif

#include "micmanagementfactory.moc"
