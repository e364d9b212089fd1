// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "replyseal.h"
#include "protocol.h"
#include "streamcheck.h"

#include <texts.h>

#include <QDataStream>
#include <QIODevice>

#include <sodium.h>

using namespace Mic::Texts;

using namespace Mic::Protocol;

namespace
{
static_assert(replyKeySize == crypto_secretbox_KEYBYTES, "the reply key is a secretbox key");

void initialiseSodium()
{
    // Safe to call from anywhere, any number of times.
    if (sodium_init() < 0) {
        qFatal("libsodium cannot be initialised");
    }
}

QByteArray randomBytes(int size)
{
    initialiseSodium();
    QByteArray bytes(size, Qt::Uninitialized);
    randombytes_buf(bytes.data(), std::size_t(size));
    return bytes;
}

QByteArray encode(const QVariantMap &map)
{
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    stream.setVersion(QDataStream::Qt_5_15);
    stream << map;
    return bytes;
}

std::optional<QVariantMap> decode(const QByteArray &bytes)
{
    if (!Mic::StreamCheck::isMap(bytes)) {
        return std::nullopt;
    }
    QVariantMap map;
    QDataStream stream(bytes);
    stream.setVersion(QDataStream::Qt_5_15);
    stream >> map;
    if (stream.status() != QDataStream::Ok) {
        return std::nullopt;
    }
    return map;
}

// A single value of the given type under the key, as a crafted stream may
// give a key twice or with another type.
std::optional<QByteArray> bytesUnder(const QVariantMap &map, const QString &key, int size)
{
    if (map.count(key) != 1) {
        return std::nullopt;
    }
    const QVariant value = map.value(key);
    if (value.userType() != QMetaType::QByteArray || (size >= 0 && value.toByteArray().size() != size)) {
        return std::nullopt;
    }
    return value.toByteArray();
}
}

ReplySeal::ReplySeal(const QByteArray &requestId, const QByteArray &key)
    : id(requestId)
    , key(key)
{
}

ReplySeal ReplySeal::generate()
{
    return ReplySeal(randomBytes(requestIdSize), randomBytes(replyKeySize));
}

std::optional<ReplySeal> ReplySeal::fromRequest(const QVariantMap &request, QString *error)
{
    const auto id = bytesUnder(request, requestIdKey, requestIdSize);
    const auto key = bytesUnder(request, replyKeyKey, replyKeySize);
    if (!id || !key) {
        *error = i18n("The request carries no valid reply key. The settings are sent only sealed for the client that asks for them; "
                      "this client is too old for the helper.");
        return std::nullopt;
    }
    return ReplySeal(*id, *key);
}

bool ReplySeal::isSealed(const QVariantMap &message)
{
    return message.contains(sealedKey) && message.contains(requestIdKey);
}

void ReplySeal::addTo(QVariantMap *request) const
{
    request->insert(requestIdKey, id);
    request->insert(replyKeyKey, key);
}

QByteArray ReplySeal::requestId() const
{
    return id;
}

// A nonce, then the box.
QByteArray ReplySeal::sealBytes(const QByteArray &plain) const
{
    QByteArray sealed = randomBytes(crypto_secretbox_NONCEBYTES);
    sealed.resize(crypto_secretbox_NONCEBYTES + crypto_secretbox_MACBYTES + plain.size());
    auto *nonce = reinterpret_cast<unsigned char *>(sealed.data());
    crypto_secretbox_easy(nonce + crypto_secretbox_NONCEBYTES,
                          reinterpret_cast<const unsigned char *>(plain.constData()),
                          std::size_t(plain.size()),
                          nonce,
                          reinterpret_cast<const unsigned char *>(key.constData()));
    return sealed;
}

std::optional<QByteArray> ReplySeal::openBytes(const QByteArray &sealed) const
{
    constexpr int overhead = crypto_secretbox_NONCEBYTES + crypto_secretbox_MACBYTES;
    if (sealed.size() < overhead) {
        return std::nullopt;
    }
    QByteArray plain(sealed.size() - overhead, Qt::Uninitialized);
    const auto *nonce = reinterpret_cast<const unsigned char *>(sealed.constData());
    if (crypto_secretbox_open_easy(reinterpret_cast<unsigned char *>(plain.data()),
                                   nonce + crypto_secretbox_NONCEBYTES,
                                   std::size_t(sealed.size() - crypto_secretbox_NONCEBYTES),
                                   nonce,
                                   reinterpret_cast<const unsigned char *>(key.constData()))
        != 0) {
        return std::nullopt;
    }
    return plain;
}

QVariantMap ReplySeal::seal(const QVariantMap &payload) const
{
    QVariantMap bound = payload;
    bound.insert(requestIdKey, id);
    return {{requestIdKey, id}, {sealedKey, sealBytes(encode(bound))}};
}

bool ReplySeal::isAddressedHere(const QVariantMap &message) const
{
    return bytesUnder(message, requestIdKey, requestIdSize) == id;
}

std::optional<QVariantMap> ReplySeal::open(const QVariantMap &message) const
{
    const auto sealed = bytesUnder(message, sealedKey, -1);
    const auto plain = isAddressedHere(message) && sealed ? openBytes(*sealed) : std::nullopt;
    if (!plain) {
        return std::nullopt;
    }
    std::optional<QVariantMap> payload = decode(*plain);
    if (!payload || payload->value(requestIdKey).toByteArray() != id) {
        return std::nullopt;
    }
    payload->remove(requestIdKey);
    return payload;
}

namespace
{
// The word a stop seals, bound to its request.
QByteArray stopWord(const QByteArray &requestId)
{
    return stopStage.toLatin1() + requestId;
}

// The request id, then the sealed word.
constexpr int stopSize = requestIdSize + crypto_secretbox_NONCEBYTES + crypto_secretbox_MACBYTES + 4 + requestIdSize;
constexpr int stopBase64Size = (stopSize + 2) / 3 * 4;
}

QString ReplySeal::stopToken() const
{
    const QByteArray stop = id + sealBytes(stopWord(id));
    return stopPrefix + QString::fromLatin1(stop.toBase64());
}

bool ReplySeal::isStopToken(const QString &token) const
{
    if (token.size() != stopPrefix.size() + stopBase64Size || !token.startsWith(stopPrefix)) {
        return false;
    }
    const auto decoded = QByteArray::fromBase64Encoding(token.mid(stopPrefix.size()).toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.size() != stopSize || !decoded.decoded.startsWith(id)) {
        return false;
    }
    return openBytes(decoded.decoded.mid(requestIdSize)) == stopWord(id);
}
