// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "systemlog.h"
#include "changehistory.h"

#include <printable.h>

#include <systemd/sd-journal.h>

#include <syslog.h>

void SystemLog::recordChange(const HistoryEntry &entry)
{
    const bool fine = entry.outcome == QLatin1String("applied");
    // The caller's name and the summary are shown as they are in a
    // terminal: nothing in them may pass for a control sequence.
    const QByteArray user = Mic::printable(entry.user).toUtf8();
    const QByteArray summary = Mic::printable(entry.summary).toUtf8();
    const QByteArray message = "Integrity control change by " + user + " (uid " + QByteArray::number(entry.uid) + "), " + entry.outcome.toUtf8() + ": " + summary;
    sd_journal_send("MESSAGE=%s", message.constData(),
                    "MESSAGE_ID=%s", changeMessageId,
                    "PRIORITY=%i", fine ? LOG_NOTICE : LOG_WARNING,
                    "SYSLOG_IDENTIFIER=%s", "lumen_kcm_mic_helper",
                    "MIC_REQUEST_ID=%s", entry.requestId.toHex().constData(),
                    "MIC_CALLER_UID=%lld", static_cast<long long>(entry.uid),
                    "MIC_CALLER_USER=%s", user.constData(),
                    "MIC_OUTCOME=%s", entry.outcome.toUtf8().constData(),
                    "MIC_RELABELLED=%d", entry.relabelled,
                    "MIC_SUMMARY=%s", summary.constData(),
                    nullptr);
}
