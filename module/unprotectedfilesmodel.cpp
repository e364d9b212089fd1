// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "unprotectedfilesmodel.h"

#include <printable.h>

QVariant UnprotectedFilesModel::data(const QModelIndex &index, int role) const
{
    return QStringListModel::data(index, role == Qt::ToolTipRole ? Qt::DisplayRole : role);
}

void UnprotectedFilesModel::append(const QStringList &lines)
{
    if (lines.isEmpty()) {
        return;
    }
    QStringList all = stringList();
    all.reserve(all.size() + lines.size());
    for (const QString &line : lines) {
        all.append(Mic::printable(line));
    }
    setStringList(all);
}
