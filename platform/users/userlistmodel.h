// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef USERLISTMODEL_H
#define USERLISTMODEL_H

#include <QAbstractTableModel>
#include <QVector>

/*
 * The users of the system, from the passwd database.
 *
 * Ordinary users are those whose UID lies within UID_MIN..UID_MAX of
 * /etc/login.defs (1000..60000 when it says nothing); all others are system
 * users. For tests and demonstrations the environment variables
 * USERLIST_PASSWD_FILE and USERLIST_LOGIN_DEFS name other files to read.
 */
class UserListModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Filter {
        AllUsers = 0,
        OrdinaryUsers = 1,
        SystemUsers = 2,
    };
    Q_ENUM(Filter)

    enum Column {
        NameColumn,
        FullNameColumn,
        UidColumn,
        ColumnCount,
    };

    enum Roles {
        UidRole = Qt::UserRole + 1,
        IsOrdinaryRole,
    };

    explicit UserListModel(QObject *parent = nullptr);

    Filter filter() const;
    void setFilter(Filter filter);
    // The index of the user's row, or an invalid index when the user is not
    // listed under the current filter.
    QModelIndex findUser(const QString &user) const;

    // Reads the users again.
    void reload();

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    struct User {
        QString name;
        QString fullName;
        uint uid = 0;
        bool ordinary = false;
    };
    static QVector<User> readUsers();
    bool passes(const User &user) const;
    void rebuildRows();

    QVector<User> allUsers;
    QVector<int> rows; // indexes into allUsers, under the filter
    Filter currentFilter = OrdinaryUsers;
};

Q_DECLARE_METATYPE(UserListModel::Filter)

#endif
