#include "protectioncheck.h"
#include "labelaccess.h"

#include <utils.h>

#include <ksec_sim.h>

#include <KLocalizedString>

#include <algorithm>

ProtectionCheck::ProtectionCheck(const QHash<QString, QString> &rules, const QStringList &exceptions, unsigned int keywordMaxLevel)
    : rules(rules)
    , exceptions(exceptions.cbegin(), exceptions.cend())
    , maxLevel(keywordMaxLevel)
{
}

bool ProtectionCheck::covers(unsigned int label, unsigned int level)
{
    return (label & level) == level;
}

bool ProtectionCheck::run(const std::function<bool()> &stopped)
{
    messages.clear();
    paths.clear();
    missing.clear();
    unreadable.clear();
    checked = 0;
    LabelAccess labels;
    QStringList sorted = rules.keys();
    std::sort(sorted.begin(), sorted.end());
    for (const QString &path : std::as_const(sorted)) {
        if ((checked & 1023) == 0 && stopped && stopped()) {
            return false;
        }
        if (exceptions.contains(path)) {
            continue;
        }
        ++checked;
        const QString &levelString = rules.value(path);
        const unsigned int required = Mic::Utils::configLevelToNumber(levelString, maxLevel, nullptr);
        const ObjectLabel label = labels.read(path);
        if (label.state == ObjectLabel::Missing) {
            missing.append(path);
        } else if (label.state == ObjectLabel::Unreadable) {
            unreadable.append(path);
            messages.append(i18nc("@item unprotected file", "%1 (the label cannot be read: %2)", path, label.problem));
        } else if (!covers(label.level, required)) {
            paths.append(path);
            messages.append(i18nc("@item unprotected file", "%1 (level %2, configured %3)", path, QString::number(label.level), levelString));
        }
    }
    return true;
}

QStringList ProtectionCheck::unprotectedMessages() const
{
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

QStringList ProtectionCheck::unprotectedPaths() const
{
    return paths;
}

int ProtectionCheck::checkedCount() const
{
    return checked;
}
