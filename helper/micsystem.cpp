#include "micsystem.h"

#include <KLocalizedString>

#include <QDir>
#include <QFile>

#include <pwd.h>

namespace
{
enum class Status {
    Enabled = 2,
    Partly = 3,
    Disabled = 4,
    EnabledAfterReboot = 5,
    DisabledAfterReboot = 6,
};

std::optional<unsigned int> parseLevel(const std::string &text)
{
    bool ok = false;
    const unsigned int value = QString::fromStdString(text).toUInt(&ok, 10);
    return ok ? std::optional<unsigned int>(value) : std::nullopt;
}

// Reads a state file; a missing one is empty.
bool loadStateFile(const QString &path, StateFile *file, QString *error)
{
    if (!QFile::exists(path)) {
        *file = *StateFile::parse(std::string());
        return true;
    }
    std::string why;
    auto parsed = StateFile::load(QFile::encodeName(path).toStdString(), &why);
    if (!parsed) {
        *error = i18n("The state file %1 is damaged: %2", path, QString::fromStdString(why));
        return false;
    }
    *file = std::move(*parsed);
    return true;
}

bool loadConfig(const QString &path, FsIlevConfig *config, QString *error)
{
    QFile file(path);
    if (!file.exists()) {
        *config = *FsIlevConfig::parse(QByteArray(), nullptr);
        return true;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        *error = i18n("Cannot read the file-system integrity configuration %1: %2", path, file.errorString());
        return false;
    }
    QString why;
    auto parsed = FsIlevConfig::parse(file.readAll(), &why);
    if (!parsed) {
        *error = i18n("The file-system integrity configuration %1 is damaged: %2", path, why);
        return false;
    }
    *config = std::move(*parsed);
    return true;
}

QStringList machineUsers()
{
    QStringList users;
    setpwent();
    while (const passwd *pw = getpwent()) {
        users.append(QString::fromLocal8Bit(pw->pw_name));
    }
    endpwent();
    return users;
}
}

MicSystem::MicSystem(const QString &root)
    : stateRoot(root)
    , micState(*StateFile::parse(std::string()))
    , usersState(*StateFile::parse(std::string()))
    , servicesState(*StateFile::parse(std::string()))
    , fsConfig(*FsIlevConfig::parse(QByteArray(), nullptr))
    , fsDefaults(*FsIlevConfig::parse(QByteArray(), nullptr))
{
}

QString MicSystem::rootFromEnvironment()
{
    const QString root = qEnvironmentVariable("MIC_STATE_ROOT");
    return root.isEmpty() ? QStringLiteral("/") : QDir::cleanPath(root);
}

bool MicSystem::read(QString *error)
{
    return loadStateFile(micStatePath(), &micState, error) && loadStateFile(usersStatePath(), &usersState, error)
        && loadStateFile(servicesStatePath(), &servicesState, error) && loadConfig(fsIlevConfPath(), &fsConfig, error)
        && loadConfig(fsIlevDefaultsPath(), &fsDefaults, error);
}

QString MicSystem::root() const
{
    return stateRoot;
}

QString MicSystem::pathOf(const char *relative) const
{
    return QDir(stateRoot).filePath(QLatin1String(relative));
}

QString MicSystem::micStatePath() const
{
    return pathOf("var/lib/kestrel/mic.state");
}

QString MicSystem::usersStatePath() const
{
    return pathOf("var/lib/kestrel/users.state");
}

QString MicSystem::servicesStatePath() const
{
    return pathOf("var/lib/kestrel/services.state");
}

QString MicSystem::fsIlevConfPath() const
{
    return pathOf("etc/kestrel/fs-ilev.conf");
}

QString MicSystem::fsIlevDefaultsPath() const
{
    return pathOf("usr/share/kestrel/fs-ilev.conf.default");
}

bool MicSystem::flag(const char *key) const
{
    const std::string *value = micState.value(key);
    return value && *value == "yes";
}

unsigned int MicSystem::level(const char *key) const
{
    const std::string *value = micState.value(key);
    return value ? parseLevel(*value).value_or(0) : 0;
}

bool MicSystem::isEnabled() const
{
    return flag("enabled");
}

bool MicSystem::isEnabledAfterReboot() const
{
    return flag("enabled-after-reboot");
}

unsigned int MicSystem::maxLevel() const
{
    return level("max-ilev");
}

unsigned int MicSystem::maxLevelAfterReboot() const
{
    return level("max-ilev-after-reboot");
}

bool MicSystem::isFsProtectionOn() const
{
    return flag("fs-protection");
}

unsigned int MicSystem::keywordMaxLevel() const
{
    if (maxLevel() != 0) {
        return maxLevel();
    }
    return maxLevelAfterReboot() != 0 ? maxLevelAfterReboot() : 63;
}

QHash<QString, unsigned int> MicSystem::userLevels() const
{
    QHash<QString, unsigned int> levels;
    const QStringList users = machineUsers();
    for (const QString &user : users) {
        const std::string *value = usersState.value(user.toStdString());
        levels.insert(user, value ? parseLevel(*value).value_or(0) : 0);
    }
    return levels;
}

QList<ServiceState> MicSystem::services() const
{
    QList<ServiceState> list;
    const QStringList names = QString::fromStdString(servicesState.value("services") ? *servicesState.value("services") : std::string())
                                  .split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (const QString &name : names) {
        const auto field = [&](const char *suffix) -> std::string {
            const std::string *value = servicesState.value("service." + name.toStdString() + "." + suffix);
            return value ? *value : std::string();
        };
        list.append({name, parseLevel(field("level")).value_or(0), field("isolatable") == "yes", field("isolated") == "yes", field("error") == "yes"});
    }
    return list;
}

const FsIlevConfig &MicSystem::config() const
{
    return fsConfig;
}

const FsIlevConfig &MicSystem::defaults() const
{
    return fsDefaults;
}

namespace
{
int micStatus(bool now, bool afterReboot)
{
    if (now) {
        return int(afterReboot ? Status::Enabled : Status::DisabledAfterReboot);
    }
    return int(afterReboot ? Status::EnabledAfterReboot : Status::Disabled);
}

QVariantHash toVariantHash(const QHash<QString, QString> &hash)
{
    QVariantHash result;
    for (auto it = hash.cbegin(); it != hash.cend(); ++it) {
        result.insert(it.key(), it.value());
    }
    return result;
}
}

QVariantMap MicSystem::readReply() const
{
    QVariantMap reply;
    reply.insert(QStringLiteral("micStatus"), micStatus(isEnabled(), isEnabledAfterReboot()));
    reply.insert(QStringLiteral("micFutureLevel"), QVariant::fromValue<uint>(maxLevelAfterReboot()));

    QVariantHash users;
    const auto levels = userLevels();
    for (auto it = levels.cbegin(); it != levels.cend(); ++it) {
        users.insert(it.key(), QVariant::fromValue<uint>(it.value()));
    }
    reply.insert(QStringLiteral("userILevels"), users);

    reply.insert(QStringLiteral("micFsCurrentItems"), toVariantHash(fsConfig.rules()));
    reply.insert(QStringLiteral("micFsDefaultItems"), toVariantHash(fsDefaults.rules()));
    reply.insert(QStringLiteral("micFsCurrentExceptions"), fsConfig.exceptions());
    reply.insert(QStringLiteral("micFsDefaultExceptions"), fsDefaults.exceptions());

    QVariantList services;
    int isolatable = 0;
    int isolated = 0;
    const auto list = this->services();
    for (const ServiceState &service : list) {
        services.append(QVariantHash{{QStringLiteral("name"), service.name},
                                     {QStringLiteral("iLevel"), QVariant::fromValue<uint>(service.level)},
                                     {QStringLiteral("isError"), service.error},
                                     {QStringLiteral("isIsolated"), service.isolated},
                                     {QStringLiteral("isIsolatable"), service.isolatable}});
        if (service.isolatable && !service.error) {
            ++isolatable;
            isolated += service.isolated ? 1 : 0;
        }
    }
    reply.insert(QStringLiteral("services"), services);
    const bool all = isolatable > 0 && isolated == isolatable;
    reply.insert(QStringLiteral("servicesIsolated"), int(all ? Qt::Checked : isolated > 0 ? Qt::PartiallyChecked : Qt::Unchecked));
    reply.insert(QStringLiteral("servicesIsolatedStatus"), int(all ? Status::Enabled : isolated > 0 ? Status::Partly : Status::Disabled));
    return reply;
}
