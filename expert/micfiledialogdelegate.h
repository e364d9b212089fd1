// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef MICFILEDIALOGDELEGATE_H
#define MICFILEDIALOGDELEGATE_H

#include <QStyledItemDelegate>

class QLineEdit;

// Edits an object path: a line edit with a trailing folder action that opens
// a directory chooser. The chooser writes into `targetModel`, which must be
// the model of the view that uses the delegate.
class MicFileDialogDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    MicFileDialogDelegate(QAbstractItemModel *model, QObject *parent);
    ~MicFileDialogDelegate() override;

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override;
    void updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    void choosePath(QLineEdit *lineEdit, QWidget *parent, const QPersistentModelIndex &index) const;

    QAbstractItemModel *targetModel;
};

#endif
