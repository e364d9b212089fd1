// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef MICFILESYSTEMMODEL_H
#define MICFILESYSTEMMODEL_H

#include <rootfilesystemmodel.h>

#include <QHash>
#include <QLocale>
#include <QPersistentModelIndex>
#include <QVariant>

/*
 * The whole file system with two more columns: the current integrity level of
 * each object, from its security label, and the level that the file-system
 * integrity configuration assigns to its path. Configured levels are edited in
 * place; the edits are kept until the next reset and handed back as the rules
 * to save.
 *
 * Levels are looked up lazily, once per shown cell, and cached until the next
 * reset: painting a large directory must not read every label again.
 */
class MicFileSystemModel : public KCMLS::RootFileSystemModel
{
    Q_OBJECT
public:
    enum Column {
        SizeColumn = 1,
        DateModifiedColumn = 3,
        CurrentLevelColumn = 4,
        ConfigLevelColumn = 5,
    };

    explicit MicFileSystemModel(QObject *parent = nullptr);

    // The configured levels as read from the system (absolute path to level
    // string); resets the model.
    void setCurrentConfigLevels(const QHash<QString, QVariant> &levels);
    // Drops every cached level and every edit.
    void reset();
    // Replaces every configured level shown so far by `levels`, as edits.
    void updateIndexesLevel(const QHash<QString, QVariant> &levels);
    // Path to level string of every shown or edited cell that has a level.
    QHash<QString, QVariant> pathLevelHash() const;
    // Path to level string of every edited cell; "—" removes the path's rule.
    QHash<QString, QVariant> pathLevelHashUpdate() const;
    // Shows a rule edited elsewhere (in the rule table) as an edit of its
    // own, on the cell of `path` now or once that cell is shown.
    void showRule(const QString &path, const QString &level);
    // Warns when the edited level of `index` is not covered by the level of
    // the directory that contains it.
    void checkParentLevel(const QModelIndex &index);

    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

Q_SIGNALS:
    // A level edited needs the administrator's attention: the text says
    // why. The model shows nothing itself; the page does.
    void warned(const QString &text);
    // A configured level of the root or of a directory directly under it was
    // shown for the first time since the last reset.
    void topDirConfigLevelChanged();

private:
    QString currentLevelName(const QModelIndex &index) const;
    QString levelName(unsigned int level) const;
    QString configLevel(const QModelIndex &index, const QString &path) const;
    QString configLevelDisplayName(const QModelIndex &index) const;
    QVariant changedFont(const QModelIndex &index) const;
    void checkTopDir(const QString &path, const QString &level) const;
    void storeEdit(const QPersistentModelIndex &cell, const QString &level);
    unsigned int containerLevel(const QModelIndex &container, unsigned int maxLevel) const;
    QVariant sizeText(const QModelIndex &index) const;

    // Sizes and dates are written in the formats of this locale.
    const QLocale locale;

    // What is only shown is cached by path, not by persistent index: every
    // sort of a directory moves each persistent index of the model with a
    // linear search, and a view that sizes its columns to their contents
    // shows a thousand rows of a large directory.
    mutable QHash<QString, QString> currentLevelNames;
    // Levels of the cells that take part in the rules: configured ones shown
    // so far, and edited ones. They follow their rows as the tree changes.
    mutable QHash<QPersistentModelIndex, QString> configLevels;
    QHash<QPersistentModelIndex, QString> changedLevels;
    mutable bool topDirCheck = false;
    QHash<QString, QVariant> currentConfigLevels;
    // Rules edited elsewhere, by path, for cells not shown yet.
    QHash<QString, QString> editedElsewhere;
    // Display texts of the config cells shown: a numeric level is named from
    // the level catalogue, which would otherwise be read on every repaint.
    mutable QHash<QString, QString> configLevelNames;
    // Names of the levels met so far: a directory holds thousands of files
    // but few distinct levels, and naming one walks the whole catalogue.
    mutable QHash<unsigned int, QString> levelNames;
};

#endif
