// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef PROTECTIONCHECK_H
#define PROTECTIONCHECK_H

#include "labelaccess.h"
#include "pathset.h"

#include <QSet>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <string>
#include <string_view>
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
    // The rules and exceptions of a configuration, checked in file order;
    // the configuration must stay as it is while the check lives.
    ProtectionCheck(const FsIlevConfig &config, unsigned int keywordMaxLevel);

    ~ProtectionCheck();
    ProtectionCheck(const ProtectionCheck &) = delete;
    ProtectionCheck &operator=(const ProtectionCheck &) = delete;

    // Returns false when `stopped` said to stop before the end. The labels
    // are read on other threads, as many as the machine has cores (up to
    // four), a folder by one of them; `stopped` is asked on the calling
    // thread, which reports the progress meanwhile.
    bool run(const std::function<bool()> &stopped = {});
    // run() in two steps, for a caller with other work meanwhile: start()
    // returns at once, finish() waits for the end as run() does. The check
    // must not be changed or read between them.
    void start();
    bool finish(const std::function<bool()> &stopped = {});

    // One line per unprotected object, sorted by path; objects whose label
    // cannot be read included, with the reason.
    QStringList unprotectedMessages() const;
    // Objects whose label does not cover their level, in path order, with
    // the level they need: what protecting labels.
    // The unprotected objects whose labels can be read, in the order of
    // their paths: the path, the level it carries and the level it needs,
    // and what the check saw of it when it may be labelled by name.
    void forEachLabellable(const std::function<void(const QString &, unsigned int, unsigned int, const SeenByName &)> &visit) const;
    int labellableCount() const;
    // Objects whose label cannot be read, so cannot be written either.
    QStringList unreadablePaths() const;
    // Configured paths where no object exists.
    QStringList missingPaths() const;
    int checkedCount() const;
    bool isException(const QString &path) const;

    static bool covers(unsigned int label, unsigned int level);

    // An unprotected object that only root could have changed since the
    // check read it (it may be labelled by name).
    struct Seen {
        // In UTF-8, in the configuration.
        std::string_view path;
        unsigned int current = 0;
        unsigned int required = 0;
        SeenByName seen;
        // When it was labelled among all labels the change wrote (1 first;
        // 0 while not labelled): what is put back goes in the reverse order,
        // as the journal's.
        quint64 labelledAs = 0;
    };
    // Labels a run of such objects on the checking thread, with the access
    // that read them, marking each it labelled (labelledAs); false stops the
    // check. It stops early, with false, once `stopping` is set.
    using RunLabeller = std::function<bool(LabelAccess &labels, std::vector<Seen> &run, const std::atomic<bool> &stopping)>;
    // Before start(): such objects go to `labeller` as they are found, a
    // run at a time, while their folder is open and their status fresh;
    // those it labels are not unprotected. The progress is then reported
    // as labelling.
    void labelOnTheWay(RunLabeller labeller);
    // What the labeller labelled, in path order; after a stopped check too.
    std::vector<Seen> takeLabelledOnTheWay();
    // The configured objects, exceptions included: what the progress counts.
    qint64 configuredCount() const;
    static constexpr std::size_t runLength = 8192;

private:
    // An object not protected, or missing: its entry, the level it needs
    // and what its label is.
    struct Finding {
        std::size_t entry = 0;
        unsigned int required = 0;
        ObjectLabel label;
    };
    struct Part {
        std::size_t begin = 0;
        std::size_t end = 0;
        std::vector<Finding> findings;
        std::vector<Seen> run;
        std::vector<Seen> labelled;
        int checked = 0;
        std::atomic<std::size_t> done{0};
    };
    std::vector<std::pair<std::size_t, std::size_t>> parts(int count) const;
    QString pathOf(const Finding &finding) const;
    // Orders findings by their paths.
    struct InPathOrder {
        const ProtectionCheck *check;
        bool operator()(const Finding &a, const Finding &b) const
        {
            return check->entries[a.entry].first < check->entries[b.entry].first;
        }
    };
    InPathOrder inPathOrder() const;
    void checkPart(Part &part);
    bool labelRun(Part &part, LabelAccess &labels);
    void collectLabelledOnTheWay();
    void joinThreads();

    // Path (UTF-8, in the configuration) and level string, in the order the
    // check goes: a copy of each path would double the memory of a million.
    std::vector<std::pair<std::string_view, QString>> entries;
    PathSet exceptions;
    unsigned int maxLevel;
    // Sorted by path.
    std::vector<Finding> unprotected;
    RunLabeller labeller;
    std::vector<Seen> labelledAlready;
    QStringList missing;
    QStringList unreadable;
    int checked = 0;
    // The check under way.
    std::vector<std::unique_ptr<Part>> work;
    std::vector<std::thread> threads;
    std::atomic<bool> stopping{false};
    std::atomic<int> running{0};
};

#endif
