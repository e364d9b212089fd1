#include "helperrequest.h"
#include "protocol.h"

#include <KAuth/ActionReply>
#include <KAuth/ExecuteJob>
#include <KLocalizedString>

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QDataStream>

using namespace Mic::Protocol;

namespace
{
// Whether the helper has been seen to seal its replies, by any request of
// this process: only such a helper may be sent a request again.
bool helperSeals = false;

// The signal by which KAuth's helper side reports to its clients, and the
// kinds of report it carries. Progress maps and replies both start with
// the data map.
const QString kauthInterface = QStringLiteral("org.kde.kf5auth");
const QString kauthSignal = QStringLiteral("remoteSignal");
constexpr int actionStartedSignal = 0;
constexpr int actionPerformedSignal = 1;

QVariantMap leadingMap(const QByteArray &blob)
{
    QVariantMap map;
    QDataStream stream(blob);
    stream >> map;
    return stream.status() == QDataStream::Ok ? map : QVariantMap();
}

bool isReading(const KAuth::Action &action)
{
    return action.name() == accessAction;
}
}

HelperRequest::HelperRequest(const KAuth::Action &action, QObject *parent)
    : KJob(parent)
    , action(action)
    , seal(ReplySeal::generate())
{
    QVariantMap arguments = action.arguments();
    seal.addTo(&arguments);
    arguments.insert(chunkedRepliesKey, true);
    this->action.setArguments(arguments);
    busyTimer.setSingleShot(true);
    silenceTimer.setSingleShot(true);
    silenceTimer.setInterval(silenceWait);
    // Calls can be lost on the way (KAuth drops some answers of the helper
    // and a client may go before the helper answers it); the helper serves
    // each request once, so sending it again is safe.
    connect(&silenceTimer, &QTimer::timeout, this, [this] {
        if (!acknowledged && calls < maxCalls && helperSeals) {
            call();
        }
    });
    connect(&busyTimer, &QTimer::timeout, this, [this] {
        finish(Error::Busy, i18n("The integrity control settings service is busy with another request. Try again in a moment."));
    });
}

HelperRequest::~HelperRequest()
{
    stopFollowing();
}

void HelperRequest::start()
{
    // Listening first, so that nothing the helper sends is missed.
    QDBusConnection::systemBus().connect(action.helperId(), QStringLiteral("/"), kauthInterface, kauthSignal, this,
                                         SLOT(onHelperSignal(int, QString, QByteArray)));
    // A helper that ends while it serves this request answers no more; the
    // KAuth job that would have said so may be gone.
    auto *helperWatcher = new QDBusServiceWatcher(action.helperId(), QDBusConnection::systemBus(), QDBusServiceWatcher::WatchForUnregistration, this);
    connect(helperWatcher, &QDBusServiceWatcher::serviceUnregistered, this, [this] {
        if (acknowledged) {
            finish(KAuth::ActionReply::DBusError, QString());
        }
    });
    call();
}

void HelperRequest::call()
{
    if (job) {
        disconnect(job, nullptr, this, nullptr);
        job->kill(KJob::Quietly);
    }
    ++calls;
    silenceTimer.start();
    job = action.execute(KAuth::Action::ExecuteMode);
    connect(job, &KAuth::ExecuteJob::statusChanged, this, &HelperRequest::statusChanged);
    connect(job, &KAuth::ExecuteJob::newData, this, &HelperRequest::onJobData);
    connect(job, &KJob::result, this, &HelperRequest::onJobResult);
    job->start();
}

QVariantMap HelperRequest::data() const
{
    return replyData;
}

bool HelperRequest::doKill()
{
    stopFollowing();
    return true;
}

void HelperRequest::stopFollowing()
{
    ended = true;
    busyTimer.stop();
    silenceTimer.stop();
    QDBusConnection::systemBus().disconnect(action.helperId(), QStringLiteral("/"), kauthInterface, kauthSignal, this,
                                            SLOT(onHelperSignal(int, QString, QByteArray)));
    if (job) {
        disconnect(job, nullptr, this, nullptr);
        // The helper goes on with a request it has started; only the
        // following stops.
        job->kill(KJob::Quietly);
        job.clear();
    }
}

void HelperRequest::onHelperSignal(int type, const QString &, const QByteArray &blob)
{
    if (ended) {
        return;
    }
    silenceTimer.start(); // the helper is alive and working
    if (type == actionStartedSignal) {
        // The helper takes up a request, perhaps this one: its authorization
        // may take as long as the administrator needs to type a password.
        busyTimer.stop();
        return;
    }
    const QVariantMap map = leadingMap(blob);
    helperSeals = helperSeals || ReplySeal::isSealed(map);
    if (seal.isAddressedHere(map)) {
        if (const auto payload = seal.open(map)) {
            onOwnMessage(*payload);
        }
    } else if (type == actionPerformedSignal && isOthersEnd(map, blob)) {
        othersEndSeen.start();
        onOthersEnd();
    }
}

// A plain end may be this request's own, from a helper that does not seal;
// the KAuth job takes those.
bool HelperRequest::isOthersEnd(const QVariantMap &map, const QByteArray &blob) const
{
    if (ReplySeal::isSealed(map)) {
        return true;
    }
    const KAuth::ActionReply reply = KAuth::ActionReply::deserialize(blob);
    return reply.failed() && isOthersError(reply.errorCode());
}

void HelperRequest::onOwnMessage(const QVariantMap &payload)
{
    acknowledged = true;
    busyTimer.stop();
    silenceTimer.stop();
    const QString stage = payload.value(stageKey).toString();
    if (stage == chunkStage) {
        assemble(payload.value(chunkOfKey).toString(), payload.value(chunkPartKey));
    } else if (stage == progressStage) {
        Q_EMIT newData(withAssembled(payload.value(dataKey).toMap()));
    } else if (stage == replyStage) {
        const int code = payload.value(errorKey).toInt();
        finish(code, payload.value(errorTextKey).toString(), code == 0 ? withAssembled(payload.value(dataKey).toMap()) : QVariantMap());
    }
}

void HelperRequest::assemble(const QString &key, const QVariant &part)
{
    QVariant &whole = assembled[key];
    if (part.userType() == QMetaType::QVariantHash) {
        QVariantHash table = whole.toHash();
        whole = QVariant(); // one reference to the table: inserting copies nothing
        table.insert(part.toHash());
        whole = table;
    } else {
        QStringList list = whole.toStringList();
        whole = QVariant();
        list.append(part.toStringList());
        whole = list;
    }
}

// The sets sent ahead belong to every map that follows them.
QVariantMap HelperRequest::withAssembled(QVariantMap map) const
{
    for (auto it = assembled.cbegin(); it != assembled.cend(); ++it) {
        map.insert(it.key(), it.value());
    }
    return map;
}

// The helper has finished a request that was not this one. If this one was
// turned away while the helper was busy, nothing more will come for it.
void HelperRequest::onOthersEnd()
{
    if (acknowledged) {
        return;
    }
    // Only a helper that seals serves each request once: another helper
    // would serve a call sent again a second time.
    if (calls < maxCalls && helperSeals) {
        call();
    }
    busyTimer.start(busyWait);
}

void HelperRequest::onJobData(const QVariantMap &data)
{
    // Sealed maps come through the helper's signal; plain ones only from a
    // helper that does not seal, which serves this request alone.
    if (!ReplySeal::isSealed(data) && !acknowledged) {
        Q_EMIT newData(data);
    }
}

// KAuth's job ends on the first reply to any call of the action's name, and
// reports a call KAuth could not make at all.
void HelperRequest::onJobResult(KJob *)
{
    if (ended) {
        return;
    }
    const int code = job->error();
    const QString text = job->errorText();
    const QVariantMap data = job->data();
    disconnect(job, nullptr, this, nullptr);
    job.clear();
    // The ends of others' calls are broadcast, and seen on the helper's
    // signal as well; they are handled there.
    if (code != 0) {
        if (!isOthersError(code)) {
            finish(code, text);
        } else {
            // KAuth reports some errors of its own (a helper it cannot
            // start) like the denials it broadcasts: only one seen on the
            // helper's signal too is another's. Both come from one message.
            QTimer::singleShot(50, this, [this, code, text] {
                if (!othersEndSeen.isValid() || othersEndSeen.elapsed() > 500) {
                    finish(code, text);
                }
            });
        }
        return;
    }
    if (!ReplySeal::isSealed(data)) {
        finish(0, QString(), data);
    } else if (const auto payload = seal.open(data)) {
        onOwnMessage(*payload);
    }
}

// Whether an error broadcast as the end of a call can be another client's.
// Once the helper serves this request it serves no other; before, a refusal
// of an unsealed call or a denial that polkit would not give this client
// is somebody else's.
bool HelperRequest::isOthersError(int code) const
{
    if (acknowledged) {
        return false;
    }
    if (code == Error::UnsealedRequest) {
        return true;
    }
    return code == KAuth::ActionReply::AuthorizationDeniedError && action.status() == KAuth::Action::AuthorizedStatus;
}

void HelperRequest::finish(int code, const QString &text, const QVariantMap &data)
{
    if (ended) {
        return;
    }
    stopFollowing();
    replyData = data;
    setError(code);
    if (code != 0) {
        setErrorText(inAdministratorsWords(code, text));
    }
    emitResult();
}

QString HelperRequest::inAdministratorsWords(int code, const QString &text) const
{
    const bool reading = isReading(action);
    // The D-Bus backend's own texts speak of its internals.
    if (code == KAuth::ActionReply::DBusError) {
        return reading ? i18n("The integrity control settings could not be read: the settings service could not be started, or it ended "
                              "without answering.")
                       : i18n("The integrity control settings could not be saved: the settings service could not be started, or it ended "
                              "without answering. Read the settings again to see what was saved.");
    }
    if (!text.isEmpty()) {
        return text;
    }
    switch (code) {
    case KAuth::ActionReply::AuthorizationDeniedError:
        return reading ? i18n("You are not authorized to read the integrity control settings.")
                       : i18n("You are not authorized to change the integrity control settings.");
    case KAuth::ActionReply::UserCancelledError:
        return i18n("The authorization was cancelled.");
    default:
        return reading ? i18n("The integrity control settings could not be read (error %1).", QString::number(code))
                       : i18n("The integrity control settings could not be saved (error %1).", QString::number(code));
    }
}
