// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

// KAuth's helper interface as the helper and its clients stream it, whichever
// Qt either side is built with.
#include <kauthwire.h>

#include <KAuth/ActionReply>

#include <QTest>

namespace
{
Mic::ActionReply sampleReply()
{
    Mic::ActionReply reply = Mic::ActionReply::HelperErrorReply(1042);
    reply.setErrorDescription(QStringLiteral("„x“ ist kein Zustand"));
    reply.setData({{QStringLiteral("count"), 7u},
                   {QStringLiteral("rules"), QVariantHash{{QStringLiteral("/srv/a b"), QStringLiteral("63")}}},
                   {QStringLiteral("texts"), QStringList{QStringLiteral("\x1b[2J"), QString()}},
                   {QStringLiteral("bytes"), QByteArray("\0\xff", 2)}});
    return reply;
}
}

class KAuthWireTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // KAuth's own clients read the helper's replies: the layout is KAuth's,
    // and every value keeps its type.
    void repliesAsKAuthReadThem()
    {
        const Mic::ActionReply reply = sampleReply();
        const QByteArray streamed = Mic::KAuthWire::streamed(reply);
        const KAuth::ActionReply readByKAuth = KAuth::ActionReply::deserialize(streamed);
        const Mic::ActionReply readByUs = Mic::KAuthWire::replyOf(streamed);
        QCOMPARE(int(readByKAuth.type()), int(KAuth::ActionReply::HelperErrorType));
        QCOMPARE(int(readByUs.type()), int(Mic::ActionReply::HelperErrorType));
        for (const auto &read : {std::tuple(readByKAuth.error(), readByKAuth.errorDescription(), readByKAuth.data()),
                                 std::tuple(readByUs.error(), readByUs.errorDescription(), readByUs.data())}) {
            QCOMPARE(std::get<0>(read), 1042);
            QCOMPARE(std::get<1>(read), reply.errorDescription());
            QCOMPARE(std::get<2>(read), reply.data());
            QCOMPARE(std::get<2>(read).value(QStringLiteral("count")).userType(), int(QMetaType::UInt));
            QCOMPARE(std::get<2>(read).value(QStringLiteral("rules")).userType(), int(QMetaType::QVariantHash));
        }
        // Our client reads what KAuth's helpers of this build send too,
        // their own errors by the interface's codes.
        KAuth::ActionReply kauthReply = KAuth::ActionReply::HelperErrorReply(1042);
        kauthReply.setData(reply.data());
        QCOMPARE(Mic::KAuthWire::replyOf(kauthReply.serialized()).data(), reply.data());
        for (const auto &[ours, theirs] : {std::pair(Mic::ActionReply::AuthorizationDeniedReply(), KAuth::ActionReply::AuthorizationDeniedReply()),
                                           std::pair(Mic::ActionReply::HelperBusyReply(), KAuth::ActionReply::HelperBusyReply()),
                                           std::pair(Mic::ActionReply::NoSuchActionReply(), KAuth::ActionReply::NoSuchActionReply()),
                                           std::pair(Mic::ActionReply::SuccessReply(), KAuth::ActionReply::SuccessReply())}) {
            QCOMPARE(Mic::KAuthWire::streamed(ours), theirs.serialized());
        }
    }

    // Bytes that are not a streamed map or reply give nothing to act on.
    void damagedBytes()
    {
        const QByteArray map = Mic::KAuthWire::streamed(sampleReply().data());
        QCOMPARE(Mic::KAuthWire::mapOf(map), sampleReply().data());
        QVERIFY(Mic::KAuthWire::mapOf(map.left(map.size() / 2)).isEmpty());
        QVERIFY(Mic::KAuthWire::mapOf(QByteArray("\xff\xff\xff\xff", 4)).isEmpty());
        const QByteArray reply = Mic::KAuthWire::streamed(Mic::ActionReply::SuccessReply());
        const Mic::ActionReply damaged = Mic::KAuthWire::replyOf(reply.left(reply.size() - 1));
        QCOMPARE(damaged.type(), Mic::ActionReply::SuccessType);
        QVERIFY(damaged.data().isEmpty());
    }

    // Anyone on the bus may send bytes that claim more than they hold, a
    // type of their naming, or nesting without end: none reaches Qt's
    // reader, which would reserve what a count claims (here 2^31 entries)
    // and end the process.
    void craftedBytesReachNoReader_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QByteArray list = Mic::KAuthWire::streamed({{QStringLiteral("a"), QVariantList{1}}});
        list.replace(list.size() - 13, 4, QByteArray("\x7f\xff\xff\xff", 4));
        QTest::newRow("list count") << list;
        QByteArray strings = Mic::KAuthWire::streamed({{QStringLiteral("a"), QStringList{QStringLiteral("b")}}});
        strings.replace(strings.size() - 10, 4, QByteArray("\x7f\xff\xff\xff", 4));
        QTest::newRow("string list count") << strings;
        QByteArray userType = Mic::KAuthWire::streamed({{QStringLiteral("a"), 1}});
        userType.replace(userType.size() - 9, 4, QByteArray("\x00\x00\x04\x00", 4));
        QTest::newRow("type named by the sender") << userType;
        QVariant nested = QVariantList();
        for (int depth = 0; depth < 40; ++depth) {
            nested = QVariantList{nested};
        }
        QTest::newRow("nested 40 deep") << Mic::KAuthWire::streamed({{QStringLiteral("a"), nested}});
        QTest::newRow("bytes after the map") << Mic::KAuthWire::streamed({{QStringLiteral("a"), 1}}) + "x";
    }

    void craftedBytesReachNoReader()
    {
        QFETCH(QByteArray, bytes);
        QVERIFY(Mic::KAuthWire::mapOf(bytes).isEmpty());
        QVERIFY(Mic::KAuthWire::replyOf(bytes).data().isEmpty());
    }
};

QTEST_GUILESS_MAIN(KAuthWireTest)
#include "kauthwiretest.moc"
