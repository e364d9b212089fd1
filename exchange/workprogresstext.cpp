// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "workprogresstext.h"
#include "protocol.h"

#include <texts.h>

#include <algorithm>

using namespace Mic::Texts;

using namespace Mic::Protocol;

namespace
{
// A pace measured over less than this says little about the rest.
constexpr qint64 leastMeasured = 1000;
}

QString WorkProgressText::update(const QString &phase, qint64 done, qint64 total)
{
    if (phase != currentPhase || !sincePhaseStart.isValid()) {
        currentPhase = phase;
        sincePhaseStart.start();
        doneAtPhaseStart = done;
    }
    const QString text = phaseText(phase, done, total);
    const qint64 elapsed = sincePhaseStart.elapsed();
    const qint64 doneInPhase = done - doneAtPhaseStart;
    if (elapsed < leastMeasured || doneInPhase <= 0 || done >= total) {
        return text;
    }
    const qint64 secondsLeft = (total - done) * elapsed / doneInPhase / 1000;
    return i18nc("@info:progress what is done, and the time left", "%1, %2", text, timeLeftText(secondsLeft));
}

int WorkProgressText::perMille(qint64 done, qint64 total)
{
    return total > 0 ? int(std::clamp<qint64>(done * 1000 / total, 0, 1000)) : 0;
}

QString WorkProgressText::phaseText(const QString &phase, qint64 done, qint64 total)
{
    if (phase == labellingPhase) {
        return i18ncp("@info:progress", "Labelling %2 of %1 object", "Labelling %2 of %1 objects", total, done);
    }
    if (phase == undoingPhase) {
        return i18ncp("@info:progress", "Putting back the label of %2 of %1 object", "Putting back the labels of %2 of %1 objects", total, done);
    }
    return i18ncp("@info:progress", "Checking the label of %2 of %1 object", "Checking the labels of %2 of %1 objects", total, done);
}

QString WorkProgressText::timeLeftText(qint64 seconds)
{
    if (seconds < 90) {
        return i18ncp("@info:progress", "about %1 s left", "about %1 s left", std::max<qint64>(1, seconds));
    }
    return i18ncp("@info:progress", "about %1 min left", "about %1 min left", (seconds + 30) / 60);
}
