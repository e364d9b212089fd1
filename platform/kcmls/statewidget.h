// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef KCMLS_STATEWIDGET_H
#define KCMLS_STATEWIDGET_H

#include "kcmlstypes.h"

#include <QWidget>

class QLabel;
class QPushButton;
class KBusyIndicatorWidget;

namespace KCMLS
{
// An overlay over the module page while the module waits for authorization,
// for a read or for a save. It covers the page, so the page cannot be edited
// meanwhile.
class StateWidget : public QWidget
{
    Q_OBJECT
public:
    explicit StateWidget(QWidget *page);

    void waitState(KCMLS::State state);
    void resetState();
    KCMLS::State state() const;
    QString text() const;
    QPushButton *authorizeButton() const;

Q_SIGNALS:
    void authRequest();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void coverPage();

    KCMLS::State current = NoState;
    KBusyIndicatorWidget *busyIndicator;
    QLabel *label;
    QPushButton *authorize;
};
}

#endif
