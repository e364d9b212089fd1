// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

// Feeds arbitrary bytes to what the helper and its clients decode from the
// bus: a stop anyone may send (before any authorization), the arguments of
// a call (after it), and the maps and replies a client reads before it
// opens their seal. Nothing may allocate beyond libFuzzer's memory limit,
// which a count taken from the input would make it do; no stop but one
// sealed with the request's key stops it; what the stream check admits,
// Qt's reader reads whole; and a request's arguments that read lead to its
// seal and change check without harm.
//
//   buswirefuzzer --write-seeds DIR   writes the seed corpus
#include "fuzzcheck.h"

#include <changerequest.h>
#include <kauthwire.h>
#include <protocol.h>
#include <replyseal.h>
#include <streamcheck.h>

#include <KLocalizedString>

#include <QCoreApplication>
#include <QDataStream>
#include <QDir>
#include <QFile>


using FuzzCheck::require;

namespace
{
const QStringList isolatableServices{QStringLiteral("sshd")};

const ReplySeal &watchedSeal()
{
    static const ReplySeal seal = ReplySeal::generate();
    return seal;
}

void checkStop(const QByteArray &data)
{
    const ReplySeal &seal = watchedSeal();
    require(!seal.isStopToken(QString::fromLatin1(data)), "a stop nobody sealed stops the request");
    require(!seal.isStopToken(Mic::Protocol::stopPrefix + QString::fromLatin1(data.toBase64())), "a stop nobody sealed stops the request");
}

// What the check admits, Qt reads to its end without an error.
void checkStreamCheck(const QByteArray &data)
{
    if (!Mic::StreamCheck::isMap(data)) {
        return;
    }
    QDataStream stream(data);
    stream.setVersion(Mic::KAuthWire::streamVersion);
    QVariantMap map;
    stream >> map;
    require(stream.status() == QDataStream::Ok && stream.atEnd(), "a map the stream check admits does not read whole");
}

void checkArguments(const QByteArray &data)
{
    const QVariantMap arguments = Mic::KAuthWire::mapOf(data);
    QString error;
    const auto seal = ReplySeal::fromRequest(arguments, &error);
    if (seal) {
        require(!seal->open(arguments).has_value() || ReplySeal::isSealed(arguments), "an unsealed map opens");
    }
    ChangeRequest::parse(arguments, isolatableServices, &error);
    // A client reads a reply before its seal.
    const Mic::ActionReply reply = Mic::KAuthWire::replyOf(data);
    require(!watchedSeal().open(reply.data()).has_value(), "a reply nobody sealed opens");
}

void writeSeed(const QString &folder, const char *name, const QByteArray &bytes)
{
    QFile file(QDir(folder).filePath(QString::fromLatin1(name)));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        fprintf(stderr, "cannot write %s\n", qUtf8Printable(file.fileName()));
        exit(1);
    }
}

// A map with one list that claims far more entries than it holds.
QByteArray hugeListCount()
{
    QByteArray bytes = Mic::KAuthWire::streamed({{QStringLiteral("a"), QVariantList{1}}});
    // The list's count is the last four bytes before its one entry (type,
    // null flag, int).
    const int count = int(bytes.size()) - 9 - 4;
    bytes[count] = char(0x7f);
    bytes[count + 1] = char(0xff);
    bytes[count + 2] = char(0xff);
    bytes[count + 3] = char(0xff);
    return bytes;
}

void writeSeeds(const QString &folder)
{
    QDir().mkpath(folder);
    const ReplySeal other = ReplySeal::generate();
    QVariantMap request{{QStringLiteral("languages"), QStringList{QStringLiteral("de")}}, {QStringLiteral("lcmessages"), QStringLiteral("de_DE.UTF-8")}};
    other.addTo(&request);
    writeSeed(folder, "request-read", Mic::KAuthWire::streamed(request));
    writeSeed(folder, "stop-of-another-request", other.stopToken().toLatin1());
    writeSeed(folder, "stop-holding-huge-list", Mic::Protocol::stopPrefix.toLatin1() + hugeListCount().toBase64());
    writeSeed(folder, "map-huge-list", hugeListCount());
    writeSeed(folder, "reply-success", Mic::KAuthWire::streamed(Mic::ActionReply::SuccessReply()));
    writeSeed(folder, "map-sealed", Mic::KAuthWire::streamed(other.seal({{Mic::Protocol::stageKey, Mic::Protocol::replyStage}})));
}
}

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication application(*argc, *argv);
    KLocalizedString::setLanguages({QStringLiteral("en_US")});
    FuzzCheck::writeSeedsIfAsked(*argc, *argv, writeSeeds);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size)
{
    const QByteArray data(reinterpret_cast<const char *>(bytes), int(size));
    checkStop(data);
    checkStreamCheck(data);
    checkArguments(data);
    return 0;
}
