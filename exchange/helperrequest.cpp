// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "helperrequest.h"
#include "kauthwire.h"
#include "protocol.h"

#include <texts.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDataStream>
#include <QRandomGenerator>

#include <dbus/dbus.h>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <algorithm>
#include <clocale>
#include <limits>

using namespace Mic::Texts;

using namespace Mic::Protocol;

namespace
{
// How KAuth's helper side is called and reports to its clients, and the
// kinds of report its signal carries. Progress maps and replies both start
// with the data map.
const QString &kauthInterface = Mic::KAuthWire::ownInterface;
const QString kauthSignal = QStringLiteral("remoteSignal");
const QString kauthMethod = QStringLiteral("performAction");
constexpr int progressDataSignal = 4;

QVariantMap leadingMap(const QByteArray &blob)
{
    return Mic::KAuthWire::mapOf(blob);
}

QByteArray serialized(const QVariantMap &map)
{
    return Mic::KAuthWire::streamed(map);
}

bool isReading(const Mic::HelperAction &action)
{
    return action.name() == accessAction;
}

// libdbus stops reading a connection once the messages it has received and
// that are still held reach a limit (63 MiB by default), and reads on when
// they are let go. Qt lets go of a signal's message in the thread that takes
// the signal, and Qt 5 cannot turn the reading back on from there: with the
// main thread busy while tens of megabytes of chunks came in, the connection
// stopped reading for good. What a request holds is bounded by the helper's
// replies, so the limit goes.
void keepReadingWhileBusy(const QDBusConnection &bus)
{
    if (auto *connection = static_cast<DBusConnection *>(bus.internalPointer())) {
        dbus_connection_set_max_received_size(connection, std::numeric_limits<long>::max());
    }
}
}

HelperRequest::HelperRequest(const Mic::HelperAction &action, QObject *parent)
    : KJob(parent)
    , action(action)
    , seal(ReplySeal::generate())
{
    QVariantMap arguments = action.arguments();
    seal.addTo(&arguments);
    arguments.insert(chunkedRepliesKey, true);
    // Unless the caller asks for the streamed form, which helpers before
    // the text form sent.
    if (!arguments.contains(chunksAsTextKey)) {
        arguments.insert(chunksAsTextKey, true);
    }
    // The progress maps and chunks come to this connection alone.
    arguments.insert(replyToKey, QDBusConnection::systemBus().baseService());
    this->action.setArguments(arguments);
    missingTimer.setSingleShot(true);
    connect(&missingTimer, &QTimer::timeout, this, &HelperRequest::onMissingMaps);
    deadlineTimer.setSingleShot(true);
    connect(&deadlineTimer, &QTimer::timeout, this, &HelperRequest::onDeadline);
}

HelperRequest::~HelperRequest()
{
    stopFollowing();
}

QString HelperRequest::systemBusProblem()
{
    if (QDBusConnection::systemBus().isConnected()) {
        return QString();
    }
    return i18n("The system bus cannot be reached (%1), so the integrity control settings cannot be read or changed.",
                QDBusConnection::systemBus().lastError().message());
}

namespace
{
// glibc raises its threshold for mapping a large block each time it frees
// one: the chunks of a large reply (2 MiB each, taken in on the bus's
// thread) then come from the heaps, whose freed space the process keeps, a
// third more than the settings themselves at a million rules. A threshold
// that stays keeps such blocks mapped and gives them back when freed.
void keepLargeBlocksMapped()
{
#ifdef __GLIBC__
    static const bool set = mallopt(M_MMAP_THRESHOLD, 1024 * 1024) == 1;
    Q_UNUSED(set)
#endif
}
}

void HelperRequest::start()
{
    keepLargeBlocksMapped();
    // Before anything asks the authorization service, which is reached over
    // the same bus and would only say it is missing.
    const QString busProblem = systemBusProblem();
    if (!busProblem.isEmpty()) {
        QTimer::singleShot(0, this, [this, busProblem] {
            finish(Mic::ActionReply::BackendError, busProblem);
        });
        return;
    }
    if (!action.isValid()) {
        QTimer::singleShot(0, this, [this] {
            finish(Mic::ActionReply::InvalidActionError, QString());
        });
        return;
    }
    const int size = serialized(action.arguments()).size();
    if (size > maxMessageBytes) {
        QTimer::singleShot(0, this, [this, size] {
            finish(Error::TooLarge,
                   i18n("The changes are too large to be sent at once (%1 MiB; the system bus carries at most about 32 MiB in one message). "
                        "Apply them in smaller parts.",
                        QString::number(size / (1024.0 * 1024.0), 'f', 1)));
        });
        return;
    }
    keepReadingWhileBusy(QDBusConnection::systemBus());
    sinceStart.start();
    deadlineTimer.start(action.timeout() > 0 ? action.timeout() : defaultDeadline);
    startHelper();
    // Listening first, so that nothing the helper sends is missed.
    QDBusConnection::systemBus().connect(action.helperId(), QStringLiteral("/"), kauthInterface, kauthSignal, this,
                                         SLOT(onHelperSignal(int,QString,QByteArray)));
    QDBusConnection::systemBus().connect(action.helperId(), QStringLiteral("/"), replyInterface, replyMember, this, SLOT(onMessageForThisClient(QByteArray)));
    // A helper that ends while it serves this request answers no more.
    auto *helperWatcher = new QDBusServiceWatcher(action.helperId(), QDBusConnection::systemBus(), QDBusServiceWatcher::WatchForUnregistration, this);
    connect(helperWatcher, &QDBusServiceWatcher::serviceUnregistered, this, [this] {
        if (acknowledged) {
            finish(Mic::ActionReply::DBusError, QString());
        }
    });
    call();
}

// Started before it is called, as KAuth does: signals are taken only from
// the connection the bus knows to own the helper's name, and the bus tells
// of a new owner later than a helper that the call itself started sends its
// first maps.
void HelperRequest::startHelper()
{
    if (QDBusConnectionInterface *bus = QDBusConnection::systemBus().interface()) {
        bus->startService(action.helperId());
    }
}

// One call at a time: a call is sent again only once the last one was
// turned away or lost.
void HelperRequest::call()
{
    turnedAway = false;
    QDBusConnection bus = QDBusConnection::systemBus();
    QDBusMessage message = QDBusMessage::createMethodCall(action.helperId(), QStringLiteral("/"), kauthInterface, kauthMethod);
    // The helper asks polkit about the caller by this name, after checking
    // that the call comes from it.
    message << action.name() << bus.baseService().toUtf8() << action.polkitDetails() << serialized(action.arguments());
    // The call's own time-out lies beyond the request's deadline, which ends
    // the request first.
    pendingCall = new QDBusPendingCallWatcher(bus.asyncCall(message, deadlineTimer.interval() + 1000), this);
    connect(pendingCall, &QDBusPendingCallWatcher::finished, this, &HelperRequest::onCallAnswered);
}

void HelperRequest::addLocale(Mic::HelperAction *action)
{
    action->addArgument(QStringLiteral("languages"), KLocalizedString::languages());
    const char *messagesLocale = std::setlocale(LC_MESSAGES, nullptr);
    action->addArgument(QStringLiteral("lcmessages"), QString::fromLocal8Bit(messagesLocale ? messagesLocale : ""));
}

QVariantMap HelperRequest::data() const
{
    return replyData;
}

bool HelperRequest::doKill()
{
    // The helper goes on with a request it has started; only the following
    // stops.
    stopFollowing();
    return true;
}

void HelperRequest::stopFollowing()
{
    ended = true;
    deadlineTimer.stop();
    missingTimer.stop();
    QDBusConnection::systemBus().disconnect(action.helperId(), QStringLiteral("/"), kauthInterface, kauthSignal, this,
                                            SLOT(onHelperSignal(int,QString,QByteArray)));
    QDBusConnection::systemBus().disconnect(action.helperId(), QStringLiteral("/"), replyInterface, replyMember, this,
                                            SLOT(onMessageForThisClient(QByteArray)));
    delete pendingCall;
    pendingCall = nullptr;
}

void HelperRequest::onCallAnswered(QDBusPendingCallWatcher *watcher)
{
    watcher->deleteLater();
    if (watcher != pendingCall || ended) {
        return;
    }
    pendingCall = nullptr;
    const QDBusPendingReply<QByteArray> answer = *watcher;
    if (answer.isError()) {
        // Once the helper serves this request, its reply also comes as a
        // signal, and a helper that ends is seen to go: a call that merely
        // outlasted its time-out changes nothing.
        if (acknowledged) {
            return;
        }
        // A helper that was ending when the call came loses it unserved (it
        // says "started" before it does anything): the call goes again, to
        // the helper the bus starts anew. Other failures of the bus (no
        // helper installed, a policy that refuses) are told at once.
        if (answer.error().type() == QDBusError::NoReply || sinceStart.elapsed() < lostCallGrace) {
            callAgain();
        } else {
            finish(Mic::ActionReply::DBusError, QString());
        }
        return;
    }
    onAnswer(answer.value());
}

void HelperRequest::onAnswer(const QByteArray &serializedReply)
{
    const Mic::ActionReply reply = Mic::KAuthWire::replyOf(serializedReply);
    if (reply.type() == Mic::ActionReply::KAuthErrorType && reply.error() == Mic::ActionReply::HelperBusyError) {
        turnedAway = true;
        callAgain();
        return;
    }
    const QVariantMap data = reply.data();
    if (ReplySeal::isSealed(data)) {
        // A seal of this request on the answer to its own call: its reply,
        // or word that an earlier call of it was served.
        if (const auto payload = seal.open(data)) {
            onOwnMessage(*payload);
        }
        return;
    }
    if (!reply.succeeded()) {
        finish(int(reply.error()), reply.errorDescription());
    } else {
        finish(0, QString(), data); // a helper that does not seal
    }
}

void HelperRequest::askToStop()
{
    if (ended || stopWanted) {
        return;
    }
    stopWanted = true;
    askHelperToStop();
}

bool HelperRequest::stopAsked() const
{
    return stopWanted;
}

// Sealed with this request's key: nobody else can stop it.
void HelperRequest::askHelperToStop() const
{
    QDBusMessage message = QDBusMessage::createMethodCall(action.helperId(), QStringLiteral("/"), kauthInterface, QStringLiteral("stopAction"));
    message << seal.stopToken();
    QDBusConnection::systemBus().send(message);
}

// After a call turned away or lost: again after a short random pause, or
// the end once the helper has not taken the request up in `retryWait`.
void HelperRequest::callAgain()
{
    if (sinceStart.elapsed() >= retryWait) {
        if (turnedAway) {
            finish(Error::Busy, i18n("The integrity control settings service is busy with another request. Try again in a moment."));
        } else {
            finish(Mic::ActionReply::DBusError, QString());
        }
        return;
    }
    const int pause = int(QRandomGenerator::global()->bounded(maxRetryPause / 4, maxRetryPause));
    QTimer::singleShot(pause, this, [this] {
        if (!ended && !acknowledged) {
            startHelper();
            call();
        }
    });
}

void HelperRequest::onDeadline()
{
    const int minutes = std::max(1, deadlineTimer.interval() / 60000);
    if (!acknowledged) {
        finish(Mic::ActionReply::DBusError, QString());
        return;
    }
    askHelperToStop();
    finish(Error::NoAnswer,
           isReading(action) ? i18np("The integrity control settings service did not finish reading within a minute. A file system that does "
                                     "not answer (such as an unreachable network share) may hold it up.",
                                     "The integrity control settings service did not finish reading within %1 minutes. A file system that "
                                     "does not answer (such as an unreachable network share) may hold it up.",
                                     minutes)
                             : i18np("The integrity control settings service did not finish the change within a minute. A file system that "
                                     "does not answer (such as an unreachable network share) may hold it up. Read the settings again to "
                                     "see what was saved.",
                                     "The integrity control settings service did not finish the change within %1 minutes. A file system "
                                     "that does not answer (such as an unreachable network share) may hold it up. Read the settings again "
                                     "to see what was saved.",
                                     minutes));
}

void HelperRequest::onHelperSignal(int type, const QString &actionName, const QByteArray &blob)
{
    if (ended) {
        return;
    }
    const QVariantMap map = leadingMap(blob);
    if (seal.isAddressedHere(map)) {
        if (const auto payload = seal.open(map)) {
            onOwnMessage(*payload);
        }
        return;
    }
    if (type == progressDataSignal && !acknowledged && !ReplySeal::isSealed(map) && actionName == action.name()) {
        // A helper that does not seal, followed as KAuth follows it.
        Q_EMIT newData(map);
    }
}

// A map the helper addressed to this connection: taken like a progress map
// it broadcasts, since only those sealed for this request open.
void HelperRequest::onMessageForThisClient(const QByteArray &blob)
{
    onHelperSignal(progressDataSignal, action.name(), blob);
}

void HelperRequest::onOwnMessage(const QVariantMap &payload)
{
    if (!acknowledged) {
        acknowledged = true;
        Q_EMIT authorized();
    }
    const QString stage = payload.value(stageKey).toString();
    if (stage == replyStage) {
        onEnd(payload);
        return;
    }
    if (stage != startedStage && stage != progressStage && stage != chunkStage) {
        return;
    }
    ++takenAhead;
    if (stage == startedStage && stopWanted) {
        // A stop sent while the request waited its turn found nothing to stop.
        askHelperToStop();
    } else if (stage == chunkStage) {
        assemble(payload.value(chunkOfKey).toString(), payload.value(chunkPartKey));
    } else if (stage == progressStage) {
        const QVariantMap data = payload.value(dataKey).toMap();
        if (data.contains(workProgressKey)) {
            const QVariantMap work = data.value(workProgressKey).toMap();
            Q_EMIT workProgressed(work.value(phaseKey).toString(), work.value(doneKey).toLongLong(), work.value(totalKey).toLongLong());
        } else {
            Q_EMIT newData(withAssembled(data));
        }
    }
    if (heldEnd && takenAhead >= heldEnd->value(sentAheadKey).toInt()) {
        endWith(*heldEnd);
    }
}

// The end may overtake the maps sent ahead of it (see sentAheadKey): it
// waits for them.
void HelperRequest::onEnd(const QVariantMap &payload)
{
    // An error needs nothing the maps carry.
    if (payload.value(errorKey).toInt() == 0 && takenAhead < payload.value(sentAheadKey).toInt()) {
        heldEnd = payload;
        missingTimer.start(missingWait);
        return;
    }
    endWith(payload);
}

void HelperRequest::onMissingMaps()
{
    if (ended || !heldEnd) {
        return;
    }
    // What a change sends ahead (its start) carries nothing it needs.
    if (!isReading(action)) {
        endWith(*heldEnd);
        return;
    }
    finish(Error::Incomplete,
           i18n("Part of the settings service's answer did not arrive, so the integrity control settings could not be read completely. Read "
                "them again."));
}

void HelperRequest::endWith(const QVariantMap &payload)
{
    const int code = payload.value(errorKey).toInt();
    finish(code, payload.value(errorTextKey).toString(), code == 0 ? withAssembled(payload.value(dataKey).toMap()) : QVariantMap());
}

void HelperRequest::assemble(const QString &key, const QVariant &part)
{
    QVariant &whole = assembled[key];
    if (part.userType() == QMetaType::QByteArray) {
        QVariantHash table = whole.toHash();
        whole = QVariant(); // one reference to the table: inserting copies nothing
        addEntries(&table, part.toByteArray());
        whole = table;
    } else if (part.userType() == QMetaType::QVariantHash) {
        QVariantHash table = whole.toHash();
        whole = QVariant();
        table.insert(part.toHash());
        whole = table;
    } else if (part.userType() == QMetaType::QVariantMap && part.toMap().contains(textsKey)) {
        QStringList list = whole.toStringList();
        whole = QVariant();
        addTexts(&list, part.toMap().value(textsKey).toByteArray());
        whole = list;
    } else if (part.userType() == QMetaType::QVariantMap) {
        QVariantHash table = whole.toHash();
        whole = QVariant();
        addRuleLines(&table, part.toMap().value(rulesTextKey).toByteArray());
        whole = table;
    } else {
        QStringList list = whole.toStringList();
        whole = QVariant();
        list.append(part.toStringList());
        whole = list;
    }
}

// Texts each ended by a NUL byte; bytes after the last NUL end no text.
void HelperRequest::addTexts(QStringList *list, const QByteArray &texts)
{
    qsizetype start = 0;
    for (qsizetype end = texts.indexOf('\0'); end >= 0; end = texts.indexOf('\0', start)) {
        list->append(QString::fromUtf8(texts.constData() + start, int(end - start)));
        start = end + 1;
    }
}

// Room for `more` entries in one go instead of many growths, but never
// less than twice the room there was: a table that grows by every chunk
// would otherwise be rebuilt whole for each.
void HelperRequest::makeRoom(QVariantHash *table, qsizetype more)
{
    const qsizetype needed = table->size() + more;
    if (table->capacity() < needed) {
        table->reserve(int(qMax(needed, 2 * qsizetype(table->capacity()))));
    }
}

// Rules as lines of "level path"; a line without a space is no rule. A
// configuration uses a handful of level strings: each rule shares one of
// them instead of holding a copy.
void HelperRequest::addRuleLines(QVariantHash *table, const QByteArray &lines)
{
    QHash<QByteArray, QVariant> levels;
    makeRoom(table, lines.count('\n'));
    qsizetype start = 0;
    while (start < lines.size()) {
        qsizetype end = lines.indexOf('\n', start);
        if (end < 0) {
            end = lines.size();
        }
        const qsizetype space = lines.indexOf(' ', start);
        if (space > start && space < end) {
            // Looked up in place; copied only the first time it is met.
            const QByteArray level = QByteArray::fromRawData(lines.constData() + start, int(space - start));
            auto shared = levels.find(level);
            if (shared == levels.end()) {
                shared = levels.insert(QByteArray(level.constData(), level.size()), QString::fromUtf8(level));
            }
            table->insert(QString::fromUtf8(lines.constData() + space + 1, int(end - space - 1)), *shared);
        }
        start = end + 1;
    }
}

// Entries of a table in their streamed form, added one by one. A later
// entry of a key replaces an earlier one, as inserting a table would.
void HelperRequest::addEntries(QVariantHash *table, const QByteArray &entries)
{
    QDataStream stream(entries);
    stream.setVersion(tableStreamVersion);
    quint32 count = 0;
    stream >> count;
    if (stream.status() != QDataStream::Ok || count > quint32(entries.size())) {
        return;
    }
    makeRoom(table, int(count));
    // A configuration uses a handful of level strings: each entry shares one
    // of them instead of holding a copy (a tenth of the table's memory at a
    // million rules).
    std::vector<QVariant> levels;
    QString path;
    QVariant level;
    for (quint32 i = 0; i < count && stream.status() == QDataStream::Ok; ++i) {
        stream >> path >> level;
        if (stream.status() != QDataStream::Ok) {
            break;
        }
        const auto shared = std::find(levels.cbegin(), levels.cend(), level);
        if (shared != levels.cend()) {
            table->insert(path, *shared);
        } else {
            if (levels.size() < 64) {
                levels.push_back(level);
            }
            table->insert(path, level);
        }
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
    if (code == Mic::ActionReply::DBusError) {
        return reading ? i18n("The integrity control settings could not be read: the settings service could not be started, or it ended "
                              "without answering.")
                       : i18n("The integrity control settings could not be saved: the settings service could not be started, or it ended "
                              "without answering. Read the settings again to see what was saved.");
    }
    if (!text.isEmpty()) {
        return text;
    }
    switch (code) {
    case Mic::ActionReply::InvalidActionError:
        return i18n("The integrity control settings service is not set up on this system: its authorization policy is missing, or the "
                    "authorization service is not running.");
    case Mic::ActionReply::AuthorizationDeniedError:
        return reading ? i18n("You are not authorized to read the integrity control settings.")
                       : i18n("You are not authorized to change the integrity control settings.");
    case Mic::ActionReply::UserCancelledError:
        return i18n("The authorization was cancelled.");
    default:
        return reading ? i18n("The integrity control settings could not be read (error %1).", QString::number(code))
                       : i18n("The integrity control settings could not be saved (error %1).", QString::number(code));
    }
}
