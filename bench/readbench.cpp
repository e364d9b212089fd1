// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

// The settings read, saved and protected from end to end, over real
// objects: 10^6 files in 1,000 folders (made once under
// /var/cache/lumen-kcm-mic-bench-objects, or $MIC_BENCH_OBJECTS, and reused;
// folders only root holds, as those of system files are),
// each with a rule (level strings of every form), every tenth an exception
// too, every one labelled. The helper, started by the bus that bench/run
// starts, reads and labels them; the client takes the replies as the module
// does. Beside each, in this process and on one thread, what it cannot do
// without: parsing fs-ilev.conf and reading (and writing) the same labels in
// a bare loop. Then "micctl apply --check" of a desired state that differs
// from the machine in 1 % of 10^5 rules, beside the bare parsers.
#include "benchtable.h"

#include <micmanagementmodule.h>

#include <QApplication>

#include <fsilevconfig.h>
#include <helperrequest.h>
#include <protectioncheck.h>
#include <protocol.h>
#include <settings.h>

#include <ksec_sim.h>


#include <QCoreApplication>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <functional>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

namespace
{
QString rootPath(const QString &relative)
{
    return QDir(qEnvironmentVariable("MIC_STATE_ROOT")).filePath(relative);
}

void writeFile(const QString &relative, const QByteArray &content)
{
    const QString path = rootPath(relative);
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size()) {
        qFatal("cannot write %s", qPrintable(path));
    }
}

constexpr int mostObjects = 1000000;

QByteArray objectsFolder()
{
    const QByteArray chosen = qgetenv("MIC_BENCH_OBJECTS");
    return chosen.isEmpty() ? QByteArrayLiteral("/var/cache/lumen-kcm-mic-bench-objects") : chosen;
}

QByteArray objectPath(int i)
{
    return objectsFolder() + "/d" + QByteArray::number(i / 1000) + "/f" + QByteArray::number(i);
}

// The files, once: a stamp says they are all there.
void makeObjects()
{
    const QByteArray stamp = objectsFolder() + "/complete-" + QByteArray::number(mostObjects);
    if (::access(stamp.constData(), F_OK) == 0) {
        return;
    }
    std::fprintf(stderr, "making %d files under %s, once\n", mostObjects, objectsFolder().constData());
    QDir().mkpath(QString::fromLocal8Bit(objectsFolder()));
    for (int i = 0; i < mostObjects; ++i) {
        if (i % 1000 == 0) {
            ::mkdir(QByteArray(objectsFolder() + "/d" + QByteArray::number(i / 1000)).constData(), 0755);
        }
        const int file = ::open(objectPath(i).constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
        if (file < 0) {
            qFatal("cannot make %s", objectPath(i).constData());
        }
        ::close(file);
    }
    ::close(::open(stamp.constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644));
}

// Rules on the first `rules` objects, in every form of a level string that
// means 63 (or only as "63"), every tenth an exception too.
QByteArray configuration(int rules, bool everyForm = true)
{
    static const QByteArray forms[] = {"63 ", "high ", "max ", "0x3f ", "077 ", "0b111111 "};
    QByteArray text;
    text.reserve(rules * 64);
    for (int i = 0; i < rules; ++i) {
        const QByteArray path = objectPath(i);
        text += forms[everyForm ? i % 6 : 0] + path + '\n';
        if (i % 10 == 5) {
            text += "exception " + path + '\n';
        }
    }
    return text;
}

std::vector<std::string> objectPaths(int count)
{
    std::vector<std::string> paths;
    paths.reserve(std::size_t(count));
    for (int i = 0; i < count; ++i) {
        paths.push_back(objectPath(i).toStdString());
    }
    return paths;
}

// The bare loop beside the helper's work: each label read, and with
// `writing` written, on one thread. Leaves the first `count` objects
// labelled 63, or 0 where `unprotected` says so.
double labelLoopMs(const std::vector<std::string> &paths, bool writing, const std::function<bool(int)> &unprotected)
{
    QElapsedTimer clock;
    clock.start();
    char buffer[16];
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const ssize_t size = ::lgetxattr(paths[i].c_str(), KSEC_LABEL_XATTR, buffer, sizeof buffer);
        const char *wanted = unprotected(int(i)) ? "0" : "63";
        if (writing && (size < 0 || qstrncmp(buffer, wanted, std::size_t(size)) != 0 || std::size_t(size) != qstrlen(wanted))) {
            ::lsetxattr(paths[i].c_str(), KSEC_LABEL_XATTR, wanted, qstrlen(wanted), 0);
        }
    }
    return clock.nsecsElapsed() / 1e6;
}

void labelObjects(const std::vector<std::string> &paths, const std::function<bool(int)> &unprotected)
{
    char buffer[16];
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const char *wanted = unprotected(int(i)) ? "0" : "63";
        const ssize_t size = ::lgetxattr(paths[i].c_str(), KSEC_LABEL_XATTR, buffer, sizeof buffer);
        if (size != ssize_t(qstrlen(wanted)) || qstrncmp(buffer, wanted, std::size_t(size)) != 0) {
            ::lsetxattr(paths[i].c_str(), KSEC_LABEL_XATTR, wanted, qstrlen(wanted), 0);
        }
    }
}

bool onePercent(int i)
{
    return i % 100 == 7;
}

bool every(int)
{
    return true;
}

// The helper's own peak memory, while it waits for the next call.
double helperPeakMiB()
{
    const uint pid = QDBusConnection::systemBus().interface()->servicePid(Mic::Protocol::helperId);
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) {
        return 0;
    }
    const QList<QByteArray> lines = status.readAll().split('\n');
    for (const QByteArray &line : lines) {
        if (line.startsWith("VmHWM:")) {
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
        }
    }
    return 0;
}

// Counts the bytes of the helper's signals: those broadcast to every
// listener, and those addressed to this client alone.
class BusCounter : public QObject
{
    Q_OBJECT
public:
    BusCounter()
    {
        QDBusConnection::systemBus().connect(Mic::Protocol::helperId, QStringLiteral("/"), QStringLiteral("org.kde.kf5auth"),
                                             QStringLiteral("remoteSignal"), this, SLOT(heard(int,QString,QByteArray)));
        QDBusConnection::systemBus().connect(Mic::Protocol::helperId, QStringLiteral("/"), Mic::Protocol::replyInterface, Mic::Protocol::replyMember,
                                             this, SLOT(heardAlone(QByteArray)));
    }
    qint64 bytes = 0;
    qint64 broadcast = 0;
    qint64 largest = 0;
public Q_SLOTS:
    void heard(int, const QString &, const QByteArray &blob)
    {
        broadcast += blob.size();
        heardAlone(blob);
    }
    void heardAlone(const QByteArray &blob)
    {
        bytes += blob.size();
        largest = qMax(largest, qint64(blob.size()));
    }
};

struct Timings {
    double intermediate = -1;
    double final = -1;
    int rules = 0;
    int error = 0;
};

Timings read()
{
    auto *request = new HelperRequest(Mic::HelperAction::ofHelper(Mic::Protocol::accessAction));
    Timings timings;
    QElapsedTimer clock;
    QEventLoop loop;
    // The loop is the connections' context: they end with it.
    QObject::connect(request, &HelperRequest::newData, &loop, [measured = &timings, since = &clock] {
        if (measured->intermediate < 0) {
            measured->intermediate = since->nsecsElapsed() / 1e6;
        }
    });
    QObject::connect(request, &KJob::result, &loop, [measured = &timings, since = &clock, request, waiting = &loop] {
        measured->final = since->nsecsElapsed() / 1e6;
        measured->error = request->error();
        measured->rules = request->data().value(Mic::Settings::rulesKey).toHash().size();
        waiting->quit();
    });
    clock.start();
    request->start();
    loop.exec();
    return timings;
}

double parseMs(const QByteArray &text)
{
    QElapsedTimer clock;
    clock.start();
    const auto config = FsIlevConfig::parse(text, nullptr);
    const double ms = clock.nsecsElapsed() / 1e6;
    if (!config) {
        qFatal("the benchmark's configuration does not parse");
    }
    return ms;
}
}

// A desired-state file of the configuration's rules, 1 % of them different:
// a third changed, a third removed, a third added.
QByteArray desiredState(int rules)
{
    QByteArray json;
    json.reserve(rules * 52);
    json += "{\"format\": \"lumen-mic-state\", \"version\": 1, \"rules\": {\n";
    for (int i = 0; i < rules; ++i) {
        const QByteArray path = objectPath(i);
        switch (i % 300) {
        case 0:
            json += "\"" + path + "\": \"31\",\n";
            break;
        case 100:
            break;
        case 200:
            json += "\"" + path + "\": \"63\",\n\"" + path + "-new\": \"63\",\n";
            break;
        default:
            json += "\"" + path + "\": \"63\",\n";
        }
    }
    json.chop(2);
    json += "\n}}\n";
    return json;
}

// Runs micctl with `arguments` as a process of its own, its output thrown
// away; its exit status must be `expected`. Its time, and its own peak
// memory in KiB.
std::pair<double, long> runMicctl(const QList<QByteArray> &arguments, int expected)
{
    std::vector<char *> argv{const_cast<char *>(MICCTL_PATH)};
    for (const QByteArray &argument : arguments) {
        argv.push_back(const_cast<char *>(argument.constData()));
    }
    argv.push_back(nullptr);
    QElapsedTimer clock;
    clock.start();
    const pid_t child = fork();
    if (child == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        execv(MICCTL_PATH, argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    const double ms = clock.nsecsElapsed() / 1e6;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != expected) {
        qFatal("micctl %s ended with status %d", arguments.join(' ').constData(), status);
    }
    return {ms, usage.ru_maxrss};
}

void applyCheckRow()
{
    constexpr int rules = 100000;
    // Written as the desired state writes its levels: only 1 % differs.
    const QByteArray config = configuration(rules, false);
    writeFile(QStringLiteral("etc/kestrel/fs-ilev.conf"), config);
    labelObjects(objectPaths(rules), onePercent);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("desired.json"));
    const QByteArray json = desiredState(rules);
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(json) != json.size()) {
        qFatal("cannot write the desired state");
    }
    out.close();
    QVector<double> checks;
    QVector<double> parses;
    long peak = 0;
    for (int run = 0; run < 5; ++run) {
        const auto [ms, kib] = runMicctl({"apply", "--check", file.toLocal8Bit()}, 2);
        checks.append(ms);
        peak = qMax(peak, kib);
        QElapsedTimer clock;
        clock.start();
        const auto parsed = FsIlevConfig::parse(config, nullptr);
        const QJsonDocument document = QJsonDocument::fromJson(json);
        parses.append(clock.nsecsElapsed() / 1e6);
        if (!parsed || !document.isObject()) {
            qFatal("the benchmark's files do not parse");
        }
    }
    const double check = BenchTable::median(checks);
    const double parse = BenchTable::median(parses);
    std::printf("| micctl apply --check, 1 %% of the rules differ (a process of its own, reading over the bus; its peak memory) | %d | %.1f ms | %.1f "
                "MiB | parsing fs-ilev.conf and the desired-state file in process: %.1f ms | %.2f |\n",
                rules, check, peak / 1024.0, parse, check / parse);
    std::fflush(stdout);
}

// The peak memory of a process that only reads over the bus, or only parses
// the file (its bare baseline), in MiB: run as a process of its own, so that
// nothing else this benchmark holds counts.
double peakOfAlone(const QString &what)
{
    // Waited for in an event loop: this process takes what the bus sends
    // meanwhile, as a client does, instead of letting it pile up.
    QProcess alone;
    QEventLoop loop;
    QObject::connect(&alone, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), &loop, &QEventLoop::quit);
    alone.start(QCoreApplication::applicationFilePath(), {what});
    loop.exec();
    return alone.readAllStandardOutput().trimmed().toDouble() / 1024.0;
}

int runAlone(const QString &what)
{
    if (what == QLatin1String("--read-alone")) {
        const Timings timings = read();
        if (timings.error != 0) {
            return 1;
        }
    } else {
        QFile file(qEnvironmentVariable("MIC_STATE_ROOT") + QStringLiteral("/etc/kestrel/fs-ilev.conf"));
        if (!file.open(QIODevice::ReadOnly) || !FsIlevConfig::parse(file.readAll(), nullptr)) {
            return 1;
        }
    }
    std::printf("%ld\n", BenchTable::addressSpacePeakKiB());
    return 0;
}

// A change from the module's side: its time to the helper's reply.
double changeMs(const QVariantMap &arguments, int *error)
{
    auto *request = new HelperRequest(Mic::HelperAction::ofHelper(Mic::Protocol::changeAction, arguments));
    QElapsedTimer clock;
    double ms = 0;
    QEventLoop loop;
    // The loop is the connection's context: it ends with it.
    QObject::connect(request, &KJob::result, &loop, [measured = &ms, since = &clock, error, request, waiting = &loop] {
        *measured = since->nsecsElapsed() / 1e6;
        *error = request->error();
        waiting->quit();
    });
    clock.start();
    request->start();
    loop.exec();
    return ms;
}

// Reads of `rules` objects, as many unprotected as `unprotected` says, each
// beside the parse and the bare loop over the same labels.
void readRows(int rules, const QString &share, const std::function<bool(int)> &unprotected, int runs)
{
    const QByteArray text = configuration(rules);
    writeFile(QStringLiteral("etc/kestrel/fs-ilev.conf"), text);
    const std::vector<std::string> paths = objectPaths(rules);
    labelObjects(paths, unprotected);
    QVector<double> finals;
    QVector<double> intermediates;
    QVector<double> baselines;
    BusCounter counter;
    for (int run = 0; run < runs; ++run) {
        const Timings timings = read();
        if (timings.error != 0 || timings.rules != rules) {
            std::printf("| read over the bus, %s | %d | failed: error %d, %d rules |  |  |  |\n", qPrintable(share), rules, timings.error, timings.rules);
            return;
        }
        finals.append(timings.final);
        intermediates.append(timings.intermediate);
        baselines.append(parseMs(text) + labelLoopMs(paths, false, unprotected));
    }
    const QString what = QStringLiteral("read over the bus, %1; loading map at %2 ms (helper peak %3 MiB; %4 MiB on the bus in each read, largest "
                                        "message %5 MiB)")
                             .arg(share)
                             .arg(BenchTable::median(intermediates), 0, 'f', 0)
                             .arg(helperPeakMiB(), 0, 'f', 1)
                             .arg(counter.bytes / 1048576.0 / runs, 0, 'f', 1)
                             .arg(counter.largest / 1048576.0, 0, 'f', 1);
    BenchTable::printRow(what, rules, BenchTable::median(finals), QStringLiteral("parsing the file + a bare lgetxattr loop"), BenchTable::median(baselines));
}

void clientPeakRow(int rules)
{
    const double clientPeak = peakOfAlone(QStringLiteral("--read-alone"));
    const double modulePeak = peakOfAlone(QStringLiteral("--module-alone"));
    const double parsePeak = peakOfAlone(QStringLiteral("--parse-alone"));
    std::printf("| client peak memory of a read, alone: %.1f MiB | %d | | %.1f MiB | a process that parses the file: %.1f MiB | %.2f |\n",
                clientPeak, rules, clientPeak, parsePeak, parsePeak > 0 ? clientPeak / parsePeak : 0.0);
    std::printf("| the whole module's peak memory after a read, alone (client, pages and tables): %.1f MiB | %d | | %.1f MiB | a process that "
                "parses the file: %.1f MiB | %.2f |\n",
                modulePeak, rules, modulePeak, parsePeak, parsePeak > 0 ? modulePeak / parsePeak : 0.0);
    std::fflush(stdout);
}

// A save of one rule with the file system protected and 1 % of the objects
// unprotected: the save labels them, and they are unlabelled again after.
void saveRow(int rules)
{
    const QByteArray text = configuration(rules);
    const std::vector<std::string> paths = objectPaths(rules);
    int error = 0;
    const QVariantMap oneRule{{Mic::Settings::rulesKey, QVariantHash{{QString::fromLocal8Bit(objectPath(0)), QStringLiteral("15")}}},
                              {Mic::Settings::fsStatusKey, Mic::Settings::wire(Mic::Settings::Status::Enabled)}};
    const double save = changeMs(oneRule, &error);
    const double baseline = parseMs(text) + labelLoopMs(paths, true, onePercent);
    writeFile(QStringLiteral("etc/kestrel/fs-ilev.conf"), text);
    if (error != 0) {
        std::printf("| save of one rule | %d | failed: error %d |  |  |  |\n", rules, error);
        return;
    }
    BenchTable::printRow(QStringLiteral("save of one rule, file system protected, labelling the 1 % unprotected (helper reply)"),
                         rules,
                         save,
                         QStringLiteral("parsing the file + a bare lgetxattr + lsetxattr loop"),
                         baseline);
}

// Protecting every object, all labelled wrong: the bare loop that reads and
// writes each label (leaving it wrong again) beside the helper's whole
// change, its journal included.
void protectionRow(int rules, int runs)
{
    writeFile(QStringLiteral("etc/kestrel/fs-ilev.conf"), configuration(rules));
    const std::vector<std::string> paths = objectPaths(rules);
    labelObjects(paths, onePercent);
    QVector<double> changes;
    QVector<double> baselines;
    QVector<double> checks;
    QVector<double> readBaselines;
    for (int run = 0; run < runs; ++run) {
        baselines.append(labelLoopMs(paths, true, every));
        readBaselines.append(labelLoopMs(paths, false, every));
        int error = 0;
        // What a save from the page does first, to ask before labels are
        // lowered: the same change, only checked.
        checks.append(changeMs({{Mic::Settings::fsStatusKey, Mic::Settings::wire(Mic::Settings::Status::Enabled)}, {Mic::Protocol::checkOnlyKey, true}}, &error));
        changes.append(error == 0 ? changeMs({{Mic::Settings::fsStatusKey, Mic::Settings::wire(Mic::Settings::Status::Enabled)}}, &error) : 0);
        if (error != 0) {
            std::printf("| protecting every object | %d | failed: error %d |  |  |  |\n", rules, error);
            return;
        }
    }
    BenchTable::printRow(QStringLiteral("checking the protection of every object, all labelled wrong (helper reply; a save's first step)"),
                         rules,
                         BenchTable::median(checks),
                         QStringLiteral("a bare lgetxattr loop"),
                         BenchTable::median(readBaselines));
    BenchTable::printRow(QStringLiteral("protecting every object, all labelled wrong (helper reply, journal included; helper peak %1 MiB)")
                             .arg(helperPeakMiB(), 0, 'f', 1),
                         rules,
                         BenchTable::median(changes),
                         QStringLiteral("a bare lgetxattr + lsetxattr loop"),
                         BenchTable::median(baselines));
}

#ifndef SYS_getxattrat
#define SYS_getxattrat 464
#endif
#ifndef SYS_setxattrat
#define SYS_setxattrat 463
#endif

// The least each object costs a safe check or labelling, on two threads
// (each half of the folders, each folder opened once): the object's status
// by name (owner, mode, links, mount) and its label by name; labelling, the
// new label by name too, right after or, as a labelling behind a journal
// must, a run of objects later.
enum class SafeLoop { Check, Label, LabelInRuns };

double safeLoopMs(int rules, SafeLoop loop)
{
    struct XattrArgs {
        quint64 value;
        quint32 size;
        quint32 flags;
    };
    const auto half = [rules, loop](int firstFolder, int endFolder) {
        char buffer[16];
        static const char wanted[] = "63";
        const auto write = [](int directory, const char *name) {
            XattrArgs value{quint64(reinterpret_cast<quintptr>(wanted)), 2, 0};
            ::syscall(SYS_setxattrat, directory, name, AT_SYMLINK_NOFOLLOW, KSEC_LABEL_XATTR, &value, sizeof value);
        };
        // The objects of the run read so far, their folders kept open.
        std::vector<std::pair<int, QByteArray>> run;
        std::vector<int> openFolders;
        const auto labelRun = [&] {
            for (const auto &[directory, name] : run) {
                write(directory, name.constData());
            }
            run.clear();
            for (const int directory : openFolders) {
                ::close(directory);
            }
            openFolders.clear();
        };
        for (int folder = firstFolder; folder < endFolder; ++folder) {
            const QByteArray path = objectsFolder() + "/d" + QByteArray::number(folder);
            const int directory = ::open(path.constData(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            for (int i = folder * 1000; i < std::min(rules, folder * 1000 + 1000); ++i) {
                const QByteArray name = "f" + QByteArray::number(i);
                struct statx status;
                ::statx(directory, name.constData(), AT_SYMLINK_NOFOLLOW | AT_STATX_DONT_SYNC | AT_NO_AUTOMOUNT,
                        STATX_TYPE | STATX_MODE | STATX_UID | STATX_NLINK | STATX_INO | STATX_MNT_ID, &status);
                XattrArgs read{quint64(reinterpret_cast<quintptr>(buffer)), sizeof buffer, 0};
                ::syscall(SYS_getxattrat, directory, name.constData(), AT_SYMLINK_NOFOLLOW, KSEC_LABEL_XATTR, &read, sizeof read);
                if (loop == SafeLoop::Label) {
                    write(directory, name.constData());
                } else if (loop == SafeLoop::LabelInRuns) {
                    run.emplace_back(directory, name);
                    if (run.size() == ProtectionCheck::runLength) {
                        labelRun();
                    }
                }
            }
            if (loop == SafeLoop::LabelInRuns) {
                openFolders.push_back(directory);
            } else {
                ::close(directory);
            }
        }
        labelRun();
    };
    const int folders = (rules + 999) / 1000;
    QElapsedTimer clock;
    clock.start();
    std::thread other(half, folders / 2, folders);
    half(0, folders / 2);
    other.join();
    return clock.nsecsElapsed() / 1e6;
}

// What the read and protection targets are measured against, beside what
// the safe handling of each object costs at least on both cores.
void safeLoopRows(int rules, int runs)
{
    const std::vector<std::string> paths = objectPaths(rules);
    const std::pair<SafeLoop, QString> loops[] = {
        {SafeLoop::Check, QStringLiteral("the least a safe check does: status and label by name, on two threads")},
        {SafeLoop::Label, QStringLiteral("the least a safe labelling does: status, label and new label by name, on two threads")},
        {SafeLoop::LabelInRuns,
         QStringLiteral("the least a safe labelling behind a journal does: the same, each new label written a run of %1 objects later")
             .arg(ProtectionCheck::runLength)},
    };
    for (const auto &[loop, what] : loops) {
        const bool writing = loop != SafeLoop::Check;
        QVector<double> times;
        QVector<double> baselines;
        labelObjects(paths, onePercent);
        // Each loop leaves every label right, and the bare loop writes them
        // wrong again for the next.
        for (int run = 0; run < runs; ++run) {
            times.append(safeLoopMs(rules, loop));
            baselines.append(labelLoopMs(paths, writing, writing ? every : onePercent));
        }
        BenchTable::printRow(what,
                             rules,
                             BenchTable::median(times),
                             writing ? QStringLiteral("a bare lgetxattr + lsetxattr loop") : QStringLiteral("a bare lgetxattr loop"),
                             BenchTable::median(baselines));
    }
    labelObjects(paths, onePercent);
}

void micctlStatusRow(int rules, int runs)
{
    const QByteArray text = configuration(rules);
    writeFile(QStringLiteral("etc/kestrel/fs-ilev.conf"), text);
    const std::vector<std::string> paths = objectPaths(rules);
    labelObjects(paths, onePercent);
    QVector<double> statuses;
    QVector<double> baselines;
    for (int run = 0; run < runs; ++run) {
        statuses.append(runMicctl({"status"}, 0).first);
        baselines.append(parseMs(text) + labelLoopMs(paths, false, onePercent));
    }
    BenchTable::printRow(QStringLiteral("micctl status, 1 % of the objects unprotected (a process of its own)"),
                         rules,
                         BenchTable::median(statuses),
                         QStringLiteral("parsing the file + a bare lgetxattr loop"),
                         BenchTable::median(baselines));
}

// The whole module (the client and both pages with their tables) after a
// read, in a process of its own, as the host shows it: its peak memory.
int moduleAlone(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    MicManagementModule module(nullptr, {});
    module.show();
    const auto waitFor = [](const std::function<bool()> &condition, int ms) {
        QElapsedTimer clock;
        clock.start();
        while (!condition() && clock.elapsed() < ms) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        }
    };
    waitFor([&] {
        return module.isReading();
    }, 5000);
    waitFor([&] {
        return !module.isReading();
    }, 300000);
    std::printf("%ld\n", BenchTable::addressSpacePeakKiB());
    return 0;
}

int main(int argc, char **argv)
{
    if (argc > 1 && qstrcmp(argv[1], "--module-alone") == 0) {
        return moduleAlone(argc, argv);
    }
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsEmpty("MIC_STATE_ROOT") || qEnvironmentVariableIsEmpty("DBUS_SYSTEM_BUS_ADDRESS")) {
        std::fprintf(stderr, "readbench runs on the private bus that bench/run starts\n");
        return 2;
    }
    writeFile(QStringLiteral("var/lib/kestrel/mic.state"),
              "levels = 0 63\nmax-ilev = 63\nmax-ilev-after-reboot = 63\nenabled = yes\nenabled-after-reboot = yes\nfs-protection = yes\n");
    makeObjects();
    // Started by bench/run on its own, while this process is small: a child
    // counts the memory of the process it was forked from in its peak.
    if (argc > 1 && qstrcmp(argv[1], "--apply-check") == 0) {
        applyCheckRow();
        return 0;
    }
    // One row of the million, to look at while working on it.
    if (argc > 2 && qstrcmp(argv[1], "--only") == 0) {
        const QByteArray row = argv[2];
        if (row == "read") {
            readRows(mostObjects, QStringLiteral("1 % of the objects unprotected"), onePercent, 3);
            clientPeakRow(mostObjects);
        } else if (row == "save") {
            readRows(mostObjects, QStringLiteral("1 % of the objects unprotected"), onePercent, 1);
            saveRow(mostObjects);
            saveRow(mostObjects);
        } else if (row == "read-every") {
            readRows(mostObjects, QStringLiteral("every object unprotected"), every, 2);
        } else if (row == "status") {
            micctlStatusRow(mostObjects, 3);
        } else if (row == "protection") {
            protectionRow(mostObjects, 3);
        } else if (row == "floors") {
            safeLoopRows(mostObjects, 3);
        } else {
            std::fprintf(stderr, "rows: read (with the peaks of memory), save, read-every, status, protection, floors\n");
            return 2;
        }
        return 0;
    }
    if (argc > 1) {
        return runAlone(QString::fromLocal8Bit(argv[1]));
    }
    for (const int rules : {10000, 100000, mostObjects}) {
        const int runs = rules == mostObjects ? 3 : 5;
        readRows(rules, QStringLiteral("1 % of the objects unprotected"), onePercent, runs);
        clientPeakRow(rules);
        saveRow(rules);
    }
    readRows(mostObjects, QStringLiteral("every object unprotected"), every, 3);
    micctlStatusRow(mostObjects, 3);
    protectionRow(mostObjects, 3);
    safeLoopRows(mostObjects, 3);
    return 0;
}

#include "readbench.moc"
