// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

// The window manager's command line, reduced to what the settings module
// uses: "TARNWM_REBOOT" reboots the machine. On the simulated MIC system a
// reboot makes the after-reboot state the current one.
#include <micsystem.h>

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args != QStringList{QStringLiteral("TARNWM_REBOOT")}) {
        std::fprintf(stderr, "usage: tarn-wmfunc TARNWM_REBOOT\n");
        return 2;
    }
    MicSystem system(MicSystem::rootFromEnvironment());
    QString error;
    if (!system.read(&error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    system.reboot();
    if (!system.write(&error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    return 0;
}
