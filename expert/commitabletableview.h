// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef COMMITABLETABLEVIEW_H
#define COMMITABLETABLEVIEW_H

#include <QTableView>

// A table view whose open editor can be landed on demand, so that a button
// that changes the table does not lose the edit in progress. From the
// keyboard, as in KDE's tables: F2, Enter or Space edits the current cell,
// Alt+Down opens the list of a cell edited with one, and Tab leaves the
// table rather than going from cell to cell.
class CommitableTableView : public QTableView
{
    Q_OBJECT
public:
    explicit CommitableTableView(QWidget *parent);
    ~CommitableTableView() override;

    // Writes the open editor of the current cell to the model and closes it;
    // does nothing without one.
    void commit();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    bool editCurrent(QKeyEvent *event);
};

#endif
