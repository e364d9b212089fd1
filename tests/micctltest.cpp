// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

// The command-line client over the real helper: the status as JSON, the
// desired state exported to a file, and a user polkit refuses; German
// output, the version and wrong command lines; a desired state checked, applied and applied again, files that
// cannot be applied, checks the helper refuses or works out, a reboot; the
// example playbook over the same helper.
#include "helperfixture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

#include <sys/stat.h>

using namespace HelperFixture;

namespace
{
QString s(const char *text)
{
    return QString::fromUtf8(text);
}

struct Run {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

Run run(const QString &program, const QStringList &arguments, const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    process.waitForFinished(120000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, process.readAllStandardOutput(), process.readAllStandardError()};
}

Run micctl(const QStringList &arguments, const QString &program = s(MICCTL_PATH), const QStringList &asUser = {})
{
    return asUser.isEmpty() ? run(program, arguments) : run(s("runuser"), asUser + QStringList{s("--"), program} + arguments);
}

// As the administrator who reads German runs it, with the catalogue of the
// build tree.
Run micctlInGerman(const QStringList &arguments)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(s("LANGUAGE"), s("de"));
    environment.insert(s("XDG_DATA_DIRS"), s(LOCALE_DATA_DIR));
    return run(s(MICCTL_PATH), arguments, environment);
}

QJsonObject exported()
{
    return QJsonDocument::fromJson(micctl({s("export")}).out).object();
}

QString written(const QTemporaryDir &dir, const QString &name, const QByteArray &text)
{
    QFile file(dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(text) < 0) {
        qFatal("cannot write %s", qPrintable(name));
    }
    return file.fileName();
}

QString written(const QTemporaryDir &dir, const QString &name, const QJsonObject &state)
{
    return written(dir, name, QJsonDocument(state).toJson());
}

QJsonObject withEntry(QJsonObject state, const QString &key, const QString &name, const QJsonValue &value)
{
    QJsonObject object = state.value(key).toObject();
    if (value.isUndefined()) {
        object.remove(name);
    } else {
        object.insert(name, value);
    }
    state.insert(key, object);
    return state;
}

QJsonObject withValue(QJsonObject state, const QString &key, const QJsonValue &value)
{
    state.insert(key, value);
    return state;
}

QJsonObject statusJson()
{
    return QJsonDocument::fromJson(micctl({s("status"), s("--json")}).out).object();
}
}

class MicctlTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void statusExportAndFailures()
    {
        const QString files = laySampleSystem();

        const Run status = micctl({s("status"), s("--json")});
        QCOMPARE(status.status, 0);
        const QJsonObject json = QJsonDocument::fromJson(status.out).object();
        QCOMPARE(json.value(s("mic")).toObject().value(s("now")).toString(), s("enabled"));
        QCOMPARE(json.value(s("fileSystem")).toObject().value(s("protection")).toString(), s("partly"));
        QCOMPARE(json.value(s("fileSystem")).toObject().value(s("unprotected")).toArray().size(), 1); // "uncovered"; "mask" is covered by its mask
        QCOMPARE(json.value(s("services")).toObject().value(s("isolated")).toObject().value(s("sshd")).toBool(), false);
        QCOMPARE(json.value(s("userLevels")).toObject().value(s("root")).toInt(), 63);
        QCOMPARE(json.value(s("rules")).toInt(), 5);
        QCOMPARE(json.value(s("exceptions")).toInt(), 1);
        // The catalogue, for clients that offer its levels as choices.
        const QJsonArray levels = json.value(s("levels")).toArray();
        QCOMPARE(levels.size(), 8);
        QCOMPARE(levels.at(6).toObject(), (QJsonObject{{s("value"), 63}, {s("name"), s("63 - High")}}));
        QCOMPARE(levels.at(7).toObject().value(s("value")).toInt(), 127);
        QVERIFY(micctl({s("status")}).out.contains("File-system protection: partly (1 object below its configured level)"));

        // The desired state keeps the level strings as configured. It is
        // its owner's alone, whatever the umask.
        QTemporaryDir dir;
        const QString exported = dir.filePath(s("state.json"));
        ::umask(022);
        QCOMPARE(micctl({s("export"), exported}).status, 0);
        struct stat mode = {};
        QVERIFY(::stat(QFile::encodeName(exported).constData(), &mode) == 0);
        QCOMPARE(mode.st_mode & 07777, mode_t(0600));
        QFile file(exported);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        // What the file is comes first; micctl reads it back.
        QVERIFY2(text.startsWith("{\n    \"format\": \"lumen-mic-state\",\n    \"version\": 1,\n    \""), text.constData());
        const QJsonObject state = QJsonDocument::fromJson(text).object();
        QCOMPARE(state.value(s("format")).toString(), s("lumen-mic-state"));
        QCOMPARE(state.value(s("version")).toInt(), 1);
        QVERIFY(state.value(s("micEnabledAfterReboot")).toBool());
        QVERIFY(state.value(s("fileSystemProtection")).toBool());
        const QJsonObject rules = state.value(s("rules")).toObject();
        QCOMPARE(rules.value(files + s("/high")).toString(), s("high"));
        QCOMPARE(rules.value(files + s("/mask")).toString(), s("0b100"));
        QCOMPARE(state.value(s("exceptions")).toArray().first().toString(), files + s("/excepted"));
        // Users at level 0, as nobody's "junk" reads, are left out, and the
        // file says so; --all gives them too, and nothing of that.
        QCOMPARE(state.value(s("userLevels")).toObject(), (QJsonObject{{s("root"), 63}}));
        QCOMPARE(state.value(s("defaultsLeftOut")).toObject(), (QJsonObject{{s("userLevels"), 0}}));
        const QJsonObject all = QJsonDocument::fromJson(micctl({s("export"), s("--all")}).out).object();
        QVERIFY(!all.contains(s("defaultsLeftOut")));
        QCOMPARE(all.value(s("userLevels")).toObject(), json.value(s("userLevels")).toObject());
        QCOMPARE(all.value(s("userLevels")).toObject().value(s("nobody")), QJsonValue(0));
        // Applied, the file leaves a user it does not name as it is; the
        // whole export brings it down to 0.
        const QJsonObject nobody{{s("format"), s("lumen-mic-state")}, {s("version"), 1}, {s("userLevels"), QJsonObject{{s("nobody"), 3}}}};
        QCOMPARE(micctl({s("apply"), written(dir, s("nobody.json"), nobody)}).status, 0);
        const Run check = micctl({s("apply"), s("--check"), exported});
        QCOMPARE(check.status, 2); // the objects below their level
        QVERIFY2(!check.out.contains("user"), check.out.constData());
        QVERIFY(micctl({s("apply"), s("--check"), written(dir, s("all.json"), all)}).out.contains("~ user nobody: 3 → 0\n"));

        // A user polkit refuses reads nothing, and says so.
        const OpenCopy copy(s(MICCTL_PATH));
        QVERIFY(!copy.program().isEmpty());
        const Run denied = micctl({s("status")}, copy.program(), {s("-u"), s("nobody")});
        QCOMPARE(denied.status, 1);
        QVERIFY2(denied.err.contains("not authorized to read"), denied.err.constData());
        QVERIFY(denied.out.isEmpty());
    }

    // A German administrator reads German, the service in error apart from
    // what the summary counts, while the lines of the difference keep their
    // one form, also for the name micctl gives a level the machine leaves
    // without a text; a wrong command line is refused with what is wrong
    // (64) before the helper is asked.
    void languageVersionAndUsage()
    {
        const QString files = laySampleSystem();
        writeRootFile(s("var/lib/kestrel/mic.state"), readRootFile(s("var/lib/kestrel/mic.state")).replace("level.63 = High", "level.63 ="));
        QTemporaryDir dir;
        const Run status = micctlInGerman({s("status")});
        QCOMPARE(status.status, 0);
        for (const QString &line : {s("Integritätskontrolle: jetzt aktiviert, nach dem Neustart aktiviert\n"),
                                    s("Schutz des Dateisystems: teilweise (1 Objekt unter seiner konfigurierten Stufe)\n"),
                                    s("Isolierung der Dienste: einige\n  broken: kann nicht isoliert werden (fehlerhaft)\n  cron: isoliert\n"),
                                    s("  root: 63 - Hoch\n")}) {
            QVERIFY2(QString::fromUtf8(status.out).contains(line), status.out.constData());
        }
        const QJsonObject desired = withEntry(withEntry(exported(), s("serviceIsolation"), s("sshd"), true), s("userLevels"), s("nobody"), 63);
        const Run check = micctlInGerman({s("apply"), s("--check"), written(dir, s("desired.json"), desired)});
        QCOMPARE(check.status, 2);
        for (const QString &line : {s("~ service sshd: not isolated → isolated\n"),
                                    s("~ user nobody: 0 → 63 - High\n"),
                                    s("  %1/uncovered: 8 → 7 (herabgesetzt)\n").arg(files),
                                    s("3 Änderungen würden angewendet.\n")}) {
            QVERIFY2(QString::fromUtf8(check.out).contains(line), check.out.constData());
        }
        const Run help = micctlInGerman({s("--help")});
        QVERIFY2(help.out.startsWith("Aufruf: micctl status [--json]\n"), help.out.constData());

        const Run version = micctl({s("--version")});
        QCOMPARE(version.status, 0);
        QVERIFY2(QRegularExpression(s("^micctl \\d+\\.\\d+\\.\\d+\n$")).match(QString::fromUtf8(version.out)).hasMatch(), version.out.constData());

        const QString file = dir.filePath(s("desired.json"));
        const struct {
            QStringList arguments;
            QByteArray says;
        } wrong[] = {
            {{s("apply")}, "apply needs a FILE; see micctl --help\n"},
            {{s("stat")}, "unknown command stat; did you mean status?\n"},
            {{s("frobnicate")}, "unknown command frobnicate; see micctl --help\n"},
            {{s("status"), s("--check")}, "--check is an option of apply, not of status; see micctl --help\n"},
            {{s("apply"), s("--check"), s("--diff"), file}, "--check and --diff cannot be given together"},
            {{s("apply"), s("--chek"), file}, "unknown option --chek; did you mean --check?\n"},
            {{s("export"), file, file}, "too many arguments for export: "},
        };
        const auto before = snapshotStateRoot();
        for (const auto &[arguments, says] : wrong) {
            const Run run = micctl(arguments);
            QCOMPARE(run.status, 64);
            QVERIFY2(run.err.startsWith(QByteArray("micctl: " + says)), run.err.constData());
            QVERIFY(run.out.isEmpty());
        }
        QCOMPARE(snapshotStateRoot(), before);
        const Run german = micctlInGerman({s("stat")});
        QCOMPARE(german.status, 64);
        QCOMPARE(german.err, QByteArray("micctl: unbekannter Befehl stat; meinten Sie status?\n"));
    }

    // A file that changes one user changes nothing else, though the file
    // system is partly protected. Then a rule changed, added and removed (one
    // reached through a link, whose label cannot be read), an exception
    // added, a user's level and a service's isolation changed, the objects
    // below their level labelled: checked (nothing changes), applied,
    // applied again.
    void applyCheckedThenTwice()
    {
        const QString files = laySampleSystem();
        QTemporaryDir dir;
        const QByteArray uncovered = labelOf(files + s("/uncovered"));
        const QJsonObject userOnly{{s("format"), s("lumen-mic-state")}, {s("version"), 1}, {s("userLevels"), QJsonObject{{s("nobody"), 3}}}};
        const Run user = micctl({s("apply"), s("--diff"), written(dir, s("user.json"), userOnly)});
        QCOMPARE(user.status, 0);
        QVERIFY2(user.out.startsWith("~ user nobody: 0"), user.out.constData());
        QCOMPARE(labelOf(files + s("/uncovered")), uncovered);
        QCOMPARE(statusJson().value(s("fileSystem")).toObject().value(s("protection")).toString(), s("partly"));

        QVERIFY(QFile::link(files, files + s("/through-link")));
        QJsonObject state = withEntry(exported(), s("rules"), files + s("/high"), s("31"));
        state = withEntry(state, s("rules"), files + s("/through-link/high"), s("63"));
        state = withEntry(state, s("rules"), files + s("/missing"), QJsonValue::Undefined);
        state = withEntry(state, s("rules"), files + s("/mask"), s("max"));
        state = withEntry(state, s("rules"), files + s("/50%1off"), s("7")); // no placeholder in a line
        state = withEntry(state, s("userLevels"), s("nobody"), 15);
        state = withEntry(state, s("serviceIsolation"), s("sshd"), true);
        state.insert(s("exceptions"), QJsonArray::fromStringList({files + s("/excepted"), files + s("/mask")}));
        const QString desired = written(dir, s("desired.json"), state);

        const auto before = snapshotStateRoot();
        const Run check = micctl({s("apply"), s("--check"), desired});
        QCOMPARE(check.status, 2);
        for (const QString &line : {s("~ file-system protection: partly → on (objects below their configured level: 1)"),
                                    s("~ service sshd: not isolated → isolated"),
                                    s("~ user nobody: 3"),
                                    s("~ rule %1/high: high → 31").arg(files),
                                    s("~ rule %1/mask: 0b100 → max").arg(files),
                                    s("- rule %1/missing (was 63)").arg(files),
                                    s("+ exception %1/mask").arg(files),
                                    QString(s("+ rule ") + files + s("/50%1off: 7")),
                                    s("9 changes would be applied.")}) {
            QVERIFY2(QString::fromUtf8(check.out).contains(line), check.out.constData());
        }
        QCOMPARE(snapshotStateRoot(), before);

        const Run applied = micctl({s("apply"), s("--diff"), desired});
        QCOMPARE(applied.status, 0);
        QVERIFY2(applied.out.contains("Applied 9 changes."), applied.out.constData());
        QVERIFY2(applied.out.contains("/uncovered: 8 → 7 (lowered)\n"), applied.out.constData());
        const QByteArray config = readRootFile(s("etc/kestrel/fs-ilev.conf"));
        QVERIFY(config.contains(QByteArray("31 " + files.toUtf8() + "/high\n")));
        QVERIFY(config.contains(QByteArray("max " + files.toUtf8() + "/mask\n")));
        QVERIFY(!config.contains("/missing"));
        QVERIFY(config.contains(QByteArray("exception " + files.toUtf8() + "/mask\n")));
        QVERIFY(readRootFile(s("var/lib/kestrel/users.state")).contains("nobody = 15"));
        QVERIFY(readRootFile(s("var/lib/kestrel/services.state")).contains("service.sshd.isolated = yes"));
        QCOMPARE(statusJson().value(s("fileSystem")).toObject().value(s("unprotected")).toArray().size(), 1); // the link

        const Run again = micctl({s("apply"), desired});
        QCOMPARE(again.status, 0);
        QVERIFY(again.out.startsWith("Nothing to change.\n"));
        QVERIFY2(again.err.contains("cannot be read, so file-system protection stays partly"), again.err.constData());
        // What the machine exports now is what was asked for: a file without
        // the users at level 0, which applied back changes nothing.
        QCOMPARE(exported(), state);
        QVERIFY(state.value(s("userLevels")).toObject().size() < statusJson().value(s("userLevels")).toObject().size());
    }

    // A check goes to the helper: a file it would refuse fails with its
    // reason. One it takes lists the labels protecting would change, the
    // same that applying the file then changes, and changes nothing.
    void checkIsWorkedOutByTheHelper()
    {
        const QString files = laySampleSystem();
        QTemporaryDir dir;
        const auto unchanged = snapshotStateRoot();
        const Run relative = micctl({s("apply"), s("--check"), written(dir, s("relative.json"), withEntry(exported(), s("rules"), s("files/high"), s("7")))});
        QCOMPARE(relative.status, 1);
        QVERIFY2(relative.err.contains("The rule path \"files/high\" is not an absolute path"), relative.err.constData());
        QVERIFY(!relative.out.contains("would be applied"));
        QCOMPARE(snapshotStateRoot(), unchanged);

        // "d" carries 1 and gets a rule of its own, 4 (lowered), before it
        // is raised as the container of d/x: the check must see the 4 it
        // would have written.
        QDir().mkpath(files + s("/d"));
        QVERIFY(QFile(files + s("/d/x")).open(QIODevice::WriteOnly));
        QVERIFY(setLabel(files + s("/d"), 1));
        const QString desired = written(dir, s("desired.json"), withEntry(withEntry(exported(), s("rules"), files + s("/d"), s("4")), s("rules"), files + s("/d/x"), s("63")));
        const auto before = snapshotStateRoot();
        const Run check = micctl({s("apply"), s("--check"), desired});
        QCOMPARE(check.status, 2);
        for (const QString &line : {s("Protecting the file system would change the labels of 5 objects."),
                                    s("Of these, 2 labels would be lowered."),
                                    s("  %1/uncovered: 8 → 7 (lowered)").arg(files),
                                    s("  %1/d: 4 → 63 (container of a labelled object)").arg(files),
                                    s("3 changes would be applied.")}) {
            QVERIFY2(QString::fromUtf8(check.out).contains(line + QLatin1Char('\n')), check.out.constData());
        }
        QCOMPARE(snapshotStateRoot(), before);

        const Run applied = micctl({s("apply"), desired});
        QCOMPARE(applied.status, 0);
        const auto relabelLines = [](const QByteArray &out) {
            QList<QByteArray> lines = out.split('\n');
            lines.erase(std::remove_if(lines.begin(), lines.end(), [](const QByteArray &line) {
                            return !line.startsWith("  ");
                        }),
                        lines.end());
            return lines;
        };
        QCOMPARE(relabelLines(applied.out), relabelLines(check.out));
        QCOMPARE(labelOf(files + s("/d")), QByteArray("63"));
    }

    // Refused whole, nothing changed: unknown users and services (unless
    // left out), levels out of range, damaged or foreign files, a missing
    // bus. A change for the next boot reboots only when asked to.
    void applyRefusalsAndReboot()
    {
        const QString files = laySampleSystem();
        QTemporaryDir dir;
        const QJsonObject machine = exported();
        const QJsonObject ghosts = withEntry(withEntry(machine, s("userLevels"), s("ghost"), 3), s("serviceIsolation"), s("ghostd"), true);
        const struct {
            QString file;
            QByteArray says;
        } refused[] = {
            {written(dir, s("ghosts.json"), ghosts), "There is no user \"ghost\" on this machine."},
            {written(dir, s("level.json"), withEntry(machine, s("userLevels"), s("root"), 256)), "The level of the user \"root\" must be an integrity level"},
            {written(dir, s("typo.json"), withEntry(machine, s("rule"), files + s("/high"), s("7"))), "Unknown setting \"rule\"."},
            {written(dir, s("left-out.json"), withEntry(machine, s("defaultsLeftOut"), s("userLevel"), 0)), "Unknown setting \"userLevel\" in \"defaultsLeftOut\"."},
            {written(dir, s("foreign.json"), QJsonObject{{s("format"), s("other")}}), "It is not a desired-state file"},
            {dir.filePath(s("absent.json")), "Could not read"},
            {written(dir, s("bad-rule.json"), withEntry(machine, s("rules"), files + s("/high"), s("ultra"))), "is not a valid integrity level"},
            {written(dir, s("running.json"), withValue(machine, s("maxLevelAfterReboot"), 31)), "you need to turn off MIC first"}, // MIC runs at 63
            {written(dir, s("removal.json"), withEntry(machine, s("rules"), files + s("/high"), s("—"))), "must be a level string"},
            // Where the syntax error is, the column counted in characters.
            {written(dir, s("syntax.json"), "{\n  \"format\": \"lumen-mic-state\", \"version\": 1,\n  \"userLevels\": {\"jörg\": 3,}\n}\n"),
             "It is not valid JSON: a name and value are missing after a comma at line 3, column 29."},
        };
        // Keys given twice, also where JSON escapes spell them otherwise.
        QFile twice(dir.filePath(s("twice.json")));
        const auto before = snapshotStateRoot();
        for (const auto &[text, says] : {std::pair{R"({"format": "lumen-mic-state", "version": 1, "userLevels": {"nobody": 7}, "userLevels": {"root": 63}})", "userLevels"},
                                         {R"({"format": "lumen-mic-state", "version": 1, "\u0072ules": {}, "rules": {}})", "rules"},
                                         {R"({"format": "lumen-mic-state", "version": 1, "userLevels": {"nobody": 7, "\u006eobody": 0}})", "nobody"}}) {
            QVERIFY(twice.open(QIODevice::WriteOnly | QIODevice::Truncate));
            twice.write(text);
            twice.close();
            const Run given = micctl({s("apply"), twice.fileName()});
            QCOMPARE(given.status, 1);
            QVERIFY2(given.err.contains(QByteArray("\"" + QByteArray(says) + "\" is given twice in one object")), given.err.constData());
        }
        QProcess full;
        full.setStandardOutputFile(s("/dev/full"));
        full.start(s(MICCTL_PATH), {s("export")});
        QVERIFY(full.waitForFinished(60000));
        QCOMPARE(full.exitCode(), 1);
        for (const auto &file : refused) {
            const Run run = micctl({s("apply"), file.file});
            QCOMPARE(run.status, 1);
            QVERIFY2(run.err.contains(file.says), run.err.constData());
            QCOMPARE(run.err.contains("give --skip-missing"), file.file == refused[0].file);
        }
        QCOMPARE(snapshotStateRoot(), before);
        // A damaged configuration on the machine's side.
        const QByteArray config = readRootFile(s("etc/kestrel/fs-ilev.conf"));
        writeRootFile(s("etc/kestrel/fs-ilev.conf"), config + "63 not/absolute\n");
        const Run damaged = micctl({s("apply"), written(dir, s("same.json"), machine)});
        QCOMPARE(damaged.status, 1);
        QVERIFY2(damaged.err.contains("fs-ilev.conf"), damaged.err.constData());
        writeRootFile(s("etc/kestrel/fs-ilev.conf"), config);
        const Run skipped = micctl({s("apply"), s("--check"), s("--skip-missing"), refused[0].file});
        QVERIFY2(skipped.err.contains("warning: Left out: There is no service \"ghostd\""), skipped.err.constData());
        QCOMPARE(skipped.status, 2); // the objects below their level
        QProcess noBus;
        noBus.setProgram(s(MICCTL_PATH));
        noBus.setArguments({s("status")});
        auto environment = QProcessEnvironment::systemEnvironment();
        environment.insert(s("DBUS_SYSTEM_BUS_ADDRESS"), s("unix:path=%1").arg(dir.filePath(s("no-bus"))));
        noBus.setProcessEnvironment(environment);
        noBus.start();
        QVERIFY(noBus.waitForFinished(60000));
        QCOMPARE(noBus.exitCode(), 1);
        QVERIFY(noBus.readAllStandardError().startsWith("micctl: The system bus cannot be reached"));

        const QString off = written(dir, s("off.json"), {{s("format"), s("lumen-mic-state")}, {s("version"), 1}, {s("micEnabledAfterReboot"), false}});
        const Run later = micctl({s("apply"), off});
        QCOMPARE(later.status, 0);
        QVERIFY(later.out.contains("The changes take effect after a reboot."));
        QCOMPARE(statusJson().value(s("mic")).toObject().value(s("now")).toString(), s("enabled"));
        QCOMPARE(micctl({s("apply"), off}).out, QByteArray("Nothing to change.\nEarlier changes take effect after a reboot.\n"));
        QVERIFY(statusJson().value(s("rebootPending")).toBool());
        // Asked to reboot, it does so for the change already waiting.
        const Run rebooted = micctl({s("apply"), s("--reboot"), off});
        QVERIFY2(rebooted.status == 0, rebooted.err.constData());
        QCOMPARE(statusJson().value(s("mic")).toObject().value(s("now")).toString(), s("disabled"));
        QCOMPARE(micctl({s("apply"), s("--reboot"), off}).status, 0);
    }

    // Control characters in the paths of the machine and in the names and
    // paths of a desired-state file reach the terminal escaped; the helper
    // refuses a new rule with one, and one stored already can be removed.
    // Back to the state before a change, as one change of its own; once the
    // backups no longer hold that state, nothing is changed.
    void rollbackToAnEarlierState()
    {
        laySampleSystem();
        QTemporaryDir dir;
        const QByteArray usersBefore = readRootFile(s("var/lib/kestrel/users.state"));
        const QByteArray servicesBefore = readRootFile(s("var/lib/kestrel/services.state"));
        // nobody, at level 0, is not in the export; going back brings it to
        // 0 all the same.
        QJsonObject changed = withEntry(withEntry(exported(), s("userLevels"), s("root"), 7), s("serviceIsolation"), s("sshd"), true);
        changed = withEntry(changed, s("userLevels"), s("nobody"), 3);
        // A change applied and a rollback done are successes: a script goes
        // on after them.
        const auto script = [](const QString &text, const QStringList &arguments = {}) {
            return run(s("sh"), QStringList{s("-ec"), text, s(MICCTL_PATH)} + arguments);
        };
        const Run applied = script(s("\"$0\" apply \"$1\"; echo applied"), {written(dir, s("changed.json"), changed)});
        QVERIFY2(applied.status == 0 && applied.out.endsWith("\napplied\n"), QByteArray(applied.out + applied.err).constData());

        const Run check = micctl({s("rollback"), s("--check")});
        QCOMPARE(check.status, 2);
        QVERIFY2(check.out.contains("~ user root: 7 → 63 - High\n") && check.out.contains("~ service sshd: isolated → not isolated\n")
                     && check.out.contains("~ user nobody: 3 → 0\n"),
                 check.out.constData());
        // The labels below their level before the change stay as they were.
        QVERIFY(!check.out.contains("~ file-system protection"));
        QCOMPARE(readRootFile(s("var/lib/kestrel/users.state")), QByteArray(usersBefore).replace("root = 63", "root = 7").replace("nobody = junk", "nobody = 3"));

        const QJsonObject checked = QJsonDocument::fromJson(micctl({s("rollback"), s("--check"), s("--json")}).out).object();
        QCOMPARE(checked.value(s("changed")), QJsonValue(true));
        QCOMPARE(checked.value(s("difference")).toArray().size(), 3);
        const Run rolledBack = script(s("\"$0\" rollback && echo 'rolled back'"));
        QVERIFY2(rolledBack.status == 0 && rolledBack.out.endsWith("\nrolled back\n"), QByteArray(rolledBack.out + rolledBack.err).constData());
        QVERIFY(readRootFile(s("var/lib/kestrel/users.state")).contains("root = 63"));
        QCOMPARE(statusJson().value(s("userLevels")).toObject().value(s("nobody")), QJsonValue(0));
        QCOMPARE(readRootFile(s("var/lib/kestrel/services.state")), servicesBefore);
        // Before the first change is where the machine is now; before the
        // rollback, root was at 7.
        QCOMPARE(micctl({s("rollback"), s("--check"), s("2")}).status, 0);
        QVERIFY(micctl({s("rollback"), s("--check")}).out.contains("~ user root: 63 - High → 7\n"));

        // Six more changes of the users' file: its content before the first
        // change (which the rollback wrote again) is in none of its five
        // backups any more.
        for (int level : {1, 3, 7, 15, 31, 1}) {
            QCOMPARE(micctl({s("apply"), written(dir, s("level.json"), withEntry(exported(), s("userLevels"), s("root"), level))}).status, 0);
        }
        const Run gone = micctl({s("rollback"), s("8")});
        QCOMPARE(gone.status, 1);
        QVERIFY2(gone.err.contains("is no longer kept: later changes replaced its backups."), gone.err.constData());
        const Run tooFar = micctl({s("rollback"), s("--json"), s("99")});
        QCOMPARE(tooFar.status, 1);
        const QJsonObject none = QJsonDocument::fromJson(tooFar.out).object();
        QCOMPARE(none.value(s("failed")), QJsonValue(true));
        QCOMPARE(none.value(s("changed")), QJsonValue(false));
        QVERIFY2(none.value(s("errors")).toArray().first().toString().startsWith(s("Only ")), tooFar.out.constData());
        QCOMPARE(micctl({s("rollback"), s("two")}).status, 64);
    }

    void controlCharactersAreShownEscaped()
    {
        const QString files = laySampleSystem();
        QTemporaryDir dir;
        const QString stored = files + s("/title\x1b]2;owned\x07");
        QVERIFY(QFile(stored).open(QIODevice::WriteOnly)); // unlabelled, so below its rule
        writeRootFile(s("etc/kestrel/fs-ilev.conf"), readRootFile(s("etc/kestrel/fs-ilev.conf")) + "7 " + stored.toUtf8() + '\n');
        const QByteArray shownStored = files.toUtf8() + "/title\\x1b]2;owned\\x07";

        const Run status = micctl({s("status")});
        QVERIFY2(status.out.contains(QByteArray("  " + shownStored + " (level 0, configured 7)")), status.out.constData());

        QJsonObject state = withEntry(exported(), s("rules"), stored, QJsonValue::Undefined);
        state = withEntry(state, s("rules"), files + s("/new\x1b[2J\u009b"), s("7"));
        state = withEntry(state, s("userLevels"), s("gh\x1bost"), 1);
        const Run refused = micctl({s("apply"), s("--diff"), s("--skip-missing"), written(dir, s("escapes.json"), state)});
        QCOMPARE(refused.status, 1);
        QVERIFY2(refused.out.contains(QByteArray("- rule " + shownStored + " (was 7)\n")), refused.out.constData());
        QVERIFY2(refused.out.contains(QByteArray("+ rule " + files.toUtf8() + "/new\\x1b[2J\\x9b: 7\n")), refused.out.constData());
        QVERIFY2(refused.err.contains("Left out: There is no user \"gh\\x1bost\""), refused.err.constData());
        QVERIFY2(refused.err.contains("/new\\x1b[2J\\x9b\" holds a control character"), refused.err.constData());
        for (const QByteArray &output : {status.out, refused.out, refused.err}) {
            QVERIFY(!output.contains('\x1b') && !output.contains('\x07') && !output.contains("\u009b"));
        }

        const QString removal = written(dir, s("removal.json"), withEntry(exported(), s("rules"), stored, QJsonValue::Undefined));
        QCOMPARE(micctl({s("apply"), removal}).status, 0);
        QVERIFY(!readRootFile(s("etc/kestrel/fs-ilev.conf")).contains('\x1b'));
    }

    // What configuration tools read: one JSON document on standard output
    // for a check, a change, nothing to change and a refusal alike.
    void applyAsJson()
    {
        laySampleSystem();
        QTemporaryDir dir;
        const auto userLevel = [](const QString &user, int level) {
            return QJsonObject{{s("format"), s("lumen-mic-state")}, {s("version"), 1}, {s("userLevels"), QJsonObject{{user, level}}}};
        };
        const QString desired = written(dir, s("desired.json"), userLevel(s("nobody"), 3));
        const QString ghosts = written(dir, s("ghosts.json"), userLevel(s("ghost"), 7));
        const auto document = [](const Run &run) {
            QJsonParseError error;
            const QJsonObject object = QJsonDocument::fromJson(run.out, &error).object();
            return error.error == QJsonParseError::NoError ? object : QJsonObject{{s("unparsed"), QString::fromUtf8(run.out)}};
        };
        const QJsonObject userChange{{s("change"), s("~")}, {s("setting"), s("userLevels")}, {s("name"), s("nobody")}, {s("before"), 0}, {s("after"), 3},
                                     {s("text"), s("~ user nobody: 0 → 3")}};

        const auto before = snapshotStateRoot();
        const Run check = micctl({s("apply"), s("--check"), s("--json"), desired});
        QCOMPARE(check.status, 2);
        QJsonObject report = document(check);
        QCOMPARE(report.value(s("check")), QJsonValue(true));
        QCOMPARE(report.value(s("changed")), QJsonValue(true));
        QCOMPARE(report.value(s("failed")), QJsonValue(false));
        QVERIFY2(report.value(s("difference")).toArray() == QJsonArray{userChange}, check.out.constData());
        QCOMPARE(report.value(s("relabelled")).toObject().value(s("count")), QJsonValue(0));
        QCOMPARE(snapshotStateRoot(), before);

        // The exit status of a change applied is 0 as of nothing to
        // change: "changed" tells them apart.
        const Run applied = micctl({s("apply"), s("--json"), desired});
        QCOMPARE(applied.status, 0);
        QCOMPARE(document(applied).value(s("changed")), QJsonValue(true));
        QCOMPARE(document(applied).value(s("difference")).toArray(), QJsonArray{userChange});
        // The sample's maximum level waits for a reboot, which a change of
        // a user's level leaves waiting.
        QCOMPARE(statusJson().value(s("rebootPending")), QJsonValue(true));
        QCOMPARE(document(applied).value(s("rebootRequired")), QJsonValue(true));
        QVERIFY(readRootFile(s("var/lib/kestrel/users.state")).contains("nobody = 3"));

        const Run again = micctl({s("apply"), s("--json"), desired});
        QCOMPARE(again.status, 0);
        report = document(again);
        QCOMPARE(report.value(s("changed")), QJsonValue(false));
        QCOMPARE(report.value(s("difference")).toArray(), QJsonArray());
        QCOMPARE(report.value(s("rebootRequired")), QJsonValue(true));

        const auto unchanged = snapshotStateRoot();
        const Run refused = micctl({s("apply"), s("--json"), ghosts});
        QCOMPARE(refused.status, 1);
        report = document(refused);
        QCOMPARE(report.value(s("failed")), QJsonValue(true));
        QCOMPARE(report.value(s("changed")), QJsonValue(false));
        QCOMPARE(report.value(s("errors")).toArray().first().toString(), s("There is no user \"ghost\" on this machine."));
        QVERIFY2(refused.err.contains("There is no user"), refused.err.constData()); // and said, as without --json
        QCOMPARE(snapshotStateRoot(), unchanged);

        QCOMPARE(micctl({s("apply"), s("--json"), s("--diff"), desired}).status, 64);
    }
};

QTEST_MAIN(MicctlTest)
#include "micctltest.moc"
