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

    // The current cell, its row known by its text in a column that tells
    // rows apart (a rule's path), so that it can be found again after the
    // model is reset.
    struct Position {
        int row = -1;
        int column = 0;
        QString key;
    };
    Position position(int keyColumn) const;
    // Makes the cell current again: at the same row when the row there has
    // the same key, otherwise at the row that has it; nothing when none has.
    void restore(const Position &position, int keyColumn);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    // Tab in an open editor ends the edit and leaves the table too.
    void closeEditor(QWidget *editor, QAbstractItemDelegate::EndEditHint hint) override;

private:
    bool editCurrent(QKeyEvent *event);
};

#endif
