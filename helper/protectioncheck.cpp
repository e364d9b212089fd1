// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "protectioncheck.h"
#include "labelaccess.h"
#include "workprogress.h"

#include <fsilevconfig.h>
#include <protocol.h>

#include <utils.h>

#include <ksec_sim.h>

#include <texts.h>

#include <QHash>

#include <QThread>

#include <algorithm>
#include <chrono>
#include <thread>

using namespace Mic::Texts;

ProtectionCheck::ProtectionCheck(const FsIlevConfig &config, unsigned int keywordMaxLevel)
    : maxLevel(keywordMaxLevel)
{
    // The file lists objects mostly folder by folder: its order opens most
    // folders once too, without sorting a million paths first.
    config.forEachRule([this](std::string_view path, const QString &level) {
        entries.emplace_back(path, level);
    });
    std::vector<std::string> exceptionPaths;
    config.forEachException([&exceptionPaths](const QString &path) {
        exceptionPaths.push_back(path.toStdString());
    });
    exceptions = PathSet(std::move(exceptionPaths));
}

bool ProtectionCheck::covers(unsigned int label, unsigned int level)
{
    return (label & level) == level;
}

namespace
{
// Levels as the pages name them ("15 - Upper"), each looked up in the
// catalogue once per check: there may be a million lines.
class LevelNames
{
public:
    QString of(unsigned int level)
    {
        auto it = known.find(level);
        if (it == known.end()) {
            it = known.insert(level, Mic::Utils::levelName(level));
        }
        return it.value();
    }
    // With the level string as written where it is not the number itself
    // ("15 - Upper (0b1111)", "63 - High (max)").
    QString configured(const QString &written, unsigned int level)
    {
        auto it = configuredNames.find(written);
        if (it == configuredNames.end()) {
            const QString name = of(level);
            it = configuredNames.insert(written,
                                        written == QString::number(level) ? name
                                                                          : i18nc("@item a level and the string it was written as", "%1 (%2)", name, written));
        }
        return it.value();
    }

private:
    QHash<unsigned int, QString> known;
    // By the level string as written: a check turns each into one level.
    QHash<QString, QString> configuredNames;
};
}

// Runs of whole folders, one per thread: a folder is opened by one of them.
std::vector<std::pair<std::size_t, std::size_t>> ProtectionCheck::parts(int count) const
{
    std::vector<std::pair<std::size_t, std::size_t>> ranges;
    std::size_t begin = 0;
    for (int part = 1; part <= count; ++part) {
        std::size_t end = part == count ? entries.size() : std::max(begin, entries.size() * std::size_t(part) / std::size_t(count));
        const auto folderOf = [this](std::size_t i) {
            const std::string_view path = entries[i].first;
            return path.substr(0, path.rfind('/'));
        };
        while (end > begin && end < entries.size() && folderOf(end) == folderOf(end - 1)) {
            ++end;
        }
        if (end > begin) {
            ranges.emplace_back(begin, end);
        }
        begin = end;
    }
    return ranges;
}

void ProtectionCheck::checkPart(Part &part)
{
    LabelAccess labels;
    // A file uses a handful of level strings: each is turned into its
    // level once.
    std::vector<std::pair<QString, unsigned int>> levels;
    const auto requiredBy = [&](const QString &levelString) {
        for (const auto &[known, level] : levels) {
            if (known == levelString) {
                return level;
            }
        }
        const unsigned int level = Mic::Utils::configLevelToNumber(levelString, maxLevel, nullptr);
        if (levels.size() < 64) {
            levels.emplace_back(levelString, level);
        }
        return level;
    };
    for (std::size_t i = part.begin; i < part.end; ++i) {
        if (((i - part.begin) & 1023) == 0) {
            part.done.store(i - part.begin, std::memory_order_relaxed);
            if (stopping.load(std::memory_order_relaxed)) {
                return;
            }
        }
        const auto &[path, levelString] = entries[i];
        if (exceptions.contains(path)) {
            continue;
        }
        ++part.checked;
        ObjectLabel label = labels.read(path);
        const unsigned int required = requiredBy(levelString);
        if (label.state == ObjectLabel::Labelled && covers(label.level, required)) {
            continue;
        }
        if (labeller && label.state == ObjectLabel::Labelled && label.seen.valid) {
            part.run.push_back({path, label.level, required, label.seen});
            if (part.run.size() >= runLength && !labelRun(part, labels)) {
                return;
            }
            continue;
        }
        part.findings.push_back({i, required, std::move(label)});
    }
    if (!part.run.empty() && !labelRun(part, labels)) {
        return;
    }
    // Most files list their objects in the order of the paths already.
    if (!std::is_sorted(part.findings.begin(), part.findings.end(), inPathOrder())) {
        std::sort(part.findings.begin(), part.findings.end(), inPathOrder());
    }
    part.done.store(part.end - part.begin, std::memory_order_relaxed);
}

// What the labeller labelled of a run is kept, also when it fails.
bool ProtectionCheck::labelRun(Part &part, LabelAccess &labels)
{
    const bool labelledWhole = !stopping.load(std::memory_order_relaxed) && labeller(labels, part.run, stopping);
    for (const Seen &object : part.run) {
        if (object.labelledAs != 0) {
            part.labelled.push_back(object);
        }
    }
    part.run.clear();
    if (!labelledWhole) {
        stopping = true;
    }
    return labelledWhole;
}

ProtectionCheck::InPathOrder ProtectionCheck::inPathOrder() const
{
    return {this};
}

ProtectionCheck::~ProtectionCheck()
{
    stopping = true;
    joinThreads();
}

void ProtectionCheck::joinThreads()
{
    for (std::thread &thread : threads) {
        thread.join();
    }
    threads.clear();
}

void ProtectionCheck::start()
{
    unprotected.clear();
    labelledAlready.clear();
    unreadable.clear();
    missing.clear();
    checked = 0;
    stopping = false;
    work.clear();
    // A small check on one thread: starting more would cost more.
    const int count = entries.size() < 20000 ? 1 : std::clamp(QThread::idealThreadCount(), 1, 4);
    for (const auto &[begin, end] : parts(count)) {
        work.push_back(std::make_unique<Part>());
        work.back()->begin = begin;
        work.back()->end = end;
    }
    running = int(work.size());
    for (const auto &part : work) {
        threads.emplace_back([this, &part = *part] {
            checkPart(part);
            --running;
        });
    }
}

bool ProtectionCheck::finish(const std::function<bool()> &stopped)
{
    // The helper's calls are handled here while the labels are read.
    while (running.load() > 0 && !stopping.load()) {
        std::size_t done = 0;
        for (const auto &part : work) {
            done += part->done.load(std::memory_order_relaxed);
        }
        WorkProgress::report(labeller ? Mic::Protocol::labellingPhase : Mic::Protocol::checkingPhase, qint64(done), configuredCount());
        if (stopped && stopped()) {
            stopping = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    joinThreads();
    collectLabelledOnTheWay();
    if (stopping) {
        return false;
    }
    // The lines of unprotected objects in path order, as the page lists
    // them and as they are labelled: each part sorted its own, which are
    // merged here.
    std::size_t total = 0;
    for (const auto &part : work) {
        total += part->findings.size();
    }
    unprotected.reserve(total);
    for (const auto &part : work) {
        checked += part->checked;
        const auto merged = unprotected.size();
        for (Finding &finding : part->findings) {
            if (finding.label.state == ObjectLabel::Missing) {
                missing.append(pathOf(finding));
                continue;
            }
            if (finding.label.state == ObjectLabel::Unreadable) {
                unreadable.append(pathOf(finding));
            }
            unprotected.push_back(std::move(finding));
        }
        std::inplace_merge(unprotected.begin(), unprotected.begin() + std::ptrdiff_t(merged), unprotected.end(), inPathOrder());
    }
    work.clear();
    std::sort(unreadable.begin(), unreadable.end());
    return true;
}

void ProtectionCheck::collectLabelledOnTheWay()
{
    const auto byPath = [](const Seen &a, const Seen &b) {
        return a.path < b.path;
    };
    for (const auto &part : work) {
        const auto merged = labelledAlready.size();
        labelledAlready.insert(labelledAlready.end(), part->labelled.cbegin(), part->labelled.cend());
        std::vector<Seen>().swap(part->labelled);
        const auto from = labelledAlready.begin() + std::ptrdiff_t(merged);
        if (!std::is_sorted(from, labelledAlready.end(), byPath)) {
            std::sort(from, labelledAlready.end(), byPath);
        }
        std::inplace_merge(labelledAlready.begin(), from, labelledAlready.end(), byPath);
    }
}

void ProtectionCheck::labelOnTheWay(RunLabeller labelRun)
{
    labeller = std::move(labelRun);
}

std::vector<ProtectionCheck::Seen> ProtectionCheck::takeLabelledOnTheWay()
{
    return std::exchange(labelledAlready, {});
}

qint64 ProtectionCheck::configuredCount() const
{
    return qint64(entries.size());
}

bool ProtectionCheck::run(const std::function<bool()> &stopped)
{
    start();
    return finish(stopped);
}

QStringList ProtectionCheck::unprotectedMessages() const
{
    LevelNames names;
    // The pattern of a line, translated once with its placeholders kept:
    // a million lines each through the catalogue would take seconds.
    const QString levelLine =
        i18nc("@item unprotected file", "%1 (level %2, configured %3)", QStringLiteral("%1"), QStringLiteral("%2"), QStringLiteral("%3"));
    QStringList messages;
    messages.reserve(int(unprotected.size()));
    for (const Finding &finding : unprotected) {
        const QString path = pathOf(finding);
        const QString &levelString = entries[finding.entry].second;
        if (finding.label.state == ObjectLabel::Unreadable) {
            messages.append(i18nc("@item unprotected file", "%1 (the label cannot be read: %2)", path, finding.label.problem));
        } else {
            messages.append(levelLine.arg(path, names.of(finding.label.level), names.configured(levelString, finding.required)));
        }
    }
    return messages;
}

QStringList ProtectionCheck::missingPaths() const
{
    return missing;
}

QStringList ProtectionCheck::unreadablePaths() const
{
    return unreadable;
}

void ProtectionCheck::forEachLabellable(const std::function<void(const QString &, unsigned int, unsigned int, const SeenByName &)> &visit) const
{
    for (const Finding &finding : unprotected) {
        if (finding.label.state == ObjectLabel::Labelled) {
            visit(pathOf(finding), finding.label.level, finding.required, finding.label.seen);
        }
    }
}

int ProtectionCheck::labellableCount() const
{
    return int(unprotected.size()) - unreadable.size();
}

int ProtectionCheck::checkedCount() const
{
    return checked;
}

bool ProtectionCheck::isException(const QString &path) const
{
    return exceptions.contains(path.toStdString());
}

QString ProtectionCheck::pathOf(const Finding &finding) const
{
    const std::string_view path = entries[finding.entry].first;
    return QString::fromUtf8(path.data(), int(path.size()));
}
