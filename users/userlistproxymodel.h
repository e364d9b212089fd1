// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef USERLISTPROXYMODEL_H
#define USERLISTPROXYMODEL_H

#include <QHash>
#include <QSortFilterProxyModel>
#include <QVariant>

class UserListModel;

// The users of the system with their minimal and maximal integrity levels,
// as two columns appended to the user list.
class UserListProxyModel : public QSortFilterProxyModel
{
public:
    UserListProxyModel(UserListModel *model, QObject *parent);

    // User name -> maximal level; a level the catalogue lacks is left out.
    void setILevels(const QHash<QString, unsigned int> &levels);
    QHash<QString, unsigned int> iLevels() const;
    void setUserMaxIlevel(const QString &user, unsigned int level);
    unsigned int getUserMaxILevel(const QString &user);

    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex index(int row, int column, const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    QModelIndex sibling(int row, int column, const QModelIndex &idx) const override;
    QModelIndex mapToSource(const QModelIndex &proxyIndex) const override;
    QModelIndex mapFromSource(const QModelIndex &sourceIndex) const override;
    QVariant data(const QModelIndex &idx, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &idx) const override;

private:
    int sourceColumns() const;
    bool isLevelColumn(int column) const;
    QString userAt(int row) const;

    UserListModel *userList;
    QHash<QString, QString> maxLevelNames;
    QHash<QString, unsigned int> maxLevels;
    QString minLevelName;
};

#endif
