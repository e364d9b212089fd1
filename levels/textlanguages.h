// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef MIC_TEXTLANGUAGES_H
#define MIC_TEXTLANGUAGES_H

#include <QStringList>

#include <functional>

namespace Mic::Texts
{
// Where the shared code's texts take their languages from, unless set: the
// settings page hands over KI18n's, so that they follow its languages. Apart
// from texts.h, whose names KI18n's header takes for macros.
void followLanguagesOf(const std::function<QStringList()> &source);
}

#endif
