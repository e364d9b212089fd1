#ifndef HELPERREQUEST_H
#define HELPERREQUEST_H

#include <replyseal.h>

#include <KAuth/Action>
#include <KJob>

#include <QElapsedTimer>
#include <QHash>
#include <QPointer>
#include <QTimer>
#include <QVariantMap>

namespace KAuth
{
class ExecuteJob;
}

/*
 * One request to the privileged helper, followed to its end.
 *
 * KAuth broadcasts the helper's progress maps and replies on the system bus
 * and hands them to every client waiting on an action of the same name; a
 * call that finds the helper busy gets an answer KAuth ignores. So each
 * request carries a seal of its own (a random id and key) and takes only
 * what opens with it, listening to the helper's signals itself; the KAuth
 * job serves to call the helper and to learn KAuth's own errors. When the
 * helper finishes another request before it has taken up this one, this
 * one may have been turned away: it is sent again (the helper serves each
 * request id once), up to `maxCalls` times, and ends with a "busy" error
 * when the helper has not taken it up within `busyWait` of the last call.
 *
 * A helper that seals nothing (one that knows only the plain maps) is
 * followed as KAuth follows it: its maps and reply are taken as they come.
 */
class HelperRequest : public KJob
{
    Q_OBJECT
public:
    static constexpr int busyWait = 10000;
    static constexpr int maxCalls = 5;
    // How long a call may go without any sign of the helper before it is
    // taken for lost and sent again.
    static constexpr int silenceWait = 5000;

    // `action` as built by the caller: id, helper, time-out, arguments.
    explicit HelperRequest(const KAuth::Action &action, QObject *parent = nullptr);
    ~HelperRequest() override;

    void start() override;
    // The reply's data once the request has ended without error.
    QVariantMap data() const;

Q_SIGNALS:
    void statusChanged(KAuth::Action::AuthStatus status);
    // A progress map of the helper, such as the state before the file
    // system has been checked.
    void newData(const QVariantMap &data);

protected:
    bool doKill() override;

private Q_SLOTS:
    void onHelperSignal(int type, const QString &action, const QByteArray &blob);

private:
    void call();
    void onJobData(const QVariantMap &data);
    void onJobResult(KJob *job);
    void onOwnMessage(const QVariantMap &payload);
    void assemble(const QString &key, const QVariant &part);
    QVariantMap withAssembled(QVariantMap map) const;
    void onOthersEnd();
    bool isOthersEnd(const QVariantMap &map, const QByteArray &blob) const;
    bool isOthersError(int code) const;
    void finish(int code, const QString &text, const QVariantMap &data = {});
    void stopFollowing();
    QString inAdministratorsWords(int code, const QString &text) const;

    KAuth::Action action;
    ReplySeal seal;
    QPointer<KAuth::ExecuteJob> job;
    QTimer busyTimer;
    QTimer silenceTimer;
    QElapsedTimer othersEndSeen;
    // The helper has said it serves this request.
    bool acknowledged = false;
    bool ended = false;
    int calls = 0;
    QVariantMap replyData;
    // The tables and lists the helper sent ahead in chunks, by key.
    QHash<QString, QVariant> assembled;
};

#endif
