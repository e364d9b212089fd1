// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef MODALDIALOGANSWERER_H
#define MODALDIALOGANSWERER_H

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>

#include <functional>

// Answers the modal dialogs that the code under test opens: armed before the
// call, it hands each new modal dialog to `answer`; what is still open after
// the deadline is rejected, so a test fails instead of hanging.
class ModalDialogAnswerer : public QObject
{
public:
    using Answer = std::function<void(QDialog *)>;

    explicit ModalDialogAnswerer(Answer answer, int deadlineMs = 10000)
        : answer(std::move(answer))
        , deadline(deadlineMs)
    {
        clock.start();
        connect(&timer, &QTimer::timeout, this, &ModalDialogAnswerer::poll);
        timer.start(20);
    }

    // The dialogs answered; they may be gone by now, so their titles and
    // texts are kept apart.
    QList<QDialog *> seen;
    QStringList titles;
    QStringList texts;

private:
    void poll()
    {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog || handled.contains(dialog)) {
            if (clock.elapsed() > deadline && dialog) {
                dialog->reject();
            }
            return;
        }
        handled.append(dialog);
        seen.append(dialog);
        titles.append(dialog->windowTitle());
        // A message box's details follow its text.
        const QString details = dialog->property("detailedText").toString();
        texts.append(dialog->property("text").toString() + (details.isEmpty() ? QString() : QStringLiteral("\n[details]\n") + details));
        answer(dialog);
    }

    Answer answer;
    int deadline;
    QElapsedTimer clock;
    QTimer timer;
    QList<QDialog *> handled;
};

#endif
