// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef REPLYSEAL_H
#define REPLYSEAL_H

#include <QByteArray>
#include <QVariantMap>

#include <optional>

/*
 * The id and key of one request, and the sealing of the maps sent about it
 * (libsodium's secretbox: XSalsa20 with Poly1305, a fresh nonce each time).
 * The client makes one with generate() and adds it to its request; the
 * helper takes it from the request and seals what it sends; the client
 * opens only what its own seal opens.
 */
class ReplySeal
{
public:
    static ReplySeal generate();
    // The seal a request carries; nothing, with *error, when it has none or
    // a malformed one.
    static std::optional<ReplySeal> fromRequest(const QVariantMap &request, QString *error);
    // Whether a map is sealed (by any request's seal).
    static bool isSealed(const QVariantMap &message);

    void addTo(QVariantMap *request) const;
    QByteArray requestId() const;

    QVariantMap seal(const QVariantMap &payload) const;
    // Whether the map is marked as this request's (it may still not open).
    bool isAddressedHere(const QVariantMap &message) const;
    // The payload of a map sealed with this key; nothing for any other map.
    std::optional<QVariantMap> open(const QVariantMap &message) const;

    // What a client sends the helper to stop this request (see stopPrefix),
    // and whether a text anyone may send is that. A stop has a fixed size
    // and layout (the request id, a nonce and the sealed word), taken apart
    // without a stream reader: anyone may send one.
    QString stopToken() const;
    bool isStopToken(const QString &token) const;

private:
    ReplySeal(const QByteArray &requestId, const QByteArray &key);
    QByteArray sealBytes(const QByteArray &plain) const;
    std::optional<QByteArray> openBytes(const QByteArray &sealed) const;

    QByteArray id;
    QByteArray key;
};

#endif
