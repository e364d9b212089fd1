// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "commitabletableview.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QTimer>

CommitableTableView::CommitableTableView(QWidget *parent)
    : QTableView(parent)
{
    setTabKeyNavigation(false);
}

CommitableTableView::~CommitableTableView() = default;

void CommitableTableView::commit()
{
    // Leaving a cell for itself makes the view commit and close its editor,
    // through the delegate like any other change of the current cell.
    const QModelIndex current = currentIndex();
    currentChanged(current, current);
}

void CommitableTableView::keyPressEvent(QKeyEvent *event)
{
    if (state() != EditingState && editCurrent(event)) {
        return;
    }
    QTableView::keyPressEvent(event);
}

bool CommitableTableView::editCurrent(QKeyEvent *event)
{
    const bool openList = event->key() == Qt::Key_Down && event->modifiers() == Qt::AltModifier;
    const bool editKey = event->modifiers() == Qt::NoModifier
        && (event->key() == Qt::Key_F2 || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter || event->key() == Qt::Key_Space);
    const QModelIndex current = currentIndex();
    if ((!openList && !editKey) || !current.isValid() || !edit(current, AllEditTriggers, event)) {
        return false;
    }
    if (openList) {
        // The editor just opened; one closed before may still wait to be
        // deleted.
        const QList<QComboBox *> lists = viewport()->findChildren<QComboBox *>();
        for (auto it = lists.crbegin(); it != lists.crend(); ++it) {
            if ((*it)->isVisible()) {
                QTimer::singleShot(0, *it, &QComboBox::showPopup);
                break;
            }
        }
    }
    return true;
}
