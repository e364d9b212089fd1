// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "userlistproxymodel.h"

#include <utils.h>

#include <userlistmodel.h>

#include <KLocalizedString>

UserListProxyModel::UserListProxyModel(UserListModel *model, QObject *parent)
    : QSortFilterProxyModel(parent)
    , userList(model)
{
    setSourceModel(model);
}

int UserListProxyModel::sourceColumns() const
{
    return sourceModel() ? sourceModel()->columnCount(QModelIndex()) : 0;
}

bool UserListProxyModel::isLevelColumn(int column) const
{
    return column >= sourceColumns();
}

QString UserListProxyModel::userAt(int row) const
{
    return QSortFilterProxyModel::data(QSortFilterProxyModel::index(row, 0), Qt::DisplayRole).toString();
}

void UserListProxyModel::setILevels(const QHash<QString, unsigned int> &levels)
{
    beginResetModel();
    maxLevelNames.clear();
    maxLevels.clear();
    const QList<Mic::Level> catalogue = Mic::Utils::allLevels();
    for (auto it = levels.cbegin(); it != levels.cend(); ++it) {
        const unsigned int value = it.value();
        const auto entry = std::find_if(catalogue.cbegin(), catalogue.cend(), [value](const Mic::Level &level) {
            return level.value == value;
        });
        if (entry != catalogue.cend()) {
            maxLevelNames.insert(it.key(), entry->name);
            maxLevels.insert(it.key(), value);
        }
    }
    // The catalogue was just read: name level 0 from it rather than asking
    // the library once more.
    const auto zero = std::find_if(catalogue.cbegin(), catalogue.cend(), [](const Mic::Level &level) {
        return level.value == 0;
    });
    minLevelName = zero != catalogue.cend() ? zero->name : QString::number(0);
    endResetModel();
}

QHash<QString, unsigned int> UserListProxyModel::iLevels() const
{
    return maxLevels;
}

void UserListProxyModel::setUserMaxIlevel(const QString &user, unsigned int level)
{
    maxLevels.insert(user, level);
    maxLevelNames.insert(user, Mic::Utils::levelName(level));
    const QModelIndex sourceRow = userList->findUser(user);
    if (!sourceRow.isValid()) {
        return;
    }
    const QModelIndex row = QSortFilterProxyModel::mapFromSource(sourceRow);
    if (row.isValid()) {
        const QModelIndex cell = index(row.row(), sourceColumns() + 1);
        Q_EMIT dataChanged(cell, cell, {Qt::DisplayRole});
    }
}

unsigned int UserListProxyModel::getUserMaxILevel(const QString &user)
{
    return maxLevels.value(user, 0);
}

int UserListProxyModel::columnCount(const QModelIndex &) const
{
    return sourceColumns() + 2;
}

QModelIndex UserListProxyModel::index(int row, int column, const QModelIndex &parent) const
{
    if (row >= 0 && row < rowCount(QModelIndex()) && isLevelColumn(column) && column < columnCount() && !parent.isValid()) {
        return createIndex(row, column);
    }
    return QSortFilterProxyModel::index(row, column, parent);
}

QModelIndex UserListProxyModel::parent(const QModelIndex &) const
{
    return {};
}

QModelIndex UserListProxyModel::sibling(int row, int column, const QModelIndex &idx) const
{
    if (!isLevelColumn(column) && !isLevelColumn(idx.column())) {
        return QSortFilterProxyModel::sibling(row, column, idx);
    }
    if (row == idx.row() && column == idx.column()) {
        return idx;
    }
    return index(row, column, QModelIndex());
}

QModelIndex UserListProxyModel::mapToSource(const QModelIndex &proxyIndex) const
{
    if (proxyIndex.isValid() && isLevelColumn(proxyIndex.column())) {
        // The level cells have no source cell.
        return createIndex(proxyIndex.row(), proxyIndex.column());
    }
    return QSortFilterProxyModel::mapToSource(proxyIndex);
}

QModelIndex UserListProxyModel::mapFromSource(const QModelIndex &sourceIndex) const
{
    if (sourceIndex.isValid() && isLevelColumn(sourceIndex.column())) {
        return createIndex(sourceIndex.row(), sourceIndex.column());
    }
    return QSortFilterProxyModel::mapFromSource(sourceIndex);
}

QVariant UserListProxyModel::data(const QModelIndex &idx, int role) const
{
    if (idx.row() < 0 || idx.column() < 0 || !idx.model()) {
        return {};
    }
    const int s = sourceColumns();
    if (idx.column() < s) {
        return QSortFilterProxyModel::data(idx, role);
    }
    if (role != Qt::DisplayRole) {
        return {};
    }
    if (idx.column() == s) {
        return minLevelName;
    }
    return maxLevelNames.value(userAt(idx.row()), minLevelName);
}

QVariant UserListProxyModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    const int s = sourceColumns();
    // The user list's texts belong to a domain of its own, which no
    // catalogue here translates: the page names these columns in its own.
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole) {
        if (section == UserListModel::NameColumn) {
            return i18nc("@title:column", "User");
        }
        if (section == UserListModel::FullNameColumn) {
            return i18nc("@title:column", "Full name");
        }
    }
    if (orientation == Qt::Horizontal && section >= s) {
        if (role != Qt::DisplayRole) {
            return {};
        }
        if (section == s) {
            return i18n("Minimal level");
        }
        if (section == s + 1) {
            return i18n("Maximal level");
        }
    }
    return QSortFilterProxyModel::headerData(section, orientation, role);
}

Qt::ItemFlags UserListProxyModel::flags(const QModelIndex &idx) const
{
    if (!isLevelColumn(idx.column())) {
        return QSortFilterProxyModel::flags(idx);
    }
    return QSortFilterProxyModel::flags(QSortFilterProxyModel::index(idx.row(), 0));
}
