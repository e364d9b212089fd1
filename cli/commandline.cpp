// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "commandline.h"

#include <printable.h>

#include <texts.h>

#include <QCommandLineParser>

#include <algorithm>
#include <vector>

using namespace Mic::Texts;

namespace
{
using Request = Invocation::Request;

struct Command {
    Request request;
    QString name;
    // The options that belong to it.
    QStringList options;
    int fewestFiles;
    int mostFiles;
};

const std::vector<Command> &commands()
{
    static const std::vector<Command> all{
        {Request::Status, QStringLiteral("status"), {QStringLiteral("json")}, 0, 0},
        {Request::Export, QStringLiteral("export"), {QStringLiteral("all")}, 0, 1},
        {Request::Apply,
         QStringLiteral("apply"),
         {QStringLiteral("check"), QStringLiteral("diff"), QStringLiteral("skip-missing"), QStringLiteral("reboot"), QStringLiteral("json")},
         1,
         1},
        {Request::History, QStringLiteral("history"), {QStringLiteral("json"), QStringLiteral("n")}, 0, 0},
        {Request::Rollback, QStringLiteral("rollback"), {QStringLiteral("check"), QStringLiteral("diff"), QStringLiteral("json")}, 0, 1},
    };
    return all;
}

const Command *commandNamed(const QString &name)
{
    const auto &all = commands();
    const auto found = std::find_if(all.cbegin(), all.cend(), [&name](const Command &command) {
        return command.name == name;
    });
    return found == all.cend() ? nullptr : &*found;
}

const Command *commandOwning(const QString &option)
{
    const auto &all = commands();
    const auto found = std::find_if(all.cbegin(), all.cend(), [&option](const Command &command) {
        return command.options.contains(option);
    });
    return found == all.cend() ? nullptr : &*found;
}

QStringList commandNames()
{
    QStringList names;
    for (const Command &command : commands()) {
        names.append(command.name);
    }
    return names;
}

QStringList optionNames()
{
    QStringList names{QStringLiteral("help"), QStringLiteral("version"), QStringLiteral("progress")};
    for (const Command &command : commands()) {
        for (const QString &option : command.options) {
            if (!names.contains(option)) {
                names.append(option);
            }
        }
    }
    return names;
}

// An option as it is written on the command line.
QString dashed(const QString &name)
{
    return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + Mic::printable(name);
}

Invocation fault(const QString &text)
{
    Invocation invocation;
    invocation.fault = text;
    return invocation;
}

// A fault that suggests no correction points to the help.
Invocation faultSeeHelp(const QString &text)
{
    return fault(i18nc("a usage fault, then where to read more", "%1; see micctl --help", text));
}

// What QCommandLineParser refused: an unknown option, a value given to an
// option that takes none, or none given to -n.
Invocation optionFault(const QCommandLineParser &parser, const QStringList &arguments)
{
    const QStringList unknown = parser.unknownOptionNames();
    if (!unknown.isEmpty()) {
        const QString suggestion = closestName(unknown.first(), optionNames());
        return suggestion.isEmpty() ? faultSeeHelp(i18n("unknown option %1", dashed(unknown.first())))
                                    : fault(i18n("unknown option %1; did you mean %2?", dashed(unknown.first()), dashed(suggestion)));
    }
    const QStringList options = arguments.mid(1);
    for (const QString &argument : options) {
        if (argument == QLatin1String("--")) {
            break;
        }
        const bool takesValue = argument.startsWith(QLatin1String("-n=")) || argument.startsWith(QLatin1String("--progress="));
        if (argument.startsWith(QLatin1Char('-')) && argument.contains(QLatin1Char('=')) && !takesValue) {
            return faultSeeHelp(i18n("%1 takes no value", Mic::printable(argument.section(QLatin1Char('='), 0, 0))));
        }
    }
    return faultSeeHelp(parser.errorText());
}

// An option given that belongs to another command, said as a fault; empty
// when there is none.
QString misplacedOption(const QCommandLineParser &parser, const Command &command)
{
    const QStringList given = parser.optionNames();
    for (const QString &option : given) {
        const Command *owner = commandOwning(option);
        if (owner && !command.options.contains(option)) {
            return i18n("%1 is an option of %2, not of %3", dashed(option), owner->name, command.name);
        }
    }
    return QString();
}

Invocation filesFault(const Command &command, const QStringList &files)
{
    if (files.size() < command.fewestFiles) {
        return faultSeeHelp(i18nc("%1 is a command", "%1 needs a FILE", command.name));
    }
    QStringList extra = files.mid(command.mostFiles);
    for (QString &argument : extra) {
        argument = Mic::printable(argument);
    }
    return faultSeeHelp(i18nc("%1 is a command, %2 the arguments it does not take", "too many arguments for %1: %2", command.name, extra.join(QLatin1Char(' '))));
}

Invocation unknownCommand(const QString &typed)
{
    const QString suggestion = closestName(typed, commandNames());
    return suggestion.isEmpty() ? faultSeeHelp(i18n("unknown command %1", Mic::printable(typed)))
                                : fault(i18n("unknown command %1; did you mean %2?", Mic::printable(typed), suggestion));
}

int editDistance(const QString &from, const QString &to)
{
    std::vector<int> previous(size_t(to.size()) + 1);
    std::vector<int> current(previous.size());
    for (size_t j = 0; j < previous.size(); ++j) {
        previous[j] = int(j);
    }
    for (int i = 1; i <= from.size(); ++i) {
        current[0] = i;
        for (int j = 1; j <= to.size(); ++j) {
            const int substitution = previous[size_t(j) - 1] + (from.at(i - 1) == to.at(j - 1) ? 0 : 1);
            current[size_t(j)] = std::min({previous[size_t(j)] + 1, current[size_t(j) - 1] + 1, substitution});
        }
        std::swap(previous, current);
    }
    return previous.back();
}
}

QString closestName(const QString &typed, const QStringList &candidates)
{
    const QString wanted = typed.toLower();
    QString closest;
    int closestDistance = 3; // two slips at the most
    for (const QString &candidate : candidates) {
        // A beginning counts as close however short: "st" for "status".
        const bool beginning = wanted.size() >= 2 && candidate.startsWith(wanted);
        const int distance = beginning ? 1 : editDistance(wanted, candidate);
        if (distance < closestDistance && distance < wanted.size()) {
            closest = candidate;
            closestDistance = distance;
        }
    }
    return closest;
}

Invocation parseCommandLine(const QStringList &arguments)
{
    QCommandLineParser parser;
    // "-check" is --check, not -c -h -e -c -k.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringLiteral("version"));
    const QCommandLineOption json(QStringLiteral("json"));
    const QCommandLineOption check(QStringLiteral("check"));
    const QCommandLineOption diff(QStringLiteral("diff"));
    const QCommandLineOption skipMissing(QStringLiteral("skip-missing"));
    const QCommandLineOption reboot(QStringLiteral("reboot"));
    const QCommandLineOption count(QStringLiteral("n"), QString(), QStringLiteral("N"));
    const QCommandLineOption all(QStringLiteral("all"));
    const QCommandLineOption progress(QStringLiteral("progress"), QString(), QStringLiteral("FORMAT"));
    parser.addOptions({help, version, json, check, diff, skipMissing, reboot, count, all, progress});
    // Not process(): it ends with status 1 on a wrong option, which scripts
    // would take for a failed change, and says so in Qt's words.
    if (!parser.parse(arguments)) {
        return optionFault(parser, arguments);
    }
    Invocation invocation;
    if (parser.isSet(help) || parser.isSet(version)) {
        invocation.request = parser.isSet(help) ? Request::Help : Request::Version;
        return invocation;
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty()) {
        return faultSeeHelp(i18n("no command given"));
    }
    const Command *command = commandNamed(positional.first());
    if (!command) {
        return unknownCommand(positional.first());
    }
    if (const QString misplaced = misplacedOption(parser, *command); !misplaced.isEmpty()) {
        return faultSeeHelp(misplaced);
    }
    const QStringList files = positional.mid(1);
    if (files.size() < command->fewestFiles || files.size() > command->mostFiles) {
        return filesFault(*command, files);
    }
    if (parser.isSet(check) && parser.isSet(diff)) {
        return faultSeeHelp(i18n("--check and --diff cannot be given together: --check changes nothing, --diff applies"));
    }
    if (parser.isSet(json) && parser.isSet(diff)) {
        return faultSeeHelp(i18n("--json and --diff cannot be given together: the JSON holds the difference"));
    }
    if (parser.isSet(check) && parser.isSet(reboot)) {
        return faultSeeHelp(i18n("--check changes nothing, so it cannot reboot"));
    }
    if (parser.isSet(progress)) {
        if (parser.value(progress) != QLatin1String("json")) {
            return faultSeeHelp(i18n("--progress takes json, not %1", Mic::printable(parser.value(progress))));
        }
        invocation.progress = ProgressFormat::JsonLines;
    }
    if (parser.isSet(count)) {
        bool number = false;
        invocation.count = parser.value(count).toInt(&number);
        if (!number || invocation.count < 1) {
            return faultSeeHelp(i18n("-n needs a number of changes, 1 or more"));
        }
    }
    if (command->request == Request::Rollback) {
        bool number = true;
        invocation.count = files.isEmpty() ? 1 : files.first().toInt(&number);
        if (!number || invocation.count < 1) {
            return faultSeeHelp(i18n("rollback takes how many changes back, 1 or more"));
        }
    }
    invocation.request = command->request;
    invocation.file = files.value(0);
    invocation.json = parser.isSet(json);
    invocation.all = parser.isSet(all);
    invocation.apply = {parser.isSet(check), parser.isSet(diff), parser.isSet(skipMissing), parser.isSet(reboot), invocation.json};
    return invocation;
}

QString versionText()
{
    return QStringLiteral("micctl %1").arg(QStringLiteral(MICCTL_VERSION));
}

QString helpText()
{
    const QStringList parts{
        i18n("Usage: micctl status [--json]\n"
             "       micctl history [--json] [-n N]\n"
             "       micctl rollback [--check | --diff] [--json] [N]\n"
             "       micctl export [--all] [FILE]\n"
             "       micctl apply [--check | --diff] [--json] [--skip-missing] [--reboot] FILE\n"
             "       micctl --help | --version"),
        i18n("Reads and sets the Mandatory Integrity Control settings of this machine\n"
             "through the privileged helper of the system settings page, with the same\n"
             "polkit authorization (an administrator's, kept for the session)."),
        i18n("Commands:\n"
             "  status            MIC now and after reboot, the maximum levels, file-system\n"
             "                    protection with the objects below their configured level,\n"
             "                    service isolation (\"all\": all services that can be\n"
             "                    isolated; one in error cannot be, and is listed so), the\n"
             "                    users' levels, the number of rules and exceptions.\n"
             "    --json          The same as JSON with the keys \"mic\" {\"now\",\n"
             "                    \"afterReboot\"}, \"maxLevelNow\", \"maxLevelAfterReboot\",\n"
             "                    \"rebootPending\", \"fileSystem\" {\"protection\",\n"
             "                    \"unprotected\"}, \"services\" {\"isolation\", \"isolated\"},\n"
             "                    \"userLevels\", \"rules\", \"exceptions\", and\n"
             "                    \"interruptedChange\" {\"time\", \"user\", \"uid\", \"summary\"}\n"
             "                    while the last change recorded is one the helper undid,\n"
             "                    with \"undone\": false while it could not undo it yet."),
        i18n("  history           The changes asked of the helper, newest first: when (ISO\n"
             "                    8601 in local time with its offset from UTC, as\n"
             "                    2026-12-09T18:29:39+01:00), by whom, what was asked, and\n"
             "                    what became of it (\"applied\", \"refused\", \"failed\", or\n"
             "                    \"undone\" after the helper was interrupted in the middle\n"
             "                    of it).\n"
             "    -n N            The newest N changes only.\n"
             "    --json          The same as a JSON array of objects with the keys \"time\"\n"
             "                    (ISO 8601 in UTC, as 2026-12-09T17:29:39Z), \"user\",\n"
             "                    \"uid\", \"requestId\", \"outcome\", \"summary\", \"text\",\n"
             "                    \"relabelled\"."),
        i18n("  rollback [N]      Brings this machine back to the state before the Nth\n"
             "                    last applied change (1, the last, if not given), as\n"
             "                    \"apply\" would with that state, while the backups of the\n"
             "                    state files still hold it; users and services that are gone\n"
             "                    are left out, with a warning. The change is recorded in the\n"
             "                    history like any other.\n"
             "    --check         Print what would change. Changes nothing.\n"
             "    --diff          Print what changes, and apply it.\n"
             "    --json          Print one JSON object, as apply does."),
        i18n("  export [FILE]     The desired state of this machine, to bring others to it:\n"
             "                    a JSON object with \"format\": \"lumen-mic-state\",\n"
             "                    \"version\": 1 first, \"defaultsLeftOut\": {\"userLevels\": 0},\n"
             "                    then \"exceptions\" [paths], \"fileSystemProtection\",\n"
             "                    \"maxLevelAfterReboot\", \"micEnabledAfterReboot\", \"rules\"\n"
             "                    {path: level string as configured}, \"serviceIsolation\"\n"
             "                    {service: isolated}, \"userLevels\" {user: level} of the\n"
             "                    users above level 0 (those at 0, most system accounts, are\n"
             "                    left out and keep their levels where the file is applied).\n"
             "                    To FILE (written whole or not at all, its owner's alone),\n"
             "                    or to standard output.\n"
             "    --all           Every user, those at level 0 too, and no\n"
             "                    \"defaultsLeftOut\": applied elsewhere, the file brings\n"
             "                    users there down to 0 as well."),
        i18n("  apply FILE        Brings this machine to the desired state in FILE (\"-\" for\n"
             "                    standard input): one change, of exactly what differs,\n"
             "                    checked and applied whole by the helper, or nothing at\n"
             "                    all. Settings FILE leaves out stay as they are; \"rules\"\n"
             "                    and \"exceptions\", when given, are the whole sets.\n"
             "    --check         Print what would change, and the labels protecting would\n"
             "                    change, as the helper works them out; it refuses what it\n"
             "                    would refuse in a change. Changes nothing.\n"
             "    --diff          Print what changes, and apply it.\n"
             "    --json          Print, instead of lines, one JSON object (stable keys, see\n"
             "                    micctl(1)): \"version\" 1, \"check\", \"changed\" (true when\n"
             "                    something changed, or would with --check), \"failed\",\n"
             "                    \"difference\" [{\"change\", \"setting\", \"name\", \"before\",\n"
             "                    \"after\", \"text\"}], \"relabelled\" {\"count\", \"lowered\",\n"
             "                    \"objects\"}, \"warnings\", \"errors\", \"rebootRequired\".\n"
             "                    Messages still go to standard error.\n"
             "    --skip-missing  Leave out users and services this machine does not have\n"
             "                    (with a warning) instead of refusing the file.\n"
             "    --reboot        Reboot when MIC or its level waits for a reboot (never\n"
             "                    otherwise).\n"
             "                    Lines of the difference, the same in every language:\n"
             "                    \"+\" added, \"-\" removed, \"~\" changed."),
        i18n("Options:\n"
             "  --progress=json   The helper's progress as JSON lines on standard error,\n"
             "                    one object a line: {\"progress\": {\"phase\", \"done\",\n"
             "                    \"total\", \"text\"}}, and {\"stopping\": true} once a stop\n"
             "                    was asked for. Other messages stay lines of text.\n"
             "  -h, --help        Print this text.\n"
             "  --version         Print the version of micctl."),
        i18n("Paths and names from a file or the machine are printed with what a terminal\n"
             "cannot show escaped: \\x1b for ESC, \\uHHHH, \\UHHHHHHHH; a backslash as \\\\\n"
             "where it would read as one (see micctl(1))."),
        i18n("Ctrl-C (SIGINT) or SIGTERM while the helper works asks it to stop: micctl\n"
             "waits until the helper has put back what it had done, and fails. A second\n"
             "signal ends micctl at once; the helper still puts everything back."),
        i18n("Exit status: 0 done (also when apply or rollback changed something); 2 would\n"
             "change (apply, rollback with --check); 1 failed (the reason on standard error;\n"
             "nothing applied unless it says otherwise); 64 wrong usage."),
    };
    return parts.join(QStringLiteral("\n\n")) + QLatin1Char('\n');
}
