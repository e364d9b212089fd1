// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

// How fast the helper reads fs-ilev.conf, beside splitting the same file
// into its lines.
#include "benchtable.h"

#include <fsilevconfig.h>

#include <QCoreApplication>
#include <QElapsedTimer>

namespace
{
constexpr int lineCount = 1000000;
constexpr int runs = 5;

// Rules of every level form, exceptions and comments, as a real file has.
QByteArray configuration()
{
    static const char *const levels[] = {"63", "high", "max", "0x1f", "017", "0b111", "low", "7"};
    QByteArray text = "# the integrity levels of the system's files\n";
    text.reserve(lineCount * 48);
    for (int i = 0; i < lineCount; ++i) {
        const QByteArray path = "/usr/lib/x86_64-linux-gnu/d" + QByteArray::number(i / 1000) + "/lib-" + QByteArray::number(i) + ".so";
        if (i % 10 == 9) {
            text += "exception " + path + '\n';
        } else {
            text += QByteArray(levels[i % 8]) + ' ' + path + '\n';
        }
    }
    return text;
}
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QByteArray text = configuration();
    QVector<double> parse;
    QVector<double> split;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer clock;
        clock.start();
        const auto config = FsIlevConfig::parse(text, nullptr);
        parse.append(clock.nsecsElapsed() / 1e6);
        if (!config) {
            qFatal("the benchmark's configuration does not parse");
        }
        clock.restart();
        const QList<QByteArray> lines = text.split('\n');
        split.append(clock.nsecsElapsed() / 1e6);
        if (lines.size() < lineCount) {
            qFatal("too few lines");
        }
    }
    const double ms = BenchTable::median(parse);
    BenchTable::printRow(QStringLiteral("reading fs-ilev.conf (%1 µs per line)").arg(ms * 1000 / lineCount, 0, 'f', 2),
                         lineCount,
                         ms,
                         QStringLiteral("splitting it into lines"),
                         BenchTable::median(split));
    return 0;
}
