#include "replychannel.h"
#include "helpererror.h"

#include <protocol.h>

#include <KAuth/HelperSupport>

#include <QFile>
#include <QSet>

using namespace Mic::Protocol;

namespace
{
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

ReplyChannel::ReplyChannel(const std::optional<ReplySeal> &seal)
    : seal(seal)
{
}

std::optional<ReplyChannel> ReplyChannel::forRequest(const QVariantMap &args, KAuth::ActionReply *refusal)
{
    if (answersInTheClear()) {
        return ReplyChannel(std::nullopt);
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
        *refusal = ReplyChannel(*seal).sealedReply({{stageKey, repeatedStage}});
        return std::nullopt;
    }
    served.insert(seal->requestId());
    return ReplyChannel(*seal);
}

void ReplyChannel::started() const
{
    if (seal) {
        KAuth::HelperSupport::progressStep(seal->seal({{stageKey, startedStage}}));
    }
}

void ReplyChannel::progress(const QVariantMap &map) const
{
    KAuth::HelperSupport::progressStep(seal ? seal->seal({{stageKey, progressStage}, {dataKey, map}}) : map);
}

KAuth::ActionReply ReplyChannel::sealedReply(const QVariantMap &payload) const
{
    // Sealed errors travel as successful replies: KAuth drops the data of a
    // failed one, and its error text would be readable by all.
    KAuth::ActionReply reply = KAuth::ActionReply::SuccessReply();
    reply.setData(seal->seal(payload));
    return reply;
}

KAuth::ActionReply ReplyChannel::reply(const QVariantMap &data) const
{
    if (!seal) {
        KAuth::ActionReply plain = KAuth::ActionReply::SuccessReply();
        plain.setData(data);
        return plain;
    }
    return sealedReply({{stageKey, replyStage}, {dataKey, data}});
}

KAuth::ActionReply ReplyChannel::error(int code, const QString &text) const
{
    if (!seal) {
        return errorReply(static_cast<HelperError>(code), text);
    }
    return sealedReply({{stageKey, replyStage}, {errorKey, code}, {errorTextKey, text}});
}
