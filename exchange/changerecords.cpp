// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "changerecords.h"
#include "protocol.h"
#include "settings.h"

#include <printable.h>

#include <texts.h>

#include <QDateTime>
#include <QLocale>
#include <QVariantMap>

using namespace Mic::Texts;

namespace
{
namespace Changes = Mic::HistoryChanges;

// The words of one part of a summary, in the languages asked for.
class SummaryWords
{
public:
    explicit SummaryWords(const QStringList &languages)
        : languages(languages)
    {
    }
    QString operator()(const KLocalizedString &text) const
    {
        return languages.isEmpty() ? text.toString() : text.toString(languages);
    }

    // "a to 7, b to 3 and 2 more": the names shown, and how many are not.
    QString list(const QStringList &items, qsizetype count) const
    {
        const QString shown = items.join(QStringLiteral(", "));
        return count > items.size() ? (*this)(ki18ncp("@item a list and how many more it has", "%2 and %1 more", "%2 and %1 more")
                                                  .subs(int(count - items.size()))
                                                  .subs(shown))
                                    : shown;
    }

private:
    QStringList languages;
};

QString usersPart(const QVariantMap &users, const SummaryWords &words)
{
    QStringList items;
    const QVariantList shown = users.value(Changes::shown).toList();
    for (const QVariant &user : shown) {
        const QVariantList pair = user.toList();
        items.append(words(ki18nc("@item a user's new maximal level", "%1 to %2").subs(pair.value(0).toString()).subs(pair.value(1).toUInt())));
    }
    const int count = users.value(Changes::count).toInt();
    return words(ki18ncp("@item users' levels changed", "maximal level of 1 user: %2", "maximal level of %1 users: %2")
                     .subs(count)
                     .subs(words.list(items, count)));
}

QString servicesPart(const QVariantMap &services, const SummaryWords &words)
{
    QStringList items;
    const QVariantList shown = services.value(Changes::shown).toList();
    for (const QVariant &service : shown) {
        const QVariantList pair = service.toList();
        items.append(pair.value(1).toBool() ? words(ki18nc("@item a service isolated by a change", "%1 isolated").subs(pair.value(0).toString()))
                                            : words(ki18nc("@item a service no longer isolated", "%1 not isolated").subs(pair.value(0).toString())));
    }
    return words(ki18nc("@item services changed", "services: %1").subs(words.list(items, services.value(Changes::count).toInt())));
}

// The settings a refused request named.
QString askedPart(const QStringList &keys, const SummaryWords &words)
{
    const QList<QPair<QString, KLocalizedString>> settings{
        {Mic::Settings::micStatusKey, ki18nc("@item a setting a request named", "MIC at next boot")},
        {Mic::Settings::futureLevelKey, ki18nc("@item a setting a request named", "maximum level at next boot")},
        {Mic::Settings::fsStatusKey, ki18nc("@item a setting a request named", "file-system protection")},
        {Mic::Settings::userLevelsKey, ki18nc("@item a setting a request named", "users' levels")},
        {Mic::Settings::servicesIsolatedStatusKey, ki18nc("@item a setting a request named", "service isolation")},
        {Mic::Settings::rulesKey, ki18nc("@item a setting a request named", "rules")},
        {Mic::Settings::exceptionsKey, ki18nc("@item a setting a request named", "exceptions")},
    };
    QStringList named;
    for (const auto &[key, text] : settings) {
        if (keys.contains(key)) {
            named.append(words(text));
        }
    }
    return named.isEmpty() ? words(ki18nc("@item a refused request", "a request naming no setting"))
                           : words(ki18nc("@item a refused request", "asked to change: %1").subs(named.join(QStringLiteral(", "))));
}
}

QString Mic::changeSummaryText(const QVariantMap &changes, const QStringList &languages)
{
    const SummaryWords words(languages);
    if (changes.contains(Changes::asked)) {
        return askedPart(changes.value(Changes::asked).toStringList(), words);
    }
    QStringList parts;
    if (changes.contains(Changes::mic)) {
        parts.append(changes.value(Changes::mic).toBool() ? words(ki18nc("@item a change of the history", "MIC on at next boot"))
                                                          : words(ki18nc("@item a change of the history", "MIC off at next boot")));
    }
    if (changes.contains(Changes::futureLevel)) {
        parts.append(words(ki18nc("@item a change of the history", "maximum level at next boot %1").subs(changes.value(Changes::futureLevel).toUInt())));
    }
    if (changes.contains(Changes::protection)) {
        parts.append(changes.value(Changes::protection).toBool() ? words(ki18nc("@item a change of the history", "file-system protection on"))
                                                                 : words(ki18nc("@item a change of the history", "file-system protection off")));
    }
    if (changes.contains(Changes::users)) {
        parts.append(usersPart(changes.value(Changes::users).toMap(), words));
    }
    if (changes.contains(Changes::isolation)) {
        parts.append(changes.value(Changes::isolation).toBool() ? words(ki18nc("@item a change of the history", "isolation of every service on"))
                                                                : words(ki18nc("@item a change of the history", "isolation of every service off")));
    }
    if (changes.contains(Changes::services)) {
        parts.append(servicesPart(changes.value(Changes::services).toMap(), words));
    }
    if (changes.contains(Changes::rules)) {
        const QVariantMap rules = changes.value(Changes::rules).toMap();
        parts.append(words(ki18nc("@item a change of the history", "rules: %1 set, %2 removed")
                               .subs(rules.value(Changes::rulesSet).toInt())
                               .subs(rules.value(Changes::rulesRemoved).toInt())));
    }
    if (changes.contains(Changes::exceptions)) {
        parts.append(words(ki18nc("@item a change of the history", "exceptions: %1").subs(changes.value(Changes::exceptions).toInt())));
    }
    return parts.isEmpty() ? words(ki18nc("@item a change that asked for nothing", "nothing")) : parts.join(QStringLiteral("; "));
}

QString Mic::historySummaryText(const QVariantMap &entry)
{
    const QVariantMap changes = entry.value(Changes::key).toMap();
    return changes.isEmpty() ? entry.value(QStringLiteral("summary")).toString() : changeSummaryText(changes);
}

QString Mic::historyOutcomeText(const QString &outcome)
{
    if (outcome == QLatin1String("applied")) {
        return i18nc("@item the outcome of a change", "Applied");
    }
    if (outcome == QLatin1String("refused")) {
        return i18nc("@item the outcome of a change", "Refused");
    }
    if (outcome == QLatin1String("failed")) {
        return i18nc("@item the outcome of a change", "Failed");
    }
    if (outcome == QLatin1String("undone")) {
        return i18nc("@item the outcome of a change", "Interrupted, undone");
    }
    if (outcome == QLatin1String("stopped")) {
        return i18nc("@item the outcome of a change", "Stopped, undone");
    }
    return outcome;
}

QString Mic::historyTimeText(const QString &isoTime)
{
    const QDateTime time = QDateTime::fromString(isoTime, Qt::ISODate);
    return time.isValid() ? Mic::formatsLocale().toString(time.toLocalTime(), QLocale::ShortFormat) : isoTime;
}

QString Mic::interruptedChangeText(const QVariant &change)
{
    const QVariantMap map = change.toMap();
    if (map.isEmpty()) {
        return QString();
    }
    QString user = map.value(QStringLiteral("user")).toString();
    if (user.isEmpty()) {
        user = i18nc("the user who began a change is not known", "an unknown user");
    }
    const QString time = historyTimeText(map.value(QStringLiteral("time")).toString());
    if (!map.value(Mic::Protocol::interruptedUndoneKey, true).toBool()) {
        return i18n("A change begun at %1 by %2 was interrupted and could not be undone yet, so part of it may be in effect. "
                    "No change can be made until it is undone; the system log says what stands in the way, and the settings service "
                    "tries again each time it starts.",
                    time,
                    user);
    }
    return i18n("A change begun at %1 by %2 was interrupted and has been undone.", time, user);
}
