// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef FSCONFIGMODEL_H
#define FSCONFIGMODEL_H

#include <QAbstractTableModel>
#include <QHash>
#include <QSet>
#include <QStringList>
#include <QVariant>

/*
 * The rules of the file-system integrity configuration as a table: object
 * path and level string. Beside the rules it collects every path whose rule
 * was added, changed or removed since the last load; that pending map, not
 * the whole table, is what a save sends. "—" in the pending map marks a path
 * that is to have no rule; a path the configuration does not hold needs no
 * such mark, and gets none.
 *
 * A load of `backgroundSortFrom` rules or more empties the table at once and
 * fills it when the paths have been sorted on another thread: a million
 * paths take a second to sort, which the page must not freeze for.
 */
class FsConfigModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    // Loaded rules as the table shows them.
    struct Sorted {
        QStringList paths;
        QStringList levels;
    };

    explicit FsConfigModel(QObject *parent = nullptr);
    ~FsConfigModel() override;

    static constexpr int backgroundSortFrom = 100000;
    void reset(const QHash<QString, QVariant> &hash, bool trackChanges);
    // Whether a load is still being sorted.
    bool isLoading() const;
    const QHash<QString, QVariant> &pathLevelHash() const;
    const QHash<QString, QVariant> &pathLevelHashUpdate() const;
    // Sets the rule of `path` as an edit of the table would: a new row for a
    // new rule, the row removed for the removal mark.
    void setRule(const QString &path, const QString &level);
    // The level strings of the rules as loaded, sorted.
    const QStringList &levelsInUse() const;
    // Rules added with a path and no level yet, sorted.
    QStringList newRulesWithoutLevel() const;
    void removeRowWithEmptyPath();
    // The path and level string of a row, as the table shows them.
    const QString &pathAt(int row) const;
    QString levelAt(int row) const;

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
    bool setLevel(const QModelIndex &index, const QString &level);
    bool setPath(const QModelIndex &index, const QString &path);
    bool rejectPath(const QString &warning);
    void forgetRule(const QString &path);
    void resetNow(const QHash<QString, QVariant> &loaded, bool trackChanges, const Sorted &sorted);

    QHash<QString, QVariant> rules;
    QStringList rows;
    QHash<QString, QVariant> pending;
    // The rules of the configuration, as last read.
    QHash<QString, QVariant> configured;
    bool adding = false;
    bool removalPending = false;
    // Counts loads; a background sort that a later load overtook is dropped.
    int loadGeneration = 0;
    bool loading = false;
    QStringList usedLevels;
};

#endif
