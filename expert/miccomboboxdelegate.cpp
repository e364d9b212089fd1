// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "miccomboboxdelegate.h"

#include <constants.h>
#include <utils.h>

#include <KLocalizedString>

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QInputDialog>
#include <QPainter>
#include <QPointer>
#include <QSpinBox>
#include <QTimer>

#include <optional>

namespace
{
constexpr int customLevelMaximum = 255;
// The entry of an editor that holds what the model holds.
constexpr char committedEntryProperty[] = "committedEntry";
// Whether an editor has an entry of a custom level before "<Other>".
constexpr char customEntryProperty[] = "hasCustomEntry";

QString storedLevel(const QModelIndex &index)
{
    return index.data(Qt::UserRole).toString();
}

// The custom level in binary next to its value, as the bits are what the
// mask comparisons look at.
QString binarySuffix(int value)
{
    return QStringLiteral(" (%1)").arg(QString::number(value, 2), 8, QLatin1Char('0'));
}

void showBinarySuffix(QInputDialog &dialog)
{
    auto *spinBox = dialog.findChild<QSpinBox *>();
    if (!spinBox) {
        return;
    }
    spinBox->setSuffix(binarySuffix(spinBox->value()));
    QObject::connect(spinBox, QOverload<int>::of(&QSpinBox::valueChanged), spinBox, [spinBox](int value) {
        spinBox->setSuffix(binarySuffix(value));
    });
}

// The stored text may be any level string form (hexadecimal, octal, binary),
// so it is read as a level rather than as a decimal number: starting the
// dialog at another value would make a plain OK change the level.
int initialCustomLevel(const QString &stored)
{
    const unsigned int level = Mic::Utils::configLevelToNumber(stored, Mic::Utils::currentMaxLevel().value, nullptr);
    return int(qMin(level, unsigned(customLevelMaximum)));
}

// A custom level shows as itself, in an entry of its own before "<Other>",
// which stays last for choosing another. Returns the entry.
int showCustomLevel(QComboBox *comboBox, const QString &level)
{
    const int other = comboBox->count() - 1;
    int entry = other - 1;
    if (!comboBox->property(customEntryProperty).toBool()) {
        entry = other;
        comboBox->insertItem(entry, QString());
        comboBox->setProperty(customEntryProperty, true);
    }
    comboBox->setItemText(entry, Mic::Utils::configLevelToPrettyName(level));
    comboBox->setItemData(entry, level, Qt::UserRole);
    comboBox->setCurrentIndex(entry);
    return entry;
}

// nullopt when the user cancels.
std::optional<int> askCustomLevel(QWidget *parent, const QString &stored)
{
    QInputDialog dialog(parent);
    dialog.setInputMode(QInputDialog::IntInput);
    dialog.setWindowTitle(i18n("Choose level"));
    dialog.setLabelText(i18n("Integrity level"));
    dialog.setIntMinimum(0);
    dialog.setIntMaximum(customLevelMaximum);
    dialog.setIntValue(initialCustomLevel(stored));
    showBinarySuffix(dialog);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return dialog.intValue();
}
}

MicComboBoxDelegate::MicComboBoxDelegate(QObject *parent)
    : QStyledItemDelegate(parent)
    , popupPending(true)
{
}

MicComboBoxDelegate::~MicComboBoxDelegate() = default;

bool MicComboBoxDelegate::eventFilter(QObject *object, QEvent *event)
{
    if (event->type() == QEvent::Enter && popupPending) {
        if (auto *comboBox = qobject_cast<QComboBox *>(object)) {
            // Not from inside the event handler: the popup grabs the mouse.
            QTimer::singleShot(0, comboBox, &QComboBox::showPopup);
            popupPending = false;
        }
    }
    return QStyledItemDelegate::eventFilter(object, event);
}

void MicComboBoxDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QStyleOptionComboBox comboOption;
    comboOption.rect = option.rect;
    comboOption.state = option.state;
    comboOption.editable = false;
    // Without a frame: a row of the tree stays as high as a line of text.
    comboOption.frame = false;
    comboOption.currentText = index.data(Qt::DisplayRole).toString();
    // The style draws the label in the active colours whatever the state.
    if (!(option.state & QStyle::State_Enabled)) {
        comboOption.palette.setBrush(QPalette::Active, QPalette::ButtonText, comboOption.palette.brush(QPalette::Disabled, QPalette::ButtonText));
    }
    QStyle *style = QApplication::style();
    style->drawComplexControl(QStyle::CC_ComboBox, &comboOption, painter, nullptr);
    style->drawControl(QStyle::CE_ComboBoxLabel, &comboOption, painter, nullptr);
}

// Painted as a combo box, a cell needs room for the box's arrow beside its
// text: columns sized to their contents then clip no level name.
QSize MicComboBoxDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QStyleOptionComboBox comboOption;
    comboOption.editable = false;
    comboOption.frame = false;
    comboOption.fontMetrics = option.fontMetrics;
    const QString text = index.data(Qt::DisplayRole).toString();
    const QSize label(option.fontMetrics.horizontalAdvance(text), option.fontMetrics.height());
    const QSize combo = QApplication::style()->sizeFromContents(QStyle::CT_ComboBox, &comboOption, label, nullptr);
    // As high as a row of text: a combo box's own height would leave room
    // for only a few rows of the tree.
    const QSize plain = QStyledItemDelegate::sizeHint(option, index);
    return {qMax(combo.width(), plain.width()), plain.height()};
}

QWidget *MicComboBoxDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    Q_UNUSED(option)
    Q_UNUSED(index)
    auto *comboBox = new QComboBox(parent);
    comboBox->addItem(Mic::noLevelString, Mic::noLevelString);
    // Read anew for every editor: the catalogue may change while the page is open.
    const QList<Mic::Level> levels = Mic::Utils::allLevels();
    for (const Mic::Level &level : levels) {
        comboBox->addItem(level.name, QString::number(level.value, 10));
    }
    comboBox->addItem(Mic::Utils::configLevelToPrettyName(Mic::maxLevelString), Mic::maxLevelString);
    comboBox->addItem(i18n("<Other>"), QString());
    connect(comboBox, QOverload<int>::of(&QComboBox::activated), this, &MicComboBoxDelegate::onComboBoxActivated);
    popupPending = true;
    return comboBox;
}

void MicComboBoxDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const
{
    auto *comboBox = qobject_cast<QComboBox *>(editor);
    if (!comboBox) {
        return;
    }
    const QString current = storedLevel(index);
    if (current == Mic::highLevelString) {
        // The entry of the maximum shows the word the rule is written with.
        const int maximum = comboBox->findData(Mic::maxLevelString, Qt::UserRole);
        comboBox->setItemText(maximum, Mic::Utils::configLevelToPrettyName(current));
        comboBox->setItemData(maximum, current, Qt::UserRole);
    }
    int entry = comboBox->findData(current, Qt::UserRole);
    if (entry < 0) {
        const unsigned int level = Mic::Utils::configLevelToNumber(current, Mic::Utils::currentMaxLevel().value, nullptr);
        entry = comboBox->findData(QString::number(level, 10), Qt::UserRole);
    }
    if (entry < 0) {
        entry = storedLevel(index).isEmpty() ? comboBox->count() - 1 : showCustomLevel(comboBox, storedLevel(index));
    }
    comboBox->setCurrentIndex(entry);
    comboBox->setProperty(committedEntryProperty, entry);
}

void MicComboBoxDelegate::setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const
{
    auto *comboBox = qobject_cast<QComboBox *>(editor);
    if (!comboBox) {
        return;
    }
    // "<Other>" itself holds nothing: a custom level has an entry of its own,
    // so committing the editor again (focus leaving, a save) never asks.
    const QString level = comboBox->currentData(Qt::UserRole).toString();
    if (!level.isEmpty()) {
        model->setData(index, level, Qt::EditRole);
    }
}

void MicComboBoxDelegate::updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    Q_UNUSED(index)
    editor->setGeometry(option.rect);
}

void MicComboBoxDelegate::onComboBoxActivated(int entry)
{
    auto *comboBox = qobject_cast<QComboBox *>(sender());
    if (!comboBox) {
        return;
    }
    // The custom level is asked for only when the administrator chooses
    // "<Other>", never when the editor is merely committed.
    if (entry == comboBox->count() - 1) {
        // The dialog takes the focus from the editor, which the event filter
        // takes for the end of editing: the view would commit and close the
        // editor while the dialog runs.
        const QPointer<QComboBox> guarded(comboBox);
        comboBox->removeEventFilter(this);
        const std::optional<int> custom = askCustomLevel(comboBox->parentWidget(),
                                                         comboBox->itemData(comboBox->property(committedEntryProperty).toInt(), Qt::UserRole).toString());
        if (!guarded) {
            return;
        }
        comboBox->installEventFilter(this);
        if (!custom) {
            comboBox->setCurrentIndex(comboBox->property(committedEntryProperty).toInt());
            return;
        }
        entry = showCustomLevel(comboBox, QString::number(*custom, 10));
    }
    comboBox->setProperty(committedEntryProperty, entry);
    // Every choice lands in the model at once and ends the edit, as in
    // KDE's tables: the keys then move between rows again, and Tab leaves
    // the table.
    Q_EMIT commitData(comboBox);
    Q_EMIT closeEditor(comboBox);
}
