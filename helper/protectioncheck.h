#ifndef PROTECTIONCHECK_H
#define PROTECTIONCHECK_H

#include <QSet>
#include <QStringList>

#include <functional>
#include <utility>
#include <vector>

class FsIlevConfig;

/*
 * Which configured objects carry a label that does not cover their configured
 * level. Levels are masks: a label covers a level when it holds all of its
 * bits. Exceptions are skipped, and so are paths where no object exists, since
 * protecting cannot label them. Objects whose label cannot be read (reached
 * through a symbolic link, on a file system without labels) are unprotected
 * too, with the reason; no link is ever followed.
 */
class ProtectionCheck
{
public:
    // The rules and exceptions of a configuration, checked in file order.
    ProtectionCheck(const FsIlevConfig &config, unsigned int keywordMaxLevel);

    // Returns false when `stopped` said to stop before the end.
    bool run(const std::function<bool()> &stopped = {});

    // One line per unprotected object, sorted by path.
    QStringList unprotectedMessages() const;
    // Objects whose label does not cover their level, in path order, and
    // the level string each is configured with.
    QStringList unprotectedPaths() const;
    QStringList unprotectedLevels() const;
    // Objects whose label cannot be read, so cannot be written either.
    QStringList unreadablePaths() const;
    // Configured paths where no object exists.
    QStringList missingPaths() const;
    int checkedCount() const;
    bool isException(const QString &path) const;

    static bool covers(unsigned int label, unsigned int level);

private:
    void sortByPath();

    // Path and level string, in the order the check goes.
    std::vector<std::pair<QString, QString>> entries;
    QSet<QString> exceptions;
    unsigned int maxLevel;
    QStringList messages;
    QStringList messagePaths;
    QStringList paths;
    QStringList levels;
    QStringList missing;
    QStringList unreadable;
    int checked = 0;
};

#endif
