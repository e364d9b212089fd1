// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

// Feeds change requests to the helper's check of them. Every input is tried
// twice: read as a QVariantMap as the helper reads its arguments from a
// client (the shared check of the stream first), and decoded by a small builder that picks the
// request's keys, value types and values from the bytes, so the fuzzer
// reaches the checks of nested tables and lists quickly.
//
// What the check lets through goes straight to the files and labels of the
// system, so an accepted request must hold only what those can take:
// absolute, normalised paths other than "/" without control characters
// (but in a rule that is removed), levels 0..255, statuses that can be set,
// services that can be isolated, users whose names the users' state file
// can hold, and rules and exceptions that the configuration file can hold
// and read back. A refused request must say why.
//
//   changerequestfuzzer --write-seeds DIR   writes the seed corpus
// (with QT_HASH_SEED=0 the same bytes each time: tables are hashes).
#include <changerequest.h>
#include "fuzzcheck.h"

#include <fsilevconfig.h>
#include <kauthwire.h>
#include <protocol.h>
#include <replyseal.h>
#include <statefile.h>

#include <KLocalizedString>

#include <QCoreApplication>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QMultiHash>
#include <QMultiMap>
#include <QSet>
#include <QUrl>

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{
const QString noLevel = QStringLiteral("\u2014");
const QStringList isolatableServices{QStringLiteral("sshd"), QStringLiteral("cups"), QStringLiteral("nginx")};
// A configuration the accepted rules and exceptions are applied to.
const QByteArray baseConfig = "# base\nhigh /usr/bin\nexception /tmp\n";

using FuzzCheck::require;
using FuzzCheck::shown;

// Said here again, independently of the helper: what a rule or exception
// path must be.
bool isNormalisedEntryPath(const QString &path)
{
    if (!path.startsWith(QLatin1Char('/')) || path.size() < 2 || path.endsWith(QLatin1Char('/'))) {
        return false;
    }
    if (path.contains(QChar(0)) || path.contains(QLatin1Char('\n')) || path.contains(QLatin1Char('\r'))) {
        return false;
    }
    const QStringList segments = path.mid(1).split(QLatin1Char('/'));
    for (const QString &segment : segments) {
        if (segment.isEmpty() || segment == QLatin1String(".") || segment == QLatin1String("..")) {
            return false;
        }
    }
    return true;
}

// C0, DEL and C1, said here again.
bool hasControlCharacter(const QString &path)
{
    return std::any_of(path.cbegin(), path.cend(), [](QChar c) {
        return c.unicode() < 0x20 || (c.unicode() >= 0x7f && c.unicode() <= 0x9f);
    });
}

// A request's seal is taken only when it is exactly one id and one key of
// their sizes; what it seals opens with it and with no other.
void checkSeal(const QVariantMap &args)
{
    using namespace Mic::Protocol;
    const auto bytesOfSize = [&args](const QString &key, int size) {
        return args.count(key) == 1 && args.value(key).userType() == QMetaType::QByteArray && args.value(key).toByteArray().size() == size;
    };
    QString why;
    const std::optional<ReplySeal> seal = ReplySeal::fromRequest(args, &why);
    require(seal.has_value() == (bytesOfSize(requestIdKey, requestIdSize) && bytesOfSize(replyKeyKey, replyKeySize)), "a seal taken or refused wrongly");
    require(seal.has_value() || !why.isEmpty(), "a seal was refused without a reason");
    if (!seal) {
        return;
    }
    const QVariantMap payload{{stageKey, replyStage}, {dataKey, QVariantMap{{QStringLiteral("n"), args.size()}}}};
    const QVariantMap sealed = seal->seal(payload);
    require(seal->open(sealed) == payload, "a sealed map does not open with its own seal");
    require(!ReplySeal::generate().open(sealed).has_value(), "a sealed map opens with another seal");
    require(!seal->open(args).has_value(), "a request opens as a sealed map");
}

void checkRequest(const QVariantMap &args, const QStringList &isolatable)
{
    checkSeal(args);
    QString error;
    const std::optional<ChangeRequest> request = ChangeRequest::parse(args, isolatable, &error);
    if (!request) {
        require(!error.isEmpty(), "a request was refused without a reason");
        return;
    }

    // Nothing the client asked for is dropped silently.
    const auto given = [&args](const char *key) {
        return args.contains(QLatin1String(key));
    };
    require(given("micStatus") == request->mic.has_value(), "micStatus dropped");
    require(given("servicesIsolatedStatus") == request->isolation.has_value(), "servicesIsolatedStatus dropped");
    require(given("micFsStatus") == request->protection.has_value(), "micFsStatus dropped");
    require(given("micFutureLevel") == request->futureLevel.has_value(), "micFutureLevel dropped");
    require(given("userILevels") == request->userLevels.has_value(), "userILevels dropped");
    require(given("micFsCurrentItems") == request->ruleChanges.has_value(), "micFsCurrentItems dropped");
    require(given("micFsCurrentExceptions") == request->exceptions.has_value(), "micFsCurrentExceptions dropped");
    require(given("services") == request->services.has_value(), "services dropped");

    // Keys given twice (a stream can carry them) are refused, not resolved.
    require(args.uniqueKeys().size() == args.size(), "a setting given twice was accepted");
    for (const char *table : {"userILevels", "micFsCurrentItems"}) {
        const QVariantHash hash = args.value(QLatin1String(table)).toHash();
        require(hash.uniqueKeys().size() == hash.size(), "an entry given twice was accepted", QLatin1String(table));
    }
    // Statuses are checked whole, not after a cut to 32 bits.
    for (const char *key : {"micStatus", "servicesIsolatedStatus", "micFsStatus"}) {
        const QVariant given = args.value(QLatin1String(key));
        require(!given.isValid() || (given.toString() == QLatin1String("2") || given.toString() == QLatin1String("3") || given.toString() == QLatin1String("4")),
                "a status beyond its values was accepted",
                shown(given.toString()));
    }

    // The statuses by their numbers on the wire: 2 on, 3 partly, 4 off.
    if (request->mic) {
        const int status = int(*request->mic);
        require(status == 2 || status == 4, "micStatus", QString::number(status));
    }
    if (request->isolation) {
        const int status = int(*request->isolation);
        require(status >= 2 && status <= 4, "servicesIsolatedStatus", QString::number(status));
    }
    if (request->protection) {
        const int status = int(*request->protection);
        require(status == 2 || status == 4, "micFsStatus", QString::number(status));
    }
    if (request->futureLevel) {
        require(*request->futureLevel <= 255, "future level above 255", QString::number(*request->futureLevel));
    }
    if (request->userLevels) {
        for (auto it = request->userLevels->cbegin(); it != request->userLevels->cend(); ++it) {
            require(it.value() <= 255, "user level above 255", shown(it.key()));
            require(!it.key().isEmpty(), "a level for a user without a name");
            require(StateFile::isValidKey(it.key().toStdString()), "a user the state file cannot hold", shown(it.key()));
        }
    }
    if (request->services) {
        for (const ServiceIsolation &service : std::as_const(*request->services)) {
            require(isolatable.contains(service.name), "a service that cannot be isolated", shown(service.name));
        }
    }

    // Rules and exceptions must be what the configuration can hold: the
    // helper applies them to the file and must be able to read it back.
    FsIlevConfig config = *FsIlevConfig::parse(baseConfig, nullptr);
    if (request->ruleChanges) {
        for (auto it = request->ruleChanges->cbegin(); it != request->ruleChanges->cend(); ++it) {
            const QString detail = shown(it.key()) + QLatin1Char(' ') + shown(it.value());
            require(isNormalisedEntryPath(it.key()), "rule path not absolute and normalised", detail);
            require(it.value() == noLevel || FsIlevConfig::isValidLevelString(it.value()), "invalid rule level", detail);
            require(it.value() == noLevel || !hasControlCharacter(it.key()), "a control character in a new rule's path", detail);
            require(config.setRule(it.key(), it.value()), "an accepted rule cannot be set", detail);
        }
    }
    if (request->exceptions) {
        const QStringList &paths = *request->exceptions;
        for (const QString &path : paths) {
            require(isNormalisedEntryPath(path), "exception path not absolute and normalised", shown(path));
            require(!hasControlCharacter(path), "a control character in an exception's path", shown(path));
        }
        require(QSet<QString>(paths.cbegin(), paths.cend()).size() == paths.size(), "an exception listed twice");
        require(config.setExceptions(paths), "accepted exceptions cannot be set");
    }
    QString why;
    const std::optional<FsIlevConfig> written = FsIlevConfig::parse(config.serialize(), &why);
    require(written.has_value(), "an accepted request leaves an unreadable configuration", why);
    QString asSet;
    const QHash<QString, QString> rules = config.rules();
    for (auto it = rules.cbegin(); it != rules.cend(); ++it) {
        asSet += shown(it.key()) + QLatin1Char(' ');
    }
    for (const QString &path : config.exceptions()) {
        asSet += shown(path) + QLatin1Char(' ');
    }
    require(written->rules() == config.rules(), "the written rules read back differently", asSet);
    require(written->exceptions() == config.exceptions(), "the written exceptions read back differently", asSet);
}

QVariantMap toMap(const QVariantHash &hash)
{
    QVariantMap map;
    for (auto it = hash.cbegin(); it != hash.cend(); ++it) {
        map.insert(it.key(), it.value());
    }
    return map;
}

// Builds a request from the bytes: mostly the keys the helper knows with
// values of about the right shape, sometimes anything.
class RequestBuilder
{
public:
    explicit RequestBuilder(FuzzedDataProvider &input)
        : input(input)
    {
    }

    QStringList isolatable()
    {
        QStringList services = isolatableServices;
        if (input.ConsumeBool()) {
            services << text();
        }
        return services;
    }

    QVariantMap request()
    {
        static const QStringList keys{QStringLiteral("micStatus"),
                                      QStringLiteral("servicesIsolatedStatus"),
                                      QStringLiteral("micFsStatus"),
                                      QStringLiteral("userILevels"),
                                      QStringLiteral("micFutureLevel"),
                                      QStringLiteral("micFsCurrentItems"),
                                      QStringLiteral("micFsCurrentExceptions"),
                                      QStringLiteral("services"),
                                      QStringLiteral("languages"),
                                      QStringLiteral("lcmessages"),
                                      Mic::Protocol::requestIdKey,
                                      Mic::Protocol::replyKeyKey,
                                      Mic::Protocol::chunkedRepliesKey,
                                      QStringLiteral("micstatus"),
                                      QString()};
        // A multi-map: a crafted stream can give a key twice.
        QMultiMap<QString, QVariant> map;
        const int size = input.ConsumeIntegralInRange(0, 6);
        for (int i = 0; i < size && input.remaining_bytes() > 0; ++i) {
            const QString key = !map.isEmpty() && input.ConsumeIntegralInRange(0, 7) == 0 ? map.firstKey() : pick(keys);
            map.insert(key, input.ConsumeIntegralInRange(0, 7) == 0 ? anything(0) : valueFor(key));
        }
        return QVariantMap(map);
    }

private:
    QString pick(const QStringList &options)
    {
        return options.at(input.ConsumeIntegralInRange(0, options.size() - 1));
    }

    // Any text, as UTF-8 or as raw UTF-16 units.
    QString text()
    {
        const std::string bytes = input.ConsumeRandomLengthString(24);
        if (input.ConsumeBool()) {
            return QString::fromUtf8(bytes.data(), int(bytes.size()));
        }
        QString units(int(bytes.size() / 2), Qt::Uninitialized);
        memcpy(units.data(), bytes.data(), size_t(units.size()) * sizeof(QChar));
        return units;
    }

    QString path()
    {
        static const QStringList segments{QStringLiteral("etc"),
                                          QStringLiteral("usr"),
                                          QStringLiteral("bin"),
                                          QStringLiteral("my file"),
                                          QStringLiteral("."),
                                          QStringLiteral(".."),
                                          QString(),
                                          QStringLiteral(" "),
                                          QStringLiteral("a\tb"),
                                          QStringLiteral("j\u00fcrgen"),
                                          QStringLiteral("x\u00a0"),
                                          QStringLiteral("\u2014"),
                                          QStringLiteral("#"),
                                          QStringLiteral("exception"),
                                          QString(QChar(0xd800)),
                                          QString(QChar(0xdc00)),
                                          QString(QChar(0xfffe)),
                                          QString(QChar(0xfeff)),
                                          QString(QChar(0)),
                                          QStringLiteral("\n"),
                                          QStringLiteral("\r")};
        if (input.ConsumeIntegralInRange(0, 7) == 0) {
            return text();
        }
        QString result = input.ConsumeIntegralInRange(0, 9) == 0 ? QString() : QStringLiteral("/");
        const int count = input.ConsumeIntegralInRange(0, 4);
        for (int i = 0; i < count; ++i) {
            if (i > 0) {
                result += QLatin1Char('/');
            }
            result += input.ConsumeBool() ? pick(segments) : text();
        }
        if (input.ConsumeIntegralInRange(0, 9) == 0) {
            result += pick({QStringLiteral("/"), QStringLiteral(" "), QStringLiteral("\t")});
        }
        return result;
    }

    QString level()
    {
        static const QStringList levels{QStringLiteral("max"),
                                        QStringLiteral("high"),
                                        QStringLiteral("min"),
                                        QStringLiteral("low"),
                                        noLevel,
                                        QStringLiteral("0"),
                                        QStringLiteral("255"),
                                        QStringLiteral("0x3f"),
                                        QStringLiteral("017"),
                                        QStringLiteral("0b101"),
                                        QStringLiteral("0b"),
                                        QStringLiteral("0x"),
                                        QStringLiteral("-1"),
                                        QStringLiteral("+5"),
                                        QStringLiteral(" 5"),
                                        QStringLiteral("5\n"),
                                        QStringLiteral("4294967296"),
                                        QStringLiteral("exception"),
                                        QStringLiteral("Max"),
                                        QString()};
        return input.ConsumeIntegralInRange(0, 5) == 0 ? text() : pick(levels);
    }

    QString userName()
    {
        static const QStringList users{QStringLiteral("root"),
                                       QStringLiteral("nobody"),
                                       QStringLiteral("daemon"),
                                       QStringLiteral("no-such-user"),
                                       QStringLiteral("ROOT"),
                                       QStringLiteral("root\n"),
                                       QStringLiteral("ro\0ot"),
                                       QString()};
        return input.ConsumeIntegralInRange(0, 5) == 0 ? text() : pick(users);
    }

    // Whole numbers of the types a client may send, and near misses.
    QVariant integer()
    {
        static const qint64 interesting[] = {0, 1, 2, 3, 4, 5, 63, 255, 256, -1, 0x7fffffff, 0x80000000LL, 0x100000000LL, 0x100000002LL, 0x100000004LL, -0x80000000LL};
        const qint64 value = input.ConsumeBool() ? input.PickValueInArray(interesting) : input.ConsumeIntegral<qint64>();
        switch (input.ConsumeIntegralInRange(0, 8)) {
        case 0:
            return QVariant(int(value));
        case 1:
            return QVariant(uint(value));
        case 2:
            return QVariant(qlonglong(value));
        case 3:
            return QVariant(qulonglong(value));
        case 4:
            return QVariant::fromValue(short(value));
        case 5:
            return QVariant(double(value));
        case 6:
            return QVariant(QString::number(value));
        case 7:
            return QVariant(value != 0);
        default:
            return QVariant();
        }
    }

    QVariantHash table(QString (RequestBuilder::*key)(), QVariant (RequestBuilder::*value)())
    {
        QMultiHash<QString, QVariant> hash;
        const int size = input.ConsumeIntegralInRange(0, 4);
        for (int i = 0; i < size; ++i) {
            const QString k = !hash.isEmpty() && input.ConsumeIntegralInRange(0, 7) == 0 ? hash.cbegin().key() : (this->*key)();
            hash.insert(k, (this->*value)());
        }
        return QVariantHash(hash);
    }

    QVariant levelValue()
    {
        return input.ConsumeIntegralInRange(0, 7) == 0 ? anything(2) : QVariant(level());
    }

    QVariant pathValue()
    {
        return QVariant(path());
    }

    QVariant service()
    {
        QVariantHash hash;
        if (input.ConsumeIntegralInRange(0, 7) != 0) {
            hash.insert(QStringLiteral("name"), input.ConsumeBool() ? QVariant(pick(isolatableServices)) : anything(2));
        }
        if (input.ConsumeIntegralInRange(0, 7) != 0) {
            hash.insert(QStringLiteral("isIsolated"), input.ConsumeBool() ? QVariant(input.ConsumeBool()) : anything(2));
        }
        if (input.ConsumeIntegralInRange(0, 7) == 0) {
            hash.insert(text(), anything(2));
        }
        return input.ConsumeIntegralInRange(0, 7) == 0 ? QVariant(toMap(hash)) : QVariant(hash);
    }

    QStringList paths()
    {
        QStringList list;
        const int size = input.ConsumeIntegralInRange(0, 4);
        for (int i = 0; i < size; ++i) {
            // Now and then a path given twice.
            list << (!list.isEmpty() && input.ConsumeIntegralInRange(0, 7) == 0 ? list.first() : path());
        }
        return list;
    }

    QVariant valueFor(const QString &key)
    {
        if (key == QLatin1String("userILevels")) {
            return table(&RequestBuilder::userName, &RequestBuilder::integer);
        }
        if (key == QLatin1String("micFsCurrentItems")) {
            return table(&RequestBuilder::path, &RequestBuilder::levelValue);
        }
        if (key == QLatin1String("micFsCurrentExceptions")) {
            const QStringList list = paths();
            return input.ConsumeIntegralInRange(0, 7) == 0 ? QVariant(QVariantList(list.cbegin(), list.cend())) : QVariant(list);
        }
        if (key == QLatin1String("services")) {
            QVariantList list;
            const int size = input.ConsumeIntegralInRange(0, 3);
            for (int i = 0; i < size; ++i) {
                list << service();
            }
            return list;
        }
        if (key == QLatin1String("languages")) {
            return QStringList{text()};
        }
        if (key == QLatin1String("lcmessages")) {
            return text();
        }
        if (key == Mic::Protocol::requestIdKey || key == Mic::Protocol::replyKeyKey) {
            const int size = key == Mic::Protocol::requestIdKey ? Mic::Protocol::requestIdSize : Mic::Protocol::replyKeySize;
            const int length = input.ConsumeBool() ? size : input.ConsumeIntegralInRange(0, 40);
            const std::string bytes = input.ConsumeBytesAsString(std::size_t(length));
            return QByteArray(bytes.data(), int(bytes.size()));
        }
        return integer();
    }

    QVariant anything(int depth)
    {
        switch (input.ConsumeIntegralInRange(0, depth < 2 ? 9 : 5)) {
        case 0:
            return QVariant();
        case 1:
            return integer();
        case 2:
            return text();
        case 3:
            return QByteArray::fromStdString(input.ConsumeRandomLengthString(16));
        case 4:
            return QUrl(text());
        case 5:
            return QVariant::fromValue(nullptr);
        case 6:
            return paths();
        case 7: {
            QVariantList list;
            const int size = input.ConsumeIntegralInRange(0, 3);
            for (int i = 0; i < size; ++i) {
                list << anything(depth + 1);
            }
            return list;
        }
        case 8:
        case 9: {
            QVariantHash hash;
            const int size = input.ConsumeIntegralInRange(0, 3);
            for (int i = 0; i < size; ++i) {
                hash.insert(text(), anything(depth + 1));
            }
            return input.ConsumeBool() ? QVariant(hash) : QVariant(toMap(hash));
        }
        }
        return QVariant();
    }

    FuzzedDataProvider &input;
};

struct Seed {
    const char *name;
    bool good;
    QVariantMap request;
};

QList<Seed> seeds()
{
    const auto rules = [](std::initializer_list<std::pair<QString, QVariant>> entries) {
        QVariantHash hash;
        for (const auto &entry : entries) {
            hash.insert(entry.first, entry.second);
        }
        return hash;
    };
    const auto service = [](const QVariant &name, const QVariant &isolated) {
        return QVariantHash{{QStringLiteral("name"), name}, {QStringLiteral("isIsolated"), isolated}};
    };
    const QString path1 = QStringLiteral("/etc/passwd");
    const QString path2 = QStringLiteral("/opt/my dir/tool");
    return {
        {"good-empty", true, {}},
        {"good-mic-on", true, {{QStringLiteral("micStatus"), 2}, {QStringLiteral("micFutureLevel"), 63u}}},
        {"good-mic-off", true, {{QStringLiteral("micStatus"), 4}, {QStringLiteral("micFsStatus"), 4}}},
        {"good-user-levels", true, {{QStringLiteral("userILevels"), rules({{QStringLiteral("root"), 63}, {QStringLiteral("nobody"), 0u}})}}},
        {"good-rules",
         true,
         {{QStringLiteral("micFsCurrentItems"),
           rules({{path1, QStringLiteral("max")},
                  {path2, QStringLiteral("0x3f")},
                  {QStringLiteral("/usr/bin"), noLevel},
                  {QStringLiteral("/srv"), QStringLiteral("0b101")}})}}},
        {"good-exceptions", true, {{QStringLiteral("micFsCurrentExceptions"), QStringList{QStringLiteral("/tmp"), QStringLiteral("/var/log")}}}},
        {"good-services",
         true,
         {{QStringLiteral("servicesIsolatedStatus"), 3},
          {QStringLiteral("services"), QVariantList{service(QStringLiteral("sshd"), true), service(QStringLiteral("cups"), false)}}}},
        {"good-everything",
         true,
         {{QStringLiteral("micStatus"), 2},
          {QStringLiteral("micFsStatus"), 2},
          {QStringLiteral("servicesIsolatedStatus"), 2},
          {QStringLiteral("micFutureLevel"), qulonglong(255)},
          {QStringLiteral("userILevels"), rules({{QStringLiteral("root"), qlonglong(7)}})},
          {QStringLiteral("micFsCurrentItems"), rules({{path1, QStringLiteral("low")}})},
          {QStringLiteral("micFsCurrentExceptions"), QStringList{QStringLiteral("/tmp")}},
          {QStringLiteral("services"), QVariantList{service(QStringLiteral("nginx"), true)}},
          {QStringLiteral("languages"), QStringList{QStringLiteral("de"), QStringLiteral("en_US")}},
          {QStringLiteral("lcmessages"), QStringLiteral("de_DE.UTF-8")}}},
        {"bad-unknown-key", false, {{QStringLiteral("micstatus"), 2}}},
        {"bad-status", false, {{QStringLiteral("micStatus"), 3}}},
        {"bad-status-type", false, {{QStringLiteral("micFsStatus"), QStringLiteral("2")}}},
        {"bad-level-256", false, {{QStringLiteral("micFutureLevel"), 256}}},
        {"bad-level-negative", false, {{QStringLiteral("micFutureLevel"), -1}}},
        {"bad-level-huge", false, {{QStringLiteral("userILevels"), rules({{QStringLiteral("root"), qulonglong(1) << 63}})}}},
        {"bad-level-double", false, {{QStringLiteral("micFutureLevel"), 5.0}}},
        {"bad-no-such-user", false, {{QStringLiteral("userILevels"), rules({{QStringLiteral("no-such-user"), 1}})}}},
        {"bad-users-list", false, {{QStringLiteral("userILevels"), QVariantList{QStringLiteral("root")}}}},
        {"bad-relative-path", false, {{QStringLiteral("micFsCurrentItems"), rules({{QStringLiteral("etc/passwd"), QStringLiteral("max")}})}}},
        {"bad-root-path", false, {{QStringLiteral("micFsCurrentItems"), rules({{QStringLiteral("/"), QStringLiteral("max")}})}}},
        {"bad-dot-dot", false, {{QStringLiteral("micFsCurrentItems"), rules({{QStringLiteral("/usr/../etc"), QStringLiteral("low")}})}}},
        {"bad-newline-path", false, {{QStringLiteral("micFsCurrentExceptions"), QStringList{QStringLiteral("/tmp\nhigh /etc")}}}},
        {"bad-escape-path", false, {{QStringLiteral("micFsCurrentItems"), rules({{QStringLiteral("/tmp/\x1b]2;x\x07"), QStringLiteral("max")}})}}},
        {"bad-rule-level", false, {{QStringLiteral("micFsCurrentItems"), rules({{path1, QStringLiteral("maxx")}})}}},
        {"bad-rule-level-type", false, {{QStringLiteral("micFsCurrentItems"), rules({{path1, 63}})}}},
        {"bad-exception-twice", false, {{QStringLiteral("micFsCurrentExceptions"), QStringList{QStringLiteral("/tmp"), QStringLiteral("/tmp")}}}},
        {"bad-exceptions-type", false, {{QStringLiteral("micFsCurrentExceptions"), QStringLiteral("/tmp")}}},
        {"bad-service-unknown", false, {{QStringLiteral("services"), QVariantList{service(QStringLiteral("telnetd"), true)}}}},
        {"bad-service-flag", false, {{QStringLiteral("services"), QVariantList{service(QStringLiteral("sshd"), 1)}}}},
        {"bad-service-entry", false, {{QStringLiteral("services"), QVariantList{QStringLiteral("sshd")}}}},
        {"bad-languages", false, {{QStringLiteral("languages"), QStringLiteral("de")}}},
    };
}

// Writes each seed as the helper receives it: a QVariantMap in a
// QDataStream. A seed must get the answer its name promises.
void writeSeeds(const QString &folder)
{
    QDir().mkpath(folder);
    for (const Seed &seed : seeds()) {
        QString error;
        const bool accepted = ChangeRequest::parse(seed.request, isolatableServices, &error).has_value();
        if (accepted != seed.good) {
            fprintf(stderr, "seed %s: expected to be %s (%s)\n", seed.name, seed.good ? "accepted" : "refused", qUtf8Printable(error));
            exit(1);
        }
        QByteArray bytes;
        QDataStream stream(&bytes, QIODevice::WriteOnly);
        stream << seed.request;
        QFile file(QDir(folder).filePath(QString::fromLatin1(seed.name)));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
            fprintf(stderr, "cannot write %s\n", qUtf8Printable(file.fileName()));
            exit(1);
        }
    }
}
}

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication application(*argc, *argv);
    KLocalizedString::setLanguages({QStringLiteral("en_US")});
    FuzzCheck::writeSeedsIfAsked(*argc, *argv, writeSeeds);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size)
{
    // As the helper reads a client's arguments.
    const QByteArray data = QByteArray::fromRawData(reinterpret_cast<const char *>(bytes), int(size));
    const QVariantMap args = Mic::KAuthWire::mapOf(data);
    if (!args.isEmpty()) {
        checkRequest(args, isolatableServices);
    }

    FuzzedDataProvider input(bytes, size);
    RequestBuilder builder(input);
    const QStringList isolatable = builder.isolatable();
    checkRequest(builder.request(), isolatable);
    return 0;
}
