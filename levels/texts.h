// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef MIC_TEXTS_H
#define MIC_TEXTS_H

#include "textlanguages.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <type_traits>

/*
 * The translated texts of the code the helper and micctl share with the
 * settings page: the calls of KDE's KI18n (i18n, i18nc, i18np, i18ncp and
 * their ki18n forms, KLocalizedString's subs, toString and languages), with
 * the same catalogue, the same choice of languages and the same look-up
 * through gettext, without KI18n's library, which brings QtQml and with it
 * graphics libraries onto a server. A file uses them with
 * `using namespace Mic::Texts;`. The settings page, which has KI18n, hands
 * its languages over (textlanguages.h), so that these texts follow
 * KLocalizedString::setLanguages there.
 */
namespace Mic::Texts
{
class LocalizedString
{
public:
    LocalizedString() = default;
    LocalizedString(const char *context, const char *singular, const char *plural);

    // The next placeholder (%1, %2, …) in order. The first whole number
    // given to a text with a plural form chooses the form.
    template<typename T>
    LocalizedString subs(const T &value) const
    {
        // Numbers in the default locale's form (QLocale::setDefault), as
        // KI18n writes them: 100,000 in English.
        if constexpr (std::is_integral_v<T> && std::is_signed_v<T>) {
            return withNumber(QStringLiteral("%L1").arg(qlonglong(value)), static_cast<qulonglong>(value < 0 ? -static_cast<qlonglong>(value) : value));
        } else if constexpr (std::is_integral_v<T> && !std::is_same_v<T, bool>) {
            return withNumber(QStringLiteral("%L1").arg(qulonglong(value)), static_cast<qulonglong>(value));
        } else if constexpr (std::is_floating_point_v<T>) {
            return with(QStringLiteral("%L1").arg(double(value)));
        } else if constexpr (std::is_same_v<T, LocalizedString>) {
            return with(value.toString());
        } else {
            return with(text(value));
        }
    }

    // In the languages in use, or in `languages`, the first that has the
    // text; English otherwise.
    QString toString() const;
    QString toString(const QStringList &languages) const;
    bool isEmpty() const;

    // The languages in use: those set, those of the settings page, or those
    // of the environment (LANGUAGE, then LC_ALL, LC_MESSAGES and LANG),
    // English last.
    static QStringList languages();
    static void setLanguages(const QStringList &languages);
    static void clearLanguages();

private:
    static QString text(const QString &value)
    {
        return value;
    }
    static QString text(QLatin1String value)
    {
        return QString(value);
    }
    static QString text(QChar value)
    {
        return QString(value);
    }
    static QString text(const char *value)
    {
        return QString::fromUtf8(value);
    }
    LocalizedString with(const QString &argument) const;
    LocalizedString withNumber(const QString &argument, qulonglong number) const;

    QByteArray context;
    QByteArray singular;
    QByteArray plural;
    QStringList arguments;
    std::optional<qulonglong> number;
};

// Under KI18n's name, so that the shared code reads as the rest.
using KLocalizedString = LocalizedString;

inline LocalizedString ki18n(const char *text)
{
    return LocalizedString(nullptr, text, nullptr);
}
inline LocalizedString ki18nc(const char *context, const char *text)
{
    return LocalizedString(context, text, nullptr);
}
inline LocalizedString ki18np(const char *singular, const char *plural)
{
    return LocalizedString(nullptr, singular, plural);
}
inline LocalizedString ki18ncp(const char *context, const char *singular, const char *plural)
{
    return LocalizedString(context, singular, plural);
}

template<typename... A>
QString substituted(LocalizedString text, const A &...arguments)
{
    ((text = text.subs(arguments)), ...);
    return text.toString();
}
template<typename... A>
QString i18n(const char *text, const A &...arguments)
{
    return substituted(ki18n(text), arguments...);
}
template<typename... A>
QString i18nc(const char *context, const char *text, const A &...arguments)
{
    return substituted(ki18nc(context, text), arguments...);
}
template<typename... A>
QString i18np(const char *singular, const char *plural, const A &...arguments)
{
    return substituted(ki18np(singular, plural), arguments...);
}
template<typename... A>
QString i18ncp(const char *context, const char *singular, const char *plural, const A &...arguments)
{
    return substituted(ki18ncp(context, singular, plural), arguments...);
}
}

#endif
