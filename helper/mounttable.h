// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef MOUNTTABLE_H
#define MOUNTTABLE_H

#include <QByteArray>
#include <QHash>

/*
 * Which mounts of the helper's view a user made. A user mounts a FUSE file
 * system without privileges (fusermount), and its server, run by that
 * user, answers the helper's requests on it, or never does: the helper
 * would wait forever. Such mounts are told apart by the mount ids the
 * kernel gives with an object's status, looked up in /proc/self/mountinfo,
 * without a request to the file system itself.
 */
class MountTable
{
public:
    // A FUSE mount, or any mount whose options name a user other than root
    // (user_id=N). A mount the table does not know (made after it was read)
    // is looked up again; one that cannot be found counts as a user's.
    bool isUserMount(quint64 mountId);

    // For tests: the verdict on one line of mountinfo.
    static bool isUserMountLine(const QByteArray &line);

private:
    bool reload();
    QHash<quint64, bool> userMounts;
};

#endif
