// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "catalogue.h"

#include <QFile>
#include <QtEndian>

#include <cctype>

namespace Mic::Texts
{
namespace
{
constexpr quint32 magic = 0x950412de;
constexpr qint64 largestCatalogue = 16 * 1024 * 1024;

/*
 * The Plural-Forms expressions gettext knows: n, numbers, ! and the binary
 * operators of C with their precedence, ?: and parentheses. Evaluated while
 * parsed, for one n; a division by zero or anything unknown fails.
 */
class PluralRule
{
public:
    PluralRule(const QByteArray &text, qulonglong n)
        : text(text)
        , n(n)
    {
    }

    std::optional<qulonglong> evaluate()
    {
        const auto value = conditional();
        skipSpaces();
        return ok && position == text.size() ? value : std::nullopt;
    }

private:
    using Value = std::optional<qulonglong>;

    void skipSpaces()
    {
        while (position < text.size() && std::isspace(static_cast<unsigned char>(text.at(position)))) {
            ++position;
        }
    }
    bool take(const char *token)
    {
        skipSpaces();
        const int length = int(qstrlen(token));
        if (text.mid(position, length) != token) {
            return false;
        }
        // "=" is not "==", "<" is not "<=", "|" is not "||".
        if (length == 1 && position + 1 < text.size() && (text.at(position + 1) == '=' || text.at(position + 1) == token[0]) && token[0] != '!'
            && token[0] != '(' && token[0] != ')' && token[0] != '?' && token[0] != ':') {
            return false;
        }
        position += length;
        return true;
    }
    Value fail()
    {
        ok = false;
        return std::nullopt;
    }

    Value conditional()
    {
        const Value condition = logicalOr();
        if (!condition || !take("?")) {
            return condition;
        }
        if (++depth > maxDepth) {
            return fail();
        }
        const Value whenTrue = conditional();
        if (!take(":")) {
            return fail();
        }
        const Value whenFalse = conditional();
        --depth;
        if (!whenTrue || !whenFalse) {
            return fail();
        }
        return *condition ? whenTrue : whenFalse;
    }
    Value logicalOr()
    {
        Value value = logicalAnd();
        while (value && take("||")) {
            const Value right = logicalAnd();
            value = right ? Value(*value || *right) : fail();
        }
        return value;
    }
    Value logicalAnd()
    {
        Value value = equality();
        while (value && take("&&")) {
            const Value right = equality();
            value = right ? Value(*value && *right) : fail();
        }
        return value;
    }
    Value equality()
    {
        Value value = relation();
        while (value) {
            const bool equal = take("==");
            if (!equal && !take("!=")) {
                break;
            }
            const Value right = relation();
            value = right ? Value((*value == *right) == equal) : fail();
        }
        return value;
    }
    Value relation()
    {
        Value value = sum();
        while (value) {
            int op = 0;
            if (take("<=")) {
                op = 1;
            } else if (take(">=")) {
                op = 2;
            } else if (take("<")) {
                op = 3;
            } else if (take(">")) {
                op = 4;
            } else {
                break;
            }
            const Value right = sum();
            if (!right) {
                return fail();
            }
            const qulonglong a = *value;
            const qulonglong b = *right;
            value = op == 1 ? a <= b : op == 2 ? a >= b : op == 3 ? a < b : a > b;
        }
        return value;
    }
    Value sum()
    {
        Value value = product();
        while (value) {
            const bool plus = take("+");
            if (!plus && !take("-")) {
                break;
            }
            const Value right = product();
            value = right ? Value(plus ? *value + *right : *value - *right) : fail();
        }
        return value;
    }
    Value product()
    {
        Value value = unary();
        while (value) {
            char op = 0;
            if (take("*")) {
                op = '*';
            } else if (take("/")) {
                op = '/';
            } else if (take("%")) {
                op = '%';
            } else {
                break;
            }
            const Value right = unary();
            if (!right || (op != '*' && *right == 0)) {
                return fail();
            }
            value = op == '*' ? *value * *right : op == '/' ? *value / *right : *value % *right;
        }
        return value;
    }
    Value unary()
    {
        if (take("!")) {
            if (++depth > maxDepth) {
                return fail();
            }
            const Value value = unary();
            --depth;
            return value ? Value(!*value) : fail();
        }
        return primary();
    }
    Value primary()
    {
        skipSpaces();
        if (take("(")) {
            // Rules nest a few levels; a deeper one is no rule.
            if (++depth > maxDepth) {
                return fail();
            }
            const Value value = conditional();
            --depth;
            return value && take(")") ? value : fail();
        }
        if (position < text.size() && text.at(position) == 'n') {
            ++position;
            return n;
        }
        qulonglong number = 0;
        const int start = position;
        while (position < text.size() && std::isdigit(static_cast<unsigned char>(text.at(position))) && position - start < 18) {
            number = number * 10 + qulonglong(text.at(position) - '0');
            ++position;
        }
        return position > start ? Value(number) : fail();
    }

    static constexpr int maxDepth = 32;
    const QByteArray text;
    const qulonglong n;
    int position = 0;
    int depth = 0;
    bool ok = true;
};

quint32 word(const QByteArray &bytes, qint64 offset, bool swapped)
{
    const quint32 value = qFromLittleEndian<quint32>(bytes.constData() + offset);
    return swapped ? qbswap(value) : value;
}

// "nplurals=3; plural=(n==1 ? 0 : …);" from the header's line.
void readPluralForms(const QByteArray &header, QByteArray *rule, qulonglong *count)
{
    const QList<QByteArray> lines = header.split('\n');
    for (const QByteArray &line : lines) {
        if (!line.startsWith("Plural-Forms:")) {
            continue;
        }
        const QList<QByteArray> parts = line.mid(13).split(';');
        for (const QByteArray &untrimmed : parts) {
            const QByteArray part = untrimmed.trimmed();
            if (part.startsWith("nplurals=")) {
                *count = part.mid(9).trimmed().toULongLong();
            } else if (part.startsWith("plural=")) {
                *rule = part.mid(7).trimmed();
            }
        }
    }
}
}

std::optional<qulonglong> Catalogue::pluralForm(const QByteArray &rule, qulonglong number)
{
    return PluralRule(rule, number).evaluate();
}

std::shared_ptr<const Catalogue> Catalogue::read(const QString &file)
{
    QFile catalogue(file);
    if (!catalogue.open(QIODevice::ReadOnly) || catalogue.size() > largestCatalogue) {
        return nullptr;
    }
    return fromBytes(catalogue.readAll());
}

std::shared_ptr<const Catalogue> Catalogue::fromBytes(const QByteArray &bytes)
{
    if (bytes.size() < 28) {
        return nullptr;
    }
    const quint32 first = qFromLittleEndian<quint32>(bytes.constData());
    const bool swapped = first != magic;
    if (swapped && qbswap(first) != magic) {
        return nullptr;
    }
    const qint64 count = word(bytes, 8, swapped);
    const qint64 originals = word(bytes, 12, swapped);
    const qint64 translations = word(bytes, 16, swapped);
    const auto tableFits = [&bytes, count](qint64 table) {
        return table >= 0 && count <= (bytes.size() - table) / 8;
    };
    if (!tableFits(originals) || !tableFits(translations)) {
        return nullptr;
    }
    const auto string = [&bytes, swapped](qint64 table, qint64 index) -> std::optional<QByteArray> {
        const qint64 length = word(bytes, table + index * 8, swapped);
        const qint64 offset = word(bytes, table + index * 8 + 4, swapped);
        if (offset > bytes.size() || length > bytes.size() - offset) {
            return std::nullopt;
        }
        return bytes.mid(offset, length);
    };
    auto catalogue = std::make_shared<Catalogue>();
    for (qint64 i = 0; i < count; ++i) {
        const auto original = string(originals, i);
        const auto translation = string(translations, i);
        if (!original || !translation) {
            return nullptr;
        }
        // A plural message is keyed by its singular.
        const QByteArray key = original->left(original->indexOf('\0') >= 0 ? original->indexOf('\0') : original->size());
        if (key.isEmpty()) {
            readPluralForms(*translation, &catalogue->pluralRule, &catalogue->formCount);
            continue;
        }
        if (!translation->isEmpty()) {
            catalogue->translations.insert(key, *translation);
        }
    }
    return catalogue;
}

std::optional<QString> Catalogue::translation(const QByteArray &message) const
{
    const auto found = translations.constFind(message);
    if (found == translations.cend()) {
        return std::nullopt;
    }
    return QString::fromUtf8(found->left(found->indexOf('\0') >= 0 ? found->indexOf('\0') : found->size()));
}

std::optional<QString> Catalogue::pluralTranslation(const QByteArray &message, qulonglong number) const
{
    const auto found = translations.constFind(message);
    const std::optional<qulonglong> form = pluralForm(pluralRule, number);
    if (found == translations.cend() || !form || *form >= formCount) {
        return std::nullopt;
    }
    const QList<QByteArray> forms = found->split('\0');
    if (*form >= qulonglong(forms.size()) || forms.at(qsizetype(*form)).isEmpty()) {
        return std::nullopt;
    }
    return QString::fromUtf8(forms.at(qsizetype(*form)));
}
}
