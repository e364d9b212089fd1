// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "hostwindow.h"

#include <KAcceleratorManager>

#include <QAbstractButton>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QStandardPaths>
#include <QWidget>

namespace HostWindow
{
void manageAccelerators(QWidget *page)
{
    // The whole window: the page's mnemonics must not take the letters of
    // the host's buttons (Apply, Reset, Help).
    KAcceleratorManager::manage(page->window());
}

QList<QAbstractButton *> helpButtons(QWidget *page)
{
    QList<QAbstractButton *> buttons;
    const QList<QDialogButtonBox *> boxes = page->window()->findChildren<QDialogButtonBox *>();
    for (QDialogButtonBox *box : boxes) {
        // The page's own dialogs are windows of their own: only the host's
        // rows of buttons are in its window.
        if (QAbstractButton *help = box->button(QDialogButtonBox::Help); help && !page->isAncestorOf(box)) {
            buttons.append(help);
        }
    }
    return buttons;
}

bool helpCentreInstalled()
{
    return !QStandardPaths::findExecutable(QStringLiteral("khelpcenter")).isEmpty();
}

QString guideFile()
{
    return QStandardPaths::locate(QStandardPaths::GenericDataLocation, QStringLiteral("doc/lumen-kcm-mic/guide.html"));
}
}
