// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef USERTABLEVIEW_H
#define USERTABLEVIEW_H

#include <QTreeView>

// The table of users asks for the room of a few rows, not the generic room
// of a view: it scrolls by itself, so on a small screen or in System
// Settings' default window it gives way to the rest of the page, and it
// takes whatever room more the window has.
class UserTableView : public QTreeView
{
public:
    using QTreeView::QTreeView;

    void setModel(QAbstractItemModel *model) override;
    QSize sizeHint() const override;
};

#endif
