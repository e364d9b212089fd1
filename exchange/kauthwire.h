// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef MIC_KAUTHWIRE_H
#define MIC_KAUTHWIRE_H

#include "actionreply.h"
#include "streamcheck.h"

#include <QByteArray>
#include <QDataStream>
#include <QIODevice>
#include <QString>
#include <QVariantMap>

// KAuth's helper interface as the helper and its clients speak it on the
// bus, the same whichever Qt either side is built with.
namespace Mic::KAuthWire
{
// The interface is named by the major version of the frameworks. The helper
// answers on both names, so clients built with either reach it; a client
// calls the one of its own frameworks, which is also what KAuth's own
// clients call.
inline const QString interface5 = QStringLiteral("org.kde.kf5auth");
inline const QString interface6 = QStringLiteral("org.kde.kf6auth");
#if QT_VERSION_MAJOR >= 6
inline const QString &ownInterface = interface6;
inline const QString &otherInterface = interface5;
#else
inline const QString &ownInterface = interface5;
inline const QString &otherInterface = interface6;
#endif

// Arguments, progress maps and replies are streamed in the form of Qt 5.15,
// which KAuth's clients of either major version read: Qt 6's own default
// form is not Qt 5's to read.
constexpr QDataStream::Version streamVersion = QDataStream::Qt_5_15;

inline QByteArray streamed(const QVariantMap &map)
{
    QByteArray blob;
    QDataStream stream(&blob, QIODevice::WriteOnly);
    stream.setVersion(streamVersion);
    stream << map;
    return blob;
}

// An empty map for bytes that are not a streamed map. The bytes may come
// from anyone on the bus: they reach the stream's reader only once their
// counts and types were checked.
inline QVariantMap mapOf(const QByteArray &blob)
{
    if (!StreamCheck::isMap(blob)) {
        return QVariantMap();
    }
    QVariantMap map;
    QDataStream stream(blob);
    stream.setVersion(streamVersion);
    stream >> map;
    return stream.status() == QDataStream::Ok ? map : QVariantMap();
}

// A reply laid out as KAuth lays it out (data, error code, type, error
// text), in the stream form above.
inline QByteArray streamed(const ActionReply &reply)
{
    QByteArray blob;
    QDataStream stream(&blob, QIODevice::WriteOnly);
    stream.setVersion(streamVersion);
    stream << reply.data() << reply.error() << quint32(reply.type()) << reply.errorDescription();
    return blob;
}

// Bytes that are not a reply give an empty success, as KAuth's own reading
// gives them: the client takes that as an answer without its seal.
inline ActionReply replyOf(const QByteArray &blob)
{
    if (!StreamCheck::isReply(blob)) {
        return ActionReply::SuccessReply();
    }
    QDataStream stream(blob);
    stream.setVersion(streamVersion);
    QVariantMap data;
    int error = 0;
    quint32 type = 0;
    QString errorText;
    stream >> data >> error >> type >> errorText;
    if (stream.status() != QDataStream::Ok) {
        return ActionReply::SuccessReply();
    }
    ActionReply reply{ActionReply::Type(type), error};
    reply.setData(data);
    reply.setErrorDescription(errorText);
    return reply;
}
}

#endif
