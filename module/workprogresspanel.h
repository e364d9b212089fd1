// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef WORKPROGRESSPANEL_H
#define WORKPROGRESSPANEL_H

#include <workprogresstext.h>

#include <QFrame>
#include <QPointer>

#include <memory>

class HelperRequest;

namespace Ui
{
class WorkProgressPanel;
}

/*
 * How far the helper is with a long save (checking and labelling the file
 * system), shown over the page while the page waits for it, with a button
 * that stops it. It shows only once the helper reports progress: a short
 * save never shows it.
 */
class WorkProgressPanel : public QFrame
{
    Q_OBJECT
public:
    explicit WorkProgressPanel(QWidget *page);
    ~WorkProgressPanel() override;

    // Shows the progress of `request` until it ends.
    void follow(HelperRequest *request);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showProgress(const QString &phase, qint64 done, qint64 total);
    void stop();
    void placeOverPage();

    std::unique_ptr<Ui::WorkProgressPanel> ui;
    QPointer<HelperRequest> followed;
    WorkProgressText text;
};

#endif
