#include "commitabletableview.h"

CommitableTableView::CommitableTableView(QWidget *parent)
    : QTableView(parent)
{
}

CommitableTableView::~CommitableTableView() = default;

void CommitableTableView::commit()
{
    // Leaving a cell for itself makes the view commit and close its editor,
    // through the delegate like any other change of the current cell.
    const QModelIndex current = currentIndex();
    currentChanged(current, current);
}
