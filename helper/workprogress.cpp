// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "workprogress.h"
#include "replychannel.h"

#include <protocol.h>

#include <QElapsedTimer>

using namespace Mic::Protocol;

namespace
{
const ReplyChannel *watchedChannel = nullptr;
QElapsedTimer sinceLastReport;
}

WorkProgress::Watch::Watch(const ReplyChannel &channel)
{
    watchedChannel = channel.takesChunks() ? &channel : nullptr;
    sinceLastReport.start();
}

WorkProgress::Watch::~Watch()
{
    watchedChannel = nullptr;
}

void WorkProgress::report(const QString &phase, qint64 done, qint64 total)
{
    if (!watchedChannel || sinceLastReport.elapsed() < reportInterval) {
        return;
    }
    sinceLastReport.restart();
    watchedChannel->progress({{workProgressKey, QVariantMap{{phaseKey, phase}, {doneKey, done}, {totalKey, total}}}});
}
