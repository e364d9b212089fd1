// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "messagesmanager.h"

#include <KMessageWidget>

#include <QBoxLayout>

namespace KCMLS
{
MessagesManager::MessagesManager(QWidget *page)
    : QWidget(page)
    , layout(new QVBoxLayout(this))
{
    setObjectName(QStringLiteral("kcmlsMessagesManager"));
    layout->setContentsMargins(0, 0, 0, 0);
    hide();
}

void MessagesManager::newMessage(const QString &text, KCMLS::MessageType type, const QString &secondText, KCMLS::State state)
{
    Q_UNUSED(state)
    placeAtTopOfPage();
    auto *message = new KMessageWidget(this);
    message->setText(secondText.isEmpty() ? text : text + QStringLiteral("<br>") + secondText);
    message->setMessageType(static_cast<KMessageWidget::MessageType>(type));
    message->setWordWrap(true);
    message->setCloseButtonVisible(true);
    connect(message, &KMessageWidget::hideAnimationFinished, this, [this, message] {
        shown.removeOne(message);
        message->deleteLater();
        setVisible(!shown.isEmpty());
    });
    layout->addWidget(message);
    shown.append(message);
    message->show();
    show();
}

void MessagesManager::clearMessages()
{
    qDeleteAll(shown);
    shown.clear();
    hide();
}

QList<KMessageWidget *> MessagesManager::messages() const
{
    return shown;
}

void MessagesManager::placeAtTopOfPage()
{
    // The page builds its own layout after the host made this area, so the
    // area joins that layout when it first has something to show.
    auto *pageLayout = parentWidget() ? qobject_cast<QBoxLayout *>(parentWidget()->layout()) : nullptr;
    if (pageLayout && pageLayout->indexOf(this) < 0) {
        pageLayout->insertWidget(0, this);
    }
}
}
