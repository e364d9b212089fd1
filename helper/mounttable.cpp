// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "mounttable.h"

#include <QFile>
#include <QList>

bool MountTable::isUserMount(quint64 mountId)
{
    if (!userMounts.contains(mountId) && !reload()) {
        return true;
    }
    return userMounts.value(mountId, true);
}

// "36 35 98:0 /mnt1 /mnt2 rw,noatime master:1 - fuse.sshfs user@host:/ rw,user_id=1000,group_id=1000"
bool MountTable::isUserMountLine(const QByteArray &line)
{
    const int separator = line.indexOf(" - ");
    if (separator < 0) {
        return true;
    }
    const QList<QByteArray> fields = line.mid(separator + 3).split(' ');
    const QByteArray type = fields.value(0);
    const bool fuse = type == "fuse" || type == "fuseblk" || type.startsWith("fuse.");
    QByteArray userId;
    const QList<QByteArray> options = fields.value(2).trimmed().split(',');
    for (const QByteArray &option : options) {
        if (option.startsWith("user_id=")) {
            userId = option.mid(8);
        }
    }
    if (!userId.isEmpty()) {
        return userId != "0";
    }
    return fuse;
}

bool MountTable::reload()
{
    QFile mountInfo(QStringLiteral("/proc/self/mountinfo"));
    if (!mountInfo.open(QIODevice::ReadOnly)) {
        return false;
    }
    userMounts.clear();
    // The file is generated as it is read: readAll, not its size.
    const QList<QByteArray> lines = mountInfo.readAll().split('\n');
    for (const QByteArray &line : lines) {
        bool ok = false;
        const quint64 id = line.left(line.indexOf(' ')).toULongLong(&ok);
        if (ok) {
            userMounts.insert(id, isUserMountLine(line));
        }
    }
    return true;
}
