// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "micfilesystemmodel.h"

#include <constants.h>
#include <printable.h>
#include <utils.h>

#include <KLocalizedString>

#include <QDateTime>
#include <QFont>

namespace
{
const QString fileSystemRoot = QStringLiteral("/");

// An empty level string means no level, as everywhere level strings are shown;
// storing it as such keeps an emptied cell from falling back to its rule.
QString levelString(const QVariant &value)
{
    const QString level = value.toString();
    return level.isEmpty() ? Mic::noLevelString : level;
}

// "max" and "high" stand for the running system's maximum; while MIC is off
// that is 0, and the default maximum takes its place.
unsigned int effectiveMaxLevel()
{
    const unsigned int level = Mic::Utils::currentMaxLevel().value;
    return level != 0 ? level : Mic::Utils::defaultMaxLevel().value;
}

// The root itself or a directory directly under it.
bool isTopDir(const QString &path)
{
    return path.count(QLatin1Char('/')) <= 1;
}
}

MicFileSystemModel::MicFileSystemModel(QObject *parent)
    : KCMLS::RootFileSystemModel(parent)
    , locale(Mic::formatsLocale())
{
    // The texts cached by path would otherwise outlive a file that leaves
    // the model, and show on a new file of the same name.
    connect(this, &QAbstractItemModel::rowsAboutToBeRemoved, this, [this] {
        currentLevelNames.clear();
        configLevelNames.clear();
    });
}

void MicFileSystemModel::setCurrentConfigLevels(const QHash<QString, QVariant> &levels)
{
    currentConfigLevels = levels;
    reset();
}

void MicFileSystemModel::reset()
{
    beginResetModel();
    // Emptied before the reset ends, while the cells are still valid keys.
    currentLevelNames.clear();
    configLevels.clear();
    configLevelNames.clear();
    levelNames.clear();
    changedLevels.clear();
    editedElsewhere.clear();
    topDirCheck = true;
    endResetModel();
}

void MicFileSystemModel::updateIndexesLevel(const QHash<QString, QVariant> &levels)
{
    topDirCheck = false;
    for (auto it = configLevels.begin(); it != configLevels.end(); ++it) {
        if (it.value() != Mic::noLevelString && it.key().isValid()) {
            it.value() = Mic::noLevelString;
            changedLevels.insert(it.key(), Mic::noLevelString);
            configLevelNames.remove(filePath(it.key()));
        }
    }
    for (auto it = levels.cbegin(); it != levels.cend(); ++it) {
        const QModelIndex cell = index(it.key(), ConfigLevelColumn);
        if (cell.isValid()) {
            storeEdit(cell, levelString(it.value()));
        }
    }
    for (auto it = changedLevels.cbegin(); it != changedLevels.cend(); ++it) {
        if (it.key().isValid()) {
            Q_EMIT dataChanged(it.key(), it.key(), {});
        }
    }
}

QHash<QString, QVariant> MicFileSystemModel::pathLevelHash() const
{
    QHash<QString, QVariant> result;
    for (auto it = configLevels.cbegin(); it != configLevels.cend(); ++it) {
        // A cell whose file left the model has no path any more.
        if (it.value() != Mic::noLevelString && it.key().isValid()) {
            result.insert(filePath(it.key()), it.value());
        }
    }
    return result;
}

QHash<QString, QVariant> MicFileSystemModel::pathLevelHashUpdate() const
{
    QHash<QString, QVariant> result;
    for (auto it = changedLevels.cbegin(); it != changedLevels.cend(); ++it) {
        if (it.key().isValid()) {
            result.insert(filePath(it.key()), it.value());
        }
    }
    return result;
}

void MicFileSystemModel::checkParentLevel(const QModelIndex &index)
{
    if (index.model() != this) {
        return;
    }
    const QString objectLevelString = changedLevels.value(QPersistentModelIndex(index));
    if (objectLevelString == Mic::noLevelString || objectLevelString == QLatin1String("0")) {
        return;
    }
    // The root has no container, and the configuration never raises the
    // root (its cell is not editable), so what lies directly under it is not
    // checked against it.
    const QModelIndex container = index.parent();
    const QString containerPath = container.isValid() ? filePath(container) : QString();
    if (containerPath.isEmpty() || containerPath == fileSystemRoot) {
        return;
    }
    const unsigned int maxLevel = effectiveMaxLevel();
    const unsigned int objectLevel = Mic::Utils::configLevelToNumber(objectLevelString, maxLevel, nullptr);
    const unsigned int coveringLevel = containerLevel(container, maxLevel);
    if ((coveringLevel & objectLevel) == objectLevel) {
        return;
    }
    // One substitution pass: a path that itself contains "%3" or "%4" is
    // shown as it is.
    Q_EMIT warned(i18n("Integrity level of container (%1) is lower (based on bitmap mask) than object (%2):\n\n"
                       "%4 \"is not included\" in %3\n\n"
                       "After saving and applying config container level will be raised to object level.",
                       Mic::printable(containerPath),
                       Mic::printable(filePath(index)),
                       QString::number(coveringLevel),
                       objectLevelString));
}

unsigned int MicFileSystemModel::containerLevel(const QModelIndex &container, unsigned int maxLevel) const
{
    // A level the user has just given the container is what it will carry
    // after saving; a configured level that was not edited may not have been
    // applied yet, so the label tells more.
    const QString edited = changedLevels.value(QPersistentModelIndex(container.siblingAtColumn(ConfigLevelColumn)));
    if (!edited.isEmpty() && edited != Mic::noLevelString) {
        return Mic::Utils::configLevelToNumber(edited, maxLevel, nullptr);
    }
    return Mic::Utils::fileLevel(filePath(container));
}

int MicFileSystemModel::columnCount(const QModelIndex &parent) const
{
    return RootFileSystemModel::columnCount(parent) + 2;
}

QVariant MicFileSystemModel::data(const QModelIndex &index, int role) const
{
    if (role == Qt::TextAlignmentRole) {
        return index.isValid() ? QVariant(int(Qt::AlignVCenter)) : QVariant();
    }
    if (role == Qt::DisplayRole && index.model() == this) {
        if (index.column() == SizeColumn) {
            return sizeText(index);
        }
        if (index.column() == DateModifiedColumn) {
            return locale.toString(lastModified(index), QLocale::ShortFormat);
        }
    }
    if (index.column() < CurrentLevelColumn || index.model() != this) {
        return RootFileSystemModel::data(index, role);
    }
    if (index.column() == CurrentLevelColumn) {
        return role == Qt::DisplayRole ? QVariant(currentLevelName(index)) : RootFileSystemModel::data(index, role);
    }
    switch (role) {
    case Qt::DisplayRole:
        return configLevelDisplayName(index);
    case Qt::UserRole:
        return configLevels.value(QPersistentModelIndex(index), Mic::noLevelString);
    case Qt::FontRole:
        return changedFont(index);
    default:
        return RootFileSystemModel::data(index, role);
    }
}

// A directory's size is left blank, as the plain model leaves it.
QVariant MicFileSystemModel::sizeText(const QModelIndex &index) const
{
    return isDir(index) ? QString() : locale.formattedDataSize(size(index));
}

QString MicFileSystemModel::currentLevelName(const QModelIndex &index) const
{
    const QString path = filePath(index);
    QString &name = currentLevelNames[path];
    if (name.isEmpty()) {
        name = levelName(Mic::Utils::fileLevel(path));
    }
    return name;
}

QString MicFileSystemModel::levelName(unsigned int level) const
{
    const auto known = levelNames.constFind(level);
    if (known != levelNames.cend()) {
        return known.value();
    }
    const QString name = Mic::Utils::levelName(level);
    levelNames.insert(level, name);
    return name;
}

QString MicFileSystemModel::configLevel(const QModelIndex &index, const QString &path) const
{
    const QPersistentModelIndex cell(index);
    const auto known = configLevels.constFind(cell);
    if (known != configLevels.cend()) {
        return known.value();
    }
    // Rules apply to their own path only: a directory's rule does not show
    // on its contents. Cells without a rule are not held here: most cells
    // have none, and their display text already remembers that.
    const auto elsewhere = editedElsewhere.constFind(path);
    if (elsewhere != editedElsewhere.cend()) {
        configLevels.insert(cell, elsewhere.value());
        return elsewhere.value();
    }
    const QString level = levelString(currentConfigLevels.value(path));
    if (level != Mic::noLevelString) {
        configLevels.insert(cell, level);
    }
    checkTopDir(path, level);
    return level;
}

QString MicFileSystemModel::configLevelDisplayName(const QModelIndex &index) const
{
    const QString path = filePath(index);
    const auto known = configLevelNames.constFind(path);
    if (known != configLevelNames.cend()) {
        return known.value();
    }
    // No reference into the cache is held here: the lookup may emit
    // topDirConfigLevelChanged(), and its receivers may ask for more cells.
    const QString name = Mic::Utils::configLevelToPrettyName(configLevel(index, path));
    configLevelNames.insert(path, name);
    return name;
}

QVariant MicFileSystemModel::changedFont(const QModelIndex &index) const
{
    const QVariant baseFont = RootFileSystemModel::data(index, Qt::FontRole);
    const bool edited = changedLevels.contains(QPersistentModelIndex(index)) || (!editedElsewhere.isEmpty() && editedElsewhere.contains(filePath(index)));
    if (!edited) {
        return baseFont;
    }
    QFont font = baseFont.canConvert<QFont>() ? baseFont.value<QFont>() : QFont();
    font.setWeight(QFont::Bold);
    return font;
}

// After each reset the page learns about configured top-level directories as
// they are shown, until the first deeper rule is shown.
void MicFileSystemModel::checkTopDir(const QString &path, const QString &level) const
{
    if (!topDirCheck || level == Mic::noLevelString) {
        return;
    }
    if (isTopDir(path)) {
        // Shown cells are painted through const functions: the signal is
        // not part of what the model holds.
        Q_EMIT const_cast<MicFileSystemModel *>(this)->topDirConfigLevelChanged();
    } else {
        topDirCheck = false;
    }
}

void MicFileSystemModel::storeEdit(const QPersistentModelIndex &cell, const QString &level)
{
    configLevels.insert(cell, level);
    changedLevels.insert(cell, level);
    configLevelNames.remove(filePath(cell));
}

void MicFileSystemModel::showRule(const QString &path, const QString &level)
{
    editedElsewhere.insert(path, level);
    configLevelNames.remove(path);
    const QModelIndex cell = index(path, ConfigLevelColumn);
    if (cell.isValid()) {
        configLevels.insert(QPersistentModelIndex(cell), level);
        Q_EMIT dataChanged(cell, cell, {Qt::DisplayRole});
    }
}

bool MicFileSystemModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (index.column() != ConfigLevelColumn || role != Qt::EditRole || index.model() != this) {
        return RootFileSystemModel::setData(index, value, role);
    }
    topDirCheck = false;
    const QString level = levelString(value);
    // Compared with what the cell shows, looked up now if it was never shown:
    // an empty old level would make "0" look like no change.
    if (Mic::Utils::compareConfigLevelStrings(level, configLevel(index, filePath(index)))) {
        return RootFileSystemModel::setData(index, value, role);
    }
    storeEdit(QPersistentModelIndex(index), level);
    Q_EMIT dataChanged(index, index, {Qt::EditRole});
    checkParentLevel(index);
    return true;
}

QVariant MicFileSystemModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole) {
        if (section == CurrentLevelColumn) {
            return i18n("Current integrity level");
        }
        if (section == ConfigLevelColumn) {
            return i18n("Config integrity level");
        }
    }
    return QFileSystemModel::headerData(section, orientation, role);
}

Qt::ItemFlags MicFileSystemModel::flags(const QModelIndex &index) const
{
    if (index.column() != ConfigLevelColumn || index.model() != this) {
        return QFileSystemModel::flags(index);
    }
    // The root's rule is not the user's to change.
    if (!index.parent().isValid() && filePath(index) == fileSystemRoot) {
        return Qt::ItemIsSelectable;
    }
    return Qt::ItemIsSelectable | Qt::ItemIsEditable | Qt::ItemIsEnabled;
}
