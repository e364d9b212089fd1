// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

// The helper's change action over the real system bus: what it applies, and
// what it refuses without touching anything.
#include "helperfixture.h"

#include <protocol.h>

#include <QMultiHash>
#include <QMultiMap>
#include <QProcess>
#include <QTest>

#include <functional>

#include <sys/stat.h>
#include <unistd.h>

using namespace HelperFixture;

namespace
{
const QString em = QStringLiteral("\u2014");

QVariantMap locale()
{
    return {{QStringLiteral("languages"), QStringList{QStringLiteral("C")}}, {QStringLiteral("lcmessages"), QStringLiteral("C.UTF-8")}};
}

QVariantMap request(std::initializer_list<std::pair<const QString, QVariant>> entries)
{
    QVariantMap map = locale();
    for (const auto &[key, value] : entries) {
        map.insert(key, value);
    }
    return map;
}

QVariantHash hash(std::initializer_list<std::pair<const QString, QVariant>> entries)
{
    QVariantHash result;
    for (const auto &[key, value] : entries) {
        result.insert(key, value);
    }
    return result;
}

// Users added to /etc/passwd by hand while the object lives.
class HandMadeUsers
{
public:
    explicit HandMadeUsers(const QStringList &names)
    {
        QFile passwd(path);
        if (!passwd.open(QIODevice::ReadOnly)) {
            qFatal("cannot read %s", qPrintable(path));
        }
        original = passwd.readAll();
        passwd.close();
        QByteArray added;
        int uid = 64000;
        for (const QString &name : names) {
            added += name.toUtf8() + ":x:" + QByteArray::number(++uid) + ":65534::/nonexistent:/usr/sbin/nologin\n";
        }
        rewrite(original + added);
    }
    ~HandMadeUsers()
    {
        rewrite(original);
    }

private:
    // In place, keeping the file's mode and owner.
    void rewrite(const QByteArray &content)
    {
        QFile passwd(path);
        if (!passwd.open(QIODevice::WriteOnly | QIODevice::Truncate) || passwd.write(content) != content.size()) {
            qFatal("cannot write %s", qPrintable(path));
        }
    }

    const QString path = QStringLiteral("/etc/passwd");
    QByteArray original;
};
}

class HelperChangeTest : public QObject
{
    Q_OBJECT
private:
    QString files;

    QString file(const char *name) const
    {
        return files + QLatin1Char('/') + QLatin1String(name);
    }

    // The umask the bus gave the helper, as the kernel shows it.
    static QByteArray helperUmask()
    {
        QFile status(QStringLiteral("/proc/%1/status").arg(QDBusConnection::systemBus().interface()->servicePid(helperId).value()));
        if (!status.open(QIODevice::ReadOnly)) {
            return QByteArray();
        }
        const QByteArray text = status.readAll();
        const int at = text.indexOf("Umask:\t");
        return at < 0 ? QByteArray() : text.mid(at + 7, 4);
    }

    QVariantMap readState()
    {
        const Outcome outcome = execute(QStringLiteral("access"), locale());
        if (outcome.error != 0) {
            qWarning() << outcome.errorText;
        }
        return outcome.data;
    }

    // Turns file-system protection on; `act` runs while the helper waits
    // between its check and the labelling, as a user would race it.
    Outcome protectWithChangeBeforeLabelling(const std::function<void()> &act)
    {
        const QString pause = qEnvironmentVariable("MIC_TEST_BUS_DIR") + QStringLiteral("/pause-before-labelling");
        QFile(pause).open(QIODevice::WriteOnly);
        bool acted = false;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            if (!acted && QFile::exists(pause + QStringLiteral(".reached"))) {
                act();
                acted = true;
                QFile::remove(pause);
            }
        });
        poll.start(10);
        const Outcome outcome = execute(QStringLiteral("change"), request({{QStringLiteral("micFsStatus"), 2}}));
        QFile::remove(pause);
        return outcome;
    }

private Q_SLOTS:
    void init()
    {
        files = laySampleSystem();
        writeMicState(false, false, false);
    }

    void badRequestsChangeNothing_data()
    {
        QTest::addColumn<QVariantMap>("args");
        QTest::addColumn<QString>("named");

        QTest::newRow("status as text") << request({{QStringLiteral("micStatus"), QStringLiteral("2")}}) << QStringLiteral("state of integrity control");
        QTest::newRow("status not settable") << request({{QStringLiteral("micStatus"), 5}}) << QStringLiteral("\"5\" is not a state of integrity control");
        QTest::newRow("level 256") << request({{QStringLiteral("micFutureLevel"), 256u}}) << QStringLiteral("maximum integrity level \"256\"");
        QTest::newRow("negative level") << request({{QStringLiteral("micFutureLevel"), -1}}) << QStringLiteral("maximum integrity level \"-1\"");
        QTest::newRow("user level 256") << request({{QStringLiteral("userILevels"), hash({{QStringLiteral("root"), 256u}})}}) << QStringLiteral("of the user \"root\"");
        QTest::newRow("unknown user") << request({{QStringLiteral("userILevels"), hash({{QStringLiteral("no-such-user-x"), 1u}})}})
                                      << QStringLiteral("no-such-user-x");
        QTest::newRow("users not a hash") << request({{QStringLiteral("userILevels"), QVariantMap{{QStringLiteral("root"), 1u}}}})
                                          << QStringLiteral("userILevels");
        QTest::newRow("relative path") << request({{QStringLiteral("micFsCurrentItems"), hash({{QStringLiteral("usr/bin"), QStringLiteral("high")}})}})
                                       << QStringLiteral("usr/bin");
        QTest::newRow("dot dot") << request({{QStringLiteral("micFsCurrentItems"), hash({{QStringLiteral("/usr/../etc"), QStringLiteral("high")}})}})
                                 << QStringLiteral("/usr/../etc");
        QTest::newRow("newline in path") << request({{QStringLiteral("micFsCurrentExceptions"), QStringList{QStringLiteral("/tmp/a\nb")}}})
                                         << QStringLiteral("exception path \"/tmp/a\\x0ab\"");
        // Shown by clients, they could drive the administrator's terminal.
        QTest::newRow("escape in rule path")
            << request({{QStringLiteral("micFsCurrentItems"), hash({{QStringLiteral("/tmp/a\x1b[2Jb"), QStringLiteral("high")}})}})
            << QStringLiteral("The rule path \"/tmp/a\\x1b[2Jb\" holds a control character");
        QTest::newRow("C1 control and DEL in exception path")
            << request({{QStringLiteral("micFsCurrentExceptions"), QStringList{QStringLiteral("/tmp/a\u009bb\x7f")}}})
            << QStringLiteral("The exception path \"/tmp/a\\x9bb\\x7f\" holds a control character");
        QTest::newRow("lone surrogate in path")
            << request({{QStringLiteral("micFsCurrentItems"), hash({{QStringLiteral("/usr/a") + QChar(0xd800), QStringLiteral("high")}})}})
            << QStringLiteral("The rule path \"/usr/a");
        QTest::newRow("root as rule") << request({{QStringLiteral("micFsCurrentItems"), hash({{QStringLiteral("/"), QStringLiteral("high")}})}})
                                      << QStringLiteral("The rule path \"/\"");
        QTest::newRow("bad level string") << request({{QStringLiteral("micFsCurrentItems"), hash({{QStringLiteral("/usr"), QStringLiteral("Max")}})}})
                                          << QStringLiteral("Max");
        QTest::newRow("level as number") << request({{QStringLiteral("micFsCurrentItems"), hash({{QStringLiteral("/usr"), 63}})}})
                                         << QStringLiteral("/usr");
        QTest::newRow("unknown key") << request({{QStringLiteral("micStatusX"), 2}}) << QStringLiteral("micStatusX");
        QTest::newRow("check-only as text") << request({{Mic::Protocol::checkOnlyKey, QStringLiteral("true")}}) << Mic::Protocol::checkOnlyKey;
        QTest::newRow("unknown service") << request({{QStringLiteral("services"), QVariantList{hash({{QStringLiteral("name"), QStringLiteral("nope")}, {QStringLiteral("isIsolated"), true}})}}})
                                         << QStringLiteral("nope");
        QTest::newRow("status beyond 32 bits") << request({{QStringLiteral("micStatus"), qlonglong(4294967298LL)}}) << QStringLiteral("\"4294967298\" is not");
        QTest::newRow("user level beyond 64 bits")
            << request({{QStringLiteral("userILevels"), hash({{QStringLiteral("root"), qulonglong(18446744073709551615ULL)}})}})
            << QStringLiteral("18446744073709551615");
        QTest::newRow("name too long") << request({{QStringLiteral("micFsCurrentItems"), hash({{QStringLiteral("/usr/") + QString(256, QLatin1Char('n')), QStringLiteral("high")}})}})
                                       << QStringLiteral("255");
        QTest::newRow("path too long") << request({{QStringLiteral("micFsCurrentExceptions"), QStringList{QStringLiteral("/x").repeated(2048)}}})
                                       << QStringLiteral("4095");

#if QT_VERSION_MAJOR < 6
        // A crafted client can send a key twice; which value wins must not
        // be left to the order of the stream. (Qt 6's maps keep one value
        // of a key, however often the stream repeats it.)
        QMultiMap<QString, QVariant> status(request({{QStringLiteral("micStatus"), 2}}));
        status.insert(QStringLiteral("micStatus"), 4);
        QTest::newRow("status twice") << QVariantMap(status) << QStringLiteral("micStatus");
        QMultiHash<QString, QVariant> users;
        users.insert(QStringLiteral("root"), 7u);
        users.insert(QStringLiteral("root"), 0u);
        QTest::newRow("user twice") << request({{QStringLiteral("userILevels"), QVariantHash(users)}}) << QStringLiteral("root");
        QMultiHash<QString, QVariant> rules;
        const QString high = rootPath(QStringLiteral("files/high"));
        rules.insert(high, QStringLiteral("63"));
        rules.insert(high, em);
        QTest::newRow("rule twice") << request({{QStringLiteral("micFsCurrentItems"), QVariantHash(rules)}}) << high;
#endif
        const auto sshd = [](bool isolated) {
            return hash({{QStringLiteral("name"), QStringLiteral("sshd")}, {QStringLiteral("isIsolated"), isolated}});
        };
        QTest::newRow("service twice") << request({{QStringLiteral("services"), QVariantList{sshd(true), sshd(false)}}}) << QStringLiteral("sshd");
    }
    void badRequestsChangeNothing()
    {
        QFETCH(QVariantMap, args);
        QFETCH(QString, named);
        // A valid part beside the bad one must not be applied either.
        args.insert(QStringLiteral("userILevels"), args.value(QStringLiteral("userILevels"), hash({{QStringLiteral("root"), 7u}})));
        const auto before = snapshotStateRoot();
        const Outcome outcome = execute(QStringLiteral("change"), args);
        QVERIFY(outcome.finished);
        // Above the codes of KJob and KAuth, so no client takes it for theirs.
        QVERIFY2(outcome.error > 200, qPrintable(QString::number(outcome.error)));
        QVERIFY2(outcome.errorText.contains(named), qPrintable(outcome.errorText));
        QCOMPARE(snapshotStateRoot(), before);
    }

    void errorsInTheCallersLanguage()
    {
        QVariantMap args{{QStringLiteral("micStatus"), QStringLiteral("x")},
                         {QStringLiteral("languages"), QStringList{QStringLiteral("de")}},
                         {QStringLiteral("lcmessages"), QStringLiteral("C")}};
        const Outcome german = execute(QStringLiteral("change"), args);
        QVERIFY2(german.errorText.startsWith(QStringLiteral("„x“ ist kein Zustand")), qPrintable(german.errorText));
        args.insert(QStringLiteral("languages"), QStringList{QStringLiteral("C")});
        const Outcome english = execute(QStringLiteral("change"), args);
        QVERIFY2(english.errorText.startsWith(QStringLiteral("\"x\" is not a state")), qPrintable(english.errorText));
    }

    void enablingNeedsAReboot()
    {
        const Outcome outcome = execute(QStringLiteral("change"),
                                        request({{QStringLiteral("micStatus"), 2}, {QStringLiteral("micFutureLevel"), 63u}, {QStringLiteral("micFsStatus"), 4}}));
        QCOMPARE(outcome.error, 0);
        QCOMPARE(outcome.data.value(QStringLiteral("needReboot")), QVariant(true));
        QCOMPARE(readState().value(QStringLiteral("micStatus")).toInt(), 5); // enabled after reboot
        QVERIFY(QFile::exists(rootPath(QStringLiteral("var/lib/kestrel/mic.state.old"))));

        // The same again changes nothing that needs a boot.
        const Outcome again = execute(QStringLiteral("change"), request({{QStringLiteral("micStatus"), 2}, {QStringLiteral("micFutureLevel"), 63u}}));
        QCOMPARE(again.data.value(QStringLiteral("needReboot")), QVariant(false));

        QProcess reboot;
        reboot.start(QStringLiteral(REBOOT_COMMAND_PATH), {QStringLiteral("TARNWM_REBOOT")});
        QVERIFY(reboot.waitForFinished());
        QCOMPARE(reboot.exitCode(), 0);
        const QVariantMap state = readState();
        QCOMPARE(state.value(QStringLiteral("micStatus")).toInt(), 2);
        QCOMPARE(state.value(QStringLiteral("micFutureLevel")).toUInt(), 63u);
        QVERIFY(readRootFile(QStringLiteral("var/lib/kestrel/mic.state")).contains("max-ilev = 63"));
    }

    void onlyAChangedBootNeedsAReboot()
    {
        // Off now, on after the next boot: cancelling that needs no boot.
        writeMicState(false, true, false);
        const Outcome cancel = execute(QStringLiteral("change"), request({{QStringLiteral("micStatus"), 4}}));
        QCOMPARE(cancel.error, 0);
        QCOMPARE(cancel.data.value(QStringLiteral("needReboot")), QVariant(false));
        QCOMPARE(readState().value(QStringLiteral("micStatus")).toInt(), 4);

        // On at 63 with 127 pending for the next boot: back to 63 needs none
        // either, while a level the running system lacks does.
        writeMicState(true, true, false);
        const Outcome back = execute(QStringLiteral("change"), request({{QStringLiteral("micStatus"), 2}, {QStringLiteral("micFutureLevel"), 63u}}));
        QCOMPARE(back.data.value(QStringLiteral("needReboot")), QVariant(false));
        const Outcome other = execute(QStringLiteral("change"), request({{QStringLiteral("micFutureLevel"), 31u}}));
        QCOMPARE(other.data.value(QStringLiteral("needReboot")), QVariant(true));
    }

    void rulesExceptionsUsersAndServices()
    {
        const QByteArray configBefore = readRootFile(QStringLiteral("etc/kestrel/fs-ilev.conf"));
        const Outcome outcome = execute(QStringLiteral("change"),
                                        request({{QStringLiteral("micFsCurrentItems"),
                                                  hash({{file("mask"), em}, {file("high"), QStringLiteral("0x3F")}, {QStringLiteral("/opt/new"), QStringLiteral("low")}})},
                                                 {QStringLiteral("micFsCurrentExceptions"), QStringList{QStringLiteral("/var/tmp")}},
                                                 {QStringLiteral("userILevels"), hash({{QStringLiteral("root"), 31u}, {QStringLiteral("nobody"), 3}})},
                                                 {QStringLiteral("servicesIsolatedStatus"), 3},
                                                 {QStringLiteral("services"),
                                                  QVariantList{hash({{QStringLiteral("name"), QStringLiteral("sshd")}, {QStringLiteral("isIsolated"), true}}),
                                                               hash({{QStringLiteral("name"), QStringLiteral("broken")}, {QStringLiteral("isIsolated"), true}})}}}));
        QCOMPARE(outcome.error, 0);
        QCOMPARE(outcome.data.value(QStringLiteral("needReboot")), QVariant(false));
        const QStringList warnings = outcome.data.value(QStringLiteral("warnings")).toStringList();
        QCOMPARE(warnings.size(), 1);
        QVERIFY2(warnings.first().contains(QStringLiteral("broken")), qPrintable(warnings.first()));
        QCOMPARE(readRootFile(QStringLiteral("etc/kestrel/fs-ilev.conf.old")), configBefore);

        const QVariantMap state = readState();
        const QVariantHash rules = state.value(QStringLiteral("micFsCurrentItems")).toHash();
        QVERIFY(!rules.contains(file("mask")));
        QCOMPARE(rules.value(file("high")).toString(), QStringLiteral("0x3F"));
        QCOMPARE(rules.value(QStringLiteral("/opt/new")).toString(), QStringLiteral("low"));
        QCOMPARE(state.value(QStringLiteral("micFsCurrentExceptions")).toStringList(), QStringList{QStringLiteral("/var/tmp")});
        QCOMPARE(state.value(QStringLiteral("userILevels")).toHash().value(QStringLiteral("root")).toUInt(), 31u);
        QCOMPARE(state.value(QStringLiteral("userILevels")).toHash().value(QStringLiteral("nobody")).toUInt(), 3u);
        QCOMPARE(state.value(QStringLiteral("servicesIsolatedStatus")).toInt(), 2); // both working services now
        QVERIFY(readRootFile(QStringLiteral("etc/kestrel/fs-ilev.conf")).startsWith("# rules\n"));
    }

    // New user entries come sorted; users at level 0 without an entry get
    // none; five generations of each file are kept.
    void usersAndBackups()
    {
        // A state file's label, mode and owner stay with it, and go with its
        // backups, whatever the helper's umask (the bus's usual 022).
        const QString users = rootPath(QStringLiteral("var/lib/kestrel/users.state"));
        QVERIFY(setLabel(users, 63));
        QVERIFY(::chmod(QFile::encodeName(users).constData(), 0640) == 0 && ::chown(QFile::encodeName(users).constData(), 0, 65534) == 0);
        const auto modeAndGroup = [](const QString &path) {
            struct stat status = {};
            ::stat(QFile::encodeName(path).constData(), &status);
            return qMakePair(status.st_mode & 07777, status.st_gid);
        };
        QCOMPARE(execute(QStringLiteral("change"), request({{QStringLiteral("userILevels"), hash({{QStringLiteral("sys"), 5u}, {QStringLiteral("bin"), 4u}, {QStringLiteral("daemon"), 0u}})}})).error, 0);
        QCOMPARE(helperUmask(), QByteArray("0022"));
        QCOMPARE(labelOf(rootPath(QStringLiteral("var/lib/kestrel/users.state"))), QByteArray("63"));
        QCOMPARE(labelOf(rootPath(QStringLiteral("var/lib/kestrel/users.state.old"))), QByteArray("63"));
        const QStringList files{users, users + QStringLiteral(".old")};
        for (const QString &path : files) {
            QCOMPARE(modeAndGroup(path), qMakePair(mode_t(0640), gid_t(65534)));
        }
        QCOMPARE(readRootFile(QStringLiteral("var/lib/kestrel/users.state")), QByteArray("root = 63\nno-such-user = 15\nnobody = junk\nbin = 4\nsys = 5\n"));
        for (unsigned int level = 1; level <= 7; ++level) {
            QCOMPARE(execute(QStringLiteral("change"), request({{QStringLiteral("userILevels"), hash({{QStringLiteral("root"), level}})}})).error, 0);
        }
        const auto rootLevelIn = [](const QString &name) {
            return readRootFile(QStringLiteral("var/lib/kestrel/") + name).split('\n').first();
        };
        QCOMPARE(rootLevelIn(QStringLiteral("users.state")), QByteArray("root = 7"));
        QCOMPARE(rootLevelIn(QStringLiteral("users.state.old")), QByteArray("root = 6"));
        QCOMPARE(rootLevelIn(QStringLiteral("users.state.old.1")), QByteArray("root = 5"));
        QCOMPARE(rootLevelIn(QStringLiteral("users.state.old.4")), QByteArray("root = 2"));
        QVERIFY(!QFile::exists(rootPath(QStringLiteral("var/lib/kestrel/users.state.old.5"))));
        QCOMPARE(modeAndGroup(users + QStringLiteral(".old.4")), qMakePair(mode_t(0640), gid_t(65534)));

        // A state file that was not there is the owner's alone; mic.state,
        // which every user's label library reads, is not.
        QFile::remove(users);
        QFile::remove(rootPath(QStringLiteral("var/lib/kestrel/mic.state")));
        QCOMPARE(execute(QStringLiteral("change"), request({{QStringLiteral("userILevels"), hash({{QStringLiteral("root"), 3u}})}, {QStringLiteral("micStatus"), 2}})).error, 0);
        QCOMPARE(modeAndGroup(users), qMakePair(mode_t(0600), gid_t(0)));
        QCOMPARE(modeAndGroup(rootPath(QStringLiteral("var/lib/kestrel/mic.state"))), qMakePair(mode_t(0644), gid_t(0)));
    }

    // Users whose names the users' state file cannot hold, added to the
    // machine by hand: a read gives them level 0 like every user without an
    // entry; a change naming one is refused, naming it as it can be shown,
    // and writes nothing.
    void userNamesTheStateFileCannotHold()
    {
        const QString blank = QStringLiteral("john doe");
        const QString control = QStringLiteral("esc\x1b]2;x");
        const HandMadeUsers users({blank, QStringLiteral("eq=uals"), control});
        const QVariantHash levels = readState().value(QStringLiteral("userILevels")).toHash();
        QCOMPARE(levels.value(blank), QVariant(0u));
        QCOMPARE(levels.value(control), QVariant(0u));
        QCOMPARE(levels.value(QStringLiteral("root")), QVariant(63u));

        const auto before = snapshotStateRoot();
        for (const QString &user : {blank, QStringLiteral("eq=uals"), control}) {
            const Outcome outcome = execute(QStringLiteral("change"), request({{QStringLiteral("userILevels"), hash({{user, 5u}, {QStringLiteral("nobody"), 3u}})}}));
            QVERIFY2(outcome.error > 200, qPrintable(user));
            QVERIFY2(outcome.errorText.contains(QStringLiteral("cannot be kept in the users' state file")), qPrintable(outcome.errorText));
            QVERIFY2(!outcome.errorText.contains(QLatin1Char('\x1b')), qPrintable(outcome.errorText));
        }
        QVERIFY(execute(QStringLiteral("change"), request({{QStringLiteral("userILevels"), hash({{control, 5u}})}})).errorText.contains(QStringLiteral("\"esc\\x1b]2;x\"")));
        QCOMPARE(snapshotStateRoot(), before);
        QCOMPARE(readState().value(QStringLiteral("userILevels")).toHash().value(QStringLiteral("root")), QVariant(63u));
    }

    // A container with a rule of its own, given after an object inside it,
    // still covers the object once both are labelled.
    void containersCoverWhatTheyHold()
    {
        QDir().mkpath(file("d"));
        QFile(file("d/x")).open(QIODevice::WriteOnly);
        QVERIFY(setLabel(file("d"), 0));
        writeRootFile(QStringLiteral("etc/kestrel/fs-ilev.conf"), "7 " + file("d/x").toUtf8() + "\n4 " + file("d").toUtf8() + "\n");
        QCOMPARE(execute(QStringLiteral("change"), request({{QStringLiteral("micFsStatus"), 2}})).error, 0);
        QCOMPARE(labelOf(file("d/x")), QByteArray("7"));
        QCOMPARE(labelOf(file("d")), QByteArray("7"));
    }

    // An exception keeps its level, also as the container of an object
    // labelled inside it. A check-only request works out the same labels
    // and changes nothing.
    void exceptionsStayAsTheyAreAndChecksChangeNothing()
    {
        QDir().mkpath(file("e"));
        QFile(file("e/x")).open(QIODevice::WriteOnly);
        QVERIFY(setLabel(file("e"), 0) && setLabel(file("e/x"), 0));
        writeRootFile(QStringLiteral("etc/kestrel/fs-ilev.conf"), "12 " + file("e/x").toUtf8() + "\n7 " + file("uncovered").toUtf8() + "\nexception " + file("e").toUtf8() + "\n");
        const QVariantMap protect = request({{QStringLiteral("micFsStatus"), 2}});
        QVariantMap checkOnly = protect;
        checkOnly.insert(Mic::Protocol::checkOnlyKey, true);

        const auto before = snapshotStateRoot();
        const Outcome checked = execute(QStringLiteral("change"), checkOnly);
        QCOMPARE(checked.error, 0);
        QCOMPARE(snapshotStateRoot(), before);
        const Outcome applied = execute(QStringLiteral("change"), protect);
        QCOMPARE(applied.error, 0);
        QCOMPARE(labelOf(file("e/x")), QByteArray("12"));
        QCOMPARE(labelOf(file("e")), QByteArray("0"));
        QCOMPARE(labelOf(file("uncovered")), QByteArray("7"));
        // e/x; "uncovered" (8 → 7, lowered) and, as its container, the
        // folder "files"; not "e".
        QCOMPARE(applied.data.value(QStringLiteral("relabelledCount")).toInt(), 3);
        QCOMPARE(applied.data.value(QStringLiteral("loweredCount")).toInt(), 1);
        for (const char *key : {"relabelled", "relabelledCount", "loweredCount", "needReboot", "warnings"}) {
            QVERIFY2(checked.data.value(QLatin1String(key)) == applied.data.value(QLatin1String(key)), key);
        }
    }

    void protectingLabelsWhatIsNotCovered()
    {
        const Outcome outcome = execute(QStringLiteral("change"), request({{QStringLiteral("micFsStatus"), 2}}));
        QCOMPARE(outcome.error, 0);
        QCOMPARE(labelOf(file("uncovered")), QByteArray("7"));
        QCOMPARE(labelOf(file("mask")), QByteArray("12")); // covered already: untouched
        QCOMPARE(labelOf(file("excepted")), QByteArray());
        const QStringList warnings = outcome.data.value(QStringLiteral("warnings")).toStringList();
        QCOMPARE(warnings.size(), 1);
        QVERIFY(warnings.first().contains(file("missing")));
        QCOMPARE(readState().value(QStringLiteral("micFsStatus")).toInt(), 2);

        QCOMPARE(execute(QStringLiteral("change"), request({{QStringLiteral("micFsStatus"), 4}})).error, 0);
        QCOMPARE(readState().value(QStringLiteral("micFsStatus")).toInt(), 4);
    }

    // Labels belong to the objects at the configured paths; no link on the
    // way is followed, and what cannot be labelled is said, not fatal.
    void linksAreNeverFollowed()
    {
        const QString outside = rootPath(QStringLiteral("outside"));
        QDir().mkpath(outside);
        QFile(outside + QStringLiteral("/f")).open(QIODevice::WriteOnly);
        QVERIFY(setLabel(outside + QStringLiteral("/f"), 1));
        QVERIFY(QFile::link(outside, file("dirlink")));
        QVERIFY(QFile::link(file("uncovered"), file("link")));
        QFile(file("longlabel")).open(QIODevice::WriteOnly);
        const QByteArray longLabel = "000000000000000000000063";
        QVERIFY(::lsetxattr(QFile::encodeName(file("longlabel")).constData(), "security.kestrel.ilev", longLabel.constData(), longLabel.size(), 0) == 0);
        writeRootFile(QStringLiteral("etc/kestrel/fs-ilev.conf"),
                      "63 " + file("longlabel").toUtf8() + "\n7 " + file("dirlink/f").toUtf8() + "\n63 " + file("link").toUtf8() + "\n");

        writeMicState(true, true, true);
        // Listed in path order, whatever the order of the file.
        const QStringList lines = readState().value(QStringLiteral("micFsStatusMessages")).toStringList();
        QCOMPARE(lines.size(), 3);
        QVERIFY2(lines.at(0).contains(QStringLiteral("symbolic link ") + file("dirlink")), qPrintable(lines.at(0)));
        QVERIFY2(lines.at(2).contains(QStringLiteral("too long")), qPrintable(lines.at(2)));

        const Outcome outcome = execute(QStringLiteral("change"), request({{QStringLiteral("micFsStatus"), 2}}));
        QCOMPARE(outcome.error, 0);
        const QString warnings = outcome.data.value(QStringLiteral("warnings")).toStringList().join(QLatin1Char('\n'));
        QVERIFY2(warnings.contains(file("dirlink/f")) && warnings.contains(file("longlabel")), qPrintable(warnings));
        QCOMPARE(labelOf(outside + QStringLiteral("/f")), QByteArray("1"));
        QCOMPARE(labelOf(file("link")), QByteArray("63")); // the link itself
        QCOMPARE(labelOf(file("uncovered")), QByteArray("8"));
        QCOMPARE(labelOf(file("longlabel")), longLabel);
        // And the next save is not blocked by them.
        QCOMPARE(execute(QStringLiteral("change"), request({{QStringLiteral("micFsStatus"), 2}})).error, 0);
    }

    // A directory on a configured path, owned by another user, swapped for a
    // link between the check and the labelling: nothing behind the link is
    // labelled, and the reply names the path among what was not labelled;
    // the rest of the change applies.
    void aDirectorySwappedForALinkIsNotFollowed()
    {
#ifndef MIC_HELPER_TEST_HOOKS
        QSKIP("the helper was built without the hooks of its tests (-DMIC_HELPER_TEST_HOOKS=ON)");
#endif
        const QString owned = file("owned");
        const QString outside = rootPath(QStringLiteral("outside"));
        QDir().mkpath(owned);
        QDir().mkpath(outside);
        for (const QString &dir : {owned, outside}) {
            QFile(dir + QStringLiteral("/f")).open(QIODevice::WriteOnly);
        }
        QVERIFY(setLabel(owned + QStringLiteral("/f"), 1));
        QVERIFY(setLabel(outside + QStringLiteral("/f"), 63));
        QVERIFY(::chown(QFile::encodeName(owned).constData(), 65534, 65534) == 0);
        writeRootFile(QStringLiteral("etc/kestrel/fs-ilev.conf"), "7 " + owned.toUtf8() + "/f\n");

        bool swapped = false;
        const Outcome outcome = protectWithChangeBeforeLabelling([&] {
            swapped = QFile::rename(owned, owned + QStringLiteral(".old")) && QFile::link(outside, owned);
        });
        QVERIFY(swapped);
        QCOMPARE(outcome.error, 0);
        const QString warnings = outcome.data.value(QStringLiteral("warnings")).toStringList().join(QLatin1Char('\n'));
        QVERIFY2(warnings.contains(owned + QStringLiteral("/f")), qPrintable(warnings));
        QCOMPARE(readState().value(QStringLiteral("micFsStatus")).toInt(), 3);
        QCOMPARE(labelOf(outside + QStringLiteral("/f")), QByteArray("63"));
        QCOMPARE(labelOf(owned + QStringLiteral(".old/f")), QByteArray("1"));
    }

    // A user who owns a configured object renames it away between the check
    // and the labelling: it is skipped and named, the rest applies.
    void anObjectGoneSinceTheCheckIsSkipped()
    {
#ifndef MIC_HELPER_TEST_HOOKS
        QSKIP("the helper was built without the hooks of its tests (-DMIC_HELPER_TEST_HOOKS=ON)");
#endif
        const QString owned = file("userdir");
        QDir().mkpath(owned);
        for (const QString &name : {QStringLiteral("/f"), QStringLiteral("/g")}) {
            QFile(owned + name).open(QIODevice::WriteOnly);
            QVERIFY(::chown(QFile::encodeName(owned + name).constData(), 65534, 65534) == 0);
        }
        QVERIFY(::chown(QFile::encodeName(owned).constData(), 65534, 65534) == 0);
        writeRootFile(QStringLiteral("etc/kestrel/fs-ilev.conf"), "7 " + owned.toUtf8() + "/f\n7 " + owned.toUtf8() + "/g\n");

        bool renamed = false;
        const Outcome outcome = protectWithChangeBeforeLabelling([&] {
            renamed = QFile::rename(owned + QStringLiteral("/f"), owned + QStringLiteral("/f.away"));
        });
        QVERIFY(renamed);
        QCOMPARE(outcome.error, 0);
        const QString warnings = outcome.data.value(QStringLiteral("warnings")).toStringList().join(QLatin1Char('\n'));
        QVERIFY2(warnings.contains(QStringLiteral("gone")) && warnings.contains(owned + QStringLiteral("/f")), qPrintable(warnings));
        QCOMPARE(labelOf(owned + QStringLiteral("/g")), QByteArray("7"));
        QCOMPARE(labelOf(owned + QStringLiteral("/f.away")), QByteArray());
    }
};

QTEST_MAIN(HelperChangeTest)
#include "helperchangetest.moc"
