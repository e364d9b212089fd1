// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

// How fast the helper checks the labels of configured files, side by side
// with getfattr reading the same attribute of the same files.
#include "benchtable.h"

#include <fsilevconfig.h>
#include <protectioncheck.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/xattr.h>

#include <algorithm>

namespace
{
constexpr int fileCount = 100000;
constexpr int filesPerDirectory = 1000;
constexpr int runs = 5;

bool layOutTree(const QString &root, QHash<QString, QString> *rules)
{
    for (int i = 0; i < fileCount; ++i) {
        const QString dir = QStringLiteral("%1/d%2").arg(root).arg(i / filesPerDirectory);
        if (i % filesPerDirectory == 0 && !QDir().mkpath(dir)) {
            return false;
        }
        const QString path = QStringLiteral("%1/f%2").arg(dir).arg(i);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly)) {
            return false;
        }
        file.close();
        // Every tenth file lacks a bit of its configured level.
        const QByteArray label(i % 10 == 0 ? "31" : "63");
        if (::setxattr(QFile::encodeName(path).constData(), "security.kestrel.ilev", label.constData(), label.size(), 0) != 0) {
            return false;
        }
        rules->insert(path, QStringLiteral("high"));
    }
    return true;
}

}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/mic-bench-XXXXXX"));
    QHash<QString, QString> rules;
    if (!layOutTree(dir.path(), &rules)) {
        qWarning("cannot lay out the files (labels need root)");
        return 1;
    }
    FsIlevConfig config = *FsIlevConfig::parse(QByteArray(), nullptr);
    if (!config.applyRuleChanges(rules)) {
        qWarning("the rules do not fit a configuration");
        return 1;
    }

    // The two take turns, so that both meet the same caches.
    QVector<double> checkTimes;
    QVector<double> baselineTimes;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer checkTimer;
        checkTimer.start();
        ProtectionCheck check(config, 63);
        check.run();
        checkTimes.append(checkTimer.nsecsElapsed() / 1e6);
        if (check.labellableCount() != fileCount / 10) {
            qWarning("wrong result: %d unprotected", int(check.labellableCount()));
            return 1;
        }

        QElapsedTimer timer;
        timer.start();
        QProcess getfattr;
        getfattr.setStandardOutputFile(QProcess::nullDevice());
        getfattr.setStandardErrorFile(QProcess::nullDevice());
        getfattr.start(QStringLiteral("getfattr"), {QStringLiteral("-R"), QStringLiteral("-h"), QStringLiteral("--absolute-names"),
                                                     QStringLiteral("-n"), QStringLiteral("security.kestrel.ilev"), dir.path()});
        getfattr.waitForFinished(-1);
        baselineTimes.append(timer.nsecsElapsed() / 1e6);
    }

    const double check = BenchTable::median(checkTimes);
    const double baseline = BenchTable::median(baselineTimes);
    BenchTable::printRow(QStringLiteral("protection check (files/s %1)").arg(qRound(fileCount / (check / 1000))),
                         fileCount, check, QStringLiteral("getfattr -R"), baseline);
    return 0;
}
