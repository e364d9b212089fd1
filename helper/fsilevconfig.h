// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef FSILEVCONFIG_H
#define FSILEVCONFIG_H

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>
#include <string_view>
#include <optional>
#include <vector>

// The file-system integrity configuration: rules giving the level an object
// must carry, and exception paths whose objects keep the level they have.
// People edit the file by hand, so writing back changes only the lines of
// the rules and exceptions that changed; every other byte stays as it was.
//
// Neither a rule nor an exception may name "/": no request can create or
// remove one, so such a line could never be managed here. Parsing rejects
// it, and so do the setters.
class FsIlevConfig
{
public:
    // Nothing on a bad file; *error then names the line and the fault. The
    // configuration keeps `content` (which must own its bytes, not wrap
    // another's) and refers into it.
    static std::optional<FsIlevConfig> parse(const QByteArray &content, QString *error);
    QByteArray serialize() const;

    // Path -> level string exactly as written.
    QHash<QString, QString> rules() const;
    // In file order.
    QStringList exceptions() const;
    // Each rule (path, level) and each exception path in file order, for
    // readers that need no table of them.
    // Paths as their UTF-8 bytes, valid while the configuration is unchanged.
    void forEachRule(const std::function<void(std::string_view, const QString &)> &visit) const;
    void forEachException(const std::function<void(const QString &)> &visit) const;

    // The no-level string "—" removes the rule. Each setter refuses a path
    // or level the file cannot hold, and then changes nothing.
    bool setRule(const QString &path, const QString &level);
    void removeRule(const QString &path);
    // Many rule changes at once, in one pass over the file; refuses the whole
    // set, changing nothing, when one of them cannot be held. New rules go
    // after the last rule, in path order.
    bool applyRuleChanges(const QHash<QString, QString> &changes);
    bool setExceptions(const QStringList &paths);

    // An absolute, normalised path that a line of the file can hold; "/"
    // passes, though it cannot be a rule or an exception.
    static bool isValidPath(const QString &path);
    static bool isValidLevelString(const QString &level);

private:
    enum class Kind { Other, Rule, Exception };
    // A line keeps its path as the UTF-8 bytes of its text, not a copy:
    // at a million rules the copies would double the configuration's memory.
    struct Line {
        Kind kind = Kind::Other;
        QByteArray text; // as read, or as rewritten after a change
        int pathStart = 0; // where the path begins in `text` (a rule or exception)
        QString level;

        std::string_view pathBytes() const
        {
            return std::string_view(text.constData() + pathStart, std::size_t(text.size() - pathStart));
        }
        QString path() const
        {
            return QString::fromUtf8(text.constData() + pathStart, text.size() - pathStart);
        }
    };

    // The level words met so far in a file: a file holds few, and each is
    // checked and kept once.
    using LevelWords = std::vector<QString>;
    // `text`: room for the line's text, kept from line to line.
    static std::optional<Line> parseLine(const QByteArray &raw, QString *text, LevelWords *levels, QString *problem);
    static std::optional<Line> parseEntry(const QByteArray &raw, const QString &text, LevelWords *levels, QString *problem);
    // The lines of content[begin, end), up to the first that is refused.
    struct ParsedPiece {
        std::vector<Line> lines;
        bool refused = false;
        QString problem;
    };
    static void parsePiece(const QByteArray &content, qsizetype begin, qsizetype end, ParsedPiece *piece);
    static qsizetype lineEnd(const QByteArray &content, qsizetype start, qsizetype end);
    static qsizetype lineCount(const QByteArray &content, qsizetype begin, qsizetype end);
    // Below this a second thread costs more than it saves.
    static constexpr qsizetype minBytesParsedInTwo = 1 << 20;
    static Line ruleLine(const QString &path, const QString &level);
    static Line exceptionLine(const QString &path);
    static bool isEntryPath(const QString &path);


    std::vector<Line> m_lines;
    // The file as read: the text of the lines read refers into it.
    QByteArray m_content;
    bool m_finalNewline = true;
};

#endif
