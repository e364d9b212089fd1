// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef KCMLS_ROOTFILESYSTEMMODEL_H
#define KCMLS_ROOTFILESYSTEMMODEL_H

#include <QFileSystemModel>

namespace KCMLS
{
// The host's model of the whole file system, from its root "/".
class RootFileSystemModel : public QFileSystemModel
{
    Q_OBJECT
public:
    explicit RootFileSystemModel(QObject *parent = nullptr);
};
}

#endif
