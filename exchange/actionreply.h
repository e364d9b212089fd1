// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef MIC_ACTIONREPLY_H
#define MIC_ACTIONREPLY_H

#include <QString>
#include <QVariantMap>

namespace Mic
{
/*
 * The answer of one of the helper's actions, as KAuth's helper interface
 * carries it: a type, an error code, an error text and the data. The values
 * of the types and of the interface's own error codes are the interface's;
 * KAuth's clients read them. The helper and micctl use this instead of
 * KAuth's own class, whose library pulls in Qt's widgets.
 */
class ActionReply
{
public:
    enum Type : quint32 {
        KAuthErrorType = 0,
        HelperErrorType = 1,
        SuccessType = 2,
    };
    // The interface's own errors (type KAuthErrorType); a helper's errors
    // are its own codes (type HelperErrorType).
    enum Error : int {
        NoError = 0,
        NoResponderError,
        NoSuchActionError,
        InvalidActionError,
        AuthorizationDeniedError,
        UserCancelledError,
        HelperBusyError,
        AlreadyStartedError,
        DBusError,
        BackendError,
    };

    ActionReply() = default;
    explicit ActionReply(Type type, int error = NoError)
        : replyType(type)
        , errorCode(error)
    {
    }

    static ActionReply SuccessReply()
    {
        return ActionReply(SuccessType);
    }
    static ActionReply HelperErrorReply(int error)
    {
        return ActionReply(HelperErrorType, error);
    }
    static ActionReply NoSuchActionReply()
    {
        return ActionReply(KAuthErrorType, NoSuchActionError);
    }
    static ActionReply AuthorizationDeniedReply()
    {
        return ActionReply(KAuthErrorType, AuthorizationDeniedError);
    }
    static ActionReply HelperBusyReply()
    {
        return ActionReply(KAuthErrorType, HelperBusyError);
    }

    Type type() const
    {
        return replyType;
    }
    int error() const
    {
        return errorCode;
    }
    QString errorDescription() const
    {
        return errorText;
    }
    void setErrorDescription(const QString &text)
    {
        errorText = text;
    }
    QVariantMap data() const
    {
        return replyData;
    }
    void setData(const QVariantMap &data)
    {
        replyData = data;
    }
    void addData(const QString &key, const QVariant &value)
    {
        replyData.insert(key, value);
    }
    bool succeeded() const
    {
        return replyType == SuccessType;
    }

private:
    Type replyType = SuccessType;
    int errorCode = NoError;
    QString errorText;
    QVariantMap replyData;
};
}

#endif
