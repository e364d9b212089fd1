// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef MICCOMBOBOXDELEGATE_H
#define MICCOMBOBOXDELEGATE_H

#include <QStyledItemDelegate>

// Edits a level cell as a level string: the catalogue levels, "—", the
// maximum and a custom level from 0 to 255. Level cells are painted as combo
// boxes, so that they always look like a chooser.
class MicComboBoxDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    explicit MicComboBoxDelegate(QObject *parent);
    ~MicComboBoxDelegate() override;

    bool eventFilter(QObject *object, QEvent *event) override;
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override;
    void updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option, const QModelIndex &index) const override;

public Q_SLOTS:
    void onComboBoxActivated(int entry);

private:
    // Set by every new editor: the first mouse-enter opens its list.
    mutable bool popupPending;
};

#endif
