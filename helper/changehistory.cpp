// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "changehistory.h"
#include "changerequest.h"
#include "systemlog.h"
#include <changerecords.h>
#include <constants.h>
#include <jsonkeys.h>
#include <settings.h>

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

using Mic::Settings::Status;

namespace
{
bool isOutcome(const QString &text)
{
    for (const char *outcome : {"applied", "refused", "failed", "undone", "stopped"}) {
        if (text == QLatin1String(outcome)) {
            return true;
        }
    }
    return false;
}

// What one line may hold: an entry names no rule, so anything longer is
// damage, and reading it would cost the helper's memory.
constexpr qsizetype maxLineSize = 64 * 1024;

namespace Changes = Mic::HistoryChanges;

// How many, and the first few by name: [name, value] each.
QVariantMap namedCount(QList<QPair<QString, QVariant>> items)
{
    std::sort(items.begin(), items.end(), [](const auto &a, const auto &b) {
        return a.first < b.first;
    });
    QVariantList shown;
    const auto first = items.mid(0, Changes::shownNames);
    for (const auto &[name, value] : first) {
        shown.append(QVariant(QVariantList{name, value}));
    }
    return {{Changes::count, int(items.size())}, {Changes::shown, shown}};
}

QVariantMap usersPart(const QHash<QString, unsigned int> &levels)
{
    QList<QPair<QString, QVariant>> items;
    for (auto it = levels.cbegin(); it != levels.cend(); ++it) {
        items.append({it.key(), it.value()});
    }
    return namedCount(items);
}

QVariantMap rulesPart(const QHash<QString, QString> &changes)
{
    const qsizetype removed = std::count(changes.cbegin(), changes.cend(), Mic::noLevelString);
    return {{Changes::rulesSet, int(changes.size() - removed)}, {Changes::rulesRemoved, int(removed)}};
}

void addServicesPart(const ChangeRequest &request, QVariantMap *changes)
{
    if (request.isolation && *request.isolation != Status::Partly) {
        changes->insert(Changes::isolation, *request.isolation == Status::Enabled);
        return;
    }
    if (!request.services) {
        return;
    }
    QList<QPair<QString, QVariant>> items;
    for (const ServiceIsolation &service : *request.services) {
        items.append({service.name, service.isolated});
    }
    changes->insert(Changes::services, namedCount(items));
}

QString historyPath(const QString &folder, int generation)
{
    return folder + (generation == 0 ? QStringLiteral("/history") : QStringLiteral("/history.%1").arg(generation));
}

QByteArray readFile(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    QFile file;
    if (fd < 0 || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        if (fd >= 0) {
            ::close(fd);
        }
        return QByteArray();
    }
    return file.readAll();
}
}

QVariantMap HistoryEntry::toMap() const
{
    QVariantMap map{{QStringLiteral("time"), time.toUTC().toString(Qt::ISODate)},
            {QStringLiteral("user"), user},
            {QStringLiteral("uid"), uid},
            {QStringLiteral("requestId"), QString::fromLatin1(requestId.toHex())},
            {QStringLiteral("outcome"), outcome},
            {QStringLiteral("summary"), summary},
            {QStringLiteral("text"), text},
            {QStringLiteral("relabelled"), relabelled},
            {QStringLiteral("before"), before}};
    // Entries recorded before changes were, and those of a recovery, have
    // only their summary.
    if (!changes.isEmpty()) {
        map.insert(Mic::HistoryChanges::key, changes);
    }
    return map;
}

void HistoryEntry::describe(const QVariantMap &asked)
{
    changes = asked;
    summary = Mic::changeSummaryText(asked, {QStringLiteral("en_US")});
}

std::optional<HistoryEntry> HistoryEntry::fromMap(const QVariantMap &map)
{
    HistoryEntry entry;
    entry.time = QDateTime::fromString(map.value(QStringLiteral("time")).toString(), Qt::ISODate);
    entry.user = map.value(QStringLiteral("user")).toString();
    entry.uid = map.value(QStringLiteral("uid"), -1).toLongLong();
    entry.requestId = QByteArray::fromHex(map.value(QStringLiteral("requestId")).toString().toLatin1());
    entry.outcome = map.value(QStringLiteral("outcome")).toString();
    entry.summary = map.value(QStringLiteral("summary")).toString();
    entry.text = map.value(QStringLiteral("text")).toString();
    entry.relabelled = map.value(QStringLiteral("relabelled")).toInt();
    entry.before = map.value(QStringLiteral("before")).toMap();
    entry.changes = map.value(Mic::HistoryChanges::key).toMap();
    if (!entry.time.isValid() || !isOutcome(entry.outcome)) {
        return std::nullopt;
    }
    return entry;
}

ChangeHistory::ChangeHistory(const QString &folder)
    : folder(folder)
{
}

bool ChangeHistory::append(const HistoryEntry &entry)
{
    SystemLog::recordChange(entry);
    ::mkdir(QFile::encodeName(folder).constData(), 0700);
    const QString path = historyPath(folder, 0);
    struct stat status;
    if (::lstat(QFile::encodeName(path).constData(), &status) == 0 && status.st_size >= rotateAt) {
        ::rename(QFile::encodeName(path).constData(), QFile::encodeName(historyPath(folder, 1)).constData());
    }
    const QByteArray line = QJsonDocument(QJsonObject::fromVariantMap(entry.toMap())).toJson(QJsonDocument::Compact) + '\n';
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        return false;
    }
    // One write: a reader never sees half an entry, but after a crash.
    const bool ok = ::write(fd, line.constData(), std::size_t(line.size())) == line.size() && ::fdatasync(fd) == 0;
    ::close(fd);
    return ok;
}

QList<HistoryEntry> ChangeHistory::newest(int limit) const
{
    QList<HistoryEntry> entries = parse(readFile(historyPath(folder, 0)), limit);
    if (limit < 0 || entries.size() < limit) {
        entries += parse(readFile(historyPath(folder, 1)), limit < 0 ? -1 : limit - int(entries.size()));
    }
    return entries;
}

QList<HistoryEntry> ChangeHistory::parse(const QByteArray &content, int limit)
{
    QList<HistoryEntry> entries;
    const QList<QByteArray> lines = content.split('\n');
    for (auto line = lines.crbegin(); line != lines.crend() && (limit < 0 || entries.size() < limit); ++line) {
        if (line->isEmpty() || line->size() > maxLineSize || Mic::repeatedJsonKey(*line)) {
            continue;
        }
        const auto entry = HistoryEntry::fromMap(QJsonDocument::fromJson(*line).object().toVariantMap());
        if (entry) {
            entries.append(*entry);
        }
    }
    return entries;
}

QVariantMap ChangeHistory::changesOf(const ChangeRequest &request)
{
    QVariantMap changes;
    if (request.mic) {
        changes.insert(Changes::mic, *request.mic == Status::Enabled);
    }
    if (request.futureLevel) {
        changes.insert(Changes::futureLevel, *request.futureLevel);
    }
    if (request.protection) {
        changes.insert(Changes::protection, *request.protection == Status::Enabled);
    }
    if (request.userLevels && !request.userLevels->isEmpty()) {
        changes.insert(Changes::users, usersPart(*request.userLevels));
    }
    addServicesPart(request, &changes);
    if (request.ruleChanges && !request.ruleChanges->isEmpty()) {
        changes.insert(Changes::rules, rulesPart(*request.ruleChanges));
    }
    if (request.exceptions) {
        changes.insert(Changes::exceptions, int(request.exceptions->size()));
    }
    return changes;
}

QVariantMap ChangeHistory::changesOfRefused(const QVariantMap &arguments)
{
    QStringList named;
    for (const QString &key : {Mic::Settings::micStatusKey,
                               Mic::Settings::futureLevelKey,
                               Mic::Settings::fsStatusKey,
                               Mic::Settings::userLevelsKey,
                               Mic::Settings::servicesIsolatedStatusKey,
                               Mic::Settings::rulesKey,
                               Mic::Settings::exceptionsKey}) {
        if (arguments.contains(key)) {
            named.append(key);
        }
    }
    return {{Changes::asked, named}};
}
