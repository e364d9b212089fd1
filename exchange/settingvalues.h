// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef MIC_SETTINGVALUES_H
#define MIC_SETTINGVALUES_H

#include "settings.h"

#include <QHash>
#include <QList>
#include <QStringList>
#include <QVariantHash>
#include <QVariantMap>

#include <optional>

// The settings as values: what a read answers, what a change asks and what
// it answers, each with one function from the map on the wire and one to
// it. The maps keep the keys and types of settings.h; a value missing from a
// map reads as empty, false, 0 or Status::None.
namespace Mic::Settings
{
// A service as a read reports it.
struct Service {
    QString name;
    unsigned int level = 0;
    bool isolatable = false;
    bool isolated = false;
    // The helper cannot change its isolation until the error is mended.
    bool inError = false;

    bool operator==(const Service &other) const;
};

// What a read answers. A reply sent while the labels are still checked has
// the protection Loading and, to a client that takes chunks, no rules yet.
struct ReadReply {
    Status mic = Status::None;
    unsigned int futureLevel = 0;
    Status protection = Status::None;
    // A line for each unprotected object; nothing in a reply that has not
    // checked the labels, or sent the lines ahead of it in chunks.
    std::optional<QStringList> unprotected;
    // Of them, how many a save would label (not sent by every read).
    std::optional<int> labellableCount;
    QString configPath;
    // Path -> level string as configured, in the wire's own table: a
    // million rules are not copied. Nothing when the reply has none yet.
    std::optional<QVariantHash> rules;
    QVariantHash defaultRules;
    QStringList exceptions;
    QStringList defaultExceptions;
    QHash<QString, unsigned int> userLevels;
    QList<Service> services;
    // Enabled: every service that can be isolated is; Partly: some are.
    Status isolation = Status::None;

    static ReadReply fromWire(const QVariantMap &map);
    QVariantMap toWire() const;
};

struct ServiceIsolation {
    QString name;
    bool isolated = false;

    bool operator==(const ServiceIsolation &other) const;
};

// What a change asks; a setting not given stays as it is. The helper reads
// it from the wire with its own checks (it trusts no client).
struct Change {
    std::optional<Status> mic; // Enabled or Disabled from the next boot
    std::optional<unsigned int> futureLevel;
    std::optional<Status> protection; // Enabled or Disabled
    std::optional<QHash<QString, unsigned int>> userLevels;
    // Path -> new level string; Mic::noLevelString removes the rule.
    std::optional<QHash<QString, QString>> ruleChanges;
    std::optional<QStringList> exceptions;
    // Enabled or Disabled: all services; Partly: as `services` say.
    std::optional<Status> isolation;
    std::optional<QList<ServiceIsolation>> services;

    bool isEmpty() const;
    bool operator==(const Change &other) const;
    QVariantMap toWire() const;
};

// An object a change relabelled.
struct Relabelled {
    QString path;
    unsigned int from = 0;
    unsigned int to = 0;
    // Raised as the container of another object.
    bool container = false;

    bool operator==(const Relabelled &other) const;
};

// What a change (or its check) answers.
struct ChangeOutcome {
    QStringList warnings;
    bool needReboot = false;
    // The first of them; `relabelledCount` counts them all.
    QList<Relabelled> relabelled;
    int relabelledCount = 0;
    int loweredCount = 0;

    static ChangeOutcome fromWire(const QVariantMap &map);
    QVariantMap toWire() const;
};

// Rules, path -> level string, as the wire carries them.
QVariantHash wireTable(const QHash<QString, QString> &rules);

// The check box that shows a status: Enabled checked, Partly partly.
Qt::CheckState checkStateOf(Status status);
}

#endif
