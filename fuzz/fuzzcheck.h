// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef FUZZCHECK_H
#define FUZZCHECK_H

#include <QString>

#include <cstdio>
#include <cstdlib>
#include <cstring>

// What the fuzzers share: stopping at a broken invariant, and showing texts
// with their unprintable characters spelled out.
namespace FuzzCheck
{
inline void require(bool condition, const char *what, const QString &detail = QString())
{
    if (!condition) {
        std::fprintf(stderr, "invariant violated: %s %s\n", what, qUtf8Printable(detail));
        std::abort();
    }
}

// `write` writes the seed corpus into the folder given after
// "--write-seeds", when the command line has one; the fuzzer then ends.
template<typename Write>
void writeSeedsIfAsked(int argc, char **argv, Write write)
{
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--write-seeds") == 0) {
            write(QString::fromLocal8Bit(argv[i + 1]));
            std::exit(0);
        }
    }
}

inline QString shown(const QString &text)
{
    QString result;
    for (const QChar c : text) {
        const ushort unit = c.unicode();
        result += unit >= 0x20 && unit < 0x7f ? QString(c) : QStringLiteral("\\u%1").arg(unit, 4, 16, QLatin1Char('0'));
    }
    return QLatin1Char('"') + result + QLatin1Char('"');
}
}

#endif
