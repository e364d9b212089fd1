#ifndef COMMITABLETABLEVIEW_H
#define COMMITABLETABLEVIEW_H

#include <QTableView>

// A table view whose open editor can be landed on demand, so that a button
// that changes the table does not lose the edit in progress.
class CommitableTableView : public QTableView
{
    Q_OBJECT
public:
    explicit CommitableTableView(QWidget *parent);
    ~CommitableTableView() override;

    // Writes the open editor of the current cell to the model and closes it;
    // does nothing without one.
    void commit();
};

#endif
