// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "stoprequest.h"
#include "testpause.h"

#include <protocol.h>

#include <QCoreApplication>
#include <QElapsedTimer>

using namespace Mic::Protocol;

namespace
{
// Often enough that a stop is taken within a moment, rarely enough to cost
// nothing per object.
constexpr qint64 pollInterval = 100;

// The request being served, whose client alone may stop it.
struct Watched {
    std::optional<ReplySeal> seal;
    bool requested = false;
    QElapsedTimer sinceLastPoll;
};

Watched &watched()
{
    static Watched request;
    return request;
}
}

StopRequest::Watch::Watch(const std::optional<ReplySeal> &seal)
{
    watched().seal = seal;
    watched().requested = false;
    watched().sinceLastPoll.start();
}

StopRequest::Watch::~Watch()
{
    watched().seal.reset();
    watched().requested = false;
}

void StopRequest::offer(const QString &token)
{
    if (watched().seal && watched().seal->isStopToken(token)) {
        watched().requested = true;
        markForTest("stop-taken");
    }
}

bool StopRequest::pollRequested()
{
    if (watched().seal && watched().sinceLastPoll.elapsed() >= pollInterval) {
        QCoreApplication::processEvents();
        watched().sinceLastPoll.restart();
    }
    return watched().requested;
}
