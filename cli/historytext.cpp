// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "historytext.h"

#include <changerecords.h>

#include <printable.h>

#include <texts.h>

#include <QDateTime>
#include <QLocale>

#include <cstdlib>

using namespace Mic::Texts;

QString HistoryText::isoTime(const QString &recorded)
{
    const QDateTime time = QDateTime::fromString(recorded, Qt::ISODate);
    if (!time.isValid()) {
        return recorded;
    }
    // Written out by hand: Qt's ISO form gives a local time no offset, and
    // an offset of 0 as "Z".
    const QDateTime local = time.toLocalTime();
    const int offset = local.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return QLocale::c().toString(local, QStringLiteral("yyyy-MM-dd'T'HH:mm:ss")) + QLatin1Char(offset < 0 ? '-' : '+')
        + QStringLiteral("%1:%2").arg(minutes / 60, 2, 10, QLatin1Char('0')).arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QString HistoryText::line(const QVariantMap &entry)
{
    QString line = i18nc("@info one change of the history: time, user, uid, outcome, what was asked", "%1  %2 (uid %3)  %4: %5",
                         isoTime(entry.value(QStringLiteral("time")).toString()),
                         Mic::printable(entry.value(QStringLiteral("user")).toString()),
                         entry.value(QStringLiteral("uid")).toString(),
                         Mic::historyOutcomeText(entry.value(QStringLiteral("outcome")).toString()),
                         Mic::historySummaryText(entry));
    const int relabelled = entry.value(QStringLiteral("relabelled")).toInt();
    if (relabelled > 0) {
        line += QLatin1Char(' ')
            + (entry.value(QStringLiteral("outcome")).toString() == QLatin1String("undone") ? i18np("(1 label put back)", "(%1 labels put back)", relabelled)
                                                                                          : i18np("(1 label changed)", "(%1 labels changed)", relabelled));
    }
    const QString text = entry.value(QStringLiteral("text")).toString();
    if (!text.isEmpty()) {
        line += QStringLiteral("\n    ") + text;
    }
    return line;
}

// What the helper keeps for itself stays out. The summary stays in the
// English words the helper records, the same for every script; "changes"
// is what the change asked for.
QJsonObject HistoryText::object(const QVariantMap &entry)
{
    QJsonObject object;
    for (const char *key : {"time", "user", "uid", "requestId", "outcome", "summary", "changes", "text", "relabelled"}) {
        object.insert(QLatin1String(key), QJsonValue::fromVariant(entry.value(QLatin1String(key))));
    }
    // The same in the reader's words, for a page that shows them.
    object.insert(QStringLiteral("outcomeText"), Mic::historyOutcomeText(entry.value(QStringLiteral("outcome")).toString()));
    object.insert(QStringLiteral("summaryText"), Mic::historySummaryText(entry));
    return object;
}

std::optional<QVariantMap> HistoryText::appliedChange(const QVariantList &entries, int back, QString *error)
{
    int applied = 0;
    for (const QVariant &entry : entries) {
        const QVariantMap map = entry.toMap();
        if (map.value(QStringLiteral("outcome")).toString() == QLatin1String("applied") && ++applied == back) {
            return map;
        }
    }
    *error = i18np("Only one applied change is recorded.", "Only %1 applied changes are recorded.", applied);
    return std::nullopt;
}
