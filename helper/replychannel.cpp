// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "replychannel.h"
#include "helpererror.h"
#include "helperservice.h"

#include <fsilevconfig.h>

#include <kauthwire.h>
#include <protocol.h>

#include <texts.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDataStream>
#include <QFile>
#include <QRegularExpression>
#include <QSet>

#include <functional>
#include <vector>

using namespace Mic::Texts;

using namespace Mic::Protocol;

namespace
{
// A unique connection name as the bus gives them (":1.42"). A name that is
// not the caller's own only sends the caller's sealed maps elsewhere, where
// nobody can open them.
bool isUniqueBusName(const QString &name)
{
    static const QRegularExpression unique(QStringLiteral("^:[A-Za-z0-9_-]+(\\.[A-Za-z0-9_-]+)+$"));
    return name.size() <= 255 && unique.match(name).hasMatch();
}

bool answersInTheClear()
{
#ifdef MIC_HELPER_TEST_HOOKS
    const QString plain = qEnvironmentVariable("MIC_HELPER_TEST_PLAIN");
    return !plain.isEmpty() && QFile::exists(plain);
#else
    return false;
#endif
}
}

ReplyChannel::ReplyChannel(const std::optional<ReplySeal> &seal, bool chunked, const QString &client, bool asText)
    : seal(seal)
    , chunked(seal && chunked)
    , asText(asText)
    , client(seal ? client : QString())
{
}

std::optional<ReplyChannel> ReplyChannel::forRequest(const QVariantMap &args, Mic::ActionReply *refusal)
{
    if (answersInTheClear()) {
        return ReplyChannel(std::nullopt, false);
    }
    QString error;
    const std::optional<ReplySeal> seal = ReplySeal::fromRequest(args, &error);
    if (!seal) {
        *refusal = errorReply(HelperError::UnsealedRequest, error);
        return std::nullopt;
    }
    // A client sends its request again when it may have been turned away
    // as busy; the one that got through first is the one served.
    static QSet<QByteArray> served;
    if (served.contains(seal->requestId())) {
        *refusal = ReplyChannel(*seal, false).sealedReply({{stageKey, repeatedStage}});
        return std::nullopt;
    }
    served.insert(seal->requestId());
    const QVariant chunks = args.value(chunkedRepliesKey);
    const QVariant client = args.value(replyToKey);
    if (client.isValid() && !(client.userType() == QMetaType::QString && isUniqueBusName(client.toString()))) {
        *refusal = ReplyChannel(*seal, false)
                       .error(int(HelperError::InvalidRequest),
                              i18n("The reply address \"%1\" is not the name of a connection to the system bus.", client.toString()));
        return std::nullopt;
    }
    const auto isTrue = [](const QVariant &value) {
        return value.userType() == QMetaType::Bool && value.toBool();
    };
    return ReplyChannel(*seal, isTrue(chunks), client.toString(), isTrue(args.value(chunksAsTextKey)));
}

void ReplyChannel::send(const QVariantMap &map) const
{
    ++sentAhead;
    if (client.isEmpty()) {
        HelperService::broadcastProgress(map);
        return;
    }
    const QByteArray blob = Mic::KAuthWire::streamed(map);
    QDBusMessage message = QDBusMessage::createTargetedSignal(client, QStringLiteral("/"), replyInterface, replyMember);
    message << blob;
    QDBusConnection::systemBus().send(message);
}

void ReplyChannel::started() const
{
    if (seal) {
        send(seal->seal({{stageKey, startedStage}}));
    }
}

void ReplyChannel::progress(const QVariantMap &map) const
{
    // A map too large for the bus is left out: the reply, larger still,
    // says why.
    if (!tooLargeProblem(map).isEmpty()) {
        return;
    }
    send(seal ? seal->seal({{stageKey, progressStage}, {dataKey, map}}) : map);
}

void ReplyChannel::sendChunk(const QString &key, const QVariant &part) const
{
    send(seal->seal({{stageKey, chunkStage}, {chunkOfKey, key}, {chunkPartKey, part}}));
}

namespace
{
// Gathers the entries of one set into chunks of at most about
// maxChunkBytes of text, and sends each when full and the last at the end
// (an empty set still sends one, so that the client knows it).
template<typename Part>
class ChunkGatherer
{
public:
    explicit ChunkGatherer(const std::function<void(const Part &)> &send)
        : send(send)
    {
    }
    ~ChunkGatherer()
    {
        send(part);
    }
    Part &current()
    {
        return part;
    }
    void counted(int characters)
    {
        bytes += characters * int(sizeof(QChar)) + 16;
        if (bytes >= maxChunkBytes) {
            send(part);
            part.clear();
            bytes = 0;
        }
    }

private:
    std::function<void(const Part &)> send;
    Part part;
    int bytes = 0;
};
}

const std::optional<ReplySeal> &ReplyChannel::requestSeal() const
{
    return seal;
}

bool ReplyChannel::takesChunks() const
{
    return chunked;
}

void ReplyChannel::sendListAhead(const QString &key, const QStringList &list) const
{
    if (asText) {
        sendListAsText(key, list);
        return;
    }
    ChunkGatherer<QStringList> chunks([&](const QStringList &part) {
        sendChunk(key, part);
    });
    for (const QString &text : list) {
        chunks.current().append(text);
        chunks.counted(text.size());
    }
}

void ReplyChannel::sendListAsText(const QString &key, const QStringList &list) const
{
    QByteArray part;
    const auto send = [&] {
        sendChunk(key, QVariantMap{{textsKey, part}});
        part.clear();
    };
    for (const QString &text : list) {
        part += text.toUtf8();
        part += '\0';
        if (part.size() >= maxChunkBytes) {
            send();
        }
    }
    send(); // the last, and for an empty list the one that says so
}

// The rules go straight from the configuration: no table is built to be
// sent.
void ReplyChannel::sendRulesAhead(const QString &key, const FsIlevConfig &config) const
{
    if (asText) {
        sendRulesAsText(key, config);
    } else {
        sendRulesAsEntries(key, config);
    }
}

void ReplyChannel::sendRulesAsText(const QString &key, const FsIlevConfig &config) const
{
    QByteArray part;
    // Room for a whole chunk, kept from chunk to chunk.
    part.reserve(maxChunkBytes + 4096);
    const auto send = [&] {
        sendChunk(key, QVariantMap{{rulesTextKey, part}});
        part.resize(0);
    };
    // A file uses a handful of level strings, each encoded once (the rules
    // of one share its text); a file of many more has the rest encoded
    // rule by rule.
    std::vector<std::pair<QString, QByteArray>> levels;
    const auto bytesOf = [&levels](const QString &level) {
        for (const auto &[known, bytes] : levels) {
            if (known.constData() == level.constData() || known == level) {
                return bytes;
            }
        }
        const QByteArray bytes = level.toUtf8();
        if (levels.size() < 64) {
            levels.emplace_back(level, bytes);
        }
        return bytes;
    };
    config.forEachRule([&](std::string_view path, const QString &ruleLevel) {
        part += bytesOf(ruleLevel);
        part += ' ';
        part.append(path.data(), int(path.size()));
        part += '\n';
        if (part.size() >= maxChunkBytes) {
            send();
        }
    });
    send(); // the last, and for an empty set the one that says so
}

void ReplyChannel::sendRulesAsEntries(const QString &key, const FsIlevConfig &config) const
{
    QByteArray part;
    QDataStream stream(&part, QIODevice::WriteOnly);
    stream.setVersion(tableStreamVersion);
    quint32 entries = 0;
    const auto send = [&] {
        // The count leads the entries, as in a table's own form.
        QDataStream count(&part, QIODevice::ReadWrite);
        count.setVersion(tableStreamVersion);
        count << entries;
        sendChunk(key, part);
        part.clear();
        stream.device()->seek(0);
        stream << quint32(0);
        entries = 0;
    };
    stream << quint32(0);
    config.forEachRule([&](std::string_view path, const QString &level) {
        stream << QString::fromUtf8(path.data(), int(path.size())) << QVariant(level);
        ++entries;
        if (part.size() >= maxChunkBytes) {
            send();
        }
    });
    send(); // the last, and for an empty set the one that says so
}

Mic::ActionReply ReplyChannel::sealedReply(const QVariantMap &payload) const
{
    // Sealed errors travel as successful replies: KAuth drops the data of a
    // failed one, and its error text would be readable by all.
    QVariantMap counted = payload;
    counted.insert(sentAheadKey, sentAhead);
    Mic::ActionReply reply = Mic::ActionReply::SuccessReply();
    reply.setData(seal->seal(counted));
    return reply;
}

namespace
{
int streamedSize(const QVariant &value)
{
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    stream.setVersion(Mic::KAuthWire::streamVersion);
    stream << value;
    return bytes.size();
}
}

QString ReplyChannel::tooLargeProblem(const QVariantMap &map)
{
    if (streamedSize(map) <= maxMessageBytes) {
        return QString();
    }
    QString largest;
    int largestSize = 0;
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        const int size = streamedSize(it.value());
        if (size > largestSize) {
            largest = it.key();
            largestSize = size;
        }
    }
    return i18n("The settings are too large to be sent at once: \"%1\" takes %2 MiB, and the system bus carries at most about 32 MiB in one "
                "message. A client that takes them in parts can read them.",
                largest,
                QString::number(largestSize / (1024.0 * 1024.0), 'f', 1));
}

Mic::ActionReply ReplyChannel::reply(const QVariantMap &data) const
{
    if (const QString problem = tooLargeProblem(data); !problem.isEmpty()) {
        return error(int(HelperError::TooLarge), problem);
    }
    if (!seal) {
        Mic::ActionReply plain = Mic::ActionReply::SuccessReply();
        plain.setData(data);
        return plain;
    }
    return sealedReply({{stageKey, replyStage}, {dataKey, data}});
}

Mic::ActionReply ReplyChannel::error(int code, const QString &text) const
{
    if (!seal) {
        return errorReply(static_cast<HelperError>(code), text);
    }
    return sealedReply({{stageKey, replyStage}, {errorKey, code}, {errorTextKey, text}});
}
