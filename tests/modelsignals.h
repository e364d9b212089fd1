// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef MODELSIGNALS_H
#define MODELSIGNALS_H

#include <QAbstractItemModel>
#include <QStringList>

// What a model announced, as one line for one comparison:
// "rowsInserted 2-2, dataChanged 1,0-1,1 edit, modelReset". Only what is
// done is told (rowsInserted, not rowsAboutToBeInserted); dataChanged gives
// its cells and, when announced, its roles.
class ModelSignals
{
public:
    explicit ModelSignals(QAbstractItemModel *model)
    {
        const auto range = [this](const char *what) {
            return [this, what](const QModelIndex &, int first, int last) {
                told.append(QStringLiteral("%1 %2-%3").arg(QLatin1String(what)).arg(first).arg(last));
            };
        };
        QObject::connect(model, &QAbstractItemModel::rowsInserted, &context, range("rowsInserted"));
        QObject::connect(model, &QAbstractItemModel::rowsRemoved, &context, range("rowsRemoved"));
        QObject::connect(model, &QAbstractItemModel::columnsInserted, &context, range("columnsInserted"));
        QObject::connect(model, &QAbstractItemModel::columnsRemoved, &context, range("columnsRemoved"));
        QObject::connect(model, &QAbstractItemModel::modelReset, &context, [this] {
            told.append(QStringLiteral("modelReset"));
        });
        QObject::connect(model, &QAbstractItemModel::layoutChanged, &context, [this] {
            told.append(QStringLiteral("layoutChanged"));
        });
        QObject::connect(model, &QAbstractItemModel::dataChanged, &context, [this](const QModelIndex &from, const QModelIndex &to, const QVector<int> &roles) {
            QString line = QStringLiteral("dataChanged %1,%2-%3,%4").arg(from.row()).arg(from.column()).arg(to.row()).arg(to.column());
            for (const int role : roles) {
                line += QLatin1Char(' ') + roleName(role);
            }
            told.append(line);
        });
    }

    // What was told since the last call.
    QString take()
    {
        const QString line = told.join(QStringLiteral(", "));
        told.clear();
        return line;
    }

private:
    static QString roleName(int role)
    {
        switch (role) {
        case Qt::DisplayRole:
            return QStringLiteral("display");
        case Qt::EditRole:
            return QStringLiteral("edit");
        case Qt::CheckStateRole:
            return QStringLiteral("checkState");
        case Qt::FontRole:
            return QStringLiteral("font");
        default:
            return QString::number(role);
        }
    }

    QObject context;
    QStringList told;
};

#endif
