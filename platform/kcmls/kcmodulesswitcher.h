// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef KCMLS_KCMODULESSWITCHER_H
#define KCMLS_KCMODULESSWITCHER_H

namespace KCMLS
{
// The part of the host's module switcher that modules see: which of their
// operations the host runs when a module is chosen.
class KCModulesSwitcher
{
public:
    enum CallState {
        CallNothing = 0,
        CallLoad = 1,
        CallSave = 2,
        CallDefaults = 4,
        CallLoadAndDefaults = CallLoad | CallDefaults,
    };
};
}

#endif
