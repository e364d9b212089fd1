// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef CONTENTDIGEST_H
#define CONTENTDIGEST_H

#include <QByteArray>
#include <QString>

namespace Mic
{
// The SHA-256 of `content` in lower-case hex: the name by which a change's
// history finds the state files it kept.
QString contentDigest(const QByteArray &content);
}

#endif
