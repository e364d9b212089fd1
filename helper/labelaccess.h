// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef LABELACCESS_H
#define LABELACCESS_H

#include "mounttable.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

// An object kept open after it was labelled: its label can be put back on
// it wherever it has moved since, and on nothing else.
class OpenObject
{
public:
    explicit OpenObject(int descriptor);
    ~OpenObject();
    OpenObject(const OpenObject &) = delete;
    OpenObject &operator=(const OpenObject &) = delete;
    int descriptor() const;

private:
    int fd;
};

// The label an object carried before it was labelled, to put it back.
struct PreviousLabel {
    bool existed = false;
    QByteArray value;
    // The object labelled: only that object gets the label back, through
    // its descriptor while it is held open (the first objects of a change),
    // else found again by path and checked by device and inode.
    std::shared_ptr<const OpenObject> object;
    quint64 device = 0;
    quint64 inode = 0;
    // Its owner and birth time ("seconds.nanoseconds", empty where the file
    // system keeps none): another object given the same inode number later
    // differs in them.
    quint32 owner = 0;
    QByteArray birth;
};

struct statx;

// What a read saw of an object that only root could have changed since (no
// user holds a folder on its way nor the object, nothing is mounted on it):
// a change may label it by name and record this as what it carried, without
// reaching it again. Compact, since a check keeps one per object it finds
// unprotected.
struct SeenByName {
    bool valid = false;
    bool existed = false;
    bool hasBirth = false;
    quint8 size = 0;
    char value[15] = {};
    quint32 owner = 0;
    quint32 birthNanoseconds = 0;
    qint64 birthSeconds = 0;
    quint64 device = 0;
    quint64 inode = 0;

    static SeenByName of(const struct statx &status);
    static SeenByName of(const struct statx &status, const char *value, long size);
    PreviousLabel previous() const;
};

// What a configured path holds, as far as its label is concerned.
struct ObjectLabel {
    enum State {
        Missing, // no object at the path
        Labelled, // an object; `level` is its label (0 without one)
        Unreadable, // an object, or something on the way to it, whose label cannot be read
    };
    State state = Missing;
    unsigned int level = 0;
    // Why the label cannot be read, in an administrator's words.
    QString problem;
    SeenByName seen;
};

struct statx;

/*
 * Reads and writes the labels of objects given by absolute paths without ever
 * following a symbolic link: each path is walked component by component from
 * the root, every directory opened with O_PATH | O_NOFOLLOW, and the label is
 * read and written through the descriptors so opened. A directory on the way
 * that is swapped for a link after it was opened is not followed; one swapped
 * before is refused. The open directories of the last path are kept for the
 * next one, so that going through sorted paths opens each directory once.
 *
 * A name on a configured path leads to a trustworthy object only where no
 * user but root could have put it there. Objects on a file system a user
 * mounted are never read or labelled (its server may never answer), and a
 * non-directory with more than one name is not when a user holds a folder
 * on its path or the object itself (it may be a hard link to an object of
 * another place). Both are told apart without a request to the object's
 * file system. Such objects count as unreadable, with the reason.
 *
 * Where no user holds a folder on the way nor the object itself and nothing
 * is mounted on it, only root could put another object in its place: there
 * the label is read and written by name relative to the open folder
 * (getxattrat and setxattrat, Linux 6.13), without opening the object.
 */
class LabelAccess
{
public:
    LabelAccess();
    ~LabelAccess();
    LabelAccess(const LabelAccess &) = delete;
    LabelAccess &operator=(const LabelAccess &) = delete;

    // Two system calls per object in a directory already open (its status
    // and its label); what it saw, where the object may be labelled by name.
    ObjectLabel read(const QString &path);
    ObjectLabel read(std::string_view utf8Path);
    // Labelling in two steps, so that what an object carried can be recorded
    // before it is labelled: open() reaches the object and reads its label
    // (false with *error when it cannot be reached: `gone` when it no
    // longer exists, `changed` when it or a folder on its way became one
    // that is never labelled, such as a link, another name of it or a
    // user's mount), label() writes the new
    // one through the same descriptor, or by name where only root could
    // have changed the object since (two calls in all, none through /proc);
    // release() lets go of an object opened and not labelled.
    struct Opened {
        int object = -1;
        // Reached by name in folders only root holds, with no descriptor.
        bool byName = false;
        PreviousLabel previous;
        // Not reached because nothing is at its path any more, or because
        // it may not be labelled now.
        bool gone = false;
        bool changed = false;
    };
    bool open(const QString &path, Opened *opened, QString *error);
    bool label(const QString &path, Opened *opened, unsigned int level, QString *error);
    // What open() gives, from what a read saw (valid only): nothing is
    // reached.
    static Opened openedAsSeen(const SeenByName &seen);
    // The label of an object a read of this access saw as one it may label
    // by name (its path in UTF-8, as a configuration holds it): written by
    // name, its folder reached again.
    bool labelSeen(std::string_view utf8Path, unsigned int level, QString *error);
    void release(Opened *opened);
    // Halves the objects this access may hold open, and gives `other` the
    // other half: two accesses that label at once stay within the limit of
    // open files together.
    void shareHoldingWith(LabelAccess &other);
    // How many objects may be opened and not yet labelled at once, beside
    // those held for putting labels back.
    int openAtOnce() const;
    static constexpr int minOpenAtOnce = 64;
    static constexpr int maxOpenAtOnce = 4096;
    // Puts back a label saved by open() on the object labelled; false when
    // it cannot be reached any more.
    bool restore(const QString &path, const PreviousLabel &previous);
    // How many labelled objects one change holds open at most.
    static constexpr int maxHeldOpen = 16384;

private:
    enum class Walk { Reached, Missing, Failed };
    enum class ByName { Opened, Failed, NotSafe };
    ByName openByName(const QString &path, int directory, const QByteArray &name, Opened *opened, QString *error);
    // Whether an object with this status may be labelled by name after
    // the walk to it that was just made.
    bool labellableByName(const struct statx &status) const;
    struct Directory {
        QByteArray name;
        int fd = -1;
        // Owned by a user other than root, or writable by group or others.
        bool inUsersHands = false;
    };
    // Why an object or folder with this status must not be touched; empty
    // when it may.
    QString refusal(const struct statx &status, bool folder);
    QString refusalOf(const struct statx &status, bool folder);
    bool inUsersHands(const struct statx &status) const;
    // Opens the object `name` in `directory` and checks it again: the
    // careful way, for objects a user could change while they are read.
    int openObject(int directory, const QByteArray &name, struct statx *status, QString *problem);
    ObjectLabel readThroughDescriptor(int directory, const QByteArray &name);
    // Opens the directory holding `path`; *name is its last component.
    Walk openParent(const QByteArray &path, int *directory, QByteArray *name, QString *problem);
    // The name of the object read or labelled last, its room kept.
    QByteArray objectName;
    void closeFrom(std::size_t depth);

    int rootFd = -1;
    bool rootInUsersHands = false;
    // Labels are reached through /proc/self/fd; without it nothing is.
    bool descriptorsReachable = false;
    // Whether the kernel reads a label relative to a directory (6.13 on).
    bool labelAtWorks = true;
    // Whether refusal() has refused anything since open() began.
    bool refused = false;
    // Objects labelled and held open for putting their labels back, and how
    // many may be, as the limit of open files allows.
    int heldOpen = 0;
    int holdBudget = 0;
    int openBudget = minOpenAtOnce;
    // The directories open below the root.
    std::vector<Directory> openDirectories;
    // Whether a user holds a folder on the way to the last object reached.
    bool pathInUsersHands = false;
    MountTable mounts;
    // The folder the open directories lead to, as a path ("" for "/").
    QByteArray openFolder;
    bool openFolderValid = false;
    // The last folder a walk found missing (empty when none), for the paths
    // below it that follow.
    QByteArray missingFolder;
};

#endif
