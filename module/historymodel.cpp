// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "historymodel.h"

#include <changerecords.h>
#include <printable.h>
#include <protocol.h>

#include <KLocalizedString>

HistoryModel::HistoryModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

void HistoryModel::setEntries(const QVariantList &list)
{
    beginResetModel();
    entries = list;
    endResetModel();
}

bool HistoryModel::isRestorable(int row) const
{
    return row >= 0 && row < entries.size() && entries.at(row).toMap().value(Mic::Protocol::restorableKey).toBool();
}

int HistoryModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(entries.size());
}

int HistoryModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QString HistoryModel::outcomeText(const QString &outcome)
{
    return Mic::printable(Mic::historyOutcomeText(outcome));
}

QString HistoryModel::cellText(const QVariantMap &entry, int column) const
{
    switch (column) {
    case TimeColumn:
        return Mic::historyTimeText(entry.value(QStringLiteral("time")).toString());
    case UserColumn:
        return Mic::printable(entry.value(QStringLiteral("user")).toString());
    case OutcomeColumn:
        return outcomeText(entry.value(QStringLiteral("outcome")).toString());
    case SummaryColumn:
        return Mic::printableMessage(Mic::historySummaryText(entry));
    case LabelsColumn:
        return QString::number(entry.value(QStringLiteral("relabelled")).toInt());
    default:
        return QString();
    }
}

QVariant HistoryModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) {
        return QVariant();
    }
    const QVariantMap entry = entries.at(index.row()).toMap();
    switch (role) {
    case Qt::DisplayRole:
        return cellText(entry, index.column());
    case Qt::ToolTipRole: {
        // What the outcome said, for a refusal or a failure above all.
        const QString text = Mic::printableMessage(entry.value(QStringLiteral("text")).toString());
        return text.isEmpty() ? cellText(entry, SummaryColumn) : text;
    }
    case Qt::TextAlignmentRole:
        return index.column() == LabelsColumn ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
    case EntryRole:
        return entry;
    default:
        return QVariant();
    }
}

QVariant HistoryModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    switch (section) {
    case TimeColumn:
        return i18nc("@title:column", "Time");
    case UserColumn:
        return i18nc("@title:column", "User");
    case OutcomeColumn:
        return i18nc("@title:column", "Outcome");
    case SummaryColumn:
        return i18nc("@title:column", "Change");
    case LabelsColumn:
        return i18nc("@title:column labels changed", "Labels");
    default:
        return QVariant();
    }
}
