// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef TESTPAUSE_H
#define TESTPAUSE_H

#include <QEventLoop>
#include <QFile>
#include <QString>
#include <QThread>
#include <QTimer>

#include "workprogress.h"

#include <functional>

// Test builds stop at a named point while the file "pause-<point>" exists in
// the folder named by MIC_HELPER_TEST_PAUSE, so that a test can change the
// file system or send other requests while the helper works. The helper
// says it has arrived with "pause-<point>.reached". When the file says
// "events", the helper handles its events while it waits, as it does while
// polkit authorizes a call: calls that come in then are turned away as busy.
// Installed helpers are built without these points.
inline void pauseForTest(const char *point)
{
#ifdef MIC_HELPER_TEST_HOOKS
    const QString folder = qEnvironmentVariable("MIC_HELPER_TEST_PAUSE");
    const QString pause = folder + QStringLiteral("/pause-") + QLatin1String(point);
    if (folder.isEmpty() || !QFile::exists(pause)) {
        return;
    }
    // The client sees the work where it is held.
    WorkProgress::sendHeldBack();
    QFile control(pause);
    const bool withEvents = control.open(QIODevice::ReadOnly) && control.readAll().startsWith("events");
    QFile reached(pause + QStringLiteral(".reached"));
    reached.open(QIODevice::WriteOnly);
    for (int waited = 0; QFile::exists(pause) && waited < 20000; waited += 10) {
        if (withEvents) {
            QEventLoop().processEvents(QEventLoop::AllEvents, 10);
        }
        QThread::msleep(10);
    }
    reached.remove();
#else
    Q_UNUSED(point)
#endif
}

// Test builds leave the file "<what>" in that folder when the helper has
// taken something a test cannot see from outside, such as a stop.
inline void markForTest(const char *what)
{
#ifdef MIC_HELPER_TEST_HOOKS
    const QString folder = qEnvironmentVariable("MIC_HELPER_TEST_PAUSE");
    if (!folder.isEmpty()) {
        QFile(folder + QLatin1Char('/') + QLatin1String(what)).open(QIODevice::WriteOnly);
    }
#else
    Q_UNUSED(what)
#endif
}

// Test builds leave the authorization of a user's calls unanswered while the
// file "polkit-silent-<uid>" exists in that folder, as polkit leaves those
// of a user whose authentication agent never answers; once it is gone, they
// are refused. True when the calls of `uid` are so held.
inline bool unansweredForTest(qint64 uid, QObject *context, const std::function<void(bool)> &answer)
{
#ifdef MIC_HELPER_TEST_HOOKS
    const QString folder = qEnvironmentVariable("MIC_HELPER_TEST_PAUSE");
    const QString silent = folder + QStringLiteral("/polkit-silent-") + QString::number(uid);
    if (folder.isEmpty() || !QFile::exists(silent)) {
        return false;
    }
    auto *watch = new QTimer(context);
    QObject::connect(watch, &QTimer::timeout, context, [watch, silent, answer] {
        if (!QFile::exists(silent)) {
            watch->deleteLater();
            answer(false);
        }
    });
    watch->start(100);
    return true;
#else
    Q_UNUSED(uid)
    Q_UNUSED(context)
    Q_UNUSED(answer)
    return false;
#endif
}

#endif
