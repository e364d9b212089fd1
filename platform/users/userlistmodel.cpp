// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "userlistmodel.h"

#include <KLocalizedString>

#include <QFile>
#include <QIcon>
#include <QRegularExpression>
#include <QTextStream>

#include <pwd.h>

namespace
{
struct UidRange {
    uint min = 1000;
    uint max = 60000;
};

QString loginDefsPath()
{
    const QString custom = qEnvironmentVariable("USERLIST_LOGIN_DEFS");
    return custom.isEmpty() ? QStringLiteral("/etc/login.defs") : custom;
}

UidRange ordinaryUidRange()
{
    UidRange range;
    QFile file(loginDefsPath());
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return range;
    }
    static const QRegularExpression entry(QStringLiteral("^\\s*(UID_MIN|UID_MAX)\\s+(\\d+)\\s*$"));
    QTextStream in(&file);
    while (!in.atEnd()) {
        const auto match = entry.match(in.readLine());
        if (!match.hasMatch()) {
            continue;
        }
        bool ok = false;
        const uint value = match.captured(2).toUInt(&ok);
        if (!ok) {
            continue;
        }
        (match.captured(1) == QLatin1String("UID_MIN") ? range.min : range.max) = value;
    }
    return range;
}

// The full name is the first comma-separated field of the GECOS field.
QString fullNameOf(const QString &gecos)
{
    return gecos.section(QLatin1Char(','), 0, 0);
}
}

UserListModel::UserListModel(QObject *parent)
    : QAbstractTableModel(parent)
{
    qRegisterMetaType<UserListModel::Filter>("UserListModel::Filter");
    allUsers = readUsers();
    rebuildRows();
}

QVector<UserListModel::User> UserListModel::readUsers()
{
    const UidRange range = ordinaryUidRange();
    QVector<User> users;
    const auto add = [&](const QString &name, const QString &gecos, uint uid) {
        users.append({name, fullNameOf(gecos), uid, uid >= range.min && uid <= range.max});
    };

    const QString custom = qEnvironmentVariable("USERLIST_PASSWD_FILE");
    if (!custom.isEmpty()) {
        QFile file(custom);
        if (file.open(QIODevice::ReadOnly | QIODevice::Text)) {
            QTextStream in(&file);
            while (!in.atEnd()) {
                const QStringList fields = in.readLine().split(QLatin1Char(':'));
                bool ok = false;
                const uint uid = fields.value(2).toUInt(&ok);
                if (fields.size() >= 7 && ok && !fields[0].isEmpty()) {
                    add(fields[0], fields[4], uid);
                }
            }
        }
        return users;
    }

    setpwent();
    while (const passwd *pw = getpwent()) {
        add(QString::fromLocal8Bit(pw->pw_name), QString::fromLocal8Bit(pw->pw_gecos), pw->pw_uid);
    }
    endpwent();
    return users;
}

UserListModel::Filter UserListModel::filter() const
{
    return currentFilter;
}

void UserListModel::setFilter(Filter filter)
{
    if (filter == currentFilter) {
        return;
    }
    beginResetModel();
    currentFilter = filter;
    rebuildRows();
    endResetModel();
}

void UserListModel::reload()
{
    beginResetModel();
    allUsers = readUsers();
    rebuildRows();
    endResetModel();
}

bool UserListModel::passes(const User &user) const
{
    switch (currentFilter) {
    case OrdinaryUsers:
        return user.ordinary;
    case SystemUsers:
        return !user.ordinary;
    case AllUsers:
        break;
    }
    return true;
}

void UserListModel::rebuildRows()
{
    rows.clear();
    for (int i = 0; i < allUsers.size(); ++i) {
        if (passes(allUsers[i])) {
            rows.append(i);
        }
    }
}

QModelIndex UserListModel::findUser(const QString &user) const
{
    for (int row = 0; row < rows.size(); ++row) {
        if (allUsers[rows[row]].name == user) {
            return index(row, NameColumn);
        }
    }
    return {};
}

int UserListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : rows.size();
}

int UserListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant UserListModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) {
        return {};
    }
    const User &user = allUsers[rows[index.row()]];
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case NameColumn:
            return user.name;
        case FullNameColumn:
            return user.fullName;
        case UidColumn:
            return user.uid;
        }
        break;
    case Qt::DecorationRole:
        if (index.column() == NameColumn) {
            return QIcon::fromTheme(user.ordinary ? QStringLiteral("user-identity") : QStringLiteral("system-users"));
        }
        break;
    case UidRole:
        return user.uid;
    case IsOrdinaryRole:
        return user.ordinary;
    }
    return {};
}

QVariant UserListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    switch (section) {
    case NameColumn:
        return i18nc("@title:column", "User");
    case FullNameColumn:
        return i18nc("@title:column", "Full name");
    case UidColumn:
        return i18nc("@title:column", "UID");
    }
    return {};
}
