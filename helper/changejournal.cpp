// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "changejournal.h"

#include <jsonkeys.h>

#include <texts.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScopeGuard>

#include <openssl/evp.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>

using namespace Mic::Texts;

namespace
{
constexpr int checksumSize = 8;
// A label is a level in decimal: anything longer was never one.
constexpr int maxLabelSize = 64;
}

// The first hex digits of the record's SHA-1, through one context kept for
// all the records of a thread: OpenSSL's SHA-1 uses the processor's own
// instructions where it has them, Qt's does not.
class ChangeJournal::Checksum
{
public:
    // The algorithm is fetched once: fetching it at each record would take
    // a lock the other thread's records wait for.
    Checksum()
        : algorithm(EVP_MD_fetch(nullptr, "SHA1", nullptr))
        , context(EVP_MD_CTX_new())
    {
    }
    ~Checksum()
    {
        EVP_MD_CTX_free(context);
        EVP_MD_free(algorithm);
    }
    Checksum(const Checksum &) = delete;
    Checksum &operator=(const Checksum &) = delete;

    void append(QByteArray *out, const char *payload, std::size_t size)
    {
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        const bool hashed = algorithm && context && EVP_DigestInit_ex(context, algorithm, nullptr) == 1 && EVP_DigestUpdate(context, payload, size) == 1
            && EVP_DigestFinal_ex(context, digest, &length) == 1 && length * 2 >= unsigned(checksumSize);
        if (!hashed) {
            // A library that refuses SHA-1 gets the same checksum from Qt.
            out->append(QCryptographicHash::hash(QByteArray::fromRawData(payload, int(size)), QCryptographicHash::Sha1).toHex().left(checksumSize));
            return;
        }
        static const char hexDigits[] = "0123456789abcdef";
        for (int i = 0; i < checksumSize; ++i) {
            out->append(hexDigits[i % 2 == 0 ? digest[i / 2] >> 4 : digest[i / 2] & 0xf]);
        }
    }

private:
    EVP_MD *algorithm;
    EVP_MD_CTX *context;
};

namespace
{
// One context for each thread: reading back a journal checks a million
// records after a crash.
QByteArray checksum(const QByteArray &payload)
{
    thread_local ChangeJournal::Checksum hash;
    QByteArray sum;
    hash.append(&sum, payload.constData(), std::size_t(payload.size()));
    return sum;
}

// Base64 with padding, as QByteArray::toBase64 writes it, appended in
// place.
void appendBase64(std::string *out, const char *data, std::size_t size)
{
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    const auto byte = [data](std::size_t i) {
        return quint32(static_cast<unsigned char>(data[i]));
    };
    const std::size_t start = out->size();
    out->resize(start + (size + 2) / 3 * 4);
    char *next = out->data() + start;
    std::size_t i = 0;
    for (; i + 3 <= size; i += 3) {
        const quint32 bits = byte(i) << 16 | byte(i + 1) << 8 | byte(i + 2);
        *next++ = alphabet[bits >> 18];
        *next++ = alphabet[(bits >> 12) & 63];
        *next++ = alphabet[(bits >> 6) & 63];
        *next++ = alphabet[bits & 63];
    }
    if (i < size) {
        const bool two = i + 2 == size;
        const quint32 bits = byte(i) << 16 | (two ? byte(i + 1) << 8 : 0);
        *next++ = alphabet[bits >> 18];
        *next++ = alphabet[(bits >> 12) & 63];
        *next++ = two ? alphabet[(bits >> 6) & 63] : '=';
        *next++ = '=';
    }
}

void appendNumber(std::string *out, quint64 number)
{
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, number).ptr;
    out->append(digits, std::size_t(end - digits));
}

QByteArray encoded(const QString &text)
{
    return text.toUtf8().toBase64();
}

std::optional<QString> decoded(const QByteArray &field)
{
    auto result = QByteArray::fromBase64Encoding(field, QByteArray::AbortOnBase64DecodingErrors);
    if (!result) {
        return std::nullopt;
    }
    return QString::fromUtf8(*result);
}

// A path the journal's writer encoded: valid UTF-8 only, since bytes that
// are not would decode to the name of another object than the one written.
std::optional<QString> decodedPath(const QByteArray &field)
{
    auto path = decoded(field);
    if (path && path->toUtf8() != QByteArray::fromBase64(field)) {
        return std::nullopt;
    }
    return path;
}

// The payload of a line whose checksum matches it.
std::optional<QByteArray> wholeRecord(const QByteArray &line)
{
    const QByteArray payload = line.mid(checksumSize + 1);
    if (line.size() <= checksumSize + 1 || line.at(checksumSize) != ' ' || line.left(checksumSize) != checksum(payload)) {
        return std::nullopt;
    }
    return payload;
}

const char *stageName(ChangeJournal::Stage stage)
{
    switch (stage) {
    case ChangeJournal::Stage::BackedUp:
        return "backed-up";
    case ChangeJournal::Stage::Done:
        return "done";
    case ChangeJournal::Stage::Undone:
        return "undone";
    case ChangeJournal::Stage::None:
        break;
    }
    return "none";
}

std::optional<ChangeJournal::Stage> stageNamed(const QByteArray &name)
{
    for (const auto stage : {ChangeJournal::Stage::BackedUp, ChangeJournal::Stage::Done, ChangeJournal::Stage::Undone}) {
        if (name == stageName(stage)) {
            return stage;
        }
    }
    return std::nullopt;
}

bool writeAll(int fd, const QByteArray &bytes)
{
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + written, std::size_t(bytes.size() - written));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        written += n;
    }
    return true;
}

bool isAbsoluteName(const QString &path)
{
    return path.startsWith(QLatin1Char('/')) && !path.contains(QChar(0));
}

// One record; false when it is not one a journal holds.
bool parseRecord(const QList<QByteArray> &fields, ChangeJournal::Content *content)
{
    const QByteArray &kind = fields.constFirst();
    if (kind == "file" && fields.size() == 3) {
        const auto path = decodedPath(fields.at(1));
        if (!path || !isAbsoluteName(*path) || (fields.at(2) != "0" && fields.at(2) != "1")) {
            return false;
        }
        content->files.append({*path, fields.at(2) == "1"});
        return true;
    }
    if (kind == "label" && fields.size() == 8) {
        const auto path = decodedPath(fields.at(1));
        auto value = QByteArray::fromBase64Encoding(fields.at(3) == "-" ? QByteArray() : fields.at(3), QByteArray::AbortOnBase64DecodingErrors);
        bool deviceOk = false;
        bool inodeOk = false;
        bool ownerOk = false;
        ChangeJournal::LabelRecord record;
        record.previous.device = fields.at(4).toULongLong(&deviceOk);
        record.previous.inode = fields.at(5).toULongLong(&inodeOk);
        record.previous.owner = fields.at(6).toUInt(&ownerOk);
        record.previous.birth = fields.at(7) == "-" ? QByteArray() : fields.at(7);
        if (!path || !isAbsoluteName(*path) || !value || value.decoded.size() > maxLabelSize || (fields.at(2) != "0" && fields.at(2) != "1") || !deviceOk
            || !inodeOk || !ownerOk || record.previous.birth.size() > 32) {
            return false;
        }
        record.path = *path;
        record.previous.existed = fields.at(2) == "1";
        record.previous.value = record.previous.existed ? value.decoded : QByteArray();
        content->labels.append(record);
        return true;
    }
    if (kind == "stage" && fields.size() == 2) {
        const auto stage = stageNamed(fields.at(1));
        if (stage) {
            content->stage = *stage;
        }
        return stage.has_value();
    }
    return false;
}

std::optional<ChangeJournal::Header> parseHeader(const QList<QByteArray> &fields)
{
    if (fields.size() != 7 || fields.constFirst() != "begin") {
        return std::nullopt;
    }
    ChangeJournal::Header header;
    auto requestId = QByteArray::fromBase64Encoding(fields.at(1), QByteArray::AbortOnBase64DecodingErrors);
    const auto user = decoded(fields.at(3));
    const auto summary = decoded(fields.at(5));
    bool uidOk = false;
    bool timeOk = false;
    header.uid = fields.at(2).toLongLong(&uidOk);
    const qint64 time = fields.at(4).toLongLong(&timeOk);
    if (!requestId || !user || !summary || !uidOk || !timeOk) {
        return std::nullopt;
    }
    header.requestId = *requestId;
    header.user = *user;
    header.summary = *summary;
    auto before = QByteArray::fromBase64Encoding(fields.at(6), QByteArray::AbortOnBase64DecodingErrors);
    if (!before || Mic::repeatedJsonKey(before.decoded)) {
        return std::nullopt;
    }
    header.before = QJsonDocument::fromJson(before.decoded).object().toVariantMap();
    header.time = QDateTime::fromMSecsSinceEpoch(time, Qt::UTC);
    return header;
}
}

void ChangeJournal::lockFolderForProcess(const QString &folder)
{
    QDir().mkpath(QFileInfo(folder).path());
    ::mkdir(QFile::encodeName(folder).constData(), 0700);
    const int fd = ::open(QFile::encodeName(folder + QStringLiteral("/lock")).constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::flock(fd, LOCK_EX); // held until the process ends
    }
}

bool ChangeJournal::syncFolder(const QString &folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    const bool ok = fd >= 0 && ::fsync(fd) == 0;
    if (fd >= 0) {
        ::close(fd);
    }
    return ok;
}

QString ChangeJournal::folderOf(const QString &stateRoot)
{
    return QDir(stateRoot).filePath(QStringLiteral("var/lib/lumen-kcm-mic"));
}

QString ChangeJournal::pathIn(const QString &folder)
{
    return folder + QStringLiteral("/change.journal");
}

ChangeJournal::ChangeJournal(const QString &folder)
    : folder(folder)
{
}

ChangeJournal::~ChangeJournal()
{
    if (fd >= 0) {
        ::close(fd);
    }
}

bool ChangeJournal::begin(const Header &header, const QList<FileRecord> &files, QString *error)
{
    QDir().mkpath(QFileInfo(folder).path());
    if (::mkdir(QFile::encodeName(folder).constData(), 0700) != 0 && errno != EEXIST) {
        *error = i18n("Cannot create %1: %2", folder, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    const QString path = pathIn(folder);
    // Never over the journal of another change, which a recovery still
    // needs.
    fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0 && errno == EEXIST) {
        *error = remainsText(folder);
        return false;
    }
    bool ok = fd >= 0
        && append("begin " + header.requestId.toBase64() + ' ' + QByteArray::number(header.uid) + ' ' + encoded(header.user) + ' '
                  + QByteArray::number(header.time.toMSecsSinceEpoch()) + ' ' + encoded(header.summary) + ' '
                  + QJsonDocument(QJsonObject::fromVariantMap(header.before)).toJson(QJsonDocument::Compact).toBase64());
    for (const FileRecord &file : files) {
        ok = ok && append("file " + encoded(file.path) + (file.existed ? " 1" : " 0"));
    }
    if (!ok || !sync() || !syncFolder(folder)) {
        *error = i18n("Cannot write the change's journal %1: %2", path, QString::fromLocal8Bit(std::strerror(errno)));
        // Nothing was changed yet: the journal begun goes.
        if (fd >= 0) {
            ::unlink(QFile::encodeName(path).constData());
        }
        return false;
    }
    return true;
}

void ChangeJournal::appendLabelPayload(std::string *payload, const QString &path, const PreviousLabel &previous)
{
    const QByteArray utf8Path = path.toUtf8();
    appendLabelPayload(payload, std::string_view(utf8Path.constData(), std::size_t(utf8Path.size())), previous);
}

void ChangeJournal::appendLabelPayload(std::string *payload, std::string_view utf8Path, const PreviousLabel &previous)
{
    payload->append("label ");
    appendBase64(payload, utf8Path.data(), utf8Path.size());
    payload->append(previous.existed ? " 1 " : " 0 ");
    if (previous.value.isEmpty()) {
        payload->push_back('-');
    } else {
        appendBase64(payload, previous.value.constData(), std::size_t(previous.value.size()));
    }
    for (const quint64 number : {previous.device, previous.inode, quint64(previous.owner)}) {
        payload->push_back(' ');
        appendNumber(payload, number);
    }
    payload->push_back(' ');
    if (previous.birth.isEmpty()) {
        payload->push_back('-');
    } else {
        payload->append(previous.birth.constData(), std::size_t(previous.birth.size()));
    }
}

QByteArray ChangeJournal::labelPayload(const QString &path, const PreviousLabel &previous)
{
    std::string payload;
    appendLabelPayload(&payload, path, previous);
    return QByteArray(payload.data(), int(payload.size()));
}

ChangeJournal::LabelRecords::LabelRecords()
    : checksum(std::make_unique<Checksum>())
{
}

ChangeJournal::LabelRecords::~LabelRecords() = default;

void ChangeJournal::LabelRecords::add(const QString &path, const PreviousLabel &previous)
{
    const QByteArray utf8Path = path.toUtf8();
    add(std::string_view(utf8Path.constData(), std::size_t(utf8Path.size())), previous);
}

void ChangeJournal::LabelRecords::add(std::string_view utf8Path, const PreviousLabel &previous)
{
    payload.clear();
    appendLabelPayload(&payload, utf8Path, previous);
    checksum->append(&text, payload.data(), payload.size());
    text.append(' ');
    text.append(payload.data(), int(payload.size()));
    text.append('\n');
}

const QByteArray &ChangeJournal::LabelRecords::lines() const
{
    return text;
}

// Kept until flush(), which writes them at once: no object is labelled
// before its record is on disk anyway.
void ChangeJournal::recordLabels(const LabelRecords &records)
{
    unwritten += records.lines();
}

bool ChangeJournal::flush(QString *error)
{
    const bool written = appendLines(unwritten);
    unwritten.clear();
    if (!written || !sync()) {
        *error = i18n("Cannot write the change's journal %1: %2", pathIn(folder), QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    return true;
}

bool ChangeJournal::appendLabels(const LabelRecords &records, QString *error)
{
    if (!appendLines(records.lines()) || !sync()) {
        *error = i18n("Cannot write the change's journal %1: %2", pathIn(folder), QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    return true;
}

bool ChangeJournal::markStage(Stage stage, QString *error)
{
    if (!append(QByteArray("stage ") + stageName(stage)) || !sync()) {
        *error = i18n("Cannot write the change's journal %1: %2", pathIn(folder), QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    return true;
}

bool ChangeJournal::append(const QByteArray &payload)
{
    return appendLines(checksum(payload) + ' ' + payload + '\n');
}

// Records written in part (a full disk) are cut off again: records after
// them would be lost to a reader, which stops at the first broken line.
bool ChangeJournal::appendLines(const QByteArray &lines)
{
    const std::lock_guard<std::mutex> lock(writing);
    if (fd < 0) {
        errno = EBADF;
        return false;
    }
    if (!writeAll(fd, lines)) {
        const int failure = errno;
        if (::ftruncate(fd, wholeSize) == 0) {
            ::lseek(fd, wholeSize, SEEK_SET);
        }
        errno = failure;
        return false;
    }
    wholeSize = ::lseek(fd, 0, SEEK_CUR);
    return true;
}

// Threads write while another syncs, and the kernel tells a failed
// write-back to one sync only, perhaps another thread's that covered these
// records too: a failure stays, for every later sync.
bool ChangeJournal::sync()
{
    const std::lock_guard<std::mutex> lock(syncing);
    if (syncFailure == 0 && (fd < 0 || ::fdatasync(fd) != 0)) {
        syncFailure = fd < 0 ? EBADF : errno;
    }
    errno = syncFailure;
    return syncFailure == 0;
}

namespace
{
// The whole journal, or nothing when it cannot be read.
std::optional<QByteArray> journalBytes(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return std::nullopt;
    }
    QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        return std::nullopt;
    }
    return data;
}
}

std::optional<ChangeJournal::Content> ChangeJournal::read(const QString &folder)
{
    const auto data = journalBytes(pathIn(folder));
    return data ? parse(*data) : std::nullopt;
}

QString ChangeJournal::remainsText(const QString &folder)
{
    return i18n("An earlier change was interrupted and is not undone yet (its journal %1 remains), so no other change can begin. "
                "The system log says what stands in the way; the settings service tries again each time it starts.",
                pathIn(folder));
}

// Not a single whole record: the beginning, written and synced before the
// change goes on, never reached the disk. A journal with any whole record
// that does not parse (damaged, or of another version) is kept.
bool ChangeJournal::isUnbegun(const QString &folder)
{
    const auto data = journalBytes(pathIn(folder));
    if (!data) {
        return false;
    }
    const QList<QByteArray> lines = data->split('\n');
    // The last piece follows the last line's end: whole records end there.
    return std::none_of(lines.cbegin(), lines.cend() - 1, [](const QByteArray &line) {
        return wholeRecord(line).has_value();
    });
}

std::optional<ChangeJournal::Content> ChangeJournal::parse(const QByteArray &data, qsizetype *wholeLength)
{
    std::optional<Content> content;
    qsizetype start = 0;
    const auto wholeUpTo = qScopeGuard([&] {
        if (wholeLength) {
            *wholeLength = content ? start : 0;
        }
    });
    while (start < data.size()) {
        const qsizetype end = data.indexOf('\n', start);
        if (end < 0) {
            break; // torn
        }
        const auto payload = wholeRecord(data.mid(start, end - start));
        if (!payload) {
            break;
        }
        const QList<QByteArray> fields = payload->split(' ');
        if (!content) {
            const auto header = parseHeader(fields);
            if (!header) {
                break;
            }
            content = Content{*header, {}, {}, Stage::None};
        } else if (!parseRecord(fields, &*content)) {
            break;
        }
        start = end + 1;
    }
    return content;
}

void ChangeJournal::discard(const QString &folder)
{
    QFile::remove(pathIn(folder));
}

bool ChangeJournal::appendStage(const QString &folder, Stage stage)
{
    ChangeJournal journal(folder);
    journal.fd = ::open(QFile::encodeName(pathIn(folder)).constData(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    if (journal.fd < 0) {
        return false;
    }
    // After the last whole record: a line a crash tore would hide it.
    QFile file;
    qsizetype whole = 0;
    if (!file.open(journal.fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle) || !parse(file.readAll(), &whole)) {
        return false;
    }
    file.close();
    journal.wholeSize = whole;
    QString ignored;
    return ::ftruncate(journal.fd, whole) == 0 && ::lseek(journal.fd, whole, SEEK_SET) == whole && journal.markStage(stage, &ignored);
}
