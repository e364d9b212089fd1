// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef KCMSS_SECURITYKCMODULE_H
#define KCMSS_SECURITYKCMODULE_H

#include <lumenkcmodule.h>

namespace KCMSS
{
// Base of the modules of the security settings group.
class SecurityKCModule : public KCMLS::LumenKCModule
{
    Q_OBJECT
public:
    SecurityKCModule(const QString &componentName, QWidget *parent, const QVariantList &args);
    ~SecurityKCModule() override;
};
}

#endif
