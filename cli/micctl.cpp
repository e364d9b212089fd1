// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

// micctl: the integrity control settings from a shell, through the same
// privileged helper, actions and polkit authorization as the settings page.
#include "commandline.h"
#include "desiredstate.h"
#include "machinestate.h"
#include "applyreport.h"
#include "historytext.h"
#include "statedifference.h"

#include <changerecords.h>
#include <helperrequest.h>
#include <workprogresstext.h>
#include <printable.h>
#include <protocol.h>
#include <reboot.h>
#include <settingvalues.h>

#include <texts.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QTimer>
#include <QtConcurrent>

#include <csignal>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>
#include <optional>
#include <utility>
#include <vector>

using namespace Mic::Texts;

namespace
{
// A change applied is a success like any other, so that `set -e` and `&&`
// go on after it; 2 is for a check alone, which finds something to change.
enum ExitStatus { Success = 0, Failure = 1, WouldChange = 2, Usage = 64 };

// Every line goes out as a terminal can show it, whatever a file or the
// helper put into it; the names in it are escaped where they are put in.
void printError(const QString &text)
{
    std::fprintf(stderr, "micctl: %s\n", qPrintable(Mic::printableMessage(text)));
}

void printWarning(const QString &text)
{
    printError(i18n("warning: %1", text));
}

void printLine(const QString &text)
{
    std::fprintf(stdout, "%s\n", qPrintable(Mic::printableMessage(text)));
}

// What a script reads must arrive whole: a full disk or a closed pipe is a
// failure, not a success with half the text.
int writeOut(const QByteArray &bytes)
{
    const bool written = std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout) == size_t(bytes.size());
    if (!written || std::fflush(stdout) != 0 || std::ferror(stdout)) {
        printError(i18n("Could not write to the standard output."));
        return Failure;
    }
    return Success;
}

// How progress is shown: set once from the command line.
ProgressFormat progressFormat = ProgressFormat::Terminal;

// One JSON object on a line of standard error, for a program that follows
// micctl.
void printJsonLine(const QJsonObject &object)
{
    std::fprintf(stderr, "%s\n", QJsonDocument(object).toJson(QJsonDocument::Compact).constData());
    std::fflush(stderr);
}

// The helper's progress on one line of standard error, rewritten in place,
// when that is a terminal; nothing otherwise. Asked for, JSON lines
// instead, wherever standard error goes.
class ProgressLine
{
public:
    ProgressLine()
        : terminal(::isatty(STDERR_FILENO) == 1)
    {
    }
    ~ProgressLine()
    {
        clear();
    }
    // Before any other line goes to standard error.
    void clear()
    {
        if (shown) {
            std::fputs("\r\033[K", stderr);
            shown = false;
        }
    }
    void show(const QString &phase, qint64 done, qint64 total)
    {
        const QString line = text.update(phase, done, total);
        if (progressFormat == ProgressFormat::JsonLines) {
            printJsonLine({{QStringLiteral("progress"),
                            QJsonObject{{QStringLiteral("phase"), phase},
                                        {QStringLiteral("done"), done},
                                        {QStringLiteral("total"), total},
                                        {QStringLiteral("text"), line}}}});
        } else if (terminal) {
            std::fprintf(stderr, "\r%s\033[K", qPrintable(Mic::printableMessage(line)));
            shown = true;
        }
    }

private:
    const bool terminal;
    bool shown = false;
    WorkProgressText text;
};

// The first Ctrl-C or SIGTERM (a service manager's or a web console's stop)
// asks the helper to stop the request, which then ends once the helper has
// put back what it did; a second one ends micctl. A stop that comes as one
// request ends stops the next one too, before it changes anything. A reader
// of standard error that went away (the console's) does not end micctl
// before the helper has been asked.
volatile std::sig_atomic_t interrupted = 0;

void onInterrupt(int)
{
    interrupted = 1;
}

class InterruptStopsRequest
{
public:
    InterruptStopsRequest(HelperRequest *request, ProgressLine *progress)
    {
        struct sigaction action = {};
        action.sa_handler = onInterrupt;
        action.sa_flags = SA_RESETHAND;
        ::sigemptyset(&action.sa_mask);
        ::sigaction(SIGINT, &action, &previousInterrupt);
        ::sigaction(SIGTERM, &action, &previousTerminate);
        struct sigaction ignore = {};
        ignore.sa_handler = SIG_IGN;
        ::sigemptyset(&ignore.sa_mask);
        ::sigaction(SIGPIPE, &ignore, &previousPipe);
        poll.setInterval(100);
        QObject::connect(&poll, &QTimer::timeout, request, [this, request, progress] {
            if (interrupted) {
                poll.stop();
                progress->clear();
                if (progressFormat == ProgressFormat::JsonLines) {
                    printJsonLine({{QStringLiteral("stopping"), true}});
                }
                printError(i18n("Stopping…"));
                request->askToStop();
            }
        });
        poll.start();
    }
    ~InterruptStopsRequest()
    {
        ::sigaction(SIGINT, &previousInterrupt, nullptr);
        ::sigaction(SIGTERM, &previousTerminate, nullptr);
        ::sigaction(SIGPIPE, &previousPipe, nullptr);
    }

private:
    struct sigaction previousInterrupt = {};
    struct sigaction previousTerminate = {};
    struct sigaction previousPipe = {};
    QTimer poll;
};

// The reply of one of the helper's actions, or why there is none.
struct ActionOutcome {
    std::optional<QVariantMap> reply;
    QString error;
    int code = 0;
};

ActionOutcome runAction(const QString &name, const QVariantMap &arguments = {})
{
    const QString busProblem = HelperRequest::systemBusProblem();
    if (!busProblem.isEmpty()) {
        return {std::nullopt, busProblem};
    }
    Mic::HelperAction action = Mic::HelperAction::ofHelper(name, arguments);
    HelperRequest::addLocale(&action);
    auto *request = new HelperRequest(action);
    ActionOutcome outcome;
    ProgressLine progress;
    QEventLoop loop;
    // The loop is the connections' context: they end with it, before the
    // outcome and the progress line do.
    QObject::connect(request, &HelperRequest::workProgressed, &loop, [shown = &progress](const QString &phase, qint64 done, qint64 total) {
        shown->show(phase, done, total);
    });
    const InterruptStopsRequest interrupt(request, &progress);
    QObject::connect(request, &KJob::result, &loop, [reached = &outcome, request, waiting = &loop] {
        if (request->error() == 0) {
            reached->reply = request->data();
        } else {
            reached->error = request->errorText();
            reached->code = request->error();
        }
        waiting->quit();
    });
    request->start();
    loop.exec();
    return outcome;
}

// The reply, or nothing when the action failed (said on standard error).
std::optional<QVariantMap> replyOf(const ActionOutcome &outcome)
{
    if (!outcome.reply) {
        printError(outcome.error);
    }
    return outcome.reply;
}

int exportTo(const QString &file, const MachineState &state, bool all)
{
    const QByteArray json = state.desiredStateFile(all ? MachineState::Defaults::Included : MachineState::Defaults::LeftOut);
    if (file.isEmpty() || file == QLatin1String("-")) {
        return writeOut(json);
    }
    // It names users and their levels: the owner's alone, whatever the
    // umask or the mode of a file it replaces, from the moment it exists.
    QSaveFile out(file);
    const mode_t umask = ::umask(077);
    const bool opened = out.open(QIODevice::WriteOnly);
    ::umask(umask);
    if (!opened || !out.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) || out.write(json) != json.size() || !out.commit()) {
        printError(i18n("Could not write %1: %2", Mic::printable(file), out.errorString()));
        return Failure;
    }
    return Success;
}

// The desired state in the file `name` ("-": the standard input), or why it
// cannot be applied.
struct FileOutcome {
    std::optional<DesiredState> state;
    QString error;
};

FileOutcome readDesiredState(const QString &name)
{
    QFile file;
    const bool opened = name == QLatin1String("-") ? file.open(stdin, QIODevice::ReadOnly) : (file.setFileName(name), file.open(QIODevice::ReadOnly));
    const QString shownName = name == QLatin1String("-") ? i18n("The standard input") : Mic::printable(name);
    if (!opened) {
        return {std::nullopt, i18n("Could not read %1: %2", shownName, file.errorString())};
    }
    QString problem;
    std::optional<DesiredState> state = DesiredState::fromJson(file.readAll(), &problem);
    if (!state) {
        return {std::nullopt, i18n("%1 cannot be applied: %2", shownName, problem)};
    }
    return {state, QString()};
}

// The labels a change moved, as the helper lists them (the first of them
// when many); a lowered one lets subjects of lower levels write the object.
void printRelabelled(const QList<Mic::Settings::Relabelled> &objects, int count)
{
    for (const Mic::Settings::Relabelled &object : objects) {
        const uint from = object.from;
        const uint to = object.to;
        const QString path = Mic::printable(object.path);
        QString line = QStringLiteral("  %1: %2 → %3").arg(path, QString::number(from), QString::number(to));
        if ((to & from) != from) {
            line += QLatin1Char(' ') + i18nc("a label that lets subjects of lower levels write the object", "(lowered)");
        }
        if (object.container) {
            line += QLatin1Char(' ') + i18n("(container of a labelled object)");
        }
        printLine(line);
    }
    if (count > objects.size()) {
        printLine(QStringLiteral("  ") + i18np("… and %1 more", "… and %1 more", count - objects.size()));
    }
}

// A key of the read that the difference needs and the answer lacks: read as
// 0 or empty, it would turn into changes nobody asked for.
QString missingKey(const QVariantMap &machine)
{
    using namespace Mic::Settings;
    for (const QString &key : {micStatusKey, futureLevelKey, fsStatusKey, userLevelsKey, servicesKey, rulesKey, exceptionsKey}) {
        if (!machine.contains(key)) {
            return key;
        }
    }
    return QString();
}

// The tables of a large machine take longer to free than the rest of the
// run: what was read is left to the system, which takes it back at once
// when the process ends.
void leaveToTheEnd(ActionOutcome read, FileOutcome desired)
{
    static auto *kept = new std::vector<std::pair<ActionOutcome, FileOutcome>>();
    kept->emplace_back(std::move(read), std::move(desired));
}

// One apply (or rollback): the difference, the change, and what is said of
// them; with --json, the lines meant for the standard output go into one
// document instead, and the messages to standard error stay.
class ApplyRun
{
public:
    explicit ApplyRun(const ApplyOptions &options)
        : options(options)
        , report(options.check)
    {
    }

    int apply(const QString &file)
    {
        // The file is read while the helper reads the machine; a file that
        // cannot be applied is said first, whatever the read gave.
        FileOutcome desired;
        QFuture<void> reading = QtConcurrent::run([&desired, &file] {
            desired = readDesiredState(file);
        });
        ActionOutcome read = runAction(Mic::Protocol::accessAction);
        reading.waitForFinished();
        if (!desired.state) {
            return failed(desired.error);
        }
        if (!read.reply) {
            return failed(read.error);
        }
        if (const QString interrupted = Mic::interruptedChangeText(read.reply->value(Mic::Protocol::interruptedChangeKey)); !interrupted.isEmpty()) {
            warn(interrupted);
        }
        if (const QString missing = missingKey(*read.reply); !missing.isEmpty()) {
            return failed(i18n("The settings service's answer lacks \"%1\"; nothing was compared or applied.", missing));
        }
        const int status = applyTo(Mic::Settings::ReadReply::fromWire(*read.reply), *desired.state);
        leaveToTheEnd(std::move(read), std::move(desired));
        return status;
    }

    int applyTo(const Mic::Settings::ReadReply &machine, const DesiredState &desired)
    {
        const StateDifference difference(machine, desired, options.skipMissing);
        const QStringList warnings = difference.warnings();
        for (const QString &warning : warnings) {
            warn(warning);
        }
        report.setDifference(difference);
        if (!difference.refusals().isEmpty()) {
            const QStringList refusals = difference.refusals();
            for (const QString &refusal : refusals) {
                failed(refusal);
            }
            printError(i18n("Nothing was applied."));
            if (difference.refusesMissingNames()) {
                printError(i18n("To leave out the users and services this machine does not have, with a warning, give --skip-missing."));
            }
            return Failure;
        }
        if (difference.isEmpty()) {
            return nothingToChange(machine);
        }
        const QStringList lines = difference.lines();
        if (options.check || options.diff) {
            for (const QString &line : lines) {
                say(line);
            }
        }
        // A check goes to the helper too: it refuses what it would refuse in
        // a change, and works out the labels protecting would change.
        const Mic::Settings::Change asked = difference.change();
        QVariantMap request = asked.toWire();
        if (options.check) {
            request.insert(Mic::Protocol::checkOnlyKey, true);
        }
        // A change of the next boot's settings makes what waited for a
        // reboot this change's; any other leaves it waiting.
        const bool waiting = MachineState(machine, QVariant()).rebootPending() && !asked.mic && !asked.futureLevel;
        const ActionOutcome change = runAction(Mic::Protocol::changeAction, request);
        if (!change.reply) {
            // The page's advice, to save in parts, would lose rules here:
            // each file is a whole set.
            return failed(change.code == Mic::Protocol::Error::TooLarge
                              ? i18n("The difference is too large to be sent at once (the system bus carries at most about 32 MiB in one message). Bring "
                                     "the machine there in steps: apply files that each hold the whole set of rules and exceptions, with fewer of them "
                                     "changed.")
                              : change.error);
        }
        return reportChange(Mic::Settings::ChangeOutcome::fromWire(*change.reply), lines.size(), waiting);
    }

    // Back to the state before the applied change `back` changes before now
    // (1 the last), as one change of its own.
    int rollback(int back)
    {
        const ActionOutcome history = runAction(Mic::Protocol::accessAction, {{Mic::Protocol::historyKey, -1}});
        if (!history.reply) {
            return failed(history.error);
        }
        QString problem;
        const std::optional<QVariantMap> change = HistoryText::appliedChange(history.reply->value(Mic::Protocol::historyKey).toList(), back, &problem);
        if (!change) {
            return failed(problem);
        }
        say(i18nc("@info the change: time, user, what was asked", "Going back to the state before the change of %1 by %2: %3",
                  HistoryText::isoTime(change->value(QStringLiteral("time")).toString()),
                  change->value(QStringLiteral("user")).toString(),
                  Mic::historySummaryText(*change)));
        const ActionOutcome before = runAction(Mic::Protocol::accessAction, {{Mic::Protocol::stateBeforeKey, change->value(QStringLiteral("requestId"))}});
        if (!before.reply) {
            return failed(before.error);
        }
        const ActionOutcome machine = runAction(Mic::Protocol::accessAction);
        if (!machine.reply) {
            return failed(machine.error);
        }
        const std::optional<DesiredState> desired = DesiredState::restoring(*before.reply, *machine.reply, &problem);
        if (!desired) {
            return failed(problem);
        }
        return applyTo(Mic::Settings::ReadReply::fromWire(*machine.reply), *desired);
    }

    // With --json, the document, whatever the run came to.
    int finish(int status)
    {
        if (!options.json) {
            return status;
        }
        const int written = writeOut(QJsonDocument(report.document()).toJson(QJsonDocument::Indented));
        return written == Success ? status : Failure;
    }

private:
    bool rebootNow()
    {
        say(i18n("Rebooting to apply the changes."));
        QString error;
        if (!Mic::rebootMachine(&error)) {
            failed(error);
            return false;
        }
        return true;
    }

    void say(const QString &text) const
    {
        if (!options.json) {
            printLine(text);
        }
    }

    void warn(const QString &text)
    {
        printWarning(text);
        report.addWarnings({text});
    }

    int failed(const QString &text)
    {
        printError(text);
        report.addError(text);
        return Failure;
    }

    int nothingToChange(const Mic::Settings::ReadReply &machine)
    {
        say(i18n("Nothing to change."));
        const bool pending = MachineState(machine, QVariant()).rebootPending();
        report.setRebootRequired(pending);
        if (!pending) {
            return Success;
        }
        if (!options.reboot) {
            say(i18n("Earlier changes take effect after a reboot."));
            return Success;
        }
        // Asked to bring the machine to the state: what waits for a reboot
        // is not there yet.
        return rebootNow() ? Success : Failure;
    }

    // What the helper did beyond the settings themselves, and the reboot;
    // with --check, what it would do. `waiting`: an earlier change still
    // waits for a reboot.
    int reportChange(const Mic::Settings::ChangeOutcome &outcome, int changeCount, bool waiting)
    {
        for (const QString &warning : outcome.warnings) {
            printWarning(warning);
        }
        report.setOutcome(outcome, waiting);
        const int relabelled = outcome.relabelledCount;
        if (relabelled > 0) {
            say(options.check ? i18np("Protecting the file system would change the label of one object.",
                                      "Protecting the file system would change the labels of %1 objects.",
                                      relabelled)
                              : i18np("Protecting the file system changed the label of one object.",
                                      "Protecting the file system changed the labels of %1 objects.",
                                      relabelled));
            const int lowered = outcome.loweredCount;
            if (lowered > 0) {
                say(options.check ? i18np("Of these, one label would be lowered.", "Of these, %1 labels would be lowered.", lowered)
                                  : i18np("Of these, one label was lowered.", "Of these, %1 labels were lowered.", lowered));
            }
            if (!options.json) {
                printRelabelled(outcome.relabelled, relabelled);
            }
        }
        say(options.check ? i18np("%1 change would be applied.", "%1 changes would be applied.", changeCount)
                          : i18np("Applied %1 change.", "Applied %1 changes.", changeCount));
        if (outcome.needReboot && !options.reboot) {
            say(options.check ? i18n("The changes would take effect after a reboot.") : i18n("The changes take effect after a reboot."));
        } else if (waiting && !options.reboot) {
            say(i18n("Earlier changes take effect after a reboot."));
        }
        if (options.check) {
            return WouldChange;
        }
        if ((!outcome.needReboot && !waiting) || !options.reboot) {
            return Success;
        }
        return rebootNow() ? Success : Failure;
    }

    const ApplyOptions options;
    ApplyReport report;
};

int apply(const QString &file, const ApplyOptions &options)
{
    ApplyRun run(options);
    return run.finish(run.apply(file));
}

int history(const Invocation &invocation)
{
    const std::optional<QVariantMap> reply = replyOf(runAction(Mic::Protocol::accessAction, {{Mic::Protocol::historyKey, invocation.count}}));
    if (!reply) {
        return Failure;
    }
    const QVariantList entries = reply->value(Mic::Protocol::historyKey).toList();
    if (invocation.json) {
        QJsonArray array;
        for (const QVariant &entry : entries) {
            array.append(HistoryText::object(entry.toMap()));
        }
        return writeOut(QJsonDocument(array).toJson(QJsonDocument::Indented));
    }
    QString text;
    for (const QVariant &entry : entries) {
        text += Mic::printableMessage(HistoryText::line(entry.toMap())) + QLatin1Char('\n');
    }
    if (entries.isEmpty()) {
        text = i18n("No changes are recorded.") + QLatin1Char('\n');
    }
    return writeOut(text.toUtf8());
}

int rollback(const Invocation &invocation)
{
    // Users and services gone since cannot come back: left out, with a warning.
    ApplyOptions options = invocation.apply;
    options.skipMissing = true;
    ApplyRun run(options);
    return run.finish(run.rollback(invocation.count));
}

// Status and export: what the helper reads, in the form asked for.
int show(const Invocation &invocation)
{
    const std::optional<QVariantMap> reply = replyOf(runAction(Mic::Protocol::accessAction));
    if (!reply) {
        return Failure;
    }
    const MachineState state(*reply);
    if (invocation.request == Invocation::Request::Export) {
        return exportTo(invocation.file, state, invocation.all);
    }
    return writeOut(invocation.json ? QJsonDocument(state.status()).toJson(QJsonDocument::Indented) : state.statusText().toUtf8());
}
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("micctl"));
    const Invocation invocation = parseCommandLine(app.arguments());
    progressFormat = invocation.progress;
    switch (invocation.request) {
    case Invocation::Request::UsageFault:
        printError(invocation.fault);
        return Usage;
    case Invocation::Request::Help:
        return writeOut(helpText().toUtf8());
    case Invocation::Request::Version:
        return writeOut(versionText().toUtf8() + '\n');
    case Invocation::Request::Apply:
        return apply(invocation.file, invocation.apply);
    case Invocation::Request::History:
        return history(invocation);
    case Invocation::Request::Rollback:
        return rollback(invocation);
    case Invocation::Request::Status:
    case Invocation::Request::Export:
        break;
    }
    return show(invocation);
}
