// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef MIC_STREAMCHECK_H
#define MIC_STREAMCHECK_H

#include <QByteArray>

/*
 * Whether bytes from the bus may be handed to QDataStream. Its readers take
 * counts and sizes from the input and reserve room for them before they
 * read a single element: a list that claims two thousand million entries
 * ends the process. These checks walk the bytes first, in the stream form
 * of Qt 5.15, and admit only what holds no count beyond the bytes that
 * follow it, nests no deeper than `maxDepth`, and carries only the plain
 * types the helper and its clients send (no type named by the sender, whose
 * reader would be any registered type's).
 */
namespace Mic::StreamCheck
{
constexpr int maxDepth = 16;

// A QVariantMap and nothing after it.
bool isMap(const QByteArray &bytes);
// A reply as KAuth lays it out: a QVariantMap, an int, a quint32 and a
// QString, and nothing after them.
bool isReply(const QByteArray &bytes);
}

#endif
