// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef HELPERERROR_H
#define HELPERERROR_H

#include <protocol.h>

#include <actionreply.h>

// Error codes of the helper's replies (see protocol.h); the text says what
// went wrong.
enum class HelperError {
    InvalidRequest = Mic::Protocol::Error::InvalidRequest,
    DamagedState = Mic::Protocol::Error::DamagedState,
    WriteFailed = Mic::Protocol::Error::WriteFailed,
    UnsealedRequest = Mic::Protocol::Error::UnsealedRequest,
    TooLarge = Mic::Protocol::Error::TooLarge,
    Stopped = Mic::Protocol::Error::Stopped,
};

// A plain error reply, for requests that carry no seal to answer under.
inline Mic::ActionReply errorReply(HelperError code, const QString &text)
{
    Mic::ActionReply reply = Mic::ActionReply::HelperErrorReply(static_cast<int>(code));
    reply.setErrorDescription(text);
    return reply;
}

#endif
