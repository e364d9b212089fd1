// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "servicemodel.h"

#include <KLocalizedString>

ServiceModel::ServiceModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

ServiceModel::~ServiceModel() = default;

int ServiceModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : services.size();
}

int ServiceModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

// Quietly, unlike checkIndex(): views and callers ask with invalid indexes
// as a matter of course.
bool ServiceModel::isServiceCell(const QModelIndex &index) const
{
    return index.isValid() && index.model() == this && index.row() < services.size() && index.column() < ColumnCount;
}

QVariant ServiceModel::data(const QModelIndex &index, int role) const
{
    if (!isServiceCell(index)) {
        return QVariant();
    }
    const Mic::ServiceInfo &service = services.at(index.row());
    if (role == Qt::ToolTipRole) {
        return service.toolTip;
    }
    switch (index.column()) {
    case NameColumn:
        return role == Qt::DisplayRole ? QVariant(service.name) : QVariant();
    case IsolateColumn:
        return role == Qt::CheckStateRole ? QVariant(int(service.isIsolated ? Qt::Checked : Qt::Unchecked)) : QVariant();
    case LevelColumn:
        // A service in error has no level that could be trusted.
        return role == Qt::DisplayRole && !service.isError ? QVariant(service.levelDisplayName) : QVariant();
    default:
        return QVariant();
    }
}

bool ServiceModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!isServiceCell(index) || index.column() != IsolateColumn || role != Qt::CheckStateRole) {
        return false;
    }
    const int state = value.toInt();
    if (state == Qt::PartiallyChecked) {
        return false;
    }
    const bool isolated = state == Qt::Checked;
    Mic::ServiceInfo &service = services[index.row()];
    if (service.isIsolated == isolated) {
        return true;
    }
    service.isIsolated = isolated;
    isolatedCount += isolated ? 1 : -1;
    if (!service.isError) {
        isolatedIsolatableCount += isolated ? 1 : -1;
    }
    Q_EMIT dataChanged(index, index, {Qt::CheckStateRole});
    const QModelIndex level = index.siblingAtColumn(LevelColumn);
    Q_EMIT dataChanged(level, level);
    Q_EMIT isolatedChanged(aggregateState());
    return true;
}

// "All isolated" only when every service that can be isolated is, and no
// other service is counted: comparing the two totals alone would read "all"
// when an unlisted isolated service makes up for a listed one that is not,
// and the page would then ask to isolate every service.
Qt::CheckState ServiceModel::aggregateState() const
{
    if (isolatedIsolatableCount == isolatableCount && isolatedCount == isolatedIsolatableCount) {
        return Qt::Checked;
    }
    return isolatedCount != 0 ? Qt::PartiallyChecked : Qt::Unchecked;
}

QVariant ServiceModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role == Qt::TextAlignmentRole) {
        return uint(Qt::AlignLeft | Qt::AlignVCenter);
    }
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole) {
        switch (section) {
        case NameColumn:
            return i18n("Service");
        case IsolateColumn:
            return i18n("Isolate");
        case LevelColumn:
            return i18n("Current integrity level");
        }
    }
    return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags ServiceModel::flags(const QModelIndex &index) const
{
    if (!isServiceCell(index)) {
        return Qt::NoItemFlags;
    }
    Qt::ItemFlags result = QAbstractTableModel::flags(index);
    if (index.column() == IsolateColumn) {
        result |= Qt::ItemIsUserCheckable;
    }
    if (services.at(index.row()).isError) {
        result &= ~Qt::ItemIsEnabled;
    }
    return result;
}

void ServiceModel::setServicesInfo(const QList<Mic::ServiceInfo> &list)
{
    beginResetModel();
    services.clear();
    isolatedCount = 0;
    isolatableCount = 0;
    isolatedIsolatableCount = 0;
    for (const Mic::ServiceInfo &service : list) {
        if (service.isIsolated) {
            ++isolatedCount;
        }
        if (!service.isIsolatable) {
            continue;
        }
        services.append(service);
        if (!service.isError) {
            ++isolatableCount;
            if (service.isIsolated) {
                ++isolatedIsolatableCount;
            }
        }
    }
    endResetModel();
}

const QList<Mic::ServiceInfo> &ServiceModel::servicesInfo() const
{
    return services;
}

void ServiceModel::setIsolated(Qt::CheckState state)
{
    for (int row = 0; row < services.size(); ++row) {
        if (!services.at(row).isError) {
            setData(index(row, IsolateColumn), int(state), Qt::CheckStateRole);
        }
    }
}
