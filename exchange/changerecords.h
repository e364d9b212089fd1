// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef MIC_CHANGERECORDS_H
#define MIC_CHANGERECORDS_H

#include <QString>
#include <QVariant>

namespace Mic
{
// The warning about a change the helper could not finish and undid, as the
// page and micctl give it; empty when `change` (a reply's
// "interruptedChange") names none.
QString interruptedChangeText(const QVariant &change);

// A time of the history ("2026-12-08T13:00:00Z") as the administrator's
// locale writes it, in local time.
QString historyTimeText(const QString &isoTime);
}

#endif
