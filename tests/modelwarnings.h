// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef MODELWARNINGS_H
#define MODELWARNINGS_H

#include <QSignalSpy>
#include <QStringList>

// The warnings a model of the expert page gives (its signal `warned`), in
// the order given.
class ModelWarnings
{
public:
    explicit ModelWarnings(QObject *model)
        : spy(model, SIGNAL(warned(QString)))
    {
    }

    QStringList texts() const
    {
        QStringList texts;
        for (const QList<QVariant> &arguments : spy) {
            texts.append(arguments.at(0).toString());
        }
        return texts;
    }

private:
    QSignalSpy spy;
};

#endif
