// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef SERVICEMODEL_H
#define SERVICEMODEL_H

#include "serviceinfo.h"

#include <QAbstractTableModel>
#include <QList>

/*
 * The services that can be started on an isolated integrity level: name,
 * isolation check box and current level. Keeps count of the isolated
 * services for the aggregate check state of the page's "isolate all" box.
 */
class ServiceModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column {
        NameColumn,
        IsolateColumn,
        LevelColumn,
        ColumnCount,
    };

    explicit ServiceModel(QObject *parent = nullptr);
    ~ServiceModel() override;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    // Lists the isolatable services of `list`, in order.
    void setServicesInfo(const QList<Mic::ServiceInfo> &list);
    const QList<Mic::ServiceInfo> &servicesInfo() const;
    // Gives every service not in error the isolation of `state`;
    // Qt::PartiallyChecked changes nothing.
    void setIsolated(Qt::CheckState state);

Q_SIGNALS:
    // The aggregate isolation after a service's isolation changed.
    void isolatedChanged(Qt::CheckState state);

private:
    bool isServiceCell(const QModelIndex &index) const;
    Qt::CheckState aggregateState() const;

    QList<Mic::ServiceInfo> services;
    // Isolated services, including those that are not listed because they
    // cannot be isolated: they keep the aggregate from reading "all".
    int isolatedCount = 0;
    // Listed services that are not in error.
    int isolatableCount = 0;
    // Those of them that are isolated.
    int isolatedIsolatableCount = 0;
};

#endif
