// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef MICSYSTEM_H
#define MICSYSTEM_H

#include "changejournal.h"
#include "fsilevconfig.h"

#include <settingvalues.h>
#include <statefile.h>

#include <QList>
#include <QString>
#include <QVariantMap>

#include <functional>
#include <optional>

#include <sys/types.h>

using ServiceState = Mic::Settings::Service;

/*
 * The MIC system that the helper manages. Without the kernel subsystem it is
 * simulated by files below a state root ("/" on a real system):
 *
 *   var/lib/kestrel/mic.state        MIC on/off now and after reboot, the
 *                                    maximum level now and at the next boot,
 *                                    file-system protection, level catalogue
 *   var/lib/kestrel/users.state      "<user> = <maximal level>"
 *   var/lib/kestrel/services.state   "service.<name>.<field> = <value>"
 *   etc/kestrel/fs-ilev.conf         the file-system integrity configuration
 *   usr/share/kestrel/fs-ilev.conf.default   its defaults, same format
 *
 * A missing file is an empty one; a damaged file is an error that names it.
 */
class MicSystem
{
public:
    explicit MicSystem(const QString &root);
    // The state root of this process: $MIC_STATE_ROOT, else "/".
    static QString rootFromEnvironment();

    bool read(QString *error);
    // The same from contents given by absolute path: a null content is a
    // file that does not exist; files not given are read. The defaults are
    // always read.
    bool readContents(const QHash<QString, QByteArray> &contents, QString *error);

    QString root() const;
    QString micStatePath() const;
    QString usersStatePath() const;
    QString servicesStatePath() const;
    QString fsIlevConfPath() const;
    QString fsIlevDefaultsPath() const;

    bool isEnabled() const;
    bool isEnabledAfterReboot() const;
    unsigned int maxLevel() const;
    unsigned int maxLevelAfterReboot() const;
    bool isFsProtectionOn() const;
    // The level that "max" and "high" stand for in the configuration.
    unsigned int keywordMaxLevel() const;

    // Maximal levels of the machine's users; users without an entry have 0.
    QHash<QString, unsigned int> userLevels() const;
    QList<ServiceState> services() const;
    const FsIlevConfig &config() const;
    const FsIlevConfig &defaults() const;

    QStringList isolatableServiceNames() const;

    // The parts of the read reply that need no file-system scan; without the
    // rules and exceptions (and their defaults) when they go another way.
    Mic::Settings::ReadReply readReply(bool withConfiguration = true) const;

    // Changes in memory, written by write().
    void setEnabledAfterReboot(bool enabled);
    void setMaxLevelAfterReboot(unsigned int level);
    void setFsProtection(bool on);
    // False, changing nothing, when the state file cannot hold the name.
    bool setUserLevel(const QString &user, unsigned int level);
    bool hasUserEntry(const QString &user) const;
    bool setServiceIsolated(const QString &service, bool isolated);
    FsIlevConfig &editableConfig();
    // What a reboot does: the after-reboot state becomes the current one.
    void reboot();

    // Writes every changed file, each atomically, keeping the previous
    // generations as "<file>.old" (the last), "<file>.old.1" … ".old.4"
    // (older ones are dropped). Files and backups keep the label, mode and
    // owner of the file they were; a new file is the owner's alone, but for
    // mic.state, which every user reads. When one cannot be written, the
    // files written before it get their previous content back, so the state
    // stays whole; *error says what failed. With a journal, the change is
    // marked backed up once every previous content is on disk, and done once
    // every file is.
    bool write(ChangeJournal *journal, QString *error);
    bool write(QString *error)
    {
        return write(nullptr, error);
    }

    // Each state file, relative to the root, with the SHA-256 of its content
    // as read (empty when there was none).
    QVariantMap contentDigests() const;
    // The files write() would replace, and whether each exists.
    QList<ChangeJournal::FileRecord> filesToWrite();
    QStringList stateFilePaths() const;
    static constexpr int backupGenerations = 5;
    // The name of a backup generation of a state file, 0 the newest.
    static QString backupName(const QString &path, int generation);
    // Where write() keeps a file's previous content until the change is done.
    static QString pendingBackupName(const QString &path);
    // Turns the previous content kept by write() into the newest backup
    // generation; nothing when there is none. Safe to repeat after a crash.
    static void settleBackup(const QString &path);
    // Puts back the content `path` had before an unfinished write(): the
    // content kept beside it, or no file when it did not exist.
    static bool putBackFile(const QString &path, bool existed);
    // Whether the last write() failed and could not put every file back:
    // its journal then stays for the helper's next start to finish.
    bool leftFilesToRecover() const;

private:
    struct StoredFile {
        QString path;
        bool existed = false;
        QByteArray content; // as read
        QByteArray label; // as read
        mode_t newFileMode = 0600;
    };

    bool load(const std::function<bool(const QString &path, bool *existed, QByteArray *content, QString *error)> &source, QString *error);
    QString pathOf(const char *relative) const;
    bool flag(const char *key) const;
    unsigned int level(const char *key) const;
    void setFlag(const char *key, bool on);
    QList<QPair<StoredFile *, QByteArray>> changedFiles();

    QString stateRoot;
    StateFile micState;
    StateFile usersState;
    StateFile servicesState;
    FsIlevConfig fsConfig;
    FsIlevConfig fsDefaults;
    StoredFile micFile;
    StoredFile usersFile;
    StoredFile servicesFile;
    StoredFile configFile;
    bool filesLeftToRecover = false;
};

#endif
