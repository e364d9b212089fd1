// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef HOSTWINDOW_H
#define HOSTWINDOW_H

#include <QList>
#include <QString>

class QAbstractButton;
class QWidget;

// What the page asks of the window its host shows it in: the hosts differ
// (kcmshell and System Settings, Frameworks 5 and 6) in what they do for a
// page, and the page makes up for what one leaves out.
namespace HostWindow
{
// Gives every control of the window a keyboard mnemonic, the host's buttons
// included, as KDE's accelerator manager does: the Frameworks 6 hosts leave
// a page of widgets without.
void manageAccelerators(QWidget *page);

// The Help buttons of the host's window around `page`.
QList<QAbstractButton *> helpButtons(QWidget *page);

// Whether the hosts' Help can open the guide: they hand its help:/ address
// to KDE's help centre, and without one they have nothing that opens it.
bool helpCentreInstalled();

// The guide as a page of its own, for a reader without the help centre;
// empty when it is not installed.
QString guideFile();
}

#endif
