#ifndef LABELACCESS_H
#define LABELACCESS_H

#include <QByteArray>
#include <QString>

#include <utility>
#include <vector>

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
};

// The label an object carried before it was labelled, to put it back.
struct PreviousLabel {
    bool existed = false;
    QByteArray value;
};

/*
 * Reads and writes the labels of objects given by absolute paths without ever
 * following a symbolic link: each path is walked component by component from
 * the root, every directory opened with O_PATH | O_NOFOLLOW, and the label is
 * read and written through the descriptors so opened. A directory on the way
 * that is swapped for a link after it was opened is not followed; one swapped
 * before is refused. The open directories of the last path are kept for the
 * next one, so that going through sorted paths opens each directory once.
 */
class LabelAccess
{
public:
    LabelAccess();
    ~LabelAccess();
    LabelAccess(const LabelAccess &) = delete;
    LabelAccess &operator=(const LabelAccess &) = delete;

    // One system call per object in a directory already open.
    ObjectLabel read(const QString &path);
    // Labels the object at `path` with `level`; *previous receives what it
    // carried. False with *error when the object cannot be reached or labelled.
    bool write(const QString &path, unsigned int level, PreviousLabel *previous, QString *error);
    // Puts back a label saved by write().
    bool restore(const QString &path, const PreviousLabel &previous);

private:
    enum class Walk { Reached, Missing, Failed };
    // Opens the directory holding `path`; *name is its last component.
    Walk openParent(const QByteArray &path, int *directory, QByteArray *name, QString *problem);
    void closeFrom(std::size_t depth);

    int rootFd = -1;
    // Labels are reached through /proc/self/fd; without it nothing is.
    bool descriptorsReachable = false;
    // Whether the kernel reads a label relative to a directory (6.13 on).
    bool labelAtWorks = true;
    // The directories open below the root: component name and descriptor.
    std::vector<std::pair<QByteArray, int>> openDirectories;
    // The folder the open directories lead to, as a path ("" for "/").
    QByteArray openFolder;
    bool openFolderValid = false;
    // The last folder a walk found missing (empty when none), for the paths
    // below it that follow.
    QByteArray missingFolder;
};

#endif
