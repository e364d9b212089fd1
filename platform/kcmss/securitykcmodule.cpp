// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "securitykcmodule.h"

namespace KCMSS
{
SecurityKCModule::SecurityKCModule(const QString &componentName, QWidget *parent, const QVariantList &args)
    : KCMLS::LumenKCModule(componentName, parent, args)
{
}

SecurityKCModule::~SecurityKCModule() = default;
}
