// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "keptstates.h"
#include "contentdigest.h"
#include "changehistory.h"
#include "micsystem.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <unistd.h>

namespace
{
std::optional<QByteArray> contentOf(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    QFile file;
    if (fd < 0) {
        return std::nullopt;
    }
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return std::nullopt;
    }
    return file.readAll();
}

}

KeptStates::KeptStates(const MicSystem &system)
    : root(system.root())
{
    const QStringList files = system.stateFilePaths();
    for (const QString &file : files) {
        QHash<QString, QString> &digests = kept[QDir(root).relativeFilePath(file)];
        // No file is a state too.
        digests.insert(QString(), QString());
        QStringList candidates{file};
        for (int generation = 0; generation < MicSystem::backupGenerations; ++generation) {
            candidates.append(MicSystem::backupName(file, generation));
        }
        for (const QString &candidate : std::as_const(candidates)) {
            if (const auto content = contentOf(candidate)) {
                digests.insert(Mic::contentDigest(*content), candidate);
            }
        }
    }
}

bool KeptStates::holdsStateBefore(const HistoryEntry &entry) const
{
    if (entry.outcome != QLatin1String("applied") || entry.before.size() != kept.size()) {
        return false;
    }
    for (auto it = entry.before.cbegin(); it != entry.before.cend(); ++it) {
        if (!kept.value(it.key()).contains(it.value().toString())) {
            return false;
        }
    }
    return true;
}

std::optional<QHash<QString, QByteArray>> KeptStates::stateBefore(const HistoryEntry &entry) const
{
    if (!holdsStateBefore(entry)) {
        return std::nullopt;
    }
    QHash<QString, QByteArray> contents;
    for (auto it = entry.before.cbegin(); it != entry.before.cend(); ++it) {
        const QString digest = it.value().toString();
        const QString path = QDir(root).filePath(it.key());
        if (digest.isEmpty()) {
            contents.insert(path, QByteArray());
            continue;
        }
        // Read again: what was hashed may have changed since.
        const auto content = contentOf(kept.value(it.key()).value(digest));
        if (!content || Mic::contentDigest(*content) != digest) {
            return std::nullopt;
        }
        contents.insert(path, content->isNull() ? QByteArray("") : *content);
    }
    return contents;
}
