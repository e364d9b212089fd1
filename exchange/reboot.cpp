// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "reboot.h"

#include <texts.h>

#include <QProcess>

using namespace Mic::Texts;

namespace
{
const QString rebootCommand = QStringLiteral("/usr/bin/tarn-wmfunc");
const QString rebootArgument = QStringLiteral("TARNWM_REBOOT");
constexpr int rebootWait = 30000;
}

bool Mic::rebootMachine(QString *error)
{
    QProcess reboot;
    reboot.start(rebootCommand, {rebootArgument}, QIODevice::ReadWrite);
    const bool finished = reboot.waitForFinished(rebootWait);
    if (finished && reboot.exitStatus() == QProcess::NormalExit && reboot.exitCode() == 0) {
        return true;
    }
    if (error) {
        *error = reboot.error() == QProcess::FailedToStart ? i18n("The reboot command %1 could not be run: %2", rebootCommand, reboot.errorString())
            : !finished ? i18n("The reboot command %1 did not finish within %2 seconds.", rebootCommand, QString::number(rebootWait / 1000))
                        : i18n("The reboot command %1 failed.", rebootCommand);
    }
    return false;
}
