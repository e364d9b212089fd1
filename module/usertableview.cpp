// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "usertableview.h"

#include <QHeaderView>
#include <QStyle>

namespace
{
constexpr int rowsAskedFor = 4;
constexpr int fullNameColumn = 1;
}

void UserTableView::setModel(QAbstractItemModel *model)
{
    QTreeView::setModel(model);
    // The names and levels fit their contents and the full names take the
    // rest: the maximal level, the column that matters, is in sight without
    // scrolling sideways.
    header()->setStretchLastSection(false);
    for (int column = 0; column < header()->count(); ++column) {
        header()->setSectionResizeMode(column, column == fullNameColumn ? QHeaderView::Stretch : QHeaderView::ResizeToContents);
    }
    // The header, and with it the room asked for, comes with the model.
    updateGeometry();
}

QSize UserTableView::sizeHint() const
{
    // Whether or not the users are there yet: the host sizes its window
    // before the page has read anything.
    const int icon = style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, this);
    const int row = qMax(fontMetrics().height(), icon) + 4;
    // As wide as every column's title and contents, so that the stretched
    // full names do not lose their title in a longer language.
    int width = 2 * frameWidth() + style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    for (int column = 0; column < header()->count(); ++column) {
        width += qMax(header()->sectionSizeHint(column), column == fullNameColumn ? 0 : sizeHintForColumn(column));
    }
    return {qMax(QTreeView::sizeHint().width(), width), 2 * frameWidth() + header()->sizeHint().height() + rowsAskedFor * row};
}
