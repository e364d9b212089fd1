// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef HELPERREQUEST_H
#define HELPERREQUEST_H

#include "helperaction.h"

#include <replyseal.h>

#include <KJob>

#include <QElapsedTimer>
#include <QHash>
#include <QTimer>
#include <QVariantMap>

#include <optional>

class QDBusPendingCallWatcher;

/*
 * One request to the privileged helper, followed to its end.
 *
 * KAuth's client hands every reply the helper broadcasts to every client
 * waiting on an action of the same name, a denial of another user's call
 * included, and drops the helper's answer to its own call. So the request
 * calls the helper itself, the way KAuth does (same method, caller id,
 * details and arguments, so the helper's polkit check is KAuth's own), and
 * takes the answer to its call, which only it receives: its reply, its
 * denial, or "busy". The helper queues the calls it is given and serves
 * them in turn; it turns one away as "busy" only when too many wait. A
 * call turned away, or one the bus could not deliver (a helper that was
 * ending), is sent again after a short random pause, until `retryWait`
 * has passed since the request started; only the answers to this
 * request's own calls count. A request the helper has taken up ends with a
 * clear error when it has not ended within its action's time-out (a file
 * system that does not answer can hold up the helper), and the helper is
 * asked to stop it; a change it stops is undone.
 *
 * Each request carries a seal of its own (a random id and key): progress
 * maps and the large sets sent ahead in chunks travel as broadcast signals,
 * and the request takes only those that open with its key. A helper that
 * seals nothing (one that knows only the plain maps) is followed as KAuth
 * follows it: its progress maps are taken as they come.
 */
class HelperRequest : public KJob
{
    Q_OBJECT
public:
    // How long calls turned away or lost are sent again.
    static constexpr int retryWait = 20000;
    // The pause before a call is sent again: random, below this, so that
    // the calls of several clients do not meet again.
    static constexpr int maxRetryPause = 400;
    // How long any call the bus could not deliver is sent again; later only
    // one the helper left unanswered as it ended.
    static constexpr int lostCallGrace = 1000;
    // The whole request's deadline when its action has no time-out.
    static constexpr int defaultDeadline = 300000;
    // How long the end of a request waits for maps sent ahead of it that
    // have not come.
    static constexpr int missingWait = 10000;

    // `action` as built by the caller: id, helper, time-out, details,
    // arguments.
    explicit HelperRequest(const Mic::HelperAction &action, QObject *parent = nullptr);
    ~HelperRequest() override;

    void start() override;
    // Adds the caller's languages and message locale, in which the helper
    // answers.
    static void addLocale(Mic::HelperAction *action);
    // Why the helper cannot be reached at all, in the administrator's words;
    // empty when the system bus can be. KAuth's authorization backend
    // complains on standard error when asked without a bus, so a client
    // that can look first should.
    static QString systemBusProblem();
    // The reply's data once the request has ended without error.
    QVariantMap data() const;
    // Asks the helper to stop the request and goes on following it: it ends
    // with Error::Stopped once the helper has put back what it had done, or
    // as it would have, when the helper was already past the point where it
    // stops.
    void askToStop();
    // Whether askToStop() was called: a request that ends without error
    // after it was past the point where the helper stops.
    bool stopAsked() const;

Q_SIGNALS:
    // The helper has taken the request up: the caller is authorized.
    void authorized();
    // A progress map of the helper, such as the state before the file
    // system has been checked.
    void newData(const QVariantMap &data);
    // How far the helper's long work is (see workProgressKey).
    void workProgressed(const QString &phase, qint64 done, qint64 total);

protected:
    bool doKill() override;

private Q_SLOTS:
    void onHelperSignal(int type, const QString &action, const QByteArray &blob);
    void onMessageForThisClient(const QByteArray &blob);

private:
    void startHelper();
    void call();
    void showAgentTheWindow() const;
    void onCallAnswered(QDBusPendingCallWatcher *watcher);
    void onAnswer(const QByteArray &serializedReply);
    void callAgain();
    void onDeadline();
    void askHelperToStop() const;
    void onOwnMessage(const QVariantMap &payload);
    void onEnd(const QVariantMap &payload);
    void onMissingMaps();
    void endWith(const QVariantMap &payload);
    void assemble(const QString &key, const QVariant &part);
    static void addEntries(QVariantHash *table, const QByteArray &entries);
    static void addRuleLines(QVariantHash *table, const QByteArray &lines);
    static void addTexts(QStringList *list, const QByteArray &texts);
    static void makeRoom(QVariantHash *table, qsizetype more);
    QVariantMap withAssembled(QVariantMap map) const;
    void finish(int code, const QString &text, const QVariantMap &data = {});
    void stopFollowing();
    QString inAdministratorsWords(int code, const QString &text) const;

    Mic::HelperAction action;
    ReplySeal seal;
    QDBusPendingCallWatcher *pendingCall = nullptr;
    QTimer deadlineTimer;
    QTimer missingTimer;
    QElapsedTimer sinceStart;
    // The maps of this request taken before its end, and an end that came
    // before all the maps it counts.
    int takenAhead = 0;
    std::optional<QVariantMap> heldEnd;
    // The helper has said it serves this request.
    bool acknowledged = false;
    // The last call was answered "busy" (rather than lost).
    bool turnedAway = false;
    bool ended = false;
    bool stopWanted = false;
    QVariantMap replyData;
    // The tables and lists the helper sent ahead in chunks, by key.
    QHash<QString, QVariant> assembled;
};

#endif
