// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "labelaccess.h"

#include <ksec_sim.h>

#include <texts.h>

#include <QFile>
#include <QScopeGuard>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>

using namespace Mic::Texts;

namespace
{
constexpr int directoryFlags = O_PATH | O_NOFOLLOW | O_DIRECTORY | O_CLOEXEC;
// What the kernel knows of an object without asking its file system, which
// may be a user's that never answers: a FUSE file system gives the status it
// has cached.
constexpr int statusFlags = AT_SYMLINK_NOFOLLOW | AT_STATX_DONT_SYNC | AT_NO_AUTOMOUNT;
constexpr unsigned int statusMask = STATX_TYPE | STATX_MODE | STATX_UID | STATX_NLINK | STATX_INO | STATX_MNT_ID;

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// The name under which the kernel resolves a descriptor to its object; a
// name below it is looked up in that directory and nowhere else.
QByteArray descriptorPath(int fd)
{
    return QByteArrayLiteral("/proc/self/fd/") + QByteArray::number(fd);
}

// A label as the label library reads it: decimal digits; anything else is 0.
unsigned int levelOf(const char *value, ssize_t size)
{
    if (size <= 0 || value[0] < '0' || value[0] > '9') {
        return 0;
    }
    char *end = nullptr;
    errno = 0;
    const unsigned long level = std::strtoul(value, &end, 10);
    return *end == '\0' && errno == 0 && level <= UINT32_MAX ? static_cast<unsigned int>(level) : 0;
}

#ifndef SYS_getxattrat
#define SYS_getxattrat 464 // the same on every architecture since Linux 6.13
#endif

struct XattrArgs {
    quint64 value;
    quint32 size;
    quint32 flags;
};

// getxattrat(2) of Linux 6.13: the label of a name in an open directory in
// one call, without the lookups through /proc.
ssize_t labelAt(int directory, const char *name, char *buffer, std::size_t size)
{
    XattrArgs args{quint64(reinterpret_cast<quintptr>(buffer)), quint32(size), 0};
    return ::syscall(SYS_getxattrat, directory, name, AT_SYMLINK_NOFOLLOW, KSEC_LABEL_XATTR, &args, sizeof(args));
}

#ifndef SYS_setxattrat
#define SYS_setxattrat 463
#endif

// setxattrat(2), its sibling: a label written on a name in an open directory.
int labelNameAt(int directory, const char *name, const char *value, std::size_t size)
{
    XattrArgs args{quint64(reinterpret_cast<quintptr>(value)), quint32(size), 0};
    return int(::syscall(SYS_setxattrat, directory, name, AT_SYMLINK_NOFOLLOW, KSEC_LABEL_XATTR, &args, sizeof(args)));
}

QString labelProblem(int error)
{
    if (error == ERANGE) {
        return i18n("its label is too long to be an integrity level");
    }
    return systemError(error);
}

// What a read of a label gave: `size` bytes of `buffer`, or -1 and `error`.
ObjectLabel labelRead(char *buffer, ssize_t size, int error)
{
    ObjectLabel label;
    if (size >= 0) {
        buffer[size] = '\0';
        label.state = ObjectLabel::Labelled;
        label.level = levelOf(buffer, size);
    } else if (error == ENODATA) {
        label.state = ObjectLabel::Labelled;
    } else if (error != ENOENT && error != ENOTDIR) {
        label.state = ObjectLabel::Unreadable;
        label.problem = labelProblem(error);
    }
    return label;
}

QString userMountProblem()
{
    return i18n("it lies on a file system mounted by a user");
}

// Root is refused the status of objects only on a FUSE file system that
// another user mounted for themselves.
QString statusProblem(int error)
{
    return error == EACCES ? userMountProblem() : systemError(error);
}

int statusOf(int directory, const char *name, struct statx *status)
{
    return ::statx(directory, name, *name ? statusFlags : statusFlags | AT_EMPTY_PATH, statusMask, status);
}
}

OpenObject::OpenObject(int descriptor)
    : fd(descriptor)
{
}

OpenObject::~OpenObject()
{
    ::close(fd);
}

int OpenObject::descriptor() const
{
    return fd;
}

namespace
{
bool putBack(const QByteArray &objectPath, const PreviousLabel &previous)
{
    return previous.existed
        ? ::setxattr(objectPath.constData(), KSEC_LABEL_XATTR, previous.value.constData(), std::size_t(previous.value.size()), 0) == 0
        : ::removexattr(objectPath.constData(), KSEC_LABEL_XATTR) == 0 || errno == ENODATA;
}
}

LabelAccess::LabelAccess()
    : rootFd(::open("/", directoryFlags))
    , descriptorsReachable(::access("/proc/self/fd", X_OK) == 0)
{
    objectName.reserve(256);
    struct statx status;
    rootInUsersHands = rootFd >= 0 && statusOf(rootFd, "", &status) == 0 && inUsersHands(status);
    // Descriptors for walking and for the state files stay free.
    struct rlimit files;
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0) {
        holdBudget = int(qBound<rlim_t>(0, files.rlim_cur > 512 ? files.rlim_cur - 512 : 0, rlim_t(maxHeldOpen)));
        const rlim_t spare = files.rlim_cur > rlim_t(512 + holdBudget) ? files.rlim_cur - 512 - holdBudget : 0;
        openBudget = int(qBound<rlim_t>(rlim_t(minOpenAtOnce), spare, rlim_t(maxOpenAtOnce)));
    }
}

bool LabelAccess::inUsersHands(const struct statx &status) const
{
    return status.stx_uid != 0 || (status.stx_mode & (S_IWGRP | S_IWOTH)) != 0;
}

QString LabelAccess::refusal(const struct statx &status, bool folder)
{
    QString problem = refusalOf(status, folder);
    refused = refused || !problem.isEmpty();
    return problem;
}

QString LabelAccess::refusalOf(const struct statx &status, bool folder)
{
    if ((status.stx_attributes & STATX_ATTR_MOUNT_ROOT) && mounts.isUserMount(status.stx_mnt_id)) {
        return userMountProblem();
    }
    // Anyone who may write in a folder on the path can put there a hard
    // link to a file of another place that they may read and write.
    if (!folder && !S_ISDIR(status.stx_mode) && status.stx_nlink > 1 && (pathInUsersHands || inUsersHands(status))) {
        return i18np("it has another name, and a user could have linked it here from another place",
                     "it has %1 other names, and a user could have linked it here from another place",
                     int(status.stx_nlink - 1));
    }
    return QString();
}

LabelAccess::~LabelAccess()
{
    closeFrom(0);
    if (rootFd >= 0) {
        ::close(rootFd);
    }
}

void LabelAccess::closeFrom(std::size_t depth)
{
    while (openDirectories.size() > depth) {
        ::close(openDirectories.back().fd);
        openDirectories.pop_back();
    }
}

LabelAccess::Walk LabelAccess::openParent(const QByteArray &path, int *directory, QByteArray *name, QString *problem)
{
    if (rootFd < 0 || !descriptorsReachable) {
        *problem = i18n("the helper cannot open the file system (is /proc mounted?)");
        return Walk::Failed;
    }
    // The next object in the folder of the last one: nothing to open.
    const int lastSlash = path.lastIndexOf('/');
    if (openFolderValid && lastSlash == openFolder.size() && lastSlash + 1 < path.size() && path.startsWith(openFolder)) {
        *directory = openDirectories.empty() ? rootFd : openDirectories.back().fd;
        // Into the room the name already has: a million objects in a row.
        name->resize(0);
        name->append(path.constData() + lastSlash + 1, path.size() - lastSlash - 1);
        return Walk::Reached;
    }
    openFolderValid = false;
    // Below a folder found missing a moment ago: missing too. The folder
    // itself may follow a rule below it and is looked up again.
    if (!missingFolder.isEmpty() && path.size() > missingFolder.size() && path.startsWith(missingFolder) && path.at(missingFolder.size()) == '/') {
        return Walk::Missing;
    }
    missingFolder.clear();
    const QList<QByteArray> components = path.mid(1).split('/');
    if (!path.startsWith('/') || components.constLast().isEmpty()) {
        *problem = i18n("not the path of an object");
        return Walk::Failed;
    }
    const std::size_t depth = std::size_t(components.size() - 1);
    std::size_t kept = 0;
    while (kept < openDirectories.size() && kept < depth && openDirectories[kept].name == components.at(int(kept))) {
        ++kept;
    }
    closeFrom(kept);
    for (std::size_t level = kept; level < depth; ++level) {
        const int parent = level == 0 ? rootFd : openDirectories.back().fd;
        const QByteArray &component = components.at(int(level));
        const int fd = ::openat(parent, component.constData(), directoryFlags);
        if (fd >= 0) {
            // Nothing is looked up in a folder before its file system is
            // known to be no user's.
            struct statx status;
            const QString folderProblem = statusOf(fd, "", &status) == 0 ? refusal(status, true) : statusProblem(errno);
            if (!folderProblem.isEmpty()) {
                ::close(fd);
                *problem = folderProblem;
                return Walk::Failed;
            }
            openDirectories.push_back({component, fd, inUsersHands(status)});
            continue;
        }
        const int error = errno;
        struct stat status;
        const bool isLink = ::fstatat(parent, component.constData(), &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(status.st_mode);
        if (isLink) {
            const QByteArray link = '/' + components.mid(0, int(level) + 1).join('/');
            *problem = i18n("it is reached through the symbolic link %1", QString::fromUtf8(link));
            refused = true;
            return Walk::Failed;
        }
        if (error == ENOENT || error == ENOTDIR) {
            missingFolder = '/' + components.mid(0, int(level) + 1).join('/');
            return Walk::Missing;
        }
        *problem = systemError(error);
        return Walk::Failed;
    }
    *directory = depth == 0 ? rootFd : openDirectories.back().fd;
    name->resize(0);
    name->append(components.constLast());
    pathInUsersHands = std::any_of(openDirectories.cbegin(), openDirectories.cend(), [](const Directory &folder) {
        return folder.inUsersHands;
    }) || rootInUsersHands;
    openFolder = path.left(lastSlash);
    openFolderValid = true;
    return Walk::Reached;
}

ObjectLabel LabelAccess::read(const QString &path)
{
    const QByteArray bytes = path.toUtf8();
    return read(std::string_view(bytes.constData(), std::size_t(bytes.size())));
}

ObjectLabel LabelAccess::read(std::string_view path)
{
    int directory = -1;
    QByteArray &name = objectName;
    ObjectLabel label;
    switch (openParent(QByteArray::fromRawData(path.data(), int(path.size())), &directory, &name, &label.problem)) {
    case Walk::Missing:
        return label;
    case Walk::Failed:
        label.state = ObjectLabel::Unreadable;
        return label;
    case Walk::Reached:
        break;
    }
    struct statx status;
    if (statusOf(directory, name.constData(), &status) != 0) {
        if (errno != ENOENT && errno != ENOTDIR) {
            label.state = ObjectLabel::Unreadable;
            label.problem = statusProblem(errno);
        }
        return label;
    }
    if (const QString problem = refusal(status, false); !problem.isEmpty()) {
        label.state = ObjectLabel::Unreadable;
        label.problem = problem;
        return label;
    }
    // The root of a mount is read through a descriptor of it. Anything else
    // by its name: a user who holds the folder could put a mount there only
    // by mounting on the name between the look and the read, microseconds
    // against the milliseconds a mount takes (a mount point cannot be
    // renamed into place), and a link put there is read, never labelled.
    if (status.stx_attributes & STATX_ATTR_MOUNT_ROOT) {
        return readThroughDescriptor(directory, name);
    }
    // The object's own label, never that of a link's target: getxattrat
    // where the kernel has it, else the l- variant through /proc.
    char buffer[16];
    ssize_t size = -1;
    if (labelAtWorks) {
        size = labelAt(directory, name.constData(), buffer, sizeof(buffer) - 1);
        labelAtWorks = size >= 0 || errno != ENOSYS;
    }
    if (!labelAtWorks) {
        const QByteArray objectPath = descriptorPath(directory) + '/' + name;
        size = ::lgetxattr(objectPath.constData(), KSEC_LABEL_XATTR, buffer, sizeof(buffer) - 1);
    }
    const int error = errno;
    label = labelRead(buffer, size, error);
    if (label.state == ObjectLabel::Labelled && labellableByName(status)) {
        label.seen = SeenByName::of(status, buffer, size);
    }
    return label;
}

int LabelAccess::openObject(int directory, const QByteArray &name, struct statx *status, QString *problem)
{
    const int object = ::openat(directory, name.constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    if (object < 0) {
        // Nothing to say of an object that is not there.
        *problem = errno == ENOENT || errno == ENOTDIR ? QString() : systemError(errno);
        return -1;
    }
    *problem = statusOf(object, "", status) == 0 ? refusal(*status, false) : statusProblem(errno);
    if (!problem->isEmpty()) {
        ::close(object);
        return -1;
    }
    return object;
}

ObjectLabel LabelAccess::readThroughDescriptor(int directory, const QByteArray &name)
{
    ObjectLabel label;
    struct statx status;
    const int object = openObject(directory, name, &status, &label.problem);
    if (object < 0) {
        label.state = label.problem.isEmpty() ? ObjectLabel::Missing : ObjectLabel::Unreadable;
        return label;
    }
    char buffer[16];
    const ssize_t size = ::getxattr(descriptorPath(object).constData(), KSEC_LABEL_XATTR, buffer, sizeof(buffer) - 1);
    const int error = errno;
    ::close(object);
    return labelRead(buffer, size, error);
}

bool LabelAccess::open(const QString &path, Opened *opened, QString *error)
{
    int directory = -1;
    QByteArray name;
    QString problem;
    opened->gone = false;
    opened->changed = false;
    refused = false;
    const auto notReached = qScopeGuard([this, opened] {
        opened->changed = refused;
    });
    switch (openParent(path.toUtf8(), &directory, &name, &problem)) {
    case Walk::Missing:
        *error = i18n("%1 no longer exists", path);
        opened->gone = true;
        return false;
    case Walk::Failed:
        *error = i18n("%1 cannot be labelled: %2", path, problem);
        return false;
    case Walk::Reached:
        break;
    }
    if (!pathInUsersHands && labelAtWorks) {
        switch (openByName(path, directory, name, opened, error)) {
        case ByName::Opened:
            return true;
        case ByName::Failed:
            return false;
        case ByName::NotSafe:
            break;
        }
    }
    struct statx status;
    const int object = openObject(directory, name, &status, &problem);
    if (object < 0) {
        *error = problem.isEmpty() ? i18n("%1 no longer exists", path) : i18n("%1 cannot be labelled: %2", path, problem);
        opened->gone = problem.isEmpty();
        return false;
    }
    PreviousLabel &previous = opened->previous;
    previous = SeenByName::of(status).previous();
    // Through the descriptor: the object opened is the object labelled.
    char buffer[64];
    const ssize_t size = ::getxattr(descriptorPath(object).constData(), KSEC_LABEL_XATTR, buffer, sizeof(buffer));
    if (size < 0 && errno != ENODATA) {
        *error = i18n("%1 cannot be labelled: %2", path, labelProblem(errno));
        ::close(object);
        return false;
    }
    previous.existed = size >= 0;
    previous.value = size >= 0 ? QByteArray(buffer, int(size)) : QByteArray();
    opened->object = object;
    return true;
}

// Where no user holds a folder on the way nor the object itself, and no
// file system is mounted on it, nobody but root can put another object in
// its place or mount on it: its label is read and written by name, in one
// call each, without opening it. Anything else is reached through a
// descriptor (NotSafe).
LabelAccess::ByName LabelAccess::openByName(const QString &path, int directory, const QByteArray &name, Opened *opened, QString *error)
{
    struct statx status;
    if (statusOf(directory, name.constData(), &status) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            *error = i18n("%1 no longer exists", path);
            opened->gone = true;
            return ByName::Failed;
        }
        return ByName::NotSafe;
    }
    if (!labellableByName(status)) {
        return ByName::NotSafe;
    }
    if (const QString problem = refusal(status, false); !problem.isEmpty()) {
        *error = i18n("%1 cannot be labelled: %2", path, problem);
        return ByName::Failed;
    }
    char buffer[64];
    const ssize_t size = labelAt(directory, name.constData(), buffer, sizeof(buffer));
    if (size < 0 && errno == ENOSYS) {
        labelAtWorks = false;
        return ByName::NotSafe;
    }
    if (size < 0 && errno != ENODATA) {
        opened->gone = errno == ENOENT || errno == ENOTDIR;
        *error = opened->gone ? i18n("%1 no longer exists", path) : i18n("%1 cannot be labelled: %2", path, labelProblem(errno));
        return ByName::Failed;
    }
    // Whole: a seen record keeps only labels short enough to be levels.
    opened->previous = SeenByName::of(status).previous();
    opened->previous.existed = size >= 0;
    opened->previous.value = size >= 0 ? QByteArray(buffer, int(size)) : QByteArray();
    opened->object = -1;
    opened->byName = true;
    return ByName::Opened;
}

// `size` bytes of `value` (-1 for no label) on the object with `status`.
SeenByName SeenByName::of(const struct statx &status, const char *value, long size)
{
    SeenByName seen = of(status);
    seen.valid = true;
    seen.existed = size >= 0;
    seen.size = quint8(std::clamp<long>(size, 0, long(sizeof(seen.value))));
    std::memcpy(seen.value, value, seen.size);
    return seen;
}

SeenByName SeenByName::of(const struct statx &status)
{
    SeenByName seen;
    seen.device = makedev(status.stx_dev_major, status.stx_dev_minor);
    seen.inode = status.stx_ino;
    seen.owner = status.stx_uid;
    seen.hasBirth = status.stx_mask & STATX_BTIME;
    seen.birthSeconds = status.stx_btime.tv_sec;
    seen.birthNanoseconds = status.stx_btime.tv_nsec;
    return seen;
}

PreviousLabel SeenByName::previous() const
{
    PreviousLabel previous;
    previous.existed = existed;
    previous.value = existed ? QByteArray(value, size) : QByteArray();
    previous.device = device;
    previous.inode = inode;
    previous.owner = owner;
    if (hasBirth) {
        // "seconds.nanoseconds", made in one piece: a change makes one for
        // each of a million objects.
        char text[48];
        char *end = std::to_chars(text, text + 24, birthSeconds).ptr;
        *end++ = '.';
        end = std::to_chars(end, text + sizeof text, birthNanoseconds).ptr;
        previous.birth = QByteArray(text, int(end - text));
    }
    return previous;
}

bool LabelAccess::labellableByName(const struct statx &status) const
{
    return !pathInUsersHands && labelAtWorks && !inUsersHands(status) && !(status.stx_attributes & STATX_ATTR_MOUNT_ROOT);
}

LabelAccess::Opened LabelAccess::openedAsSeen(const SeenByName &seen)
{
    Opened opened;
    opened.previous = seen.previous();
    opened.byName = true;
    return opened;
}

// The folder is reached again (the one open still, for the objects of one
// folder in a row) and must still be in no user's hands.
bool LabelAccess::labelSeen(std::string_view utf8Path, unsigned int level, QString *error)
{
    int directory = -1;
    QByteArray &name = objectName;
    QString problem;
    const auto path = [utf8Path] {
        return QString::fromUtf8(utf8Path.data(), int(utf8Path.size()));
    };
    if (openParent(QByteArray::fromRawData(utf8Path.data(), int(utf8Path.size())), &directory, &name, &problem) != Walk::Reached || pathInUsersHands) {
        *error = i18n("%1 cannot be labelled: %2", path(), problem.isEmpty() ? i18n("a folder on its path changed while it was labelled") : problem);
        return false;
    }
    char value[16];
    const auto written = std::to_chars(value, value + sizeof(value) - 1, level);
    *written.ptr = '\0';
    if (labelNameAt(directory, name.constData(), value, std::size_t(written.ptr - value)) != 0) {
        *error = i18n("%1 cannot be labelled: %2", path(), labelProblem(errno));
        return false;
    }
    return true;
}

bool LabelAccess::label(const QString &path, Opened *opened, unsigned int level, QString *error)
{
    if (opened->byName) {
        opened->byName = false;
        const QByteArray utf8Path = path.toUtf8();
        return labelSeen(std::string_view(utf8Path.constData(), std::size_t(utf8Path.size())), level, error);
    }
    const QByteArray value = QByteArray::number(level);
    const bool ok = ::setxattr(descriptorPath(opened->object).constData(), KSEC_LABEL_XATTR, value.constData(), std::size_t(value.size()), 0) == 0;
    if (!ok) {
        *error = i18n("%1 cannot be labelled: %2", path, labelProblem(errno));
    }
    if (ok && heldOpen < holdBudget) {
        ++heldOpen;
        opened->previous.object = std::make_shared<const OpenObject>(opened->object);
    } else {
        ::close(opened->object);
    }
    opened->object = -1;
    return ok;
}

void LabelAccess::shareHoldingWith(LabelAccess &other)
{
    const int free = holdBudget - heldOpen;
    other.holdBudget = other.heldOpen + std::max(0, free / 2);
    holdBudget = heldOpen + std::max(0, free - free / 2);
}

int LabelAccess::openAtOnce() const
{
    return openBudget;
}

void LabelAccess::release(Opened *opened)
{
    opened->byName = false;
    if (opened->object >= 0) {
        ::close(opened->object);
        opened->object = -1;
    }
}

bool LabelAccess::restore(const QString &path, const PreviousLabel &previous)
{
    if (previous.object) {
        return putBack(descriptorPath(previous.object->descriptor()), previous);
    }
    int directory = -1;
    QByteArray name;
    QString problem;
    if (openParent(path.toUtf8(), &directory, &name, &problem) != Walk::Reached) {
        return false;
    }
    struct statx status;
    const int object = openObject(directory, name, &status, &problem);
    if (object < 0) {
        return false;
    }
    // The same object, not another that took its place and its inode
    // number: born at the same time, of the same owner. Where the file
    // system keeps no birth time, a user who owns the object could have
    // made another with its number: only root's objects are taken then.
    const PreviousLabel found = SeenByName::of(status).previous();
    const bool identified = !previous.birth.isEmpty() || previous.owner == 0;
    const bool same = identified && found.device == previous.device && found.inode == previous.inode && found.owner == previous.owner
        && found.birth == previous.birth;
    const bool ok = same && putBack(descriptorPath(object), previous);
    ::close(object);
    return ok;
}
