// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef JSONKEYS_H
#define JSONKEYS_H

#include <QByteArray>
#include <QString>

#include <optional>

namespace Mic
{
// Of a key given twice in one object Qt's JSON parser keeps one value and
// drops the other without a word, and loses the memory of a dropped object
// or array: a file with two "rules" objects, or a user given twice, would
// lose a part silently. Keys are compared as the parser reads them. Looked for before the text is parsed;
// in a text that is not JSON it may find a key where there is none, which
// refuses the file as its parse would.
std::optional<QString> repeatedJsonKey(const QByteArray &json);
}

#endif
