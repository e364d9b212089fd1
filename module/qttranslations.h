// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef MIC_QTTRANSLATIONS_H
#define MIC_QTTRANSLATIONS_H

namespace Mic
{
// Puts Qt's own catalogue for the page's languages into the application, so
// that the texts Qt writes on the page (the tree's headers and file types,
// the standard buttons) speak the page's language. Does nothing when the
// application translates them already: the host, or an earlier call, loaded
// that catalogue.
void installQtTranslations();
}

#endif
