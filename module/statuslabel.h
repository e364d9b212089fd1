// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef STATUSLABEL_H
#define STATUSLABEL_H

#include <QLabel>

// A word-wrapped label that can ask the layout for the room of the longest
// of the texts it may come to show, whichever it shows now.
class StatusLabel : public QLabel
{
public:
    explicit StatusLabel(QWidget *parent = nullptr);

    // No texts: the room of the text shown.
    void setPossibleTexts(const QStringList &texts);
    int heightForWidth(int width) const override;

private:
    // Lays out each possible text as this label would, never shown.
    QLabel *measure;
    QStringList possibleTexts;
};

#endif
