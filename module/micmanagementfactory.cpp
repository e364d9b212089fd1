#include "micmanagementmodule.h"

#include <KPluginFactory>

K_PLUGIN_FACTORY(MicManagementFactory, registerPlugin<MicManagementModule>();)

#include "micmanagementfactory.moc"
