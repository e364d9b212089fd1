// A read of the settings from end to end: the helper, started by the bus,
// reads a configuration of 10^4 to 10^6 rules and sends it over the private
// system bus that bench/run starts; the client takes it as the module does.
// Beside it, the bare parser reading the same file in this process. Then
// "micctl apply --check" of a desired state that differs from the machine in
// 1 % of 10^5 rules, beside the bare parsers reading the two files.
#include "benchtable.h"

#include <fsilevconfig.h>
#include <helperrequest.h>
#include <protocol.h>

#include <KAuth/Action>

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

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

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

// Rules on objects that do not exist (the check finds them missing at the
// first folder), every tenth path an exception too.
QByteArray configuration(int rules)
{
    QByteArray text;
    text.reserve(rules * 48);
    for (int i = 0; i < rules; ++i) {
        const QByteArray path = "/srv/bench/d" + QByteArray::number(i / 1000) + "/file-" + QByteArray::number(i);
        text += "63 " + path + '\n';
        if (i % 10 == 0) {
            text += "exception " + path + '\n';
        }
    }
    return text;
}

// The helper's own peak memory, while it waits for the next call.
double helperPeakMiB()
{
    const uint pid = QDBusConnection::systemBus().interface()->servicePid(Mic::Protocol::helperId);
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) {
        return 0;
    }
    for (const QByteArray &line : status.readAll().split('\n')) {
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
                                             QStringLiteral("remoteSignal"), this, SLOT(heard(int, QString, QByteArray)));
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
    KAuth::Action action(Mic::Protocol::accessAction);
    action.setHelperId(Mic::Protocol::helperId);
    action.setTimeout(Mic::Protocol::actionTimeout);
    auto *request = new HelperRequest(action);
    Timings timings;
    QElapsedTimer clock;
    QEventLoop loop;
    QObject::connect(request, &HelperRequest::newData, &loop, [&] {
        if (timings.intermediate < 0) {
            timings.intermediate = clock.nsecsElapsed() / 1e6;
        }
    });
    QObject::connect(request, &KJob::result, &loop, [&] {
        timings.final = clock.nsecsElapsed() / 1e6;
        timings.error = request->error();
        timings.rules = request->data().value(QStringLiteral("micFsCurrentItems")).toHash().size();
        loop.quit();
    });
    clock.start();
    request->start();
    loop.exec();
    return timings;
}

// A save that changes one rule, with the file system protected: the time to
// the helper's reply.
double saveMs(int *error)
{
    KAuth::Action action(Mic::Protocol::changeAction);
    action.setHelperId(Mic::Protocol::helperId);
    action.setTimeout(Mic::Protocol::actionTimeout);
    action.setArguments({{QStringLiteral("micFsCurrentItems"), QVariantHash{{QStringLiteral("/srv/bench/d0/file-0"), QStringLiteral("15")}}},
                         {QStringLiteral("micFsStatus"), 2}});
    auto *request = new HelperRequest(action);
    QElapsedTimer clock;
    double ms = 0;
    QEventLoop loop;
    QObject::connect(request, &KJob::result, &loop, [&] {
        ms = clock.nsecsElapsed() / 1e6;
        *error = request->error();
        loop.quit();
    });
    clock.start();
    request->start();
    loop.exec();
    return ms;
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
        const QByteArray path = "/srv/bench/d" + QByteArray::number(i / 1000) + "/file-" + QByteArray::number(i);
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

// Runs micctl apply --check on `file`, whose exit status must say "would
// change": its time, and its own peak memory in KiB.
std::pair<double, long> applyCheck(const QString &file)
{
    const QByteArray program = MICCTL_PATH;
    const QByteArray path = file.toLocal8Bit();
    QElapsedTimer clock;
    clock.start();
    const pid_t child = fork();
    if (child == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        execl(program.constData(), program.constData(), "apply", "--check", path.constData(), static_cast<char *>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    const double ms = clock.nsecsElapsed() / 1e6;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 2) {
        qFatal("micctl apply --check ended with status %d", status);
    }
    return {ms, usage.ru_maxrss};
}

void applyCheckRow()
{
    constexpr int rules = 100000;
    const QByteArray config = configuration(rules);
    writeFile(QStringLiteral("etc/kestrel/fs-ilev.conf"), config);
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
        const auto [ms, kib] = applyCheck(file);
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

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsEmpty("MIC_STATE_ROOT") || qEnvironmentVariableIsEmpty("DBUS_SYSTEM_BUS_ADDRESS")) {
        std::fprintf(stderr, "readbench runs on the private bus that bench/run starts\n");
        return 2;
    }
    writeFile(QStringLiteral("var/lib/kestrel/mic.state"),
              "levels = 0 63\nmax-ilev = 63\nmax-ilev-after-reboot = 63\nenabled = yes\nenabled-after-reboot = yes\nfs-protection = yes\n");
    // Started by bench/run on its own, while this process is small: a child
    // counts the memory of the process it was forked from in its peak.
    if (argc > 1 && qstrcmp(argv[1], "--apply-check") == 0) {
        applyCheckRow();
        return 0;
    }
    if (argc > 1) {
        return runAlone(QString::fromLocal8Bit(argv[1]));
    }
    for (const int rules : {10000, 100000, 1000000}) {
        const QByteArray text = configuration(rules);
        writeFile(QStringLiteral("etc/kestrel/fs-ilev.conf"), text);
        BusCounter counter;
        const Timings timings = read();
        if (timings.error != 0 || timings.rules != rules) {
            std::printf("| read over the bus | %d | failed: error %d, %d rules |  |  |  |\n", rules, timings.error, timings.rules);
            continue;
        }
        const QString what = QStringLiteral("read over the bus, intermediate map at %1 ms (helper peak %2 MiB; %3 MiB on the bus, %4 KiB of it "
                                            "broadcast, largest message %5 MiB)")
                                 .arg(timings.intermediate, 0, 'f', 0)
                                 .arg(helperPeakMiB(), 0, 'f', 1)
                                 .arg(counter.bytes / 1048576.0, 0, 'f', 1)
                                 .arg(counter.broadcast / 1024.0, 0, 'f', 1)
                                 .arg(counter.largest / 1048576.0, 0, 'f', 1);
        const double parse = parseMs(text);
        BenchTable::printRow(what, rules, timings.final, QStringLiteral("parsing the file in process"), parse);
        const double clientPeak = peakOfAlone(QStringLiteral("--read-alone"));
        const double parsePeak = peakOfAlone(QStringLiteral("--parse-alone"));
        std::printf("| client peak memory of a read, alone: %.1f MiB | %d | | %.1f MiB | a process that parses the file: %.1f MiB | %.2f |\n",
                    clientPeak, rules, clientPeak, parsePeak, parsePeak > 0 ? clientPeak / parsePeak : 0.0);
        std::fflush(stdout);
        int error = 0;
        const double save = saveMs(&error);
        if (error != 0) {
            std::printf("| save of one rule | %d | failed: error %d |  |  |  |\n", rules, error);
            continue;
        }
        BenchTable::printRow(QStringLiteral("save of one rule, file system protected (helper reply)"), rules, save, QStringLiteral("parsing the file in process"), parse);
    }
    return 0;
}

#include "readbench.moc"
