// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "stoprequest.h"

#include <protocol.h>

#include <QCoreApplication>
#include <QDataStream>
#include <QElapsedTimer>

using namespace Mic::Protocol;

namespace
{
// Often enough that a stop is taken within a moment, rarely enough to cost
// nothing per object.
constexpr qint64 pollInterval = 100;

std::optional<ReplySeal> watchedSeal;
bool requested = false;
QElapsedTimer sinceLastPoll;
}

StopRequest::Watch::Watch(const std::optional<ReplySeal> &seal)
{
    watchedSeal = seal;
    requested = false;
    sinceLastPoll.start();
}

StopRequest::Watch::~Watch()
{
    watchedSeal.reset();
    requested = false;
}

void StopRequest::offer(const QString &token)
{
    if (!watchedSeal || !token.startsWith(stopPrefix)) {
        return;
    }
    QVariantMap sealed;
    QDataStream stream(QByteArray::fromBase64(token.mid(stopPrefix.size()).toLatin1()));
    stream >> sealed;
    const std::optional<QVariantMap> payload = stream.status() == QDataStream::Ok ? watchedSeal->open(sealed) : std::nullopt;
    if (payload && payload->value(stageKey).toString() == stopStage) {
        requested = true;
    }
}

bool StopRequest::pollRequested()
{
    if (watchedSeal && sinceLastPoll.elapsed() >= pollInterval) {
        QCoreApplication::processEvents();
        sinceLastPoll.restart();
    }
    return requested;
}
