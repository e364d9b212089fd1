// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "micmanagementmodule.h"
#include "qttranslations.h"

#include <KPluginFactory>

// The factory is made once, when the host loads the plugin.
K_PLUGIN_FACTORY(MicManagementFactory, Mic::installQtTranslations(); registerPlugin<MicManagementModule>();)

#include "micmanagementfactory.moc"
