// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef HISTORYMODEL_H
#define HISTORYMODEL_H

#include <QAbstractTableModel>
#include <QVariantList>

// The recorded changes as the helper lists them, newest first: one row each,
// with when, who, what became of it, what was asked and the labels changed.
class HistoryModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { TimeColumn, UserColumn, OutcomeColumn, SummaryColumn, LabelsColumn, ColumnCount };
    // The entry of a row as the helper gave it.
    static constexpr int EntryRole = Qt::UserRole;

    explicit HistoryModel(QObject *parent = nullptr);

    void setEntries(const QVariantList &entries);
    // Whether the state before the change of `row` can be restored.
    bool isRestorable(int row) const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    static QString outcomeText(const QString &outcome);

private:
    QString cellText(const QVariantMap &entry, int column) const;
    QVariantList entries;
};

#endif
