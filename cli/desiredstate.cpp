// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "desiredstate.h"
#include "machinestate.h"

#include <jsonkeys.h>
#include <settingvalues.h>

#include <texts.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <constants.h>
#include <printable.h>

#include <algorithm>
#include <cmath>
#include <vector>

using namespace Mic::Texts;

using Mic::Settings::Status;

namespace
{
const QString formatName = QStringLiteral("lumen-mic-state");
constexpr int formatVersion = 1;
constexpr double highestLevel = 255;

// Where an editor shows the byte at `offset`: line and column from 1, the
// column in characters.
struct TextPlace {
    int line = 1;
    int column = 1;
};

TextPlace placeOf(const QByteArray &text, int offset)
{
    const QByteArray before = text.left(offset);
    TextPlace place;
    place.line += before.count('\n');
    const QByteArray lineBefore = before.mid(before.lastIndexOf('\n') + 1);
    // Bytes that continue a UTF-8 sequence start no character.
    place.column += int(std::count_if(lineBefore.cbegin(), lineBefore.cend(), [](char byte) {
        return (byte & 0xc0) != 0x80;
    }));
    return place;
}

// Qt's own texts for these are in English whatever the language.
QString parseErrorText(QJsonParseError::ParseError error)
{
    switch (error) {
    case QJsonParseError::UnterminatedObject:
        return i18n("a \",\" or \"}\" is missing in an object");
    case QJsonParseError::MissingNameSeparator:
        return i18n("a \":\" is missing after a name");
    case QJsonParseError::UnterminatedArray:
        return i18n("a \",\" or \"]\" is missing in a list");
    case QJsonParseError::MissingValueSeparator:
        return i18n("a \",\" is missing between two values");
    case QJsonParseError::IllegalValue:
        return i18n("a value is not valid");
    case QJsonParseError::TerminationByNumber:
        return i18n("the text ends in a number");
    case QJsonParseError::IllegalNumber:
        return i18n("a number is not valid");
    case QJsonParseError::IllegalEscapeSequence:
        return i18n("an escape sequence is not valid");
    case QJsonParseError::IllegalUTF8String:
        return i18n("a string is not valid UTF-8");
    case QJsonParseError::UnterminatedString:
        return i18n("a string is not closed with a quotation mark");
    case QJsonParseError::MissingObject:
        return i18n("a name and value are missing after a comma");
    case QJsonParseError::DeepNesting:
        return i18n("objects and lists are nested too deeply");
    case QJsonParseError::DocumentTooLarge:
        return i18n("the text is too large");
    case QJsonParseError::GarbageAtEnd:
        return i18n("more follows the end of the JSON value");
    case QJsonParseError::NoError:
        break;
    }
    return i18n("the text cannot be read");
}

class Reader
{
public:
    explicit Reader(const QJsonObject &file)
        : file(file)
    {
    }

    std::optional<DesiredState> read(QString *error)
    {
        DesiredState state;
        const bool ok = formatAndVersion() && knownKeysOnly() && defaultsLeftOut() && flag("micEnabledAfterReboot", &state.micEnabledAfterReboot)
            && maxLevel(&state.maxLevelAfterReboot) && flag("fileSystemProtection", &state.fileSystemProtection)
            && services(&state.serviceIsolation) && users(&state.userLevels) && rules(&state.rules) && exceptions(&state.exceptions);
        if (!ok) {
            *error = problem;
            return std::nullopt;
        }
        return state;
    }

private:
    bool fail(const QString &text)
    {
        problem = text;
        return false;
    }

    bool formatAndVersion()
    {
        if (file.value(QStringLiteral("format")).toString() != formatName) {
            return fail(i18n("It is not a desired-state file: \"format\" must be \"%1\".", formatName));
        }
        const QJsonValue version = file.value(QStringLiteral("version"));
        if (!version.isDouble() || version.toDouble() != formatVersion) {
            return fail(i18n("This version of the desired-state file is not known: \"version\" must be %1.", QString::number(formatVersion)));
        }
        return true;
    }

    // The settings a file may give.
    static const QSet<QString> &settingKeys()
    {
        static const QSet<QString> keys{QStringLiteral("micEnabledAfterReboot"),
                                        QStringLiteral("maxLevelAfterReboot"),
                                        QStringLiteral("fileSystemProtection"),
                                        QStringLiteral("serviceIsolation"),
                                        QStringLiteral("userLevels"),
                                        QStringLiteral("rules"),
                                        QStringLiteral("exceptions")};
        return keys;
    }

    // A misspelt key would silently leave a setting as it is.
    bool knownKeysOnly()
    {
        static const QSet<QString> header{QStringLiteral("format"), QStringLiteral("version"), QStringLiteral("defaultsLeftOut")};
        for (auto it = file.constBegin(); it != file.constEnd(); ++it) {
            if (!settingKeys().contains(it.key()) && !header.contains(it.key())) {
                return fail(i18n("Unknown setting \"%1\".", Mic::printable(it.key())));
            }
        }
        return true;
    }

    // What an export left out at its default, {"userLevels": 0}, is said for
    // the file's readers: applying it asks nothing more, since an entry the
    // file leaves out stays as it is.
    bool defaultsLeftOut()
    {
        QJsonObject settings;
        bool given = false;
        if (!objectOf("defaultsLeftOut", &settings, &given) || !given) {
            return problem.isEmpty();
        }
        for (auto it = settings.constBegin(); it != settings.constEnd(); ++it) {
            if (!settingKeys().contains(it.key())) {
                return fail(i18n("Unknown setting \"%1\" in \"defaultsLeftOut\".", Mic::printable(it.key())));
            }
        }
        return true;
    }

    bool flag(const char *key, std::optional<bool> *result)
    {
        const QJsonValue value = file.value(QLatin1String(key));
        if (value.isUndefined()) {
            return true;
        }
        if (!value.isBool()) {
            return fail(i18n("\"%1\" must be true or false.", QLatin1String(key)));
        }
        *result = value.toBool();
        return true;
    }

    static std::optional<unsigned int> levelOf(const QJsonValue &value)
    {
        const double number = value.toDouble(-1);
        if (!value.isDouble() || number < 0 || number > highestLevel || std::floor(number) != number) {
            return std::nullopt;
        }
        return static_cast<unsigned int>(number);
    }

    bool maxLevel(std::optional<unsigned int> *result)
    {
        const QJsonValue value = file.value(QStringLiteral("maxLevelAfterReboot"));
        if (value.isUndefined()) {
            return true;
        }
        *result = levelOf(value);
        return result->has_value() || fail(i18n("\"maxLevelAfterReboot\" must be an integrity level, a whole number from 0 to 255."));
    }

    bool objectOf(const char *key, QJsonObject *object, bool *given)
    {
        const QJsonValue value = file.value(QLatin1String(key));
        *given = !value.isUndefined();
        if (*given && !value.isObject()) {
            return fail(i18n("\"%1\" must be an object of names and values.", QLatin1String(key)));
        }
        *object = value.toObject();
        return true;
    }

    bool services(std::optional<QHash<QString, bool>> *result)
    {
        QJsonObject object;
        bool given = false;
        if (!objectOf("serviceIsolation", &object, &given) || !given) {
            return problem.isEmpty();
        }
        QHash<QString, bool> isolation;
        for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
            if (!it.value().isBool()) {
                return fail(i18n("The isolation of the service \"%1\" must be true or false.", Mic::printable(it.key())));
            }
            isolation.insert(it.key(), it.value().toBool());
        }
        *result = isolation;
        return true;
    }

    bool users(std::optional<QHash<QString, unsigned int>> *result)
    {
        QJsonObject object;
        bool given = false;
        if (!objectOf("userLevels", &object, &given) || !given) {
            return problem.isEmpty();
        }
        QHash<QString, unsigned int> levels;
        for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
            const std::optional<unsigned int> level = levelOf(it.value());
            if (!level) {
                return fail(i18n("The level of the user \"%1\" must be an integrity level, a whole number from 0 to 255.", Mic::printable(it.key())));
            }
            levels.insert(it.key(), *level);
        }
        *result = levels;
        return true;
    }

    bool rules(std::optional<QHash<QString, QString>> *result)
    {
        QJsonObject object;
        bool given = false;
        if (!objectOf("rules", &object, &given) || !given) {
            return problem.isEmpty();
        }
        QHash<QString, QString> levels;
        levels.reserve(object.size());
        for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
            // "—" is how a change removes a rule: as a level it would remove
            // the rule on one run and add it back as wanted on the next.
            const QString level = it.value().toString();
            if (!it.value().isString() || level.trimmed().isEmpty() || level == Mic::noLevelString) {
                return fail(i18n("The level of the rule for \"%1\" must be a level string such as \"63\", \"max\" or \"0b100\".", Mic::printable(it.key())));
            }
            levels.insert(it.key(), level);
        }
        *result = levels;
        return true;
    }

    bool exceptions(std::optional<QStringList> *result)
    {
        const QJsonValue value = file.value(QStringLiteral("exceptions"));
        if (value.isUndefined()) {
            return true;
        }
        if (!value.isArray()) {
            return fail(i18n("\"exceptions\" must be a list of paths."));
        }
        const QJsonArray array = value.toArray();
        QStringList paths;
        QSet<QString> seen;
        for (const QJsonValue &path : array) {
            if (!path.isString()) {
                return fail(i18n("\"exceptions\" must be a list of paths."));
            }
            if (seen.contains(path.toString())) {
                return fail(i18n("The exception \"%1\" is given more than once.", Mic::printable(path.toString())));
            }
            seen.insert(path.toString());
            paths.append(path.toString());
        }
        *result = paths;
        return true;
    }

    const QJsonObject file;
    QString problem;
};
}

std::optional<DesiredState> DesiredState::fromJson(const QByteArray &json, QString *error)
{
    if (const std::optional<QString> repeated = Mic::repeatedJsonKey(json)) {
        *error = i18n("\"%1\" is given twice in one object; only one of its values would count.", Mic::printable(*repeated));
        return std::nullopt;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        const TextPlace place = placeOf(json, parseError.offset);
        *error = i18n("It is not valid JSON: %1 at line %2, column %3.", parseErrorText(parseError.error), QString::number(place.line),
                      QString::number(place.column));
        return std::nullopt;
    }
    if (!document.isObject()) {
        *error = i18n("It is not a desired-state file: it must hold one JSON object.");
        return std::nullopt;
    }
    return Reader(document.object()).read(error);
}

std::optional<DesiredState> DesiredState::restoring(const QVariantMap &before, const QVariantMap &machine, QString *error)
{
    std::optional<DesiredState> state = fromJson(MachineState(before).desiredStateFile(MachineState::Defaults::Included), error);
    const bool onBefore = Mic::Settings::ReadReply::fromWire(before).protection == Status::Enabled;
    const bool onNow = Mic::Settings::ReadReply::fromWire(machine).protection != Status::Disabled;
    if (state && onBefore == onNow) {
        state->fileSystemProtection.reset();
    }
    return state;
}
