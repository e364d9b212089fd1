// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef MIC_PROTOCOL_H
#define MIC_PROTOCOL_H

#include <QDataStream>
#include <QString>

// What the module, its clients and the privileged helper agree on: the
// helper's actions, the keys that protect each request's replies, and the
// error codes of the helper's answers.
namespace Mic::Protocol
{
inline const QString helperId = QStringLiteral("org.lumen.kcm.mic");
inline const QString accessAction = QStringLiteral("org.lumen.kcm.mic.access");
inline const QString changeAction = QStringLiteral("org.lumen.kcm.mic.change");
constexpr int actionTimeout = 300000;

// Every request carries a fresh random id and a fresh random key. The
// helper seals every map it sends about the request with the key and
// marks it with the id: the bus shows replies to every listener, and only
// the client that asked can open them.
inline const QString requestIdKey = QStringLiteral("requestId");
inline const QString replyKeyKey = QStringLiteral("replyKey");
constexpr int requestIdSize = 16;
constexpr int replyKeySize = 32;

// The client's unique name on the system bus. A helper that knows it sends
// the progress maps and chunks of the request to that client alone, as a
// signal addressed to it (`replyInterface`, `replyMember`, the map streamed
// as KAuth streams its progress maps), instead of broadcasting them: a
// listener that stops reading its messages then holds up nothing the helper
// sends (the bus stops reading from a sender whose messages it cannot hand
// on), and nobody else receives them at all.
inline const QString replyToKey = QStringLiteral("replyTo");
inline const QString replyInterface = QStringLiteral("org.lumen.kcm.mic.Replies");
inline const QString replyMember = QStringLiteral("Message");

// A sealed map: the request id in the clear, the payload sealed.
inline const QString sealedKey = QStringLiteral("sealed");
// Inside the payload: what it is, and for the end of a request its outcome.
inline const QString stageKey = QStringLiteral("stage");
inline const QString dataKey = QStringLiteral("data");
inline const QString errorKey = QStringLiteral("error");
inline const QString errorTextKey = QStringLiteral("errorText");
inline const QString startedStage = QStringLiteral("started");
inline const QString progressStage = QStringLiteral("progress");
inline const QString replyStage = QStringLiteral("reply");
// A request the helper has served already, sent again by its client.
inline const QString repeatedStage = QStringLiteral("repeated");
// A client that gives up waiting asks the helper to stop its request by
// calling KAuth's stopAction with this prefix and, in base64, the request's
// id, a nonce and stopStage with the id sealed with the request's key
// (ReplySeal::stopToken). KAuth's own
// clients send an action name there, which anyone may send and the helper
// ignores; only the request's client can seal a stop of it.
inline const QString stopPrefix = QStringLiteral("stop:");
inline const QString stopStage = QStringLiteral("stop");
// Long work (the check of the labels, labelling, putting labels back after a
// stop) tells a client that takes chunks how far it is, a few times a
// second: a progress map that holds only this key, a map of the phase
// (`checkingPhase`, `labellingPhase`, `undoingPhase`) and the objects done
// and in all.
inline const QString workProgressKey = QStringLiteral("workProgress");
inline const QString phaseKey = QStringLiteral("phase");
inline const QString doneKey = QStringLiteral("done");
inline const QString totalKey = QStringLiteral("total");
inline const QString checkingPhase = QStringLiteral("checking");
inline const QString labellingPhase = QStringLiteral("labelling");
inline const QString undoingPhase = QStringLiteral("undoing");
// In the payload of the end of a request: how many maps the helper sent
// ahead of it for the request (its start, progress maps, chunks). The bus
// delivers them before the end, but Qt may hand the end to the client first:
// it holds back the signals of a default bus connection made in the main
// thread until the event loop has turned, and not the answers to calls. A
// client that has not yet taken them all waits for them.
inline const QString sentAheadKey = QStringLiteral("sentAhead");

// A change request that sets this key (true) is checked and worked out
// whole, as the change would be, and changes nothing: no state file and no
// label is written. Its reply says what the change would do. Helpers that
// do not know the key refuse the request as one with an unknown setting.
inline const QString checkOnlyKey = QStringLiteral("checkOnly");

// A read request that sets this key to a number asks for the history of
// changes instead of the settings, that many of the newest (all when
// negative); the reply holds them under the same key, newest first, as
// maps with the keys of `micctl history --json`.
inline const QString historyKey = QStringLiteral("history");
// Each entry of the history also says whether the state before it is kept
// whole ("restorable"). A read request that sets `stateBeforeKey` to the
// request id of an applied change (in hexadecimal, as the history gives
// it) asks for the settings as they were before that change instead: a
// read reply without the check of the labels, whose file-system status is
// the protection as it was set (Enabled or Disabled).
inline const QString restorableKey = QStringLiteral("restorable");
inline const QString stateBeforeKey = QStringLiteral("stateBefore");
// In a read reply, and in the reply to the first change after it: a change
// the helper could not finish and undid when it started again (a map with
// "time", "user", "uid" and "summary" of that change). While the helper
// could not yet undo it (a state file it cannot put back), the map also
// holds "undone": false, every read says so, and no change is made until
// a start of the helper has undone it.
inline const QString interruptedChangeKey = QStringLiteral("interruptedChange");
inline const QString interruptedUndoneKey = QStringLiteral("undone");

// A client that sets this key (true) in a request takes the large tables and
// lists of the replies in chunks sent ahead of the maps they belong to, and
// puts them back into every map that follows: a read of any size then goes
// in messages far below the bus's limit, and each set crosses the bus once.
// Helpers that do not know the key send whole maps.
inline const QString chunkedRepliesKey = QStringLiteral("replyInChunks");
inline const QString chunkStage = QStringLiteral("chunk");
// Inside a chunk: the key of the map it belongs to, and a part of its value:
// a list of texts, or entries of a table, which the client adds to the whole
// table as it reads them instead of building a table of each chunk first.
// Entries of a table travel as bytes, in the form QDataStream (of
// `tableStreamVersion`) gives a QHash<QString, QVariant>; lists as lists
// of texts. A client that also sets `chunksAsTextKey` (true) takes both as
// UTF-8, about half the bytes of the streamed UTF-16: rules as a map
// holding only `rulesTextKey`, lines of fs-ilev.conf's own form (the level
// string, one space and the path; no path holds a line break), and lists
// as a map holding only `textsKey`, each text ended by a NUL byte (no text
// of a list holds one). Clients that do not set it get the streamed forms,
// which are all they know.
inline const QString chunkOfKey = QStringLiteral("of");
inline const QString chunkPartKey = QStringLiteral("part");
inline const QString chunksAsTextKey = QStringLiteral("chunksAsText");
inline const QString rulesTextKey = QStringLiteral("rulesText");
inline const QString textsKey = QStringLiteral("texts");
constexpr QDataStream::Version tableStreamVersion = QDataStream::Qt_5_12;
// The most a chunk carries, counted as the text it holds.
constexpr int maxChunkBytes = 2 * 1024 * 1024;
// The most one request or reply may carry, streamed: the system bus refuses
// messages beyond 32 MiB (by default) and drops the connection that sends
// one, which the other side could only report as a lost service.
constexpr int maxMessageBytes = 30 * 1024 * 1024;

// Error codes. They lie above those KJob (1 killed, 100 the first of its
// users') and KAuth (1 to 9; 4 "authorization denied") use for their own
// errors, so an answer of the helper is never taken for theirs.
namespace Error
{
constexpr int InvalidRequest = 201;
constexpr int DamagedState = 202;
constexpr int WriteFailed = 203;
// A request without a valid seal. Clients that seal never get it, so to
// them it is always another client's.
constexpr int UnsealedRequest = 205;
// A request or reply too large for one message of the bus.
constexpr int TooLarge = 206;
// Client side: the helper served others and never this request.
constexpr int Busy = 210;
// Client side: maps the helper sent ahead of its reply never came.
constexpr int Incomplete = 211;
// Client side: the helper took the request up and did not end it in time.
constexpr int NoAnswer = 212;
// A request its client asked to stop; a change that ends so has changed
// nothing.
constexpr int Stopped = 207;
}
}

#endif
