// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef MICAUTHHELPER_H
#define MICAUTHHELPER_H

#include <actionreply.h>

#include <QObject>
#include <QVariantMap>

// The privileged side of the settings module: reads the MIC state for the
// access action and applies change requests for the change action.
class MicAuthHelper : public QObject
{
    Q_OBJECT
public Q_SLOTS:
    Mic::ActionReply access(const QVariantMap &args);
    Mic::ActionReply change(const QVariantMap &args);
};

#endif
