#include "protectioncheck.h"
#include "labelaccess.h"
#include "workprogress.h"

#include <fsilevconfig.h>
#include <protocol.h>

#include <utils.h>

#include <ksec_sim.h>

#include <KLocalizedString>

#include <QHash>

#include <algorithm>

ProtectionCheck::ProtectionCheck(const FsIlevConfig &config, unsigned int keywordMaxLevel)
    : maxLevel(keywordMaxLevel)
{
    // The file lists objects mostly folder by folder: its order opens most
    // folders once too, without sorting a million paths first.
    config.forEachRule([this](const QString &path, const QString &level) {
        entries.emplace_back(path, level);
    });
    config.forEachException([this](const QString &path) {
        exceptions.insert(path);
    });
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
        const QString name = of(level);
        return written == QString::number(level) ? name : i18nc("@item a level and the string it was written as", "%1 (%2)", name, written);
    }

private:
    QHash<unsigned int, QString> known;
};
}

bool ProtectionCheck::run(const std::function<bool()> &stopped)
{
    messages.clear();
    messagePaths.clear();
    paths.clear();
    levels.clear();
    missing.clear();
    unreadable.clear();
    checked = 0;
    LabelAccess labels;
    LevelNames names;
    qint64 index = 0;
    for (const auto &[path, levelString] : entries) {
        if ((index++ & 1023) == 0) {
            WorkProgress::report(Mic::Protocol::checkingPhase, index - 1, qint64(entries.size()));
            if (stopped && stopped()) {
                return false;
            }
        }
        if (exceptions.contains(path)) {
            continue;
        }
        ++checked;
        const unsigned int required = Mic::Utils::configLevelToNumber(levelString, maxLevel, nullptr);
        const ObjectLabel label = labels.read(path);
        if (label.state == ObjectLabel::Missing) {
            missing.append(path);
        } else if (label.state == ObjectLabel::Unreadable) {
            unreadable.append(path);
            messagePaths.append(path);
            messages.append(i18nc("@item unprotected file", "%1 (the label cannot be read: %2)", path, label.problem));
        } else if (!covers(label.level, required)) {
            paths.append(path);
            levels.append(levelString);
            messagePaths.append(path);
            messages.append(i18nc("@item unprotected file", "%1 (level %2, configured %3)", path, names.of(label.level), names.configured(levelString, required)));
        }
    }
    sortByPath();
    return true;
}

// The lines of unprotected objects in path order, as the page lists them;
// usually few, so sorted after the check rather than all paths before.
void ProtectionCheck::sortByPath()
{
    std::vector<std::pair<QString, QString>> lines; // path, message
    lines.reserve(std::size_t(messages.size()));
    for (int i = 0; i < messages.size(); ++i) {
        lines.emplace_back(messagePaths.at(i), messages.at(i));
    }
    std::sort(lines.begin(), lines.end());
    messages.clear();
    for (const auto &line : lines) {
        messages.append(line.second);
    }
    std::vector<std::pair<QString, QString>> objects; // path, level
    for (int i = 0; i < paths.size(); ++i) {
        objects.emplace_back(paths.at(i), levels.at(i));
    }
    std::sort(objects.begin(), objects.end());
    paths.clear();
    levels.clear();
    for (const auto &object : objects) {
        paths.append(object.first);
        levels.append(object.second);
    }
    std::sort(unreadable.begin(), unreadable.end());
}

QStringList ProtectionCheck::unprotectedMessages() const
{
    return messages;
}

QStringList ProtectionCheck::missingPaths() const
{
    return missing;
}

QStringList ProtectionCheck::unprotectedLevels() const
{
    return levels;
}

QStringList ProtectionCheck::unreadablePaths() const
{
    return unreadable;
}

QStringList ProtectionCheck::unprotectedPaths() const
{
    return paths;
}

int ProtectionCheck::checkedCount() const
{
    return checked;
}

bool ProtectionCheck::isException(const QString &path) const
{
    return exceptions.contains(path);
}
