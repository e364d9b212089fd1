// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "changerequest.h"
#include "fsilevconfig.h"

#include <constants.h>
#include <printable.h>
#include <protocol.h>
#include <statefile.h>
#include <settings.h>

#include <texts.h>

#include <QFile>
#include <QSet>

#include <algorithm>
#include <climits>
#include <functional>
#include <limits>

#include <pwd.h>

using namespace Mic::Texts;

namespace
{
constexpr unsigned int highestLevel = 255;

// The whole value of an integer as it came over the wire, before any
// conversion could cut it short; nothing for other types and for values
// beyond 64 signed bits.
std::optional<qint64> integerOf(const QVariant &value)
{
    switch (value.userType()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
        return value.toLongLong();
    case QMetaType::UInt:
        return qint64(value.toUInt());
    case QMetaType::ULongLong:
        if (value.toULongLong() > quint64(std::numeric_limits<qint64>::max())) {
            return std::nullopt;
        }
        return qint64(value.toULongLong());
    default:
        return std::nullopt;
    }
}

// A short, printable form of a value for error texts.
QString shown(const QVariant &value)
{
    QString text = value.toString();
    if (text.isEmpty() && !value.isNull()) {
        text = QString::fromLatin1(value.typeName());
    }
    constexpr int longest = 200;
    return Mic::printable(text.left(longest)) + (text.size() > longest ? QStringLiteral("…") : QString());
}

// C0, DEL and C1: a name that holds one can rewrite the terminal or the
// label that shows it.
bool hasControlCharacter(const QString &text)
{
    return std::any_of(text.cbegin(), text.cend(), [](QChar c) {
        return c.category() == QChar::Other_Control;
    });
}

bool userExists(const QString &name)
{
    const QByteArray encoded = name.toLocal8Bit();
    return !name.isEmpty() && !encoded.contains('\0') && getpwnam(encoded.constData()) != nullptr;
}

bool isRulePath(const QString &path)
{
    return FsIlevConfig::isValidPath(path) && path != QLatin1String("/");
}

// Whether the system can name the object: at most PATH_MAX bytes with the
// final NUL, and no name in it longer than NAME_MAX.
bool fitsNameLimits(const QString &path)
{
    // In UTF-8, as the configuration holds it and the helper names it.
    const QByteArray encoded = path.toUtf8();
    if (encoded.size() >= PATH_MAX) {
        return false;
    }
    const QList<QByteArray> names = encoded.split('/');
    return std::all_of(names.cbegin(), names.cend(), [](const QByteArray &name) {
        return name.size() <= NAME_MAX;
    });
}

// Tables of the wire can hold a key twice in a build with Qt 5, which reads
// a stream with insertMulti: which value would win is not the client's to
// leave open. Qt 6 keeps the last value of a repeated key, so there the
// table checked is the one used, and no key is found twice.
template<typename Table>
std::optional<QString> repeatedKey(const Table &table)
{
    for (auto it = table.cbegin(); it != table.cend(); ++it) {
        if (table.count(it.key()) > 1) {
            return it.key();
        }
    }
    return std::nullopt;
}

class Parser
{
public:
    Parser(const QVariantMap &args, const QStringList &isolatable)
        : args(args)
        , isolatable(isolatable.cbegin(), isolatable.cend())
    {
    }

    std::optional<ChangeRequest> parse(QString *error)
    {
        ChangeRequest request;
        const bool ok = knownKeysOnly() && status(Mic::Settings::micStatusKey, Mic::Settings::micStatusesOfAChange, &request.mic)
            && status(Mic::Settings::servicesIsolatedStatusKey, Mic::Settings::isolationStatusesOfAChange, &request.isolation)
            && status(Mic::Settings::fsStatusKey, Mic::Settings::fsStatusesOfAChange, &request.protection) && futureLevel(&request.futureLevel)
            && userLevels(&request.userLevels) && ruleChanges(&request.ruleChanges) && exceptions(&request.exceptions)
            && services(&request.services) && checkOnly(&request.checkOnly) && locale();
        if (!ok) {
            *error = problem;
            return std::nullopt;
        }
        return request;
    }

private:
    bool fail(const QString &text)
    {
        problem = text;
        return false;
    }

    bool badValue(const QString &key, const QVariant &value, const QString &why)
    {
        return fail(i18n("Invalid value \"%2\" for \"%1\": %3", key, shown(value), why));
    }

    // `text` names the entry given twice with %1.
    bool noRepeatedKeys(const std::optional<QString> &repeated, const KLocalizedString &text)
    {
        if (repeated) {
            return fail(text.subs(shown(*repeated)).toString());
        }
        return true;
    }

    bool knownKeysOnly()
    {
        if (const auto repeated = repeatedKey(args)) {
            return fail(i18n("The setting \"%1\" is given more than once.", *repeated));
        }
        static const QSet<QString> known{Mic::Settings::micStatusKey,
                                         Mic::Settings::servicesIsolatedStatusKey,
                                         Mic::Settings::fsStatusKey,
                                         Mic::Settings::userLevelsKey,
                                         Mic::Settings::futureLevelKey,
                                         Mic::Settings::rulesKey,
                                         Mic::Settings::exceptionsKey,
                                         Mic::Settings::servicesKey,
                                         QStringLiteral("languages"),
                                         QStringLiteral("lcmessages"),
                                         Mic::Protocol::requestIdKey,
                                         Mic::Protocol::replyKeyKey,
                                         Mic::Protocol::chunkedRepliesKey,
                                         Mic::Protocol::chunksAsTextKey,
                                         Mic::Protocol::checkOnlyKey,
                                         Mic::Protocol::replyToKey};
        for (auto it = args.cbegin(); it != args.cend(); ++it) {
            if (!known.contains(it.key())) {
                return fail(i18n("Unknown setting \"%1\".", it.key()));
            }
        }
        return true;
    }

    // `refusal` says whose level the value is and why it is refused.
    using LevelRefusal = std::function<QString(const QString &value, const QString &why)>;
    bool level(const QVariant &value, const LevelRefusal &refusal, unsigned int *result)
    {
        const bool integer = value.userType() == QMetaType::ULongLong || integerOf(value).has_value();
        if (!integer) {
            return fail(refusal(shown(value), i18n("an integrity level is a whole number")));
        }
        const std::optional<qint64> number = integerOf(value);
        if (!number || *number < 0 || *number > highestLevel) {
            return fail(refusal(shown(value), i18n("integrity levels range from 0 to %1", QString::number(highestLevel))));
        }
        *result = static_cast<unsigned int>(*number);
        return true;
    }

    bool status(const QString &key, const QList<Mic::Settings::Status> &allowed, std::optional<Mic::Settings::Status> *result)
    {
        if (!args.contains(key)) {
            return true;
        }
        const QVariant value = args.value(key);
        const std::optional<qint64> number = integerOf(value);
        const bool known = number && std::any_of(allowed.cbegin(), allowed.cend(), [&number](Mic::Settings::Status status) {
                               return Mic::Settings::wire(status) == *number;
                           });
        if (!known) {
            return fail(statusRefusal(key, shown(value)));
        }
        *result = Mic::Settings::Status(*number);
        return true;
    }

    static QString statusRefusal(const QString &key, const QString &value)
    {
        if (key == Mic::Settings::micStatusKey) {
            return i18n("\"%1\" is not a state of integrity control that can be set.", value);
        }
        if (key == Mic::Settings::servicesIsolatedStatusKey) {
            return i18n("\"%1\" is not an isolation of services that can be set.", value);
        }
        return i18n("\"%1\" is not a protection of the file system that can be set.", value);
    }

    bool futureLevel(std::optional<unsigned int> *result)
    {
        const QString key = Mic::Settings::futureLevelKey;
        if (!args.contains(key)) {
            return true;
        }
        unsigned int value = 0;
        const auto refusal = [](const QString &value, const QString &why) {
            return i18n("The maximum integrity level \"%1\" is not valid: %2.", value, why);
        };
        if (!level(args.value(key), refusal, &value)) {
            return false;
        }
        *result = value;
        return true;
    }

    bool hashOf(const QString &key, QVariantHash *hash)
    {
        const QVariant value = args.value(key);
        if (value.userType() != QMetaType::QVariantHash) {
            return badValue(key, value, i18n("expected a table of names and values"));
        }
        *hash = value.toHash();
        return true;
    }

    static QString tooLong()
    {
        return i18n("a path may be at most %1 bytes long and each name in it at most %2", QString::number(PATH_MAX - 1), QString::number(NAME_MAX));
    }

    bool userLevels(std::optional<QHash<QString, unsigned int>> *result)
    {
        const QString key = Mic::Settings::userLevelsKey;
        QVariantHash hash;
        if (!args.contains(key)) {
            return true;
        }
        if (!hashOf(key, &hash) || !noRepeatedKeys(repeatedKey(hash), ki18n("The level of the user \"%1\" is given more than once."))) {
            return false;
        }
        QHash<QString, unsigned int> levels;
        for (auto it = hash.cbegin(); it != hash.cend(); ++it) {
            if (!userExists(it.key())) {
                return fail(i18n("The user \"%1\" does not exist on this system.", shown(it.key())));
            }
            if (const QString problem = ChangeRequest::userNameProblem(it.key()); !problem.isEmpty()) {
                return fail(problem);
            }
            unsigned int value = 0;
            const QString user = shown(it.key());
            const auto refusal = [&user](const QString &value, const QString &why) {
                return i18n("The integrity level \"%2\" of the user \"%1\" is not valid: %3.", user, value, why);
            };
            if (!level(it.value(), refusal, &value)) {
                return false;
            }
            levels.insert(it.key(), value);
        }
        *result = levels;
        return true;
    }

    bool ruleChanges(std::optional<QHash<QString, QString>> *result)
    {
        const QString key = Mic::Settings::rulesKey;
        QVariantHash hash;
        if (!args.contains(key)) {
            return true;
        }
        if (!hashOf(key, &hash) || !noRepeatedKeys(repeatedKey(hash), ki18n("The rule for \"%1\" is given more than once."))) {
            return false;
        }
        QHash<QString, QString> changes;
        for (auto it = hash.cbegin(); it != hash.cend(); ++it) {
            if (!isRulePath(it.key())) {
                return fail(i18n("The rule path \"%1\" is not an absolute path in its plain form (without \".\", \"..\", doubled or trailing "
                                 "slashes), or it is \"/\", which cannot have a rule.",
                                 shown(it.key())));
            }
            if (!fitsNameLimits(it.key())) {
                return fail(i18n("The rule path \"%1\" is too long: %2.", shown(it.key()), tooLong()));
            }
            if (it.value().userType() != QMetaType::QString) {
                return badValue(key + QLatin1Char('/') + it.key(), it.value(), i18n("a level must be given as text"));
            }
            const QString levelString = it.value().toString();
            if (levelString != Mic::noLevelString && !FsIlevConfig::isValidLevelString(levelString)) {
                return fail(i18n("The level \"%2\" of the rule for \"%1\" is not a valid integrity level.", shown(it.key()), shown(levelString)));
            }
            // A rule the file holds already can still be removed.
            if (levelString != Mic::noLevelString && hasControlCharacter(it.key())) {
                return fail(i18n("The rule path \"%1\" holds a control character.", shown(it.key())));
            }
            changes.insert(it.key(), levelString);
        }
        *result = changes;
        return true;
    }

    bool exceptions(std::optional<QStringList> *result)
    {
        const QString key = Mic::Settings::exceptionsKey;
        if (!args.contains(key)) {
            return true;
        }
        const QVariant value = args.value(key);
        if (value.userType() != QMetaType::QStringList) {
            return badValue(key, value, i18n("expected a list of paths"));
        }
        QStringList paths = value.toStringList();
        QSet<QString> seen;
        for (const QString &path : std::as_const(paths)) {
            if (!isRulePath(path)) {
                return fail(i18n("The exception path \"%1\" is not an absolute path in its plain form (without \".\", \"..\", doubled or "
                                 "trailing slashes), or it is \"/\", which cannot be an exception.",
                                 shown(path)));
            }
            if (!fitsNameLimits(path)) {
                return fail(i18n("The exception path \"%1\" is too long: %2.", shown(path), tooLong()));
            }
            if (hasControlCharacter(path)) {
                return fail(i18n("The exception path \"%1\" holds a control character.", shown(path)));
            }
            if (seen.contains(path)) {
                return fail(i18n("The exception \"%1\" is given more than once.", shown(path)));
            }
            seen.insert(path);
        }
        *result = paths;
        return true;
    }

    bool services(std::optional<QList<ServiceIsolation>> *result)
    {
        const QString key = Mic::Settings::servicesKey;
        if (!args.contains(key)) {
            return true;
        }
        const QVariant value = args.value(key);
        if (value.userType() != QMetaType::QVariantList) {
            return badValue(key, value, i18n("expected a list of services"));
        }
        QList<ServiceIsolation> list;
        QSet<QString> named;
        const QVariantList entries = value.toList();
        for (const QVariant &entry : entries) {
            if (entry.userType() != QMetaType::QVariantHash) {
                return badValue(key, entry, i18n("expected the settings of one service"));
            }
            const QVariantHash service = entry.toHash();
            if (const auto repeated = repeatedKey(service)) {
                return badValue(key, *repeated, i18n("given more than once"));
            }
            const QVariant name = service.value(Mic::Settings::serviceNameKey);
            if (name.userType() != QMetaType::QString || !isolatable.contains(name.toString())) {
                return fail(i18n("There is no service \"%1\" that can be isolated.", shown(name)));
            }
            const QVariant isolated = service.value(Mic::Settings::serviceIsolatedKey);
            if (isolated.userType() != QMetaType::Bool) {
                return badValue(key + QLatin1Char('/') + name.toString(), isolated, i18n("expected true or false for \"isIsolated\""));
            }
            if (named.contains(name.toString())) {
                return fail(i18n("The isolation of the service \"%1\" is given more than once.", shown(name)));
            }
            named.insert(name.toString());
            list.append({name.toString(), isolated.toBool()});
        }
        *result = list;
        return true;
    }

    bool checkOnly(bool *result)
    {
        const QVariant value = args.value(Mic::Protocol::checkOnlyKey);
        if (value.isValid() && value.userType() != QMetaType::Bool) {
            return badValue(Mic::Protocol::checkOnlyKey, value, i18n("expected true or false"));
        }
        *result = value.toBool();
        return true;
    }

    bool locale()
    {
        const QVariant languages = args.value(QStringLiteral("languages"));
        if (languages.isValid() && languages.userType() != QMetaType::QStringList) {
            return badValue(QStringLiteral("languages"), languages, i18n("expected a list of languages"));
        }
        const QVariant messages = args.value(QStringLiteral("lcmessages"));
        if (messages.isValid() && messages.userType() != QMetaType::QString) {
            return badValue(QStringLiteral("lcmessages"), messages, i18n("expected the name of a locale"));
        }
        return true;
    }

    const QVariantMap &args;
    const QSet<QString> isolatable;
    QString problem;
};
}

std::optional<ChangeRequest> ChangeRequest::parse(const QVariantMap &args, const QStringList &isolatableServices, QString *error)
{
    return Parser(args, isolatableServices).parse(error);
}

QString ChangeRequest::userNameProblem(const QString &user)
{
    if (StateFile::isValidKey(user.toStdString()) && !hasControlCharacter(user)) {
        return QString();
    }
    return i18n("The name of the user \"%1\" cannot be kept in the users' state file: it holds a blank, \"=\" or a control character, or it "
                "begins with \"#\".",
                shown(user));
}
