// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef STATEROOTFIXTURE_H
#define STATEROOTFIXTURE_H

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

// A simulated MIC system of the test's own: a state root in a temporary
// directory, named to the label library through its environment variable.
class StateRootFixture
{
public:
    StateRootFixture()
    {
        qputenv("MIC_STATE_ROOT", dir.path().toLocal8Bit());
    }
    ~StateRootFixture()
    {
        qunsetenv("MIC_STATE_ROOT");
    }

    QString root() const
    {
        return dir.path();
    }

    QString stateFile() const
    {
        return dir.filePath(QStringLiteral("var/lib/kestrel/mic.state"));
    }

    // Replaces the state file. A new inode each time, as the helper's atomic
    // writes give, so readers notice the change even within one clock tick.
    void writeState(const QByteArray &content) const
    {
        QDir().mkpath(QFileInfo(stateFile()).path());
        const QString next = stateFile() + QStringLiteral(".new");
        QFile file(next);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) != content.size()) {
            qFatal("cannot write the test state file");
        }
        file.close();
        QFile::remove(stateFile());
        QFile::rename(next, stateFile());
    }

    // A catalogue of `levels` (blank-separated) with the given "level.N = text"
    // lines and maximum level.
    void writeCatalogue(const QByteArray &levels, const QByteArray &texts = QByteArray(), uint maxLevel = 0) const
    {
        writeState("levels = " + levels + "\n" + texts + "max-ilev = " + QByteArray::number(maxLevel) + "\n");
    }

private:
    QTemporaryDir dir;
};

#endif
