// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef REPLYCHANNEL_H
#define REPLYCHANNEL_H

#include <replyseal.h>

class FsIlevConfig;

#include <actionreply.h>

#include <QVariantMap>

#include <optional>

/*
 * How the helper answers one request: every progress map and the final
 * reply sealed with the request's key and marked with its id, errors too,
 * so that a listener on the system bus learns nothing and no other client
 * takes them for its own. The maps sent ahead of the reply go to the client
 * alone when it named its connection; otherwise, and for the reply, KAuth
 * broadcasts them, sealed.
 */
class ReplyChannel
{
public:
    // The channel of a request; nothing, with the error reply to give, when
    // the request carries no valid seal.
    static std::optional<ReplyChannel> forRequest(const QVariantMap &args, Mic::ActionReply *refusal);

    // Tells the client that its request, not another's, is being served.
    void started() const;
    void progress(const QVariantMap &map) const;
    // Whether the client takes large sets in chunks sent ahead.
    bool takesChunks() const;
    // Send a list of texts, or the rules of a configuration straight from
    // it, ahead in chunks under `key` (the client must take chunks).
    void sendListAhead(const QString &key, const QStringList &list) const;
    void sendRulesAhead(const QString &key, const FsIlevConfig &config) const;
    Mic::ActionReply reply(const QVariantMap &data) const;
    // The request's seal; none for a helper that answers in the clear.
    const std::optional<ReplySeal> &requestSeal() const;
    Mic::ActionReply error(int code, const QString &text) const;

private:
    ReplyChannel(const std::optional<ReplySeal> &seal, bool chunked, const QString &client = QString(), bool asText = false);
    void sendRulesAsText(const QString &key, const FsIlevConfig &config) const;
    void sendListAsText(const QString &key, const QStringList &list) const;
    void sendRulesAsEntries(const QString &key, const FsIlevConfig &config) const;
    void sendChunk(const QString &key, const QVariant &part) const;
    // A map for the client alone when its bus name is known, else as KAuth
    // sends progress maps, to all.
    void send(const QVariantMap &map) const;
    Mic::ActionReply sealedReply(const QVariantMap &payload) const;
    // What keeps `map` from one message of the bus, or nothing.
    static QString tooLargeProblem(const QVariantMap &map);

    // None for a helper that answers in the clear: test builds act so while
    // the file named by MIC_HELPER_TEST_PLAIN exists, to stand for a helper
    // that knows only the plain maps.
    std::optional<ReplySeal> seal;
    bool chunked = false;
    bool asText = false;
    // The unique bus name of the client, when it gave a valid one.
    QString client;
    // The sealed maps sent ahead of the end, which the end counts.
    mutable int sentAhead = 0;
};

#endif
