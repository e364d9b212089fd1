// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef UNPROTECTEDFILESMODEL_H
#define UNPROTECTEDFILESMODEL_H

#include <QStringListModel>

// The lines of the objects below their configured level, as they can be
// shown; each whole line is its tool tip, since the view shortens long ones.
// A list view of it stays quick at a million lines, where a widget item per
// line would not.
class UnprotectedFilesModel : public QStringListModel
{
    Q_OBJECT
public:
    using QStringListModel::QStringListModel;

    QVariant data(const QModelIndex &index, int role) const override;
    void append(const QStringList &lines);
};

#endif
