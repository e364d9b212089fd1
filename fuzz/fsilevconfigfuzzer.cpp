// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

// Feeds arbitrary bytes to the reader of the file-system integrity
// configuration. Whatever it accepts must keep the promises the helper
// relies on when it edits a file a person wrote: the file is written back
// byte for byte, every entry names a path the file can hold, and every
// change a setter accepts leaves a file that reads back as the changed
// configuration, with every other line as it was.
#include "fuzzcheck.h"

#include <fsilevconfig.h>

#include <KLocalizedString>

#include <QCoreApplication>
#include <QSet>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <algorithm>

namespace
{
const QString noLevel = QStringLiteral("\u2014");

// Valid and invalid level texts, the no-level mark among them.
const QStringList levelTexts{QStringLiteral("max"),
                             QStringLiteral("0x3f"),
                             noLevel,
                             QStringLiteral("low"),
                             QStringLiteral("0b101"),
                             QStringLiteral("017"),
                             QStringLiteral("hihg"),
                             QStringLiteral("4294967295"),
                             QStringLiteral("4294967296"),
                             QStringLiteral(" 5"),
                             QStringLiteral("high"),
                             QString()};

using FuzzCheck::require;
using FuzzCheck::shown;

bool isEntryPath(const QString &path)
{
    return FsIlevConfig::isValidPath(path) && path != QLatin1String("/");
}

void checkEntries(const FsIlevConfig &config)
{
    const QHash<QString, QString> rules = config.rules();
    for (auto it = rules.cbegin(); it != rules.cend(); ++it) {
        require(isEntryPath(it.key()), "rule path the file cannot hold", shown(it.key()));
        require(FsIlevConfig::isValidLevelString(it.value()), "rule with an invalid level", shown(it.value()));
    }
    const QStringList exceptions = config.exceptions();
    for (const QString &path : exceptions) {
        require(isEntryPath(path), "exception path the file cannot hold", shown(path));
    }
    require(QSet<QString>(exceptions.cbegin(), exceptions.cend()).size() == exceptions.size(), "an exception listed twice");
}

// What the helper does after every change: the written file must read back
// as the configuration it was written from.
void requireReparses(const FsIlevConfig &config, const char *after, const QString &detail)
{
    QString error;
    const QByteArray content = config.serialize();
    const std::optional<FsIlevConfig> again = FsIlevConfig::parse(content, &error);
    require(again.has_value(), after, detail + QStringLiteral(" leaves an unreadable file: ") + error);
    require(again->rules() == config.rules(), after, detail + QStringLiteral(": rules differ after a reparse"));
    require(again->exceptions() == config.exceptions(), after, detail + QStringLiteral(": exceptions differ after a reparse"));
    require(again->serialize() == content, after, detail + QStringLiteral(": the file changes when written again"));
    checkEntries(*again);
}

// How many lines differ between two versions of a file with as many lines,
// or -1 when their numbers of lines differ.
int differingLines(const QByteArray &before, const QByteArray &after)
{
    const QList<QByteArray> a = before.split('\n');
    const QList<QByteArray> b = after.split('\n');
    if (a.size() != b.size()) {
        return -1;
    }
    int count = 0;
    for (int i = 0; i < a.size(); ++i) {
        count += a.at(i) != b.at(i) ? 1 : 0;
    }
    return count;
}

// Whether `after` is `before` without one of its lines, every other byte
// kept: a line goes with the newline that ends it, or, when it is the last
// line and has none, with the newline before it.
bool isOneLineLess(const QByteArray &before, const QByteArray &after)
{
    const int removed = before.size() - after.size();
    if (removed <= 0) {
        return false;
    }
    int prefix = 0;
    while (prefix < after.size() && before.at(prefix) == after.at(prefix)) {
        ++prefix;
    }
    int suffix = 0;
    while (suffix < after.size() && before.at(before.size() - 1 - suffix) == after.at(after.size() - 1 - suffix)) {
        ++suffix;
    }
    // Every place where cutting `removed` bytes out of `before` leaves `after`.
    for (int start = std::max(0, after.size() - suffix); start <= prefix; ++start) {
        const QByteArray span = before.mid(start, removed);
        const bool atLineStart = start == 0 || before.at(start - 1) == '\n';
        const bool atEnd = start + removed == before.size();
        if (atLineStart && span.indexOf('\n') == span.size() - 1) {
            return true;
        }
        if (start == 0 && atEnd && !span.contains('\n')) {
            return true;
        }
        if (atEnd && span.startsWith('\n') && span.indexOf('\n', 1) < 0) {
            return true;
        }
    }
    return false;
}

// Paths to offer the setters, taken from the input so the fuzzer steers
// them: lines as UTF-8 and as raw UTF-16 (which can hold what UTF-8
// cannot), with and without a leading "/".
QStringList candidatePaths(const QByteArray &data)
{
    QStringList result{QStringLiteral("/"), QStringLiteral("/new/entry")};
    const QList<QByteArray> lines = data.split('\n');
    for (int i = 0; i < lines.size() && i < 3; ++i) {
        const QByteArray &line = lines.at(i);
        const QString text = QString::fromUtf8(line);
        result << text << QLatin1Char('/') + text.section(QLatin1Char(' '), -1);
        QString units(line.size() / 2, Qt::Uninitialized);
        memcpy(units.data(), line.constData(), size_t(units.size()) * sizeof(QChar));
        result << QLatin1Char('/') + units;
    }
    return result;
}

void checkRuleChange(const FsIlevConfig &config, const QString &path, const QString &level)
{
    FsIlevConfig changed = config;
    const QByteArray before = changed.serialize();
    const QString detail = QStringLiteral("setRule(%1, %2)").arg(shown(path), shown(level));
    if (!changed.setRule(path, level)) {
        require(changed.serialize() == before, "a refused rule changed the file", detail);
        return;
    }
    QHash<QString, QString> expected = config.rules();
    if (level == noLevel) {
        expected.remove(path);
    } else {
        expected.insert(path, level);
    }
    require(changed.rules() == expected, "rules after setRule", detail);
    require(changed.exceptions() == config.exceptions(), "setRule touched the exceptions", detail);
    requireReparses(changed, "setRule", detail);
    // Only the line of the rule may change: replaced, added or removed.
    const QByteArray after = changed.serialize();
    const bool existed = config.rules().contains(path);
    if (level == noLevel) {
        require(existed ? isOneLineLess(before, after) : after == before, "removing a rule touched other lines", detail);
    } else if (existed) {
        const int differing = config.rules().value(path) == level ? 0 : 1;
        require(differingLines(before, after) == differing, "changing a rule touched other lines", detail);
    } else {
        require(isOneLineLess(after, before), "adding a rule touched other lines", detail);
    }
}

void checkExceptionChange(const FsIlevConfig &config, const QStringList &paths)
{
    FsIlevConfig changed = config;
    const QByteArray before = changed.serialize();
    QString detail = QStringLiteral("setExceptions(");
    for (const QString &path : paths) {
        detail += shown(path) + QLatin1Char(' ');
    }
    detail += QLatin1Char(')');
    if (!changed.setExceptions(paths)) {
        require(changed.serialize() == before, "refused exceptions changed the file", detail);
        return;
    }
    const QStringList result = changed.exceptions();
    require(QSet<QString>(result.cbegin(), result.cend()) == QSet<QString>(paths.cbegin(), paths.cend()), "exceptions after setExceptions", detail);
    require(changed.rules() == config.rules(), "setExceptions touched the rules", detail);
    requireReparses(changed, "setExceptions", detail);
}
}

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication application(*argc, *argv);
    // The checks read the line number from the error text.
    KLocalizedString::setLanguages({QStringLiteral("en_US")});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size)
{
    const QByteArray data(reinterpret_cast<const char *>(bytes), int(size));
    QString error;
    const std::optional<FsIlevConfig> config = FsIlevConfig::parse(data, &error);
    if (!config) {
        require(error.startsWith(QStringLiteral("line ")), "a refused file without the line of its fault", error);
        return 0;
    }
    require(config->serialize() == data, "an untouched file is not written back byte for byte");
    checkEntries(*config);
    requireReparses(*config, "parse", QString());

    // Setting what is there already changes nothing.
    const QHash<QString, QString> rules = config->rules();
    const QStringList exceptions = config->exceptions();
    FsIlevConfig same = *config;
    int checked = 0;
    for (auto it = rules.cbegin(); it != rules.cend() && checked < 8; ++it, ++checked) {
        require(same.setRule(it.key(), it.value()), "an existing rule is refused", shown(it.key()));
    }
    require(same.setExceptions(exceptions), "the existing exceptions are refused");
    require(same.serialize() == data, "setting the same entries changed the file");

    // Changes of existing entries and of new ones.
    int round = int(size);
    if (!rules.isEmpty()) {
        const QString path = rules.cbegin().key();
        checkRuleChange(*config, path, levelTexts.at(round++ % levelTexts.size()));
        checkRuleChange(*config, path, noLevel);
        FsIlevConfig removed = *config;
        removed.removeRule(path);
        require(!removed.rules().contains(path), "removeRule kept the rule", shown(path));
        require(isOneLineLess(data, removed.serialize()), "removeRule touched other lines", shown(path));
        requireReparses(removed, "removeRule", shown(path));
    }
    if (!exceptions.isEmpty()) {
        checkExceptionChange(*config, exceptions.mid(1));
        QStringList reversed(exceptions.crbegin(), exceptions.crend());
        checkExceptionChange(*config, reversed);
    }
    const QStringList paths = candidatePaths(data);
    for (const QString &path : paths) {
        checkRuleChange(*config, path, levelTexts.at(round++ % levelTexts.size()));
        checkExceptionChange(*config, QStringList(exceptions) << path);
    }
    return 0;
}
