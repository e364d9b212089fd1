// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

// The module's read as a user who must authorize first, for a test that runs
// it as another user: the read waits for the state widget's request, and
// then ends in an error instead of hanging. Prints what it saw.
#include <micmanagementmodule.h>

#include <KMessageWidget>

#include <QApplication>
#include <QElapsedTimer>

#include <cstdio>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    MicManagementModule module(nullptr, {});
    module.access();
    std::printf("state after access: %d reading: %d\n", int(module.stateWidget()->state()), int(module.isReading()));

    Q_EMIT module.stateWidget()->authRequest();
    std::printf("reading after authorizing: %d\n", int(module.isReading()));
    QElapsedTimer clock;
    clock.start();
    while (module.isReading() && clock.elapsed() < 20000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    const auto messages = module.messagesManager()->messages();
    std::printf("finished: %d state: %d error messages: %d\n",
                int(!module.isReading()),
                int(module.stateWidget()->state()),
                int(messages.size() == 1 && messages.first()->messageType() == KMessageWidget::Error));
    return 0;
}
