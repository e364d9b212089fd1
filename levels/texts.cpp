// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "texts.h"

#include "catalogue.h"

#include <QFile>
#include <QHash>
#include <QMutex>
#include <QStandardPaths>

#include <memory>

namespace Mic::Texts
{
namespace
{
const char domain[] = TRANSLATION_DOMAIN;
constexpr qsizetype keptCatalogues = 64;

struct Languages {
    QMutex mutex;
    std::optional<QStringList> set;
    std::function<QStringList()> source;
    // Each language's catalogue once read; null for a language without one.
    QHash<QString, std::shared_ptr<const Catalogue>> catalogues;
};

Languages &state()
{
    static Languages languages;
    return languages;
}

// "de_DE.UTF-8@euro" as gettext looks it up: de_DE@euro, de_DE, de@euro, de.
void appendLocaleVariants(QStringList *languages, const QByteArray &locale)
{
    if (locale.isEmpty() || locale == "C" || locale == "POSIX" || locale.startsWith("C.")) {
        return;
    }
    QString name = QString::fromLatin1(locale);
    QString modifier;
    if (const int at = name.indexOf(QLatin1Char('@')); at >= 0) {
        modifier = name.mid(at);
        name.truncate(at);
    }
    name = name.section(QLatin1Char('.'), 0, 0);
    const QString language = name.section(QLatin1Char('_'), 0, 0);
    QStringList variants;
    if (!modifier.isEmpty()) {
        variants << name + modifier;
    }
    variants << name;
    if (language != name) {
        if (!modifier.isEmpty()) {
            variants << language + modifier;
        }
        variants << language;
    }
    for (const QString &variant : std::as_const(variants)) {
        if (!languages->contains(variant)) {
            languages->append(variant);
        }
    }
}

QStringList environmentLanguages()
{
    QStringList languages;
    const QList<QByteArray> listed = qgetenv("LANGUAGE").split(':');
    for (const QByteArray &language : listed) {
        appendLocaleVariants(&languages, language);
    }
    for (const char *variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        appendLocaleVariants(&languages, qgetenv(variable));
    }
    return languages;
}

// The catalogue of a language, found where KI18n finds it
// (locale/<language>/LC_MESSAGES/<domain>.mo in the data folders) and read
// once. Read here rather than through gettext, whose language comes from
// the environment: changing that for each look-up is not safe in the
// helper's threads, and unsettles KI18n's own look-ups in the page.
std::shared_ptr<const Catalogue> catalogueOf(const QString &language)
{
    Languages &languages = state();
    QMutexLocker locked(&languages.mutex);
    const auto known = languages.catalogues.constFind(language);
    if (known != languages.catalogues.cend()) {
        return *known;
    }
    std::shared_ptr<const Catalogue> catalogue;
    const QString file = QStandardPaths::locate(QStandardPaths::GenericDataLocation,
                                                QStringLiteral("locale/%1/LC_MESSAGES/%2.mo").arg(language, QString::fromLatin1(domain)));
    if (!file.isEmpty()) {
        catalogue = Catalogue::read(file);
    }
    // Callers name the languages: what is kept stays bounded.
    if (languages.catalogues.size() >= keptCatalogues) {
        languages.catalogues.clear();
    }
    languages.catalogues.insert(language, catalogue);
    return catalogue;
}

std::optional<QString> translated(const QString &language, const QByteArray &key, bool plural, qulonglong number)
{
    const std::shared_ptr<const Catalogue> catalogue = catalogueOf(language);
    if (!catalogue) {
        return std::nullopt;
    }
    return plural ? catalogue->pluralTranslation(key, number) : catalogue->translation(key);
}

// %1 … %99 replaced in one pass: a placeholder inside an argument stays.
QString substitute(const QString &text, const QStringList &arguments)
{
    QString result;
    result.reserve(text.size());
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c != QLatin1Char('%') || i + 1 >= text.size() || !text.at(i + 1).isDigit() || text.at(i + 1) == QLatin1Char('0')) {
            result.append(c);
            continue;
        }
        int end = i + 1;
        int index = 0;
        while (end < text.size() && text.at(end).isDigit() && end < i + 3) {
            index = index * 10 + text.at(end).digitValue();
            ++end;
        }
        if (index <= arguments.size()) {
            result.append(arguments.at(index - 1));
        } else {
            result.append(text.constData() + i, end - i);
        }
        i = end - 1;
    }
    return result;
}
}

LocalizedString::LocalizedString(const char *context, const char *singular, const char *plural)
    : context(context)
    , singular(singular)
    , plural(plural)
{
}

LocalizedString LocalizedString::with(const QString &argument) const
{
    LocalizedString text(*this);
    text.arguments.append(argument);
    return text;
}

LocalizedString LocalizedString::withNumber(const QString &argument, qulonglong value) const
{
    LocalizedString text = with(argument);
    if (!plural.isNull() && !number) {
        text.number = value;
    }
    return text;
}

bool LocalizedString::isEmpty() const
{
    return singular.isEmpty();
}

QString LocalizedString::toString() const
{
    return toString(languages());
}

QString LocalizedString::toString(const QStringList &languages) const
{
    // A text with a context is looked up as gettext stores it.
    const QByteArray key = context.isNull() ? singular : context + '\x04' + singular;
    const qulonglong count = number.value_or(0);
    for (const QString &language : languages) {
        if (const auto text = translated(language, key, !plural.isNull(), count)) {
            return substitute(*text, arguments);
        }
    }
    const bool singularForm = plural.isNull() || count == 1;
    return substitute(QString::fromUtf8(singularForm ? singular : plural), arguments);
}

QStringList LocalizedString::languages()
{
    Languages &languages = state();
    std::function<QStringList()> source;
    {
        QMutexLocker locked(&languages.mutex);
        if (languages.set) {
            return *languages.set;
        }
        source = languages.source;
    }
    QStringList list = source ? source() : environmentLanguages();
    if (!list.contains(QLatin1String("en_US"))) {
        list.append(QStringLiteral("en_US"));
    }
    return list;
}

void LocalizedString::setLanguages(const QStringList &list)
{
    Languages &languages = state();
    QMutexLocker locked(&languages.mutex);
    languages.set = list;
}

void LocalizedString::clearLanguages()
{
    Languages &languages = state();
    QMutexLocker locked(&languages.mutex);
    languages.set.reset();
}

void followLanguagesOf(const std::function<QStringList()> &source)
{
    Languages &languages = state();
    QMutexLocker locked(&languages.mutex);
    languages.source = source;
}
}
