// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

// What the journal costs a change: protecting a file system whose 10^5
// configured files all carry a wrong label, with the journal written ahead
// of every label and without it. Both runs relabel the same files from the
// same labels, and write the same state file.
#include "benchtable.h"

#include <changeapplier.h>
#include <changejournal.h>
#include <changerequest.h>
#include <micsystem.h>
#include <settings.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <sys/xattr.h>

using Mic::Settings::Status;

namespace
{
constexpr int fileCount = 100000;
constexpr int filesPerDirectory = 1000;
constexpr int runs = 5;

bool writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

// The files, each labelled 31 under a rule asking for 63.
bool layOutSystem(const QString &root, QStringList *paths)
{
    QByteArray config;
    for (int i = 0; i < fileCount; ++i) {
        const QString path = QStringLiteral("%1/files/d%2/f%3").arg(root).arg(i / filesPerDirectory).arg(i);
        if ((i % filesPerDirectory == 0 && !QDir().mkpath(QFileInfo(path).path())) || !writeFile(path, QByteArray())) {
            return false;
        }
        paths->append(path);
        config += "high " + path.toUtf8() + '\n';
    }
    return writeFile(root + QStringLiteral("/etc/kestrel/fs-ilev.conf"), config);
}

bool resetState(const QString &root, const QStringList &paths)
{
    for (const QString &path : paths) {
        if (::setxattr(QFile::encodeName(path).constData(), "security.kestrel.ilev", "31", 2, 0) != 0) {
            return false;
        }
    }
    // Labels 31 and 63 cover each folder: only the files are relabelled.
    for (int d = 0; d < fileCount / filesPerDirectory; ++d) {
        const QString dir = QStringLiteral("%1/files/d%2").arg(root).arg(d);
        ::setxattr(QFile::encodeName(dir).constData(), "security.kestrel.ilev", "63", 2, 0);
    }
    return writeFile(root + QStringLiteral("/var/lib/kestrel/mic.state"),
                     "levels = 0 63\nmax-ilev = 63\nmax-ilev-after-reboot = 63\nenabled = yes\nenabled-after-reboot = yes\nfs-protection = no\n");
}

// One protection run; its time, or a negative one when it failed.
double protect(const QString &root, bool withJournal)
{
    MicSystem system(root);
    QString error;
    if (!system.read(&error)) {
        qWarning("%s", qPrintable(error));
        return -1;
    }
    ChangeRequest request;
    request.protection = Status::Enabled;
    ChangeJournal journal(ChangeJournal::folderOf(root));
    ChangeApplier applier(system);
    if (withJournal) {
        applier.setJournal(&journal, {QByteArray(16, 'x'), 0, QStringLiteral("root"), QDateTime::currentDateTimeUtc(), QStringLiteral("bench"), {}});
    }
    QElapsedTimer timer;
    timer.start();
    const bool applied = applier.apply(request, &error);
    const double ms = timer.nsecsElapsed() / 1e6;
    if (!applied || applier.relabelledCount() != fileCount) {
        qWarning("protecting failed: %s (%d relabelled)", qPrintable(error), applier.relabelledCount());
        return -1;
    }
    return ms;
}
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/mic-bench-XXXXXX"));
    QStringList paths;
    if (!layOutSystem(dir.path(), &paths)) {
        qWarning("cannot lay out the files");
        return 1;
    }
    // The two take turns, so that both meet the same caches.
    QVector<double> journalled;
    QVector<double> bare;
    for (int run = 0; run < runs; ++run) {
        for (const bool withJournal : {true, false}) {
            if (!resetState(dir.path(), paths)) {
                qWarning("cannot label the files (labels need root)");
                return 1;
            }
            const double ms = protect(dir.path(), withJournal);
            if (ms < 0) {
                return 1;
            }
            (withJournal ? journalled : bare).append(ms);
        }
    }
    BenchTable::printRow(QStringLiteral("protection run with its journal"), fileCount, BenchTable::median(journalled),
                         QStringLiteral("the same run without the journal"), BenchTable::median(bare));
    return 0;
}
