#include "securitykcmodule.h"

namespace KCMSS
{
SecurityKCModule::SecurityKCModule(const QString &componentName, QWidget *parent, const QVariantList &args)
    : KCMLS::LumenKCModule(componentName, parent, args)
{
}

SecurityKCModule::~SecurityKCModule() = default;
}
