// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef STOPREQUEST_H
#define STOPREQUEST_H

#include <replyseal.h>

#include <QString>

#include <optional>

/*
 * Whether the client of the request being served has asked the helper to
 * stop it (it gave up waiting). Anyone may call KAuth's stopAction, so only
 * a stop sealed with the request's own key counts (see stopPrefix in
 * protocol.h). Long work asks pollRequested() as it goes, which lets the
 * helper take its calls in the meantime.
 */
namespace StopRequest
{
// While it lives, stops sealed with `seal` stop the request.
class Watch
{
public:
    explicit Watch(const std::optional<ReplySeal> &seal);
    ~Watch();
    Watch(const Watch &) = delete;
    Watch &operator=(const Watch &) = delete;
};

// What a caller of stopAction gave.
void offer(const QString &token);
// Handles the helper's calls now and then (not on every call: it is asked
// once per object), and says whether the request was asked to stop.
bool pollRequested();
}

#endif
