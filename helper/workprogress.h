// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef WORKPROGRESS_H
#define WORKPROGRESS_H

#include <QString>

class ReplyChannel;

/*
 * How far the long work of the request being served is, for its client:
 * the check of the labels, labelling, and putting labels back. Reports come
 * once per object or batch; a progress map goes out only every
 * `reportInterval`, and none for work done within it.
 */
namespace WorkProgress
{
constexpr qint64 reportInterval = 250;

// While it lives, reports go to the client of `channel`, when that client
// takes maps addressed to it alone; to nobody else.
class Watch
{
public:
    explicit Watch(const ReplyChannel &channel);
    ~Watch();
    Watch(const Watch &) = delete;
    Watch &operator=(const Watch &) = delete;
};

// `phase` is one of the protocol's phases.
void report(const QString &phase, qint64 done, qint64 total);

// Sends the last report held back by the interval, if any: for a test that
// holds the work at a point and looks at what its client shows there.
void sendHeldBack();
}

#endif
