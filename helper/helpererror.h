#ifndef HELPERERROR_H
#define HELPERERROR_H

#include <KAuth/ActionReply>

// Error codes of the helper's replies; the text says what went wrong. They
// lie above the codes KJob (1 killed, 100 the first of its users') and
// KAuth's own errors (1 to 9; 4 is "authorization denied") use, so a client
// can tell the helper's answer from the framework's.
enum class HelperError {
    InvalidRequest = 201,
    DamagedState = 202,
    WriteFailed = 203,
    Stopped = 204,
};

inline KAuth::ActionReply errorReply(HelperError code, const QString &text)
{
    KAuth::ActionReply reply = KAuth::ActionReply::HelperErrorReply(static_cast<int>(code));
    reply.setErrorDescription(text);
    return reply;
}

#endif
