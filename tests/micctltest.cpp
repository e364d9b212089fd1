// The command-line client over the real helper: the status as JSON, the
// desired state exported to a file, a wrong command, and a user polkit
// refuses.
#include "helperfixture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

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

Run micctl(const QStringList &arguments, const QString &program = s(MICCTL_PATH), const QStringList &asUser = {})
{
    QProcess process;
    process.start(asUser.isEmpty() ? program : s("runuser"), asUser.isEmpty() ? arguments : asUser + QStringList{s("--"), program} + arguments);
    process.waitForFinished(60000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, process.readAllStandardOutput(), process.readAllStandardError()};
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
        QVERIFY(micctl({s("status")}).out.contains("File-system protection: partly (1 object below its configured level)"));

        // The desired state keeps the level strings as configured.
        QTemporaryDir dir;
        const QString exported = dir.filePath(s("state.json"));
        QCOMPARE(micctl({s("export"), exported}).status, 0);
        QFile file(exported);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QJsonObject state = QJsonDocument::fromJson(file.readAll()).object();
        QCOMPARE(state.value(s("format")).toString(), s("lumen-mic-state"));
        QCOMPARE(state.value(s("version")).toInt(), 1);
        QVERIFY(state.value(s("micEnabledAfterReboot")).toBool());
        QVERIFY(state.value(s("fileSystemProtection")).toBool());
        const QJsonObject rules = state.value(s("rules")).toObject();
        QCOMPARE(rules.value(files + s("/high")).toString(), s("high"));
        QCOMPARE(rules.value(files + s("/mask")).toString(), s("0b100"));
        QCOMPARE(state.value(s("exceptions")).toArray().first().toString(), files + s("/excepted"));

        const Run wrong = micctl({s("frobnicate")});
        QCOMPARE(wrong.status, 64);
        QVERIFY(wrong.err.startsWith("micctl: "));

        // A user polkit refuses reads nothing, and says so.
        const OpenCopy copy(s(MICCTL_PATH));
        QVERIFY(!copy.program().isEmpty());
        const Run denied = micctl({s("status")}, copy.program(), {s("-u"), s("nobody")});
        QCOMPARE(denied.status, 1);
        QVERIFY2(denied.err.contains("not authorized to read"), denied.err.constData());
        QVERIFY(denied.out.isEmpty());
    }
};

QTEST_MAIN(MicctlTest)
#include "micctltest.moc"
