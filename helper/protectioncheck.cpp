#include "protectioncheck.h"

#include <utils.h>

#include <ksec.h>

#include <KLocalizedString>

#include <QFile>

#include <sys/stat.h>

#include <algorithm>

namespace
{
struct Label {
    bool exists = false;
    unsigned int level = 0;
};

Label labelOf(const QByteArray &path)
{
    struct stat st;
    if (::lstat(path.constData(), &st) != 0) {
        return {};
    }
    ksec_label_t *label = ksec_get_path(path.constData());
    const unsigned int level = label ? ksecl_ilev(label) : 0;
    ksecl_put(label);
    return {true, level};
}
}

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
    checked = 0;
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
        const Label label = labelOf(QFile::encodeName(path));
        if (!label.exists) {
            missing.append(path);
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

QStringList ProtectionCheck::unprotectedPaths() const
{
    return paths;
}

int ProtectionCheck::checkedCount() const
{
    return checked;
}
