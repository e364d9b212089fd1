// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef EXCEPTIONMODEL_H
#define EXCEPTIONMODEL_H

#include <QAbstractTableModel>
#include <QSet>
#include <QStringList>

/*
 * The exception paths of the file-system integrity configuration: objects
 * that keep level zero. Edited like the rule table, but a save sends the
 * whole list, so nothing records what was removed.
 */
class ExceptionModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit ExceptionModel(QObject *parent = nullptr);
    ~ExceptionModel() override;

    void reset(const QStringList &list, bool trackChanges);
    QStringList exceptionList() const;
    void removeRowWithEmptyPath();
    const QString &pathAt(int row) const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

public Q_SLOTS:
    void addRow();
    void removeRow(int row);
    // Announces a removal: edits are refused until removeRow or removeAllRows.
    void beginRemoveRows();
    void removeAllRows();

Q_SIGNALS:
    // An edit was refused, or needs the administrator's attention: the
    // text says why. The model shows nothing itself; the page does.
    void warned(const QString &text);

private:
    QStringList exceptions;
    QSet<QString> changed;
    bool adding = false;
    bool removalPending = false;
};

#endif
