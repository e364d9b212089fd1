// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef MICCTL_APPLYREPORT_H
#define MICCTL_APPLYREPORT_H

#include "statedifference.h"

#include <settingvalues.h>

#include <QJsonArray>
#include <QJsonObject>
#include <QStringList>

/*
 * What `micctl apply --json` prints: one JSON document of what the apply
 * did, or would do with --check, for scripts and configuration tools. Its
 * keys are documented in micctl(1) and kept stable; "version" counts
 * incompatible changes.
 */
class ApplyReport
{
public:
    explicit ApplyReport(bool check);

    void setDifference(const StateDifference &difference);
    // `waiting`: an earlier change still waits for a reboot.
    void setOutcome(const Mic::Settings::ChangeOutcome &outcome, bool waiting);
    void addWarnings(const QStringList &texts);
    void addError(const QString &text);
    void setRebootRequired(bool required);
    QJsonObject document() const;

private:
    bool check;
    QJsonArray difference;
    QJsonObject relabelled;
    QStringList warnings;
    QStringList errors;
    bool rebootRequired = false;
    // A change was applied, or would be with --check.
    bool changed = false;
};

#endif
