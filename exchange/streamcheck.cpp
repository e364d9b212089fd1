// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "streamcheck.h"

#include <QtEndian>

namespace
{
// The type ids of Qt 5's QMetaType, as its stream form carries them (Qt 6
// keeps them for these types).
enum TypeId : quint32 {
    Invalid = 0,
    Bool = 1,
    Int = 2,
    UInt = 3,
    LongLong = 4,
    ULongLong = 5,
    Double = 6,
    Character = 7, // QChar
    VariantMap = 8,
    VariantList = 9,
    String = 10,
    StringList = 11,
    ByteArray = 12,
    VariantHash = 28,
    Long = 32,
    Short = 33,
    Char = 34,
    ULong = 35,
    UShort = 36,
    UChar = 37,
    Nullptr = 51, // Qt 6 gives JSON's null as one
};

constexpr quint32 nullSize = 0xffffffff;

// A walk over the bytes that fails as soon as anything would be read beyond
// them.
class Walk
{
public:
    explicit Walk(const QByteArray &bytes)
        : bytes(bytes)
    {
    }

    bool atEnd() const
    {
        return position == bytes.size();
    }

    bool skip(quint64 size)
    {
        if (size > quint64(bytes.size() - position)) {
            return false;
        }
        position += qsizetype(size);
        return true;
    }

    bool number(quint32 *value)
    {
        if (bytes.size() - position < 4) {
            return false;
        }
        *value = qFromBigEndian<quint32>(bytes.constData() + position);
        position += 4;
        return true;
    }

    // A count of elements of at least `minSize` bytes each, which must all
    // fit in what is left.
    bool count(quint32 *value, quint64 minSize)
    {
        return number(value) && quint64(*value) * minSize <= quint64(bytes.size() - position);
    }

    bool byteArray()
    {
        quint32 size = 0;
        return number(&size) && (size == nullSize || skip(size));
    }

    bool string()
    {
        quint32 size = 0;
        return number(&size) && (size == nullSize || (size % 2 == 0 && skip(size)));
    }

    bool stringList()
    {
        quint32 strings = 0;
        if (!count(&strings, 4)) {
            return false;
        }
        for (quint32 i = 0; i < strings; ++i) {
            if (!string()) {
                return false;
            }
        }
        return true;
    }

    // A QVariant: its type, whether it is null, then its value.
    bool variant(int depth)
    {
        quint32 type = 0;
        if (!number(&type) || !skip(1)) {
            return false;
        }
        switch (type) {
        case Invalid:
        case Nullptr:
            return true;
        case Bool:
        case Char:
        case UChar:
            return skip(1);
        case Character:
        case Short:
        case UShort:
            return skip(2);
        case Int:
        case UInt:
            return skip(4);
        case LongLong:
        case ULongLong:
        case Double:
        case Long:
        case ULong:
            return skip(8);
        case String:
            return string();
        case ByteArray:
            return byteArray();
        case StringList:
            return stringList();
        case VariantList:
            return list(depth + 1);
        case VariantMap:
        case VariantHash:
            return map(depth + 1);
        default:
            return false;
        }
    }

    bool list(int depth)
    {
        quint32 entries = 0;
        // Each entry takes at least its type and null flag.
        if (depth > Mic::StreamCheck::maxDepth || !count(&entries, 5)) {
            return false;
        }
        for (quint32 i = 0; i < entries; ++i) {
            if (!variant(depth)) {
                return false;
            }
        }
        return true;
    }

    bool map(int depth)
    {
        quint32 entries = 0;
        // Each entry takes at least its key's size, its type and null flag.
        if (depth > Mic::StreamCheck::maxDepth || !count(&entries, 9)) {
            return false;
        }
        for (quint32 i = 0; i < entries; ++i) {
            if (!string() || !variant(depth)) {
                return false;
            }
        }
        return true;
    }

private:
    const QByteArray &bytes;
    qsizetype position = 0;
};
}

bool Mic::StreamCheck::isMap(const QByteArray &bytes)
{
    Walk walk(bytes);
    return walk.map(0) && walk.atEnd();
}

bool Mic::StreamCheck::isReply(const QByteArray &bytes)
{
    Walk walk(bytes);
    return walk.map(0) && walk.skip(4) && walk.skip(4) && walk.string() && walk.atEnd();
}
