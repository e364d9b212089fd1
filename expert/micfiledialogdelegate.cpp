// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "micfiledialogdelegate.h"

#include <KLocalizedString>

#include <QAction>
#include <QFileDialog>
#include <QLineEdit>
#include <QPointer>
#include <QTimer>

MicFileDialogDelegate::MicFileDialogDelegate(QAbstractItemModel *model, QObject *parent)
    : QStyledItemDelegate(parent)
    , targetModel(model)
{
}

MicFileDialogDelegate::~MicFileDialogDelegate() = default;

QWidget *MicFileDialogDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    Q_UNUSED(option)
    auto *lineEdit = new QLineEdit(parent);
    auto *chooseAction = new QAction(QIcon::fromTheme(QStringLiteral("folder")), i18n("Select Object Path"), lineEdit);
    lineEdit->addAction(chooseAction, QLineEdit::TrailingPosition);
    // Persistent: the model may move or drop the row while the chooser runs
    // its event loop, and the path must not land on another row.
    const QPersistentModelIndex cell(index);
    connect(chooseAction, &QAction::triggered, this, [this, lineEdit, parent, cell]() {
        choosePath(lineEdit, parent, cell);
    });
    return lineEdit;
}

void MicFileDialogDelegate::choosePath(QLineEdit *lineEdit, QWidget *parent, const QPersistentModelIndex &index) const
{
    lineEdit->setFocus(Qt::ActiveWindowFocusReason);
    // The chooser takes the focus from the line edit, which the event filter
    // of the delegate takes for the end of editing: it would write the text
    // (an empty path is refused and drops a new row) and close the editor
    // before the chosen path arrives. The view itself does the same around
    // its commits.
    auto *editFilter = const_cast<MicFileDialogDelegate *>(this);
    const QPointer<QLineEdit> guardedLineEdit(lineEdit);
    lineEdit->removeEventFilter(editFilter);
    const QString path = QFileDialog::getExistingDirectory(parent, i18n("Select Object Path"), lineEdit->text(), QFileDialog::ShowDirsOnly);
    if (guardedLineEdit) {
        guardedLineEdit->installEventFilter(editFilter);
    }
    // The line edit is refreshed by the view when the model takes the path,
    // and keeps the old one when the model rejects it.
    if (!path.isEmpty() && index.isValid()) {
        targetModel->setData(index, path, Qt::EditRole);
    }
}

void MicFileDialogDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const
{
    auto *lineEdit = qobject_cast<QLineEdit *>(editor);
    if (!lineEdit) {
        return;
    }
    lineEdit->setText(index.data(Qt::UserRole).toString());
    // The view selects the whole text after this call; a path is more often
    // amended than replaced.
    QTimer::singleShot(0, lineEdit, &QLineEdit::deselect);
}

void MicFileDialogDelegate::setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const
{
    auto *lineEdit = qobject_cast<QLineEdit *>(editor);
    if (!lineEdit) {
        return;
    }
    model->setData(index, lineEdit->text().trimmed(), Qt::EditRole);
}

void MicFileDialogDelegate::updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    Q_UNUSED(index)
    editor->setGeometry(option.rect);
}
