// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef MIC_HELPERACTION_H
#define MIC_HELPERACTION_H

#include "protocol.h"

#include <QRegularExpression>
#include <QString>
#include <QVariantMap>

namespace Mic
{
/*
 * One of the helper's actions as a client asks for it: its name, the
 * helper's bus name, a time-out, the details for polkit's question and the
 * arguments. What KAuth's Action holds for a call, without its library,
 * which pulls in Qt's widgets: micctl uses it on servers.
 */
class HelperAction
{
public:
    explicit HelperAction(const QString &name, const QVariantMap &arguments = {})
        : actionName(name)
        , actionArguments(arguments)
    {
    }

    QString name() const
    {
        return actionName;
    }
    // The names polkit accepts: lower-case letters, digits, dots and dashes.
    bool isValid() const
    {
        static const QRegularExpression allowed(QStringLiteral("^[a-z0-9.-]+$"));
        return allowed.match(actionName).hasMatch();
    }
    QString helperId() const
    {
        return helper;
    }
    void setHelperId(const QString &id)
    {
        helper = id;
    }
    // In milliseconds; 0 or less for none.
    int timeout() const
    {
        return timeoutMs;
    }
    void setTimeout(int milliseconds)
    {
        timeoutMs = milliseconds;
    }
    QVariantMap arguments() const
    {
        return actionArguments;
    }
    void setArguments(const QVariantMap &arguments)
    {
        actionArguments = arguments;
    }
    void addArgument(const QString &key, const QVariant &value)
    {
        actionArguments.insert(key, value);
    }
    // The details as polkit takes them ("polkit.message", "other_details").
    QVariantMap polkitDetails() const
    {
        return details;
    }
    void setPolkitDetails(const QVariantMap &polkitDetails)
    {
        details = polkitDetails;
    }

    // An action of this project's helper, with its time-out.
    static HelperAction ofHelper(const QString &name, const QVariantMap &arguments = {})
    {
        HelperAction action(name, arguments);
        action.setHelperId(Protocol::helperId);
        action.setTimeout(Protocol::actionTimeout);
        return action;
    }

private:
    QString actionName;
    QString helper;
    int timeoutMs = -1;
    QVariantMap details;
    QVariantMap actionArguments;
};
}

#endif
