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

CommitableTableView::Position CommitableTableView::position(int keyColumn) const
{
    const QModelIndex current = currentIndex();
    if (!current.isValid()) {
        return {};
    }
    return {current.row(), current.column(), current.siblingAtColumn(keyColumn).data().toString()};
}

void CommitableTableView::restore(const Position &position, int keyColumn)
{
    if (position.row < 0 || !model()) {
        return;
    }
    QModelIndex row = model()->index(position.row, keyColumn);
    if (row.data().toString() != position.key) {
        // A read may add or drop rows before it: the row is looked for,
        // once per read.
        const QModelIndexList found = model()->match(model()->index(0, keyColumn), Qt::DisplayRole, position.key, 1, Qt::MatchExactly);
        row = found.value(0);
    }
    if (row.isValid()) {
        setCurrentIndex(row.siblingAtColumn(position.column));
    }
}

void CommitableTableView::keyPressEvent(QKeyEvent *event)
{
    if (state() != EditingState && editCurrent(event)) {
        return;
    }
    QTableView::keyPressEvent(event);
}

void CommitableTableView::closeEditor(QWidget *editor, QAbstractItemDelegate::EndEditHint hint)
{
    const bool leaving = hint == QAbstractItemDelegate::EditNextItem || hint == QAbstractItemDelegate::EditPreviousItem;
    QTableView::closeEditor(editor, leaving ? QAbstractItemDelegate::NoHint : hint);
    if (leaving) {
        // From the table, now that it holds the focus again: past its end
        // for Tab, before it for Shift+Tab.
        setFocus(Qt::OtherFocusReason);
        focusNextPrevChild(hint == QAbstractItemDelegate::EditNextItem);
    }
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
