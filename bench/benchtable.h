// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef BENCHTABLE_H
#define BENCHTABLE_H

#include <QString>
#include <QVector>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>

// One row of the table that bench/run prints: what was measured, its size,
// the median time, the peak memory of the process and the ratio against the
// baseline measured beside it.
namespace BenchTable
{
inline double median(QVector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

inline long peakMemoryKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// The peak of this address space alone: unlike the process's peak, it
// leaves out the process this one was forked from before it ran this program.
inline long addressSpacePeakKiB()
{
    FILE *status = std::fopen("/proc/self/status", "r");
    long kib = 0;
    char line[256];
    while (status && std::fgets(line, sizeof line, status)) {
        if (std::sscanf(line, "VmHWM: %ld kB", &kib) == 1) {
            break;
        }
    }
    if (status) {
        std::fclose(status);
    }
    return kib;
}

inline void printRow(const QString &what, long size, double ms, const QString &baseline, double baselineMs)
{
    std::printf("| %s | %ld | %.1f ms | %.1f MiB | %s: %.1f ms | %.2f |\n",
                qPrintable(what),
                size,
                ms,
                peakMemoryKiB() / 1024.0,
                qPrintable(baseline),
                baselineMs,
                baselineMs > 0 ? ms / baselineMs : 0.0);
    std::fflush(stdout);
}
}

#endif
