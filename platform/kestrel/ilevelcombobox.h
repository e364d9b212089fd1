// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef KESTRELQT5_ILEVELCOMBOBOX_H
#define KESTRELQT5_ILEVELCOMBOBOX_H

#include <QComboBox>

namespace KestrelQt5
{
// Chooser of an integrity level among the levels of the system.
class ILevelComboBox : public QComboBox
{
    Q_OBJECT
public:
    explicit ILevelComboBox(QWidget *parent = nullptr);

    // Lists the system's levels again, keeping the chosen level.
    void rebuild();
    // Selects `level`; a level that the system does not list gets an entry of
    // its own. `notify` false selects it without emitting change signals.
    void setValue(unsigned int level, bool notify);
    unsigned int value() const;
};
}

#endif
