// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "statewidget.h"

#include <KBusyIndicatorWidget>
#include <KLocalizedString>

#include <QEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace KCMLS
{
StateWidget::StateWidget(QWidget *page)
    : QWidget(page)
    , busyIndicator(new KBusyIndicatorWidget(this))
    , label(new QLabel(this))
    , authorize(new QPushButton(QIcon::fromTheme(QStringLiteral("dialog-password")), i18n("Authorize"), this))
{
    setObjectName(QStringLiteral("kcmlsStateWidget"));
    auto *layout = new QVBoxLayout(this);
    layout->addStretch();
    layout->addWidget(busyIndicator, 0, Qt::AlignHCenter);
    layout->addWidget(label, 0, Qt::AlignHCenter);
    layout->addWidget(authorize, 0, Qt::AlignHCenter);
    layout->addStretch();
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(true);
    connect(authorize, &QPushButton::clicked, this, &StateWidget::authRequest);
    page->installEventFilter(this);
    hide();
}

void StateWidget::waitState(KCMLS::State state)
{
    if (state == NoState) {
        resetState();
        return;
    }
    current = state;
    switch (state) {
    case AuthorizationState:
        label->setText(i18n("Authorization is required to read the settings."));
        break;
    case ReadingState:
        label->setText(i18n("Reading settings…"));
        break;
    case SavingState:
        label->setText(i18n("Saving settings…"));
        break;
    case NoState:
        break;
    }
    authorize->setVisible(state == AuthorizationState);
    coverPage();
    show();
    raise();
    if (state == AuthorizationState) {
        authorize->setFocus();
    }
}

void StateWidget::resetState()
{
    current = NoState;
    hide();
}

State StateWidget::state() const
{
    return current;
}

QString StateWidget::text() const
{
    return label->text();
}

QPushButton *StateWidget::authorizeButton() const
{
    return authorize;
}

bool StateWidget::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize) {
        coverPage();
    }
    return QWidget::eventFilter(watched, event);
}

void StateWidget::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    QColor veil = palette().color(QPalette::Window);
    veil.setAlpha(220);
    painter.fillRect(rect(), veil);
}

void StateWidget::coverPage()
{
    if (parentWidget()) {
        setGeometry(parentWidget()->rect());
    }
}
}
