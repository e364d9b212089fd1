#include "protectioncheck.h"

#include <utils.h>

#include <ksec_sim.h>

#include <KLocalizedString>

#include <QFile>

#include <sys/xattr.h>

#include <cerrno>
#include <cstdlib>

#include <algorithm>

namespace
{
struct Label {
    bool exists = false;
    unsigned int level = 0;
};

// The label as the label library reads it, and whether the object exists,
// in one system call per object: the check runs over every configured path.
Label labelOf(const QByteArray &path)
{
    char buffer[16];
    const ssize_t size = ::lgetxattr(path.constData(), KSEC_LABEL_XATTR, buffer, sizeof(buffer) - 1);
    if (size < 0) {
        return {errno != ENOENT && errno != ENOTDIR, 0};
    }
    buffer[size] = '\0';
    char *end = nullptr;
    errno = 0;
    const unsigned long level = std::strtoul(buffer, &end, 10);
    const bool valid = size > 0 && *end == '\0' && buffer[0] >= '0' && buffer[0] <= '9' && errno == 0 && level <= UINT32_MAX;
    return {true, valid ? static_cast<unsigned int>(level) : 0};
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
