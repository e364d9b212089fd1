// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef PATHEDIT_H
#define PATHEDIT_H

#include <QString>

// The checks that the rule and exception tables make of an edited path, and
// the warnings that report a rejected one.
namespace PathEdit
{
enum Verdict {
    Accepted,
    Unchanged,
    Empty,
    RootDirectory,
    AlreadyListed,
};

Verdict check(const QString &path, const QString &currentPath, bool listedElsewhere);
QString warning(Verdict verdict, const QString &path);
}

#endif
