// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "exceptionmodel.h"
#include "pathedit.h"

#include <KLocalizedString>

#include <QApplication>
#include <QFont>

ExceptionModel::ExceptionModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

ExceptionModel::~ExceptionModel() = default;

void ExceptionModel::reset(const QStringList &list, bool trackChanges)
{
    // The whole list is sent on saving, so a load is always a fresh start.
    Q_UNUSED(trackChanges)
    beginResetModel();
    exceptions = list;
    changed.clear();
    endResetModel();
}

QStringList ExceptionModel::exceptionList() const
{
    return exceptions;
}

int ExceptionModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : exceptions.size();
}

int ExceptionModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 1;
}

const QString &ExceptionModel::pathAt(int row) const
{
    return exceptions.at(row);
}

QVariant ExceptionModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= exceptions.size()) {
        return {};
    }
    switch (role) {
    case Qt::DisplayRole:
    case Qt::UserRole:
        return index.column() == 0 ? QVariant(exceptions.at(index.row())) : QVariant();
    case Qt::FontRole: {
        QFont font = QApplication::font();
        if (index.column() == 0 && changed.contains(exceptions.at(index.row()))) {
            font.setBold(true);
        }
        return font;
    }
    default:
        return {};
    }
}

bool ExceptionModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (removalPending) {
        if (adding) {
            removeRowWithEmptyPath();
        }
        return false;
    }
    if (role != Qt::EditRole || !index.isValid() || index.column() != 0 || index.row() >= exceptions.size()) {
        return QAbstractTableModel::setData(index, value, role);
    }
    const QString path = value.toString();
    const PathEdit::Verdict verdict = PathEdit::check(path, exceptions.at(index.row()), exceptions.contains(path, Qt::CaseSensitive));
    if (verdict == PathEdit::Unchanged) {
        return false;
    }
    if (verdict != PathEdit::Accepted) {
        Q_EMIT warned(PathEdit::warning(verdict, path));
        if (adding) {
            removeRowWithEmptyPath();
        }
        return false;
    }
    adding = false;
    exceptions[index.row()] = path;
    changed.insert(path);
    Q_EMIT dataChanged(index, index, {Qt::EditRole});
    return true;
}

QVariant ExceptionModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (section == 0 && orientation == Qt::Horizontal && role == Qt::DisplayRole) {
        return i18n("Object path");
    }
    return QAbstractItemModel::headerData(section, orientation, role);
}

Qt::ItemFlags ExceptionModel::flags(const QModelIndex &index) const
{
    if (index.column() == 0) {
        return Qt::ItemIsSelectable | Qt::ItemIsEditable | Qt::ItemIsEnabled;
    }
    return QAbstractTableModel::flags(index);
}

void ExceptionModel::addRow()
{
    if (adding) {
        removeRowWithEmptyPath();
    }
    const int row = exceptions.size();
    QAbstractTableModel::beginInsertRows(QModelIndex(), row, row);
    adding = true;
    exceptions.append(QString());
    endInsertRows();
}

void ExceptionModel::removeRow(int row)
{
    removalPending = false;
    if (row < 0 || row >= exceptions.size()) {
        return;
    }
    QAbstractTableModel::beginRemoveRows(QModelIndex(), row, row);
    changed.remove(exceptions.takeAt(row));
    endRemoveRows();
}

void ExceptionModel::beginRemoveRows()
{
    removalPending = true;
}

void ExceptionModel::removeAllRows()
{
    removalPending = false;
    if (exceptions.isEmpty()) {
        return;
    }
    beginResetModel();
    exceptions.clear();
    changed.clear();
    endResetModel();
}

void ExceptionModel::removeRowWithEmptyPath()
{
    adding = false;
    changed.remove(QString());
    for (int row = exceptions.size() - 1; row >= 0; --row) {
        if (exceptions.at(row).isEmpty()) {
            QAbstractTableModel::beginRemoveRows(QModelIndex(), row, row);
            exceptions.removeAt(row);
            endRemoveRows();
        }
    }
}
