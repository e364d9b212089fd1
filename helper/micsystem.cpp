// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "micsystem.h"
#include "contentdigest.h"
#include <settings.h>
#include "testpause.h"

#include <texts.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>

#include <ksec_sim.h>

#include <pwd.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>

using namespace Mic::Texts;

using Mic::Settings::Status;

namespace
{
std::optional<unsigned int> parseLevel(const std::string &text)
{
    bool ok = false;
    const unsigned int value = QString::fromStdString(text).toUInt(&ok, 10);
    return ok ? std::optional<unsigned int>(value) : std::nullopt;
}

// The content of a file; a missing file is empty.
bool readBytes(const QString &path, bool *existed, QByteArray *content, QString *error)
{
    QFile file(path);
    *existed = file.exists();
    content->clear();
    if (!*existed) {
        return true;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        *error = i18n("Cannot read %1: %2", path, file.errorString());
        return false;
    }
    *content = file.readAll();
    return true;
}

using Source = std::function<bool(const QString &path, bool *existed, QByteArray *content, QString *error)>;

QByteArray labelOf(const QString &path)
{
    char buffer[64];
    const ssize_t size = ::lgetxattr(QFile::encodeName(path).constData(), KSEC_LABEL_XATTR, buffer, sizeof(buffer));
    return size > 0 ? QByteArray(buffer, int(size)) : QByteArray();
}

bool loadStateFile(const Source &source, const QString &path, StateFile *file, QByteArray *content, bool *existed, QString *error)
{
    if (!source(path, existed, content, error)) {
        return false;
    }
    std::string why;
    auto parsed = StateFile::parse(content->toStdString(), &why);
    if (!parsed) {
        *error = i18n("The state file %1 is damaged: %2", path, QString::fromStdString(why));
        return false;
    }
    *file = std::move(*parsed);
    return true;
}

bool loadConfig(const Source &source, const QString &path, FsIlevConfig *config, QByteArray *content, bool *existed, QString *error)
{
    if (!source(path, existed, content, error)) {
        return false;
    }
    QString why;
    auto parsed = FsIlevConfig::parse(*content, &why);
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
    return load(readBytes, error);
}

bool MicSystem::readContents(const QHash<QString, QByteArray> &contents, QString *error)
{
    return load(
        [&contents](const QString &path, bool *existed, QByteArray *content, QString *error) {
            const auto found = contents.constFind(path);
            if (found == contents.cend()) {
                return readBytes(path, existed, content, error);
            }
            *existed = !found->isNull();
            *content = *found;
            return true;
        },
        error);
}

bool MicSystem::load(const std::function<bool(const QString &, bool *, QByteArray *, QString *)> &source, QString *error)
{
    micFile.path = micStatePath();
    // The label library reads the catalogue from it in every process.
    micFile.newFileMode = 0644;
    usersFile.path = usersStatePath();
    servicesFile.path = servicesStatePath();
    configFile.path = fsIlevConfPath();
    QByteArray defaultsContent;
    bool defaultsExisted = false;
    const bool loaded = loadStateFile(source, micFile.path, &micState, &micFile.content, &micFile.existed, error)
        && loadStateFile(source, usersFile.path, &usersState, &usersFile.content, &usersFile.existed, error)
        && loadStateFile(source, servicesFile.path, &servicesState, &servicesFile.content, &servicesFile.existed, error)
        && loadConfig(source, configFile.path, &fsConfig, &configFile.content, &configFile.existed, error)
        && loadConfig(readBytes, fsIlevDefaultsPath(), &fsDefaults, &defaultsContent, &defaultsExisted, error);
    // The labels the files carry before a change: a state file may itself be
    // an object the change labels, before its previous content is kept.
    for (StoredFile *file : {&micFile, &usersFile, &servicesFile, &configFile}) {
        file->label = labelOf(file->path);
    }
    return loaded;
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

QStringList MicSystem::isolatableServiceNames() const
{
    QStringList names;
    const auto list = services();
    for (const ServiceState &service : list) {
        if (service.isolatable) {
            names.append(service.name);
        }
    }
    return names;
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
Status micStatus(bool now, bool afterReboot)
{
    if (now) {
        return afterReboot ? Status::Enabled : Status::DisabledAfterReboot;
    }
    return afterReboot ? Status::EnabledAfterReboot : Status::Disabled;
}

}

Mic::Settings::ReadReply MicSystem::readReply(bool withConfiguration) const
{
    Mic::Settings::ReadReply reply;
    reply.mic = micStatus(isEnabled(), isEnabledAfterReboot());
    reply.futureLevel = maxLevelAfterReboot();
    reply.userLevels = userLevels();
    if (withConfiguration) {
        reply.rules = Mic::Settings::wireTable(fsConfig.rules());
        reply.defaultRules = Mic::Settings::wireTable(fsDefaults.rules());
        reply.exceptions = fsConfig.exceptions();
        reply.defaultExceptions = fsDefaults.exceptions();
    }
    // So that the page opens the file that is read, under any state root.
    reply.configPath = fsIlevConfPath();

    int isolatable = 0;
    int isolated = 0;
    const auto list = this->services();
    for (const ServiceState &service : list) {
        reply.services.append(service);
        if (service.isolatable && !service.inError) {
            ++isolatable;
            isolated += service.isolated ? 1 : 0;
        }
    }
    const bool all = isolatable > 0 && isolated == isolatable;
    reply.isolation = all ? Status::Enabled : isolated > 0 ? Status::Partly : Status::Disabled;
    return reply;
}

void MicSystem::setFlag(const char *key, bool on)
{
    micState.setValue(key, on ? "yes" : "no");
}

void MicSystem::setEnabledAfterReboot(bool enabled)
{
    setFlag("enabled-after-reboot", enabled);
}

void MicSystem::setMaxLevelAfterReboot(unsigned int level)
{
    micState.setValue("max-ilev-after-reboot", std::to_string(level));
}

void MicSystem::setFsProtection(bool on)
{
    setFlag("fs-protection", on);
}

bool MicSystem::setUserLevel(const QString &user, unsigned int level)
{
    return usersState.setValue(user.toStdString(), std::to_string(level));
}

bool MicSystem::hasUserEntry(const QString &user) const
{
    return usersState.value(user.toStdString()) != nullptr;
}

bool MicSystem::setServiceIsolated(const QString &service, bool isolated)
{
    return servicesState.setValue("service." + service.toStdString() + ".isolated", isolated ? "yes" : "no");
}

FsIlevConfig &MicSystem::editableConfig()
{
    return fsConfig;
}

void MicSystem::reboot()
{
    const bool enabled = isEnabledAfterReboot();
    setFlag("enabled", enabled);
    micState.setValue("max-ilev", std::to_string(enabled ? maxLevelAfterReboot() : 0));
}

QList<QPair<MicSystem::StoredFile *, QByteArray>> MicSystem::changedFiles()
{
    QList<QPair<StoredFile *, QByteArray>> changed;
    const auto consider = [&changed](StoredFile *file, const QByteArray &content) {
        if (content != file->content || (!file->existed && !content.isEmpty())) {
            changed.append({file, content});
        }
    };
    consider(&micFile, QByteArray::fromStdString(micState.serialize()));
    consider(&usersFile, QByteArray::fromStdString(usersState.serialize()));
    consider(&servicesFile, QByteArray::fromStdString(servicesState.serialize()));
    consider(&configFile, fsConfig.serialize());
    return changed;
}

namespace
{
// The label a file carries (empty when none), to give the file that
// replaces it: a new file would otherwise carry none, and the configuration
// file may itself be an object with a rule.
QByteArray labelOfFile(const QString &path)
{
    char buffer[64];
    const ssize_t size = ::lgetxattr(path.toUtf8().constData(), KSEC_LABEL_XATTR, buffer, sizeof(buffer));
    return size > 0 ? QByteArray(buffer, int(size)) : QByteArray();
}

// Who may read and write a file, to give the file that replaces it.
struct FileAccess {
    bool known = false;
    struct stat status = {};
};

FileAccess accessOfFile(const QString &path)
{
    FileAccess access;
    access.known = ::stat(QFile::encodeName(path).constData(), &access.status) == 0;
    return access;
}

// The owner first: a change of owner drops the set-id bits a mode gives.
bool giveAccess(int fd, const FileAccess &access, mode_t newFileMode)
{
    if (!access.known) {
        return ::fchmod(fd, newFileMode) == 0;
    }
    struct stat current;
    if (::fstat(fd, &current) != 0) {
        return false;
    }
    const bool sameOwner = current.st_uid == access.status.st_uid && current.st_gid == access.status.st_gid;
    return (sameOwner || ::fchown(fd, access.status.st_uid, access.status.st_gid) == 0) && ::fchmod(fd, access.status.st_mode & 07777) == 0;
}

// Writes `path` whole or not at all. It takes the label, mode and owner of
// `like` (the file it replaces unless given), or `newFileMode` when there is
// none. The temporary file is the owner's alone from its creation: one
// opened by another user while it was readable would stay readable to them.
bool saveAtomically(const QString &path,
                    const QByteArray &content,
                    QString *error,
                    const QString &like = QString(),
                    mode_t newFileMode = 0600,
                    const std::optional<QByteArray> &givenLabel = std::nullopt)
{
    QDir().mkpath(QFileInfo(path).path());
    const QString model = like.isEmpty() ? path : like;
    const QByteArray label = givenLabel ? *givenLabel : labelOfFile(model);
    const FileAccess access = accessOfFile(model);
    QSaveFile file(path);
    // Unbuffered: a buffered write fails only when the buffer is flushed on
    // commit, and QSaveFile does not notice that failure; a full disk would
    // then replace the file by an empty one.
    const auto labelled = [&] {
        return label.isEmpty() || ::fsetxattr(file.handle(), KSEC_LABEL_XATTR, label.constData(), std::size_t(label.size()), 0) == 0;
    };
    const mode_t umask = ::umask(077);
    const bool opened = file.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    ::umask(umask);
    if (opened && !giveAccess(file.handle(), access, newFileMode)) {
        *error = i18n("Cannot write %1: %2", path, QString::fromLocal8Bit(std::strerror(errno)));
        file.cancelWriting();
        return false;
    }
    if (!opened || file.write(content) != content.size() || file.error() != QFileDevice::NoError || !labelled() || !file.commit()) {
        *error = i18n("Cannot write %1: %2", path, file.errorString());
        file.cancelWriting();
        return false;
    }
    return true;
}
}

namespace
{
bool exists(const QString &path)
{
    struct stat status;
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0;
}

bool renameOver(const QString &from, const QString &to)
{
    return ::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}
}

QVariantMap MicSystem::contentDigests() const
{
    QVariantMap digests;
    for (const StoredFile *file : {&micFile, &usersFile, &servicesFile, &configFile}) {
        const QString digest = file->existed ? Mic::contentDigest(file->content) : QString();
        digests.insert(QDir(stateRoot).relativeFilePath(file->path), digest);
    }
    return digests;
}

QString MicSystem::backupName(const QString &path, int generation)
{
    return path + QStringLiteral(".old") + (generation == 0 ? QString() : QLatin1Char('.') + QString::number(generation));
}

QString MicSystem::pendingBackupName(const QString &path)
{
    return path + QStringLiteral(".old.next");
}

QStringList MicSystem::stateFilePaths() const
{
    return {micStatePath(), usersStatePath(), servicesStatePath(), fsIlevConfPath()};
}

QList<ChangeJournal::FileRecord> MicSystem::filesToWrite()
{
    QList<ChangeJournal::FileRecord> files;
    const auto changed = changedFiles();
    for (const auto &[file, content] : changed) {
        files.append({file->path, file->existed});
    }
    return files;
}

// The previous content becomes ".old", each older generation moves one
// back, the oldest is dropped. The generations move from the first missing
// one, so that doing it again after a crash in the middle moves each once.
void MicSystem::settleBackup(const QString &path)
{
    const QString pending = pendingBackupName(path);
    if (!exists(pending)) {
        return;
    }
    int gap = 0;
    while (gap < backupGenerations && exists(backupName(path, gap))) {
        ++gap;
    }
    if (gap == backupGenerations) {
        gap = backupGenerations - 1;
        QFile::remove(backupName(path, gap));
    }
    for (int generation = gap - 1; generation >= 0; --generation) {
        renameOver(backupName(path, generation), backupName(path, generation + 1));
    }
    renameOver(pending, backupName(path, 0));
}

bool MicSystem::putBackFile(const QString &path, bool existed)
{
    if (!existed) {
        return !exists(path) || QFile::remove(path);
    }
    // A rename needs no room on a full disk.
    const QString pending = pendingBackupName(path);
    return !exists(pending) || renameOver(pending, path);
}

bool MicSystem::leftFilesToRecover() const
{
    return filesLeftToRecover;
}

namespace
{
// The folders of `files`, synced: the renames in them are on disk.
void syncFoldersOf(const QStringList &files)
{
    QSet<QString> folders;
    for (const QString &file : files) {
        folders.insert(QFileInfo(file).path());
    }
    for (const QString &folder : std::as_const(folders)) {
        ChangeJournal::syncFolder(folder);
    }
}
}

bool MicSystem::write(ChangeJournal *journal, QString *error)
{
    filesLeftToRecover = false;
    const auto changed = changedFiles();
    QStringList paths;
    for (const auto &[file, content] : changed) {
        paths.append(file->path);
        // A previous content a crash left unsettled takes its place first.
        settleBackup(file->path);
    }
    QStringList pendings;
    const auto dropPendings = [&pendings] {
        for (const QString &pending : std::as_const(pendings)) {
            QFile::remove(pending);
        }
    };
    // The previous contents first, beside the files, under names no
    // generation has, with the labels the files had before the change:
    // nothing is lost if the change ends here.
    for (const auto &[file, content] : changed) {
        if (file->existed) {
            pendings.append(pendingBackupName(file->path));
            if (!saveAtomically(pendings.last(), file->content, error, file->path, 0600, file->label)) {
                dropPendings();
                return false;
            }
        }
    }
    syncFoldersOf(paths);
    if (journal && !journal->markStage(ChangeJournal::Stage::BackedUp, error)) {
        dropPendings();
        return false;
    }
    QList<StoredFile *> written;
    // Renames back, which need no room: a full disk cannot stop them.
    const auto rollBack = [&written] {
        bool whole = true;
        for (StoredFile *file : std::as_const(written)) {
            whole = putBackFile(file->path, file->existed) && whole;
        }
        return whole;
    };
    const auto fail = [&] {
        if (!rollBack()) {
            // The journal still says the previous contents are kept: the
            // helper's next start puts them back.
            filesLeftToRecover = true;
            *error += QLatin1Char(' ') + i18n("The previous state files are put back when the settings service starts next.");
            return false;
        }
        dropPendings();
        return false;
    };
    for (const auto &[file, content] : changed) {
        written.append(file);
        if (!saveAtomically(file->path, content, error, QString(), file->newFileMode)) {
            return fail();
        }
        pauseForTest("between-files");
    }
    syncFoldersOf(paths);
    pauseForTest("before-done");
    if (journal && !journal->markStage(ChangeJournal::Stage::Done, error)) {
        return fail();
    }
    pauseForTest("after-done");
    for (const auto &[file, content] : changed) {
        settleBackup(file->path);
        file->existed = true;
        file->content = content;
    }
    syncFoldersOf(paths);
    return true;
}
