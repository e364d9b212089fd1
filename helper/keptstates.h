// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef KEPTSTATES_H
#define KEPTSTATES_H

#include <QHash>
#include <QSet>
#include <QString>

#include <optional>

class MicSystem;
struct HistoryEntry;

/*
 * The states the machine can go back to: each state file as it is and as
 * its backup generations keep it, known by the SHA-256 of the content. The
 * history names, for each change, the content every state file had before
 * it; the state before a change can be restored while all of them are kept,
 * wherever later changes moved them among the generations.
 */
class KeptStates
{
public:
    explicit KeptStates(const MicSystem &system);

    bool holdsStateBefore(const HistoryEntry &entry) const;
    // The contents before `entry` by the state file's absolute path (null:
    // there was no file); nothing when one of them is no longer kept.
    std::optional<QHash<QString, QByteArray>> stateBefore(const HistoryEntry &entry) const;

private:
    QString root;
    // Relative path of a state file -> digest -> a file that holds it.
    QHash<QString, QHash<QString, QString>> kept;
};

#endif
