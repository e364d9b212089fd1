// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef KCMLS_MESSAGESMANAGER_H
#define KCMLS_MESSAGESMANAGER_H

#include "kcmlstypes.h"

#include <QList>
#include <QWidget>

class KMessageWidget;
class QVBoxLayout;

namespace KCMLS
{
// The message area at the top of a module page.
class MessagesManager : public QWidget
{
    Q_OBJECT
public:
    explicit MessagesManager(QWidget *page);

    void newMessage(const QString &text, KCMLS::MessageType type, const QString &secondText, KCMLS::State state);
    void clearMessages();
    QList<KMessageWidget *> messages() const;

private:
    void placeAtTopOfPage();

    QVBoxLayout *layout;
    QList<KMessageWidget *> shown;
};
}

#endif
