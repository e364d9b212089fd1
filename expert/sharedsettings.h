// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef SHAREDSETTINGS_H
#define SHAREDSETTINGS_H

#include <QObject>

#include <functional>

class QCheckBox;

/*
 * The settings that both pages show: file-system protection and the
 * isolation of all services. They are held here once; each page's box shows
 * them and a click on either edits them, so the pages agree whichever is
 * shown, and a save sends what is held here.
 */
class SharedSettings : public QObject
{
    Q_OBJECT
public:
    explicit SharedSettings(QObject *parent);

    Qt::CheckState protection() const;
    Qt::CheckState isolation() const;

    // `box` shows the protection, or the isolation, from now on; a click on
    // it edits it. A click never leaves a box partly checked: it checks it.
    void showProtectionIn(QCheckBox *box);
    void showIsolationIn(QCheckBox *box);

public Q_SLOTS:
    // As read, or as the services' own boxes add up: no edit.
    void setProtection(Qt::CheckState state);
    void setIsolation(Qt::CheckState state);

Q_SIGNALS:
    void protectionChanged(Qt::CheckState state);
    void isolationChanged(Qt::CheckState state);
    // The administrator clicked a box.
    void protectionEdited(Qt::CheckState state);
    void isolationEdited(Qt::CheckState state);

private:
    // A click on `box` checks it, or unchecks it, and is handed to `edit`.
    void onClick(QCheckBox *box, const std::function<void(Qt::CheckState)> &edit);

    Qt::CheckState protectionState = Qt::Unchecked;
    Qt::CheckState isolationState = Qt::Unchecked;
};

#endif
