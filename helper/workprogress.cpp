// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "workprogress.h"
#include "replychannel.h"

#include <protocol.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

using namespace Mic::Protocol;

namespace
{
const ReplyChannel *watchedChannel = nullptr;
QElapsedTimer sinceLastReport;
// What the interval held back: a phase, and how far it was.
struct HeldBack {
    QString phase;
    qint64 done = -1;
    qint64 total = 0;
};

HeldBack &heldBack()
{
    static HeldBack report;
    return report;
}

QVariantMap progressMap(const QString &phase, qint64 done, qint64 total)
{
    return {{workProgressKey, QVariantMap{{phaseKey, phase}, {doneKey, done}, {totalKey, total}}}};
}
}

WorkProgress::Watch::Watch(const ReplyChannel &channel)
{
    watchedChannel = channel.takesChunks() ? &channel : nullptr;
    heldBack() = {};
    sinceLastReport.start();
}

WorkProgress::Watch::~Watch()
{
    watchedChannel = nullptr;
}

void WorkProgress::report(const QString &phase, qint64 done, qint64 total)
{
    if (!watchedChannel) {
        return;
    }
    if (sinceLastReport.elapsed() < reportInterval) {
#ifdef MIC_HELPER_TEST_HOOKS
        heldBack() = {phase, done, total};
#endif
        return;
    }
    sinceLastReport.restart();
    heldBack() = {};
    watchedChannel->progress(progressMap(phase, done, total));
}

void WorkProgress::sendHeldBack()
{
    // Reports come from the thread that serves the request; a labelling
    // thread held at a point leaves them to it.
    if (QThread::currentThread() != QCoreApplication::instance()->thread()) {
        return;
    }
    HeldBack &held = heldBack();
    if (watchedChannel && held.done >= 0) {
        sinceLastReport.restart();
        watchedChannel->progress(progressMap(held.phase, held.done, held.total));
        held = {};
    }
}
