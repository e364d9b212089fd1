#ifndef HELPERERROR_H
#define HELPERERROR_H

#include <KAuth/ActionReply>

// Error codes of the helper's replies; the text says what went wrong.
enum class HelperError {
    InvalidRequest = 1,
    DamagedState = 2,
    WriteFailed = 3,
    Stopped = 4,
};

inline KAuth::ActionReply errorReply(HelperError code, const QString &text)
{
    KAuth::ActionReply reply = KAuth::ActionReply::HelperErrorReply(static_cast<int>(code));
    reply.setErrorDescription(text);
    return reply;
}

#endif
