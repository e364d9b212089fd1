// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef PATHFILTERPROXYMODEL_H
#define PATHFILTERPROXYMODEL_H

#include <QHash>
#include <QSortFilterProxyModel>
#include <QStringMatcher>

#include <functional>
#include <optional>
#include <vector>

/*
 * Shows the rows of a rule or exception table whose path holds a text (in
 * any case) and, for rules, whose level shows as a given level name. Rows
 * still waiting for their path always show, so that a row just added can be
 * edited whatever the filter. Filtering hides rows only: the table's pending
 * changes, hidden rows' included, stay as they are.
 *
 * A change of the filter resets the view once instead of removing rows in
 * ranges: a scattered match in a million rows would otherwise send the view
 * hundreds of thousands of removals. An edit does not filter its row again,
 * so a row does not vanish under the administrator's hands. The rows are
 * decided on all cores when the filter changes; a text typed on (the last
 * text within the new one) looks only at the rows the last text let through.
 */
class PathFilterProxyModel : public QSortFilterProxyModel
{
    Q_OBJECT
public:
    using PathOfRow = std::function<const QString &(int row)>;
    using LevelOfRow = std::function<QString(int row)>;

    // The source's path and level string of a row, read straight from it: a
    // million rows are filtered as one types. No `levelOfRow`: the table
    // has no levels.
    PathFilterProxyModel(const PathOfRow &pathOfRow, const LevelOfRow &levelOfRow, QObject *parent = nullptr);

    void setSourceModel(QAbstractItemModel *model) override;
    // An empty text or level name lets every row through on that account.
    void setFilter(const QString &text, const QString &levelName);
    bool isFiltering() const;

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;

private:
    std::vector<char> decideAll(int rowCount) const;
    bool pathPasses(int sourceRow) const;
    bool levelMatches(int sourceRow) const;
    void forgetLastPass();

    PathOfRow pathOf;
    LevelOfRow levelOf;
    QString text;
    QStringMatcher matcher;
    // The text in lower case when it is all ASCII, for the quick search.
    QString lowerText;
    bool asciiNeedle = false;
    QString levelName;
    // Whether each source row passes the filter, while the rows stay as
    // they were; a narrower filter looks only at those that passed.
    std::vector<char> lastPass;
    std::vector<char> narrowFrom;
    // Whether a level string shows as the chosen level: a table holds few
    // distinct strings.
    mutable QHash<QString, bool> levelStringMatches;
};

#endif
