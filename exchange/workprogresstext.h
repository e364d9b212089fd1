// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef WORKPROGRESSTEXT_H
#define WORKPROGRESSTEXT_H

#include <QElapsedTimer>
#include <QString>

/*
 * The line the page and micctl show for the helper's progress reports:
 * "Labelling 340,000 of 1,000,000 objects, about 12 s left". The time left
 * follows from the pace of the phase so far, once it has run for a second.
 */
class WorkProgressText
{
public:
    QString update(const QString &phase, qint64 done, qint64 total);
    // How much of the phase is done, in per mille, for a progress bar.
    static int perMille(qint64 done, qint64 total);

private:
    static QString phaseText(const QString &phase, qint64 done, qint64 total);
    static QString timeLeftText(qint64 seconds);

    QString currentPhase;
    QElapsedTimer sincePhaseStart;
    qint64 doneAtPhaseStart = 0;
};

#endif
