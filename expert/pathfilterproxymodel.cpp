// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "pathfilterproxymodel.h"

#include <utils.h>

#include <QtConcurrent>

namespace
{
// Rows decided on one thread at a time; below this many rows in all, one
// thread decides them.
constexpr int rowsPerTask = 16384;

ushort foldedAscii(ushort c)
{
    return c >= 'A' && c <= 'Z' ? ushort(c + ('a' - 'A')) : c;
}

// Whether `text` holds the ASCII `lowerNeedle` in any case: the common case,
// several times faster than a search with full case folding. Nothing, when
// the text holds other characters, which might fold onto ASCII ones.
std::optional<bool> containsAsciiFolded(const QString &text, const QString &lowerNeedle)
{
    const ushort *haystack = text.utf16();
    const ushort *needle = lowerNeedle.utf16();
    const int length = text.size();
    const int needleLength = lowerNeedle.size();
    for (int i = 0; i < length; ++i) {
        if (haystack[i] >= 0x80) {
            return std::nullopt;
        }
    }
    for (int i = 0; i + needleLength <= length; ++i) {
        int j = 0;
        while (j < needleLength && foldedAscii(haystack[i + j]) == needle[j]) {
            ++j;
        }
        if (j == needleLength) {
            return true;
        }
    }
    return false;
}

bool isAscii(const QString &text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) {
        return c.unicode() < 0x80;
    });
}
}

PathFilterProxyModel::PathFilterProxyModel(const PathOfRow &pathOfRow, const LevelOfRow &levelOfRow, QObject *parent)
    : QSortFilterProxyModel(parent)
    , pathOf(pathOfRow)
    , levelOf(levelOfRow)
{
    setDynamicSortFilter(false);
    matcher.setCaseSensitivity(Qt::CaseInsensitive);
}

void PathFilterProxyModel::setSourceModel(QAbstractItemModel *model)
{
    QSortFilterProxyModel::setSourceModel(model);
    // Before the proxy hears of the change, so that it asks about new rows
    // afresh.
    connect(model, &QAbstractItemModel::rowsAboutToBeInserted, this, &PathFilterProxyModel::forgetLastPass);
    connect(model, &QAbstractItemModel::rowsAboutToBeRemoved, this, &PathFilterProxyModel::forgetLastPass);
    connect(model, &QAbstractItemModel::rowsAboutToBeMoved, this, &PathFilterProxyModel::forgetLastPass);
    connect(model, &QAbstractItemModel::modelAboutToBeReset, this, &PathFilterProxyModel::forgetLastPass);
    connect(model, &QAbstractItemModel::layoutAboutToBeChanged, this, &PathFilterProxyModel::forgetLastPass);
}

void PathFilterProxyModel::forgetLastPass()
{
    lastPass.clear();
}

void PathFilterProxyModel::setFilter(const QString &newText, const QString &newLevelName)
{
    if (newText == text && newLevelName == levelName) {
        return;
    }
    const int rows = sourceModel() ? sourceModel()->rowCount() : 0;
    const bool narrower = newLevelName == levelName && newText.contains(text, Qt::CaseInsensitive) && lastPass.size() == size_t(rows);
    beginResetModel();
    narrowFrom = narrower ? std::move(lastPass) : std::vector<char>();
    text = newText;
    matcher.setPattern(text);
    asciiNeedle = isAscii(text);
    lowerText = text.toLower();
    levelName = newLevelName;
    levelStringMatches.clear();
    lastPass = decideAll(rows);
    narrowFrom.clear();
    endResetModel();
}

bool PathFilterProxyModel::isFiltering() const
{
    return !text.isEmpty() || !levelName.isEmpty();
}

std::vector<char> PathFilterProxyModel::decideAll(int rowCount) const
{
    std::vector<char> passes(size_t(rowCount), 1);
    if (!isFiltering()) {
        return passes;
    }
    QVector<int> firstRows;
    for (int row = 0; row < rowCount; row += rowsPerTask) {
        firstRows.append(row);
    }
    const auto decide = [&](int first) {
        const int end = qMin(first + rowsPerTask, rowCount);
        for (int row = first; row < end; ++row) {
            passes[size_t(row)] = pathPasses(row);
        }
    };
    if (firstRows.size() > 1) {
        QtConcurrent::blockingMap(firstRows, decide);
    } else {
        std::for_each(firstRows.cbegin(), firstRows.cend(), decide);
    }
    // Level names come from the label library, which is asked from this
    // thread only.
    if (!levelName.isEmpty()) {
        for (int row = 0; row < rowCount; ++row) {
            if (passes[size_t(row)] && !pathOf(row).isEmpty()) {
                passes[size_t(row)] = levelMatches(row);
            }
        }
    }
    return passes;
}

bool PathFilterProxyModel::filterAcceptsRow(int sourceRow, const QModelIndex &) const
{
    if (size_t(sourceRow) < lastPass.size()) {
        return lastPass[size_t(sourceRow)];
    }
    return !isFiltering() || pathOf(sourceRow).isEmpty() || (pathPasses(sourceRow) && levelMatches(sourceRow));
}

// Safe on any thread: reads the source and the filter only.
bool PathFilterProxyModel::pathPasses(int sourceRow) const
{
    if (size_t(sourceRow) < narrowFrom.size() && !narrowFrom[size_t(sourceRow)]) {
        return false;
    }
    const QString &path = pathOf(sourceRow);
    if (path.isEmpty() || text.isEmpty()) {
        return true;
    }
    if (asciiNeedle) {
        if (const auto found = containsAsciiFolded(path, lowerText)) {
            return *found;
        }
    }
    return matcher.indexIn(path) >= 0;
}

bool PathFilterProxyModel::levelMatches(int sourceRow) const
{
    if (levelName.isEmpty() || !levelOf) {
        return true;
    }
    const QString level = levelOf(sourceRow);
    const auto known = levelStringMatches.constFind(level);
    if (known != levelStringMatches.constEnd()) {
        return *known;
    }
    const bool matches = Mic::Utils::configLevelToPrettyName(level) == levelName;
    levelStringMatches.insert(level, matches);
    return matches;
}
