// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "workprogresspanel.h"
#include "ui_workprogresspanel.h"

#include <helperrequest.h>

#include <KLocalizedString>

#include <QEvent>

#include <algorithm>

WorkProgressPanel::WorkProgressPanel(QWidget *page)
    : QFrame(page)
    , ui(std::make_unique<Ui::WorkProgressPanel>())
{
    ui->setupUi(this);
    setAutoFillBackground(true);
    connect(ui->stopButton, &QPushButton::clicked, this, &WorkProgressPanel::stop);
    page->installEventFilter(this);
    hide();
}

WorkProgressPanel::~WorkProgressPanel() = default;

void WorkProgressPanel::follow(HelperRequest *request)
{
    followed = request;
    text = WorkProgressText();
    ui->stopButton->setEnabled(true);
    connect(request, &HelperRequest::workProgressed, this, &WorkProgressPanel::showProgress);
    connect(request, &KJob::result, this, [this, request] {
        if (followed == request) {
            hide();
        }
    });
}

void WorkProgressPanel::showProgress(const QString &phase, qint64 done, qint64 total)
{
    if (!ui->stopButton->isEnabled()) {
        // Stopping: what is put back shows, the button stays as it is.
        ui->workProgressLabel->setText(i18nc("@info:progress", "Stopping: %1", text.update(phase, done, total)));
    } else {
        ui->workProgressLabel->setText(text.update(phase, done, total));
    }
    ui->workProgressBar->setValue(WorkProgressText::perMille(done, total));
    if (isHidden()) {
        placeOverPage();
        show();
    }
    // Above the veil the page shows while it waits.
    raise();
}

void WorkProgressPanel::stop()
{
    if (!followed) {
        return;
    }
    ui->stopButton->setEnabled(false);
    ui->workProgressLabel->setText(i18n("Stopping…"));
    followed->askToStop();
}

bool WorkProgressPanel::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize) {
        placeOverPage();
    }
    return QFrame::eventFilter(watched, event);
}

// Across the middle of the page, below the text of its veil.
void WorkProgressPanel::placeOverPage()
{
    const QRect page = parentWidget()->rect();
    const int width = std::min(page.width() - 2 * 24, 520);
    const int height = sizeHint().height();
    setGeometry(page.center().x() - width / 2, page.center().y() + 48, width, height);
}
