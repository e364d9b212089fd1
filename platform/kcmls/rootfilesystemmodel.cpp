// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "rootfilesystemmodel.h"

namespace KCMLS
{
RootFileSystemModel::RootFileSystemModel(QObject *parent)
    : QFileSystemModel(parent)
{
    // Labels and levels are shown for the objects themselves, not for what
    // a link points to.
    setResolveSymlinks(false);
}
}
