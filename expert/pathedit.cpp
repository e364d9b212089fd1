// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "pathedit.h"

#include <printable.h>

#include <KLocalizedString>


namespace PathEdit
{
Verdict check(const QString &path, const QString &currentPath, bool listedElsewhere)
{
    const QString trimmed = path.trimmed();
    if (trimmed.isEmpty()) {
        return Empty;
    }
    if (trimmed == QLatin1String("/")) {
        return RootDirectory;
    }
    if (path == currentPath) {
        return Unchanged;
    }
    return listedElsewhere ? AlreadyListed : Accepted;
}

QString warning(Verdict verdict, const QString &path)
{
    switch (verdict) {
    case Empty:
        return i18n("File path can't be empty!");
    case RootDirectory:
        return i18n("Root directory is not supported by configuration!");
    case AlreadyListed:
        return i18n("File %1 already added to config!", Mic::printable(path));
    case Accepted:
    case Unchanged:
        break;
    }
    return QString();
}
}
