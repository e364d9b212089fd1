// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "fsilevconfig.h"

#include <constants.h>
#include <utils.h>

#include <texts.h>

#include <QSet>

#include <algorithm>
#include <cstring>
#include <functional>
#include <iterator>
#include <thread>
#include <cmath>

using namespace Mic::Texts;

namespace
{
const QString exceptionWord = QStringLiteral("exception");
const QString rootPath = QStringLiteral("/");

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

int leadingBlanks(const QString &text)
{
    int count = 0;
    while (count < text.size() && isBlank(text.at(count))) {
        ++count;
    }
    return count;
}

bool isCommentOrBlank(const QString &text)
{
    const int first = leadingBlanks(text);
    return first == text.size() || text.at(first) == QLatin1Char('#');
}

// Faults the decoder would otherwise hide: it strips a byte order mark and
// replaces bad sequences, so a line that does not survive decoding and
// encoding unchanged was not plain UTF-8.
bool isAscii(const QByteArray &raw)
{
    return std::all_of(raw.cbegin(), raw.cend(), [](char c) {
        return (c & 0x80) == 0;
    });
}

// `ascii`: whether the line is plain ASCII, which needs no decoding check.
QString encodingProblem(const QByteArray &raw, bool ascii)
{
    if (raw.contains('\0')) {
        return i18n("NUL byte");
    }
    if (ascii) {
        return QString();
    }
    if (raw.startsWith("\xEF\xBB\xBF")) {
        return i18n("byte order mark");
    }
    if (QString::fromUtf8(raw).toUtf8() != raw) {
        return i18n("invalid UTF-8");
    }
    return QString();
}

// One scan of a path that starts with "/" and does not end with one.
QString segmentProblem(QStringView path)
{
    bool empty = false;
    bool dot = false;
    bool dotDot = false;
    const QChar *chars = path.data();
    int start = 1;
    for (int i = 1; i <= path.size(); ++i) {
        if (i < path.size() && chars[i] != QLatin1Char('/')) {
            continue;
        }
        const int length = i - start;
        empty |= length == 0;
        dot |= length == 1 && chars[start] == QLatin1Char('.');
        dotDot |= length == 2 && chars[start] == QLatin1Char('.') && chars[start + 1] == QLatin1Char('.');
        start = i + 1;
    }
    if (empty) {
        return i18n("empty segment in path");
    }
    if (dot) {
        return i18n("\".\" segment in path");
    }
    if (dotDot) {
        return i18n("\"..\" segment in path");
    }
    return QString();
}

// What keeps a path from the file, or nothing. A person could not see a
// blank at the end of the path, so the file cannot hold one.
QString pathProblem(QStringView path)
{
    if (!path.startsWith(QLatin1Char('/'))) {
        return i18n("relative path");
    }
    bool nul = false;
    bool lineBreak = false;
    bool surrogate = false;
    for (const QChar c : path) {
        const ushort code = c.unicode();
        if (code < 0x20) {
            nul |= code == 0;
            lineBreak |= code == '\n' || code == '\r';
        }
        surrogate |= code >= 0xD800 && code < 0xE000;
    }
    if (nul) {
        return i18n("NUL in path");
    }
    if (lineBreak) {
        return i18n("line break in path");
    }
    // A lone surrogate has no UTF-8 form: the file, and the name given to
    // the kernel for labelling, would get "?" in its place and so name
    // another object.
    if (surrogate && !path.isValidUtf16()) {
        return i18n("invalid UTF-8");
    }
    if (path == rootPath) {
        return QString();
    }
    if (path.endsWith(QLatin1Char('/'))) {
        return i18n("trailing \"/\" in path");
    }
    if (isBlank(path.back())) {
        return i18n("blank at the end of path");
    }
    return segmentProblem(path);
}

QString levelProblem(const QString &level)
{
    if (level == Mic::noLevelString) {
        return i18n("\"%1\" is no level; delete the line to drop the rule", level);
    }
    if (!FsIlevConfig::isValidLevelString(level)) {
        return i18n("invalid level string \"%1\"", level);
    }
    return QString();
}

QString entryPathProblem(QStringView path, bool isRule)
{
    const QString problem = pathProblem(path);
    if (!problem.isEmpty()) {
        return i18nc("@info a fault of a path in the configuration, then the path", "%1 \"%2\"", problem, path.toString());
    }
    if (path == rootPath) {
        return isRule ? i18n("\"/\" cannot carry a rule") : i18n("\"/\" cannot be an exception");
    }
    return QString();
}

QString endProblem(const QString &text)
{
    if (isBlank(text.back())) {
        return i18n("blank at the end of the line");
    }
    if (text.back() == QLatin1Char('\r')) {
        return i18n("carriage return at the end of the line");
    }
    return QString();
}

// The first line of each path of one kind, in an open-addressing table of
// line numbers: a million paths take no allocation of their own.
template<typename Lines>
class FirstLines
{
public:
    FirstLines(const Lines &lines, int expected)
        : lines(lines)
        , slots(std::size_t(1) << qMax(4, int(std::ceil(std::log2(qMax(expected, 1) * 2.0)))), 0)
    {
    }

    // The number of the line that gave `path` first (0 when none did), and
    // `lineNumber` recorded for it then.
    int firstOf(std::string_view path, int lineNumber)
    {
        if (count * 2 >= slots.size()) {
            grow();
        }
        std::size_t slot = hashOf(path) & (slots.size() - 1);
        while (slots[slot] != 0) {
            if (lines[std::size_t(slots[slot] - 1)].pathBytes() == path) {
                return slots[slot];
            }
            slot = (slot + 1) & (slots.size() - 1);
        }
        slots[slot] = lineNumber;
        ++count;
        return 0;
    }

private:
    static std::size_t hashOf(std::string_view path)
    {
        return qHashBits(path.data(), path.size());
    }

    void grow()
    {
        std::vector<int> old(slots.size() * 2, 0);
        old.swap(slots);
        for (const int number : old) {
            if (number != 0) {
                std::size_t slot = hashOf(lines[std::size_t(number - 1)].pathBytes()) & (slots.size() - 1);
                while (slots[slot] != 0) {
                    slot = (slot + 1) & (slots.size() - 1);
                }
                slots[slot] = number;
            }
        }
    }

    const Lines &lines;
    std::vector<int> slots;
    std::size_t count = 0;
};

// Records the first line of each path; a path given twice is a fault even
// with the same level, since a person editing one line would miss the other.
// The line being checked must already be among `lines`.
template<typename Lines, typename Line>
QString repeatProblem(FirstLines<Lines> &firstLines, const Line &line, int lineNumber, bool isRule)
{
    const int first = firstLines.firstOf(line.pathBytes(), lineNumber);
    if (first == 0) {
        return QString();
    }
    const QString path = line.path();
    // Line numbers as plain digits: a locale's digit grouping would make
    // "line 1.234" of them.
    const QString firstLine = QString::number(first);
    return isRule ? i18n("second rule for \"%1\" (first on line %2)", path, firstLine)
                  : i18n("second exception for \"%1\" (first on line %2)", path, firstLine);
}

void reportLine(QString *error, int lineNumber, const QString &problem)
{
    if (error) {
        *error = i18n("line %1: %2", QString::number(lineNumber), problem);
    }
}
}

// The end of the line at `start`: its newline, or the end of the content.
qsizetype FsIlevConfig::lineEnd(const QByteArray &content, qsizetype start, qsizetype end)
{
    const void *newline = std::memchr(content.constData() + start, '\n', std::size_t(end - start));
    return newline ? static_cast<const char *>(newline) - content.constData() : end;
}

qsizetype FsIlevConfig::lineCount(const QByteArray &content, qsizetype begin, qsizetype end)
{
    qsizetype count = 0;
    for (qsizetype start = begin; start < end; start = lineEnd(content, start, end) + 1) {
        ++count;
    }
    return count;
}

void FsIlevConfig::parsePiece(const QByteArray &content, qsizetype begin, qsizetype end, ParsedPiece *piece)
{
    QString text;
    LevelWords levels;
    for (qsizetype start = begin; start < end;) {
        const qsizetype stop = lineEnd(content, start, end);
        // The line's bytes stay in the file's buffer, which the
        // configuration keeps: a million lines need no copies of their own.
        const QByteArray raw = QByteArray::fromRawData(content.constData() + start, int(stop - start));
        std::optional<Line> line = parseLine(raw, &text, &levels, &piece->problem);
        if (!line) {
            piece->refused = true;
            return;
        }
        piece->lines.push_back(std::move(*line));
        start = stop + 1;
    }
}

// A large file is parsed in two halves at once, each line on its own; the
// repeated paths are then looked for in file order, so that the first fault
// of the file is the one reported, as in a reading line by line.
std::optional<FsIlevConfig> FsIlevConfig::parse(const QByteArray &content, QString *error)
{
    FsIlevConfig config;
    config.m_content = content;
    config.m_finalNewline = content.isEmpty() || content.endsWith('\n');
    const QByteArray &bytes = config.m_content;
    const qsizetype middle = bytes.size() >= minBytesParsedInTwo ? lineEnd(bytes, bytes.size() / 2, bytes.size()) + 1 : bytes.size();
    ParsedPiece first;
    ParsedPiece second;
    // The first piece's lines take the second's after them: room for all
    // from the start, so that none is moved twice.
    const qsizetype firstLines = lineCount(bytes, 0, std::min(middle, qsizetype(bytes.size())));
    first.lines.reserve(std::size_t(firstLines + lineCount(bytes, middle, bytes.size())));
    second.lines.reserve(std::size_t(first.lines.capacity() - std::size_t(firstLines)));
    std::thread other;
    if (middle < bytes.size()) {
        other = std::thread(&FsIlevConfig::parsePiece, std::cref(bytes), middle, bytes.size(), &second);
    }
    parsePiece(bytes, 0, std::min(middle, qsizetype(bytes.size())), &first);
    if (other.joinable()) {
        other.join();
    }
    std::vector<Line> &lines = config.m_lines;
    lines = std::move(first.lines);
    const ParsedPiece &refusing = first.refused ? first : second;
    if (!first.refused) {
        lines.reserve(lines.size() + second.lines.size());
        std::move(second.lines.begin(), second.lines.end(), std::back_inserter(lines));
    }
    FirstLines<std::vector<Line>> firstRule(lines, int(lines.size()));
    FirstLines<std::vector<Line>> firstException(lines, int(lines.size()) / 8);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const Line &line = lines[i];
        if (line.kind == Kind::Other) {
            continue;
        }
        const bool isRule = line.kind == Kind::Rule;
        const int number = int(i) + 1;
        const QString problem = repeatProblem(isRule ? firstRule : firstException, line, number, isRule);
        if (!problem.isEmpty()) {
            reportLine(error, number, problem);
            return std::nullopt;
        }
    }
    if (refusing.refused) {
        reportLine(error, int(lines.size()) + 1, refusing.problem);
        return std::nullopt;
    }
    return config;
}

std::optional<FsIlevConfig::Line> FsIlevConfig::parseLine(const QByteArray &raw, QString *text, LevelWords *levels, QString *problem)
{
    const bool ascii = isAscii(raw);
    *problem = encodingProblem(raw, ascii);
    if (!problem->isEmpty()) {
        return std::nullopt;
    }
    if (ascii) {
        // Plain ASCII is its own Latin-1, widened into the room kept.
        text->resize(raw.size());
        QChar *out = text->data();
        for (int i = 0; i < raw.size(); ++i) {
            out[i] = QChar(ushort(uchar(raw.at(i))));
        }
    } else {
        *text = QString::fromUtf8(raw);
    }
    if (isCommentOrBlank(*text)) {
        return Line{Kind::Other, raw, 0, QString()};
    }
    return parseEntry(raw, *text, levels, problem);
}

std::optional<FsIlevConfig::Line> FsIlevConfig::parseEntry(const QByteArray &raw, const QString &text, LevelWords *levels, QString *problem)
{
    *problem = endProblem(text);
    if (!problem->isEmpty()) {
        return std::nullopt;
    }
    const QStringView body = QStringView(text).mid(leadingBlanks(text));
    const int gap = int(std::find_if(body.begin(), body.end(), isBlank) - body.begin());
    const QStringView wordView = body.left(gap);
    const Kind kind = wordView == exceptionWord ? Kind::Exception : Kind::Rule;
    QString word;
    if (kind == Kind::Rule) {
        const auto known = std::find_if(levels->cbegin(), levels->cend(), [wordView](const QString &level) {
            return level == wordView;
        });
        if (known != levels->cend()) {
            word = *known;
        } else {
            word = wordView.toString();
            *problem = levelProblem(word);
            if (problem->isEmpty() && levels->size() < 64) {
                levels->push_back(word);
            }
        }
    }
    if (problem->isEmpty() && gap == body.size()) {
        *problem = i18n("missing path");
    }
    if (!problem->isEmpty()) {
        return std::nullopt;
    }
    // No blank ends the line, so the path is never empty.
    QStringView rest = body.mid(gap);
    while (!rest.isEmpty() && isBlank(rest.front())) {
        rest = rest.mid(1);
    }
    *problem = entryPathProblem(rest, kind == Kind::Rule);
    if (!problem->isEmpty()) {
        return std::nullopt;
    }
    // Where the path starts in the line's bytes: its index in the text on a
    // line of plain ASCII, else the length of what precedes it in UTF-8.
    const int pathIndex = int(rest.data() - text.constData());
    const int pathStart = raw.size() == text.size() ? pathIndex : text.left(pathIndex).toUtf8().size();
    return Line{kind, raw, pathStart, word};
}

QByteArray FsIlevConfig::serialize() const
{
    QByteArray content;
    for (const Line &line : m_lines) {
        content += line.text;
        content += '\n';
    }
    if (!m_finalNewline && !content.isEmpty()) {
        content.chop(1);
    }
    return content;
}

QHash<QString, QString> FsIlevConfig::rules() const
{
    QHash<QString, QString> result;
    for (const Line &line : m_lines) {
        if (line.kind == Kind::Rule) {
            result.insert(line.path(), line.level);
        }
    }
    return result;
}

void FsIlevConfig::forEachRule(const std::function<void(std::string_view, const QString &)> &visit) const
{
    for (const Line &line : m_lines) {
        if (line.kind == Kind::Rule) {
            visit(line.pathBytes(), line.level);
        }
    }
}

void FsIlevConfig::forEachException(const std::function<void(const QString &)> &visit) const
{
    for (const Line &line : m_lines) {
        if (line.kind == Kind::Exception) {
            visit(line.path());
        }
    }
}

QStringList FsIlevConfig::exceptions() const
{
    QStringList result;
    for (const Line &line : m_lines) {
        if (line.kind == Kind::Exception) {
            result.append(line.path());
        }
    }
    return result;
}

bool FsIlevConfig::setRule(const QString &path, const QString &level)
{
    return applyRuleChanges({{path, level}});
}

void FsIlevConfig::removeRule(const QString &path)
{
    applyRuleChanges({{path, Mic::noLevelString}});
}

bool FsIlevConfig::applyRuleChanges(const QHash<QString, QString> &changes)
{
    for (auto it = changes.cbegin(); it != changes.cend(); ++it) {
        if (it.value() != Mic::noLevelString && (!isEntryPath(it.key()) || !isValidLevelString(it.value()))) {
            return false;
        }
    }
    // One pass over the file, whatever the number of changes: a save may
    // carry a change for every rule of a large configuration.
    QHash<QString, QString> unmatched = changes;
    std::vector<Line> lines;
    lines.reserve(m_lines.size() + changes.size());
    std::size_t afterLastRule = 0;
    for (Line &line : m_lines) {
        if (line.kind == Kind::Rule) {
            const QString path = line.path();
            const auto change = unmatched.constFind(path);
            if (change != unmatched.cend()) {
                const QString level = change.value();
                unmatched.erase(change);
                if (level == Mic::noLevelString) {
                    continue;
                }
                if (line.level != level) {
                    line = ruleLine(path, level);
                }
            }
            lines.push_back(std::move(line));
            afterLastRule = lines.size();
            continue;
        }
        lines.push_back(std::move(line));
    }
    QStringList added;
    for (auto it = unmatched.cbegin(); it != unmatched.cend(); ++it) {
        if (it.value() != Mic::noLevelString) {
            added.append(it.key());
        }
    }
    added.sort();
    std::vector<Line> newLines;
    newLines.reserve(added.size());
    for (const QString &path : std::as_const(added)) {
        newLines.push_back(ruleLine(path, changes.value(path)));
    }
    const auto at = afterLastRule > 0 ? lines.begin() + afterLastRule : lines.end();
    lines.insert(at, std::make_move_iterator(newLines.begin()), std::make_move_iterator(newLines.end()));
    m_lines = std::move(lines);
    return true;
}

bool FsIlevConfig::setExceptions(const QStringList &paths)
{
    if (!std::all_of(paths.begin(), paths.end(), isEntryPath)) {
        return false;
    }
    const QSet<QString> kept(paths.begin(), paths.end());
    const auto dropped = [&kept](const Line &line) {
        return line.kind == Kind::Exception && !kept.contains(line.path());
    };
    m_lines.erase(std::remove_if(m_lines.begin(), m_lines.end(), dropped), m_lines.end());

    QSet<QString> present;
    std::size_t afterLastException = 0;
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        if (m_lines[i].kind == Kind::Exception) {
            present.insert(m_lines[i].path());
            afterLastException = i + 1;
        }
    }
    std::vector<Line> newLines;
    for (const QString &path : paths) {
        if (!present.contains(path)) {
            present.insert(path);
            newLines.push_back(exceptionLine(path));
        }
    }
    const auto at = afterLastException > 0 ? m_lines.begin() + afterLastException : m_lines.end();
    m_lines.insert(at, std::make_move_iterator(newLines.begin()), std::make_move_iterator(newLines.end()));
    return true;
}

bool FsIlevConfig::isValidPath(const QString &path)
{
    return pathProblem(path).isEmpty();
}

bool FsIlevConfig::isValidLevelString(const QString &level)
{
    if (level == Mic::maxLevelString || level == Mic::highLevelString || level == Mic::minLevelString || level == Mic::lowLevelString) {
        return true;
    }
    // The number conversion skips blanks around the digits, but a level is
    // one word of its line.
    if (std::any_of(level.begin(), level.end(), [](QChar c) {
            return c.isSpace();
        })) {
        return false;
    }
    bool ok = true;
    Mic::Utils::configLevelToNumber(level, 0, &ok);
    return ok;
}

FsIlevConfig::Line FsIlevConfig::ruleLine(const QString &path, const QString &level)
{
    return Line{Kind::Rule, (level + QLatin1Char(' ') + path).toUtf8(), level.toUtf8().size() + 1, level};
}

FsIlevConfig::Line FsIlevConfig::exceptionLine(const QString &path)
{
    return Line{Kind::Exception, (exceptionWord + QLatin1Char(' ') + path).toUtf8(), exceptionWord.toUtf8().size() + 1, QString()};
}

bool FsIlevConfig::isEntryPath(const QString &path)
{
    return isValidPath(path) && path != rootPath;
}


