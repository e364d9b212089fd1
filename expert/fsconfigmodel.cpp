// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "fsconfigmodel.h"
#include "pathedit.h"

#include <constants.h>
#include <utils.h>

#include <KLocalizedString>

#include <QApplication>
#include <QFutureWatcher>
#include <QtConcurrent>
#include <QFont>
#include <QSet>

FsConfigModel::FsConfigModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

FsConfigModel::~FsConfigModel() = default;

namespace
{
// A rule without a path cannot be; the only row without one is the row
// being added, which a load never brings.
QHash<QString, QVariant> withoutEmptyPath(const QHash<QString, QVariant> &hash)
{
    if (!hash.contains(QString())) {
        return hash; // shared, not copied: a million rules take a while to copy
    }
    QHash<QString, QVariant> loaded = hash;
    loaded.remove(QString());
    return loaded;
}

// The paths in order, and the level strings the rules use (a handful).
FsConfigModel::Sorted sortRules(const QHash<QString, QVariant> &rules)
{
    FsConfigModel::Sorted sorted;
    sorted.paths = rules.keys();
    sorted.paths.sort(Qt::CaseSensitive);
    QSet<QString> levels;
    for (const QVariant &level : rules) {
        levels.insert(level.toString());
    }
    sorted.levels = levels.values();
    sorted.levels.sort();
    return sorted;
}
}

void FsConfigModel::reset(const QHash<QString, QVariant> &hash, bool trackChanges)
{
    const int generation = ++loadGeneration;
    const QHash<QString, QVariant> loaded = withoutEmptyPath(hash);
    if (trackChanges || loaded.size() < backgroundSortFrom) {
        resetNow(loaded, trackChanges, sortRules(loaded));
        return;
    }
    // Empty at once: nothing can be edited in a table about to be replaced.
    resetNow({}, false, {});
    loading = true;
    auto *sorting = new QFutureWatcher<Sorted>(this);
    connect(sorting, &QFutureWatcherBase::finished, this, [this, sorting, loaded, generation] {
        sorting->deleteLater();
        if (generation == loadGeneration) {
            loading = false;
            resetNow(loaded, false, sorting->result());
        }
    });
    sorting->setFuture(QtConcurrent::run([loaded] {
        return sortRules(loaded);
    }));
}

bool FsConfigModel::isLoading() const
{
    return loading;
}

void FsConfigModel::resetNow(const QHash<QString, QVariant> &loaded, bool trackChanges, const Sorted &sorted)
{
    loading = false;
    beginResetModel();

    pending.clear();
    if (!trackChanges) {
        configured = loaded; // shared with the rules until the first edit
    } else {
        // What a save must send to turn the rules read into these: a rule
        // the new set lacks is removed, not silently kept.
        for (auto it = loaded.cbegin(); it != loaded.cend(); ++it) {
            const auto read = configured.constFind(it.key());
            if (read == configured.cend() || read.value() != it.value()) {
                pending.insert(it.key(), it.value());
            }
        }
        for (auto it = configured.cbegin(); it != configured.cend(); ++it) {
            if (!loaded.contains(it.key())) {
                pending.insert(it.key(), Mic::noLevelString);
            }
        }
    }
    rules = loaded;
    rows = sorted.paths;
    usedLevels = sorted.levels;
    endResetModel();
}

const QHash<QString, QVariant> &FsConfigModel::pathLevelHash() const
{
    return rules;
}

const QHash<QString, QVariant> &FsConfigModel::pathLevelHashUpdate() const
{
    return pending;
}

void FsConfigModel::setRule(const QString &path, const QString &level)
{
    if (path.isEmpty()) {
        return;
    }
    const int row = rules.contains(path) ? rows.indexOf(path) : -1;
    if (level == Mic::noLevelString) {
        if (row >= 0) {
            removeRow(row);
        }
        return;
    }
    if (row >= 0) {
        setLevel(index(row, 0), level);
        return;
    }
    QAbstractTableModel::beginInsertRows(QModelIndex(), rows.size(), rows.size());
    rows.append(path);
    rules.insert(path, level);
    pending.insert(path, level);
    endInsertRows();
}

const QStringList &FsConfigModel::levelsInUse() const
{
    return usedLevels;
}

QStringList FsConfigModel::newRulesWithoutLevel() const
{
    QStringList paths;
    for (auto it = pending.cbegin(); it != pending.cend(); ++it) {
        if (!it.key().isEmpty() && it.value().toString() == Mic::noLevelString && !configured.contains(it.key())) {
            paths.append(it.key());
        }
    }
    paths.sort();
    return paths;
}

int FsConfigModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : rules.size();
}

int FsConfigModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 2;
}

const QString &FsConfigModel::pathAt(int row) const
{
    return rows.at(row);
}

QString FsConfigModel::levelAt(int row) const
{
    const auto it = rules.constFind(rows.at(row));
    return it == rules.cend() ? Mic::noLevelString : it.value().toString();
}

QVariant FsConfigModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rows.size()) {
        return {};
    }
    const QString &path = rows.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        if (index.column() == 0) {
            return Mic::Utils::configLevelToPrettyName(levelAt(index.row()));
        }
        return index.column() == 1 ? QVariant(path) : QVariant();
    case Qt::UserRole:
        if (index.column() == 0) {
            return levelAt(index.row());
        }
        return index.column() == 1 ? QVariant(path) : QVariant();
    case Qt::FontRole: {
        QFont font = QApplication::font();
        if (index.column() <= 1 && pending.contains(path)) {
            font.setBold(true);
        }
        return font;
    }
    case Qt::TextAlignmentRole:
        return int(Qt::AlignVCenter);
    default:
        return {};
    }
}

bool FsConfigModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (removalPending) {
        if (adding) {
            removeRowWithEmptyPath();
        }
        return false;
    }
    if (role == Qt::EditRole && index.isValid() && index.row() < rows.size()) {
        if (index.column() == 0) {
            return setLevel(index, value.toString());
        }
        if (index.column() == 1) {
            return setPath(index, value.toString());
        }
    }
    return QAbstractTableModel::setData(index, value, role);
}

bool FsConfigModel::setLevel(const QModelIndex &index, const QString &level)
{
    const QString current = index.data(Qt::UserRole).toString();
    if (Mic::Utils::compareConfigLevelStrings(level, current)) {
        return false;
    }
    const QString path = index.siblingAtColumn(1).data(Qt::UserRole).toString();
    rules.insert(path, level);
    pending.insert(path, level);
    Q_EMIT dataChanged(index, index, {Qt::EditRole});
    return true;
}

bool FsConfigModel::setPath(const QModelIndex &index, const QString &path)
{
    const QString old = rows.at(index.row());
    const PathEdit::Verdict verdict = PathEdit::check(path, old, rules.contains(path));
    if (verdict == PathEdit::Unchanged) {
        return false;
    }
    if (verdict != PathEdit::Accepted) {
        return rejectPath(PathEdit::warning(verdict, path));
    }
    adding = false;
    const QString level = rules.value(old).toString();
    rules.remove(old);
    forgetRule(old);
    rules.insert(path, level);
    pending.insert(path, level);
    rows[index.row()] = path;
    Q_EMIT dataChanged(index, index, {Qt::EditRole});
    return true;
}

bool FsConfigModel::rejectPath(const QString &warning)
{
    Q_EMIT warned(warning);
    if (adding) {
        removeRowWithEmptyPath();
    }
    return false;
}

QVariant FsConfigModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole) {
        if (section == 0) {
            return i18n("Integrity level");
        }
        if (section == 1) {
            return i18n("Object path");
        }
    }
    return QAbstractItemModel::headerData(section, orientation, role);
}

Qt::ItemFlags FsConfigModel::flags(const QModelIndex &index) const
{
    if (index.column() == 0 || index.column() == 1) {
        return Qt::ItemIsSelectable | Qt::ItemIsEditable | Qt::ItemIsEnabled;
    }
    return QAbstractTableModel::flags(index);
}

void FsConfigModel::addRow()
{
    if (adding) {
        removeRowWithEmptyPath();
    }
    const int row = rules.size();
    QAbstractTableModel::beginInsertRows(QModelIndex(), row, row);
    adding = true;
    rules.insert(QString(), Mic::noLevelString);
    pending.insert(QString(), Mic::noLevelString);
    rows.append(QString());
    endInsertRows();
}

void FsConfigModel::removeRow(int row)
{
    removalPending = false;
    if (row < 0 || row >= rules.size() || row >= rows.size()) {
        return;
    }
    QAbstractTableModel::beginRemoveRows(QModelIndex(), row, row);
    const QString path = rows.takeAt(row);
    rules.remove(path);
    forgetRule(path);
    endRemoveRows();
}

// A rule that was never saved leaves nothing behind: sending its removal
// would ask the helper about a path it never had, perhaps one it refuses.
void FsConfigModel::forgetRule(const QString &path)
{
    if (configured.contains(path)) {
        pending.insert(path, Mic::noLevelString);
    } else {
        pending.remove(path);
    }
}

void FsConfigModel::beginRemoveRows()
{
    removalPending = true;
}

void FsConfigModel::removeAllRows()
{
    removalPending = false;
    if (rules.isEmpty()) {
        return;
    }
    QAbstractTableModel::beginRemoveRows(QModelIndex(), 0, rules.size() - 1);
    const QStringList paths = rules.keys();
    for (const QString &path : paths) {
        forgetRule(path);
    }
    rules.clear();
    rows.clear();
    endRemoveRows();
}

void FsConfigModel::removeRowWithEmptyPath()
{
    adding = false;
    if (!rules.contains(QString())) {
        return;
    }
    const int last = rules.size() - 1;
    QAbstractTableModel::beginRemoveRows(QModelIndex(), last, last);
    rules.remove(QString());
    pending.remove(QString());
    rows.removeAll(QString());
    endRemoveRows();
}
