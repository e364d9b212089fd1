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
