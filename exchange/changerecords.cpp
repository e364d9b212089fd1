// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "changerecords.h"
#include "protocol.h"

#include <KLocalizedString>

#include <QDateTime>
#include <QLocale>
#include <QVariantMap>

QString Mic::historyTimeText(const QString &isoTime)
{
    const QDateTime time = QDateTime::fromString(isoTime, Qt::ISODate);
    return time.isValid() ? QLocale().toString(time.toLocalTime(), QLocale::ShortFormat) : isoTime;
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
