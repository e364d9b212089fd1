// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef SYSTEMLOG_H
#define SYSTEMLOG_H

struct HistoryEntry;

// Entries of the system's journal: every change asked of the helper, under
// one message id, so that `journalctl MESSAGE_ID=<changeMessageId>` lists
// them all, with the request id, the caller and the outcome as fields of
// their own (MIC_REQUEST_ID, MIC_CALLER_UID, MIC_CALLER_USER, MIC_OUTCOME,
// MIC_RELABELLED). Where no journal runs, nothing is sent: the history file
// keeps the change.
namespace SystemLog
{
inline constexpr const char *changeMessageId = "4f1c2b9e7a3d48c6b05e9d2a6c7f1e38";

void recordChange(const HistoryEntry &entry);
}

#endif
