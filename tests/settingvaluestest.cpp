// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

// The settings as values and as the maps on the wire: what a client sends is
// what the helper reads, and what the helper answers is what a client reads.
#include <changerequest.h>
#include <settingvalues.h>

#include <QTest>

using namespace Mic::Settings;

namespace
{
QString s(const char *text)
{
    return QString::fromUtf8(text);
}
}

class SettingValuesTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // Every setting a change can carry, through the helper's own parser.
    void aChangeIsReadByTheHelperAsSent()
    {
        Change change;
        change.mic = Status::Enabled;
        change.futureLevel = 127;
        change.protection = Status::Disabled;
        change.userLevels = QHash<QString, unsigned int>{{s("root"), 63}};
        change.ruleChanges = QHash<QString, QString>{{s("/usr"), s("high")}, {s("/opt/old"), s("—")}, {s("/srv/ä b"), s("0x3f")}};
        change.exceptions = QStringList{s("/tmp"), s("/var/tmp")};
        change.isolation = Status::Partly;
        change.services = QList<ServiceIsolation>{{s("cron"), true}, {s("sshd"), false}};

        QString error;
        const std::optional<ChangeRequest> read = ChangeRequest::parse(change.toWire(), {s("cron"), s("sshd")}, &error);
        QVERIFY2(read, qPrintable(error));
        QVERIFY(static_cast<const Change &>(*read) == change);
        QVERIFY(!read->checkOnly);

        // A setting not given is not sent, and stays unchanged.
        const Change empty;
        QVERIFY(empty.isEmpty());
        QVERIFY(empty.toWire().isEmpty());
        const std::optional<ChangeRequest> nothing = ChangeRequest::parse(Change{}.toWire(), {}, &error);
        QVERIFY(nothing && nothing->isEmpty());
    }

    // A read reply keeps every value and its type through the map, and a
    // reply sent before the rules has none rather than an empty table.
    void aReadReplyComesBackAsSent()
    {
        ReadReply reply;
        reply.mic = Status::EnabledAfterReboot;
        reply.futureLevel = 63;
        reply.protection = Status::Partly;
        reply.unprotected = QStringList{s("/usr/bin: 0 < 63")};
        reply.labellableCount = 1;
        reply.configPath = s("/etc/kestrel/fs-ilev.conf");
        reply.rules = QVariantHash{{s("/usr"), s("high")}};
        reply.defaultRules = QVariantHash{{s("/usr"), s("63")}};
        reply.exceptions = QStringList{s("/tmp")};
        reply.defaultExceptions = QStringList{s("/tmp"), s("/var/tmp")};
        reply.userLevels = QHash<QString, unsigned int>{{s("alice"), 15}};
        reply.services = QList<Service>{{s("cron"), 15, true, true, false}, {s("broken"), 0, true, false, true}};
        reply.isolation = Status::Partly;

        const QVariantMap wire = reply.toWire();
        QCOMPARE(wire.value(futureLevelKey).userType(), int(QMetaType::UInt));
        QCOMPARE(wire.value(userLevelsKey).toHash().value(s("alice")).userType(), int(QMetaType::UInt));
        QCOMPARE(wire.value(servicesIsolatedKey).toInt(), int(Qt::PartiallyChecked));
        const ReadReply back = ReadReply::fromWire(wire);
        QCOMPARE(back.toWire(), wire);
        QCOMPARE(back.services, reply.services);
        QCOMPARE(back.labellableCount, std::optional<int>(1));

        ReadReply loading = reply;
        loading.protection = Status::Loading;
        loading.rules.reset();
        const ReadReply early = ReadReply::fromWire(loading.toWire());
        QVERIFY(!early.rules);
        QCOMPARE(early.protection, Status::Loading);
        QVERIFY(!ReadReply::fromWire({}).labellableCount);
        QCOMPARE(ReadReply::fromWire({}).mic, Status::None);
    }

    void aChangeOutcomeComesBackAsSent()
    {
        ChangeOutcome outcome;
        outcome.warnings = QStringList{s("The service cron is in error.")};
        outcome.needReboot = true;
        outcome.relabelled = QList<Relabelled>{{s("/usr/bin"), 63, 0, false}, {s("/usr"), 0, 63, true}};
        outcome.relabelledCount = 900;
        outcome.loweredCount = 1;
        const ChangeOutcome back = ChangeOutcome::fromWire(outcome.toWire());
        QCOMPARE(back.warnings, outcome.warnings);
        QCOMPARE(back.needReboot, true);
        QCOMPARE(back.relabelled, outcome.relabelled);
        QCOMPARE(back.relabelledCount, 900);
        QCOMPARE(back.loweredCount, 1);
    }
};

QTEST_GUILESS_MAIN(SettingValuesTest)
#include "settingvaluestest.moc"
