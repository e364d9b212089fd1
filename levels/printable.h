// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef MIC_PRINTABLE_H
#define MIC_PRINTABLE_H

#include <QLocale>
#include <QString>

namespace Mic
{
// A name or path that came from a file or the machine, as a terminal or a
// label can show it without being driven by it. A character that cannot be
// shown (a control or format character, an unassigned one, half a surrogate
// pair) becomes \xHH, \uHHHH or \UHHHHHHHH, its code in lower-case hex. A
// backslash becomes \\ where it is followed by "x", "u", "U" or another
// backslash, or by an escape, so that each such escape reads one way; it
// stays as it is everywhere else.
QString printable(const QString &name);

// A message that may hold names escaped already: the same escapes for what
// cannot be shown, but its backslashes and line breaks as they are.
QString printableMessage(const QString &message);

// The locale whose formats dates and numbers are shown in: the system's,
// unless it has none of its own (the C locale, all a minimal system has);
// then that of the reader's language, so that a German page does not write
// its dates as "8 Dec 2026".
QLocale formatsLocale();
}

#endif
