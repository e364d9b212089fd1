// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "changehistory.h"
#include "changerequest.h"
#include "systemlog.h"
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

QString onOff(Status status)
{
    return status == Status::Enabled ? QStringLiteral("on") : QStringLiteral("off");
}

QString countedList(QStringList items)
{
    constexpr int shown = 5;
    items.sort();
    QString list = items.mid(0, shown).join(QStringLiteral(", "));
    if (items.size() > shown) {
        list += QStringLiteral(" and %1 more").arg(items.size() - shown);
    }
    return list;
}

QString usersPart(const QHash<QString, unsigned int> &levels)
{
    QStringList items;
    for (auto it = levels.cbegin(); it != levels.cend(); ++it) {
        items.append(QStringLiteral("%1 to %2").arg(it.key()).arg(it.value()));
    }
    return QStringLiteral("maximal level of %1: ").arg(levels.size() == 1 ? QStringLiteral("1 user") : QStringLiteral("%1 users").arg(levels.size()))
        + countedList(items);
}

QString rulesPart(const QHash<QString, QString> &changes)
{
    const qsizetype removed = std::count(changes.cbegin(), changes.cend(), Mic::noLevelString);
    return QStringLiteral("rules: %1 set, %2 removed").arg(changes.size() - removed).arg(removed);
}

QString servicesPart(const ChangeRequest &request)
{
    if (request.isolation && *request.isolation != Status::Partly) {
        return QStringLiteral("isolation of every service ") + onOff(*request.isolation);
    }
    if (!request.services) {
        return QString();
    }
    QStringList items;
    for (const ServiceIsolation &service : *request.services) {
        items.append(service.name + (service.isolated ? QStringLiteral(" isolated") : QStringLiteral(" not isolated")));
    }
    return QStringLiteral("services: ") + countedList(items);
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
    return {{QStringLiteral("time"), time.toUTC().toString(Qt::ISODate)},
            {QStringLiteral("user"), user},
            {QStringLiteral("uid"), uid},
            {QStringLiteral("requestId"), QString::fromLatin1(requestId.toHex())},
            {QStringLiteral("outcome"), outcome},
            {QStringLiteral("summary"), summary},
            {QStringLiteral("text"), text},
            {QStringLiteral("relabelled"), relabelled},
            {QStringLiteral("before"), before}};
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

QString ChangeHistory::summaryOf(const ChangeRequest &request)
{
    QStringList parts;
    if (request.mic) {
        parts.append(QStringLiteral("MIC ") + onOff(*request.mic) + QStringLiteral(" at next boot"));
    }
    if (request.futureLevel) {
        parts.append(QStringLiteral("maximum level at next boot %1").arg(*request.futureLevel));
    }
    if (request.protection) {
        parts.append(QStringLiteral("file-system protection ") + onOff(*request.protection));
    }
    if (request.userLevels && !request.userLevels->isEmpty()) {
        parts.append(usersPart(*request.userLevels));
    }
    const QString services = servicesPart(request);
    if (!services.isEmpty()) {
        parts.append(services);
    }
    if (request.ruleChanges && !request.ruleChanges->isEmpty()) {
        parts.append(rulesPart(*request.ruleChanges));
    }
    if (request.exceptions) {
        parts.append(QStringLiteral("exceptions: %1").arg(request.exceptions->size()));
    }
    return parts.isEmpty() ? QStringLiteral("nothing") : parts.join(QStringLiteral("; "));
}

QString ChangeHistory::summaryOfRefused(const QVariantMap &arguments)
{
    static const QList<QPair<QString, QString>> settings{
        {Mic::Settings::micStatusKey, QStringLiteral("MIC at next boot")},
        {Mic::Settings::futureLevelKey, QStringLiteral("maximum level at next boot")},
        {Mic::Settings::fsStatusKey, QStringLiteral("file-system protection")},
        {Mic::Settings::userLevelsKey, QStringLiteral("users' levels")},
        {Mic::Settings::servicesIsolatedStatusKey, QStringLiteral("service isolation")},
        {Mic::Settings::rulesKey, QStringLiteral("rules")},
        {Mic::Settings::exceptionsKey, QStringLiteral("exceptions")},
    };
    QStringList named;
    for (const auto &[key, words] : settings) {
        if (arguments.contains(key)) {
            named.append(words);
        }
    }
    return named.isEmpty() ? QStringLiteral("a request naming no setting") : QStringLiteral("asked to change: ") + named.join(QStringLiteral(", "));
}
