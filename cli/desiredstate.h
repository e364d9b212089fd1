// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef DESIREDSTATE_H
#define DESIREDSTATE_H

#include <QHash>
#include <QStringList>
#include <QVariantMap>

#include <optional>

/*
 * A desired-state file as written by "micctl export": format
 * "lumen-mic-state", version 1. Every setting is optional; one left out
 * keeps the machine's, and so does a user or service the file does not
 * name. "defaultsLeftOut" ({"userLevels": 0}) says that an export left out
 * the users at that level; it changes nothing of that. Read whole and
 * checked for its form (known keys, types, levels 0..255) before anything
 * is compared; what the paths and level strings mean is the helper's to
 * judge.
 */
struct DesiredState {
    std::optional<bool> micEnabledAfterReboot;
    std::optional<unsigned int> maxLevelAfterReboot;
    std::optional<bool> fileSystemProtection;
    std::optional<QHash<QString, bool>> serviceIsolation;
    std::optional<QHash<QString, unsigned int>> userLevels;
    // Path -> level string, exactly as the configuration is to hold it.
    std::optional<QHash<QString, QString>> rules;
    std::optional<QStringList> exceptions;

    // The first fault of the file in `error`, naming the key.
    static std::optional<DesiredState> fromJson(const QByteArray &json, QString *error);
    // What brings a machine (`machine`, the helper's read reply) back to the
    // settings it had before a change (`before`, the helper's reply to a
    // read of that state), users at level 0 included. Protection is asked
    // for only where it was set otherwise then: labels that were below their
    // level before the change too are not what going back is about, and the
    // administrator is not asked to relabel them; changed rules still reach
    // the labels.
    static std::optional<DesiredState> restoring(const QVariantMap &before, const QVariantMap &machine, QString *error);
};

#endif
