// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "statuslabel.h"

StatusLabel::StatusLabel(QWidget *parent)
    : QLabel(parent)
    , measure(new QLabel(this))
{
    measure->hide();
    // What room a shorter text leaves goes below it.
    setAlignment(Qt::AlignLeading | Qt::AlignTop);
}

void StatusLabel::setPossibleTexts(const QStringList &texts)
{
    possibleTexts = texts;
    updateGeometry();
}

int StatusLabel::heightForWidth(int width) const
{
    int height = QLabel::heightForWidth(width);
    measure->setWordWrap(wordWrap());
    measure->setTextFormat(textFormat());
    for (const QString &text : possibleTexts) {
        measure->setText(text);
        height = qMax(height, measure->heightForWidth(width));
    }
    return height;
}
