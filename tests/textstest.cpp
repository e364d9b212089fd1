// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

// The texts the helper and micctl share with the page say what KI18n says
// with the same catalogue and languages.
#include <catalogue.h>
#include <texts.h>

// KI18n's functions by their own names, not its macros of the domain.
#undef TRANSLATION_DOMAIN
#include <KLocalizedString>

#include <QFile>
#include <QLocale>
#include <QStandardPaths>
#include <QTest>

namespace
{
const char domain[] = "lumen_kcm_mic";

struct Sample {
    const char *context;
    const char *singular;
    const char *plural;
    QVariantList arguments;
};

// Texts of the catalogue: plain, with a context, with plural forms, with an
// argument that holds a placeholder, with fewer arguments than places.
const QList<Sample> &samples()
{
    static const QList<Sample> all{
        {nullptr, "The changes are too large to be sent at once (%1 MiB; the system bus carries at most about 32 MiB in one message). Apply them in smaller parts.", nullptr, {QStringLiteral("40.0")}},
        {"@item a user's new maximal level", "%1 to %2", nullptr, {QStringLiteral("%2 alice"), 7u}},
        {nullptr, "… and %1 more", "… and %1 more", {1}},
        {nullptr, "… and %1 more", "… and %1 more", {3}},
        {"@item a list and how many more it has", "%2 and %1 more", "%2 and %1 more", {1, QStringLiteral("a, b")}},
        {"@item a list and how many more it has", "%2 and %1 more", "%2 and %1 more", {12, QStringLiteral("a, b")}},
        {nullptr, "not in the catalogue: %1", "not in the catalogue: %1 of them", {2}},
        {nullptr, "--progress takes json, not %1", nullptr, {QStringLiteral("xml")}},
        {"@info:progress", "Labelling %2 of %1 object", "Labelling %2 of %1 objects", {100000, 2500}},
    };
    return all;
}

template<typename Text>
Text withArguments(Text text, const QVariantList &arguments)
{
    for (const QVariant &argument : arguments) {
        if (argument.userType() == QMetaType::Int) {
            text = text.subs(argument.toInt());
        } else if (argument.userType() == QMetaType::UInt) {
            text = text.subs(argument.toUInt());
        } else {
            text = text.subs(argument.toString());
        }
    }
    return text;
}

QString byKI18n(const Sample &sample, const QStringList &languages)
{
    KLocalizedString text = sample.plural ? (sample.context ? ki18ndcp(domain, sample.context, sample.singular, sample.plural)
                                                            : ki18ndp(domain, sample.singular, sample.plural))
                                          : (sample.context ? ki18ndc(domain, sample.context, sample.singular) : ki18nd(domain, sample.singular));
    return withArguments(text, sample.arguments).toString(languages);
}

QString byOurs(const Sample &sample, const QStringList &languages)
{
    const Mic::Texts::LocalizedString text(sample.context, sample.singular, sample.plural);
    return withArguments(text, sample.arguments).toString(languages);
}
}

class TextsTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(!QStandardPaths::locate(QStandardPaths::GenericDataLocation, QStringLiteral("locale/de/LC_MESSAGES/lumen_kcm_mic.mo")).isEmpty());
    }

    void sameAsKI18n_data()
    {
        QTest::addColumn<QStringList>("languages");
        QTest::newRow("German") << QStringList{QStringLiteral("de")};
        QTest::newRow("German of Austria, then German") << QStringList{QStringLiteral("de_AT"), QStringLiteral("de")};
        QTest::newRow("a language without a catalogue, then German") << QStringList{QStringLiteral("fr"), QStringLiteral("de")};
        QTest::newRow("English") << QStringList{QStringLiteral("en_US")};
    }

    void sameAsKI18n()
    {
        QFETCH(QStringList, languages);
        for (const Sample &sample : samples()) {
            QCOMPARE(byOurs(sample, languages), byKI18n(sample, languages));
        }
        // What the texts say, so that both agreeing on nothing fails too.
        if (languages.contains(QStringLiteral("de"))) {
            QCOMPARE(byOurs(samples().at(1), languages), QStringLiteral("%2 alice auf 7"));
            QCOMPARE(byOurs(samples().at(2), languages), QStringLiteral("… und 1 weiteres"));
            QCOMPARE(byOurs(samples().at(3), languages), QStringLiteral("… und 3 weitere"));
        }
    }

    // Numbers in the default locale's form, as KI18n writes them.
    void numbersInTheDefaultLocale()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        const Sample labelling = samples().last();
        QCOMPARE(byOurs(labelling, {QStringLiteral("en_US")}), byKI18n(labelling, {QStringLiteral("en_US")}));
        QVERIFY(byOurs(labelling, {QStringLiteral("en_US")}).contains(QStringLiteral("2,500 of 100,000")));
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QCOMPARE(byOurs(labelling, {QStringLiteral("de")}), byKI18n(labelling, {QStringLiteral("de")}));
        QVERIFY(byOurs(labelling, {QStringLiteral("de")}).contains(QStringLiteral("100.000")));
        QLocale::setDefault(QLocale::c());
    }

    // The plural rules of other languages, as gettext evaluates them.
    void pluralRules_data()
    {
        QTest::addColumn<QByteArray>("rule");
        QTest::addColumn<QList<qulonglong>>("numbers");
        QTest::addColumn<QList<qulonglong>>("forms");
        QTest::newRow("English") << QByteArray("(n != 1)") << QList<qulonglong>{0, 1, 2} << QList<qulonglong>{1, 0, 1};
        QTest::newRow("French") << QByteArray("(n > 1)") << QList<qulonglong>{0, 1, 2} << QList<qulonglong>{0, 0, 1};
        QTest::newRow("Polish") << QByteArray("(n==1 ? 0 : n%10>=2 && n%10<=4 && (n%100<10 || n%100>=20) ? 1 : 2)")
                                << QList<qulonglong>{1, 2, 5, 12, 22, 25, 104} << QList<qulonglong>{0, 1, 2, 2, 1, 2, 1};
        QTest::newRow("Russian") << QByteArray("(n%10==1 && n%100!=11 ? 0 : n%10>=2 && n%10<=4 && (n%100<10 || n%100>=20) ? 1 : 2)")
                                 << QList<qulonglong>{1, 11, 21, 3, 13, 100} << QList<qulonglong>{0, 2, 0, 1, 2, 2};
        QTest::newRow("Irish") << QByteArray("n==1 ? 0 : n==2 ? 1 : (n>2 && n<7) ? 2 :(n>6 && n<11) ? 3 : 4")
                               << QList<qulonglong>{1, 2, 5, 9, 30} << QList<qulonglong>{0, 1, 2, 3, 4};
        QTest::newRow("one form") << QByteArray("0") << QList<qulonglong>{0, 1, 7} << QList<qulonglong>{0, 0, 0};
    }

    void pluralRules()
    {
        QFETCH(QByteArray, rule);
        QFETCH(QList<qulonglong>, numbers);
        QFETCH(QList<qulonglong>, forms);
        for (int i = 0; i < numbers.size(); ++i) {
            QCOMPARE(Mic::Texts::Catalogue::pluralForm(rule, numbers.at(i)), std::optional<qulonglong>(forms.at(i)));
        }
    }

    // A rule that does not parse, or divides by zero, chooses no form; bytes
    // that are no catalogue, or claim more than they hold, give none.
    void damagedRulesAndCatalogues()
    {
        const QByteArray deep = QByteArray(100000, '(') + 'n' + QByteArray(100000, ')');
        const QByteArray negated = QByteArray(100000, '!') + 'n';
        for (const QByteArray &rule : {QByteArray("n %"), QByteArray("(n == 1"), QByteArray("n / 0"), QByteArray("x"), QByteArray("n ? 1"), deep, negated}) {
            QCOMPARE(Mic::Texts::Catalogue::pluralForm(rule, 3), std::nullopt);
        }
        QFile file(QStandardPaths::locate(QStandardPaths::GenericDataLocation, QStringLiteral("locale/de/LC_MESSAGES/lumen_kcm_mic.mo")));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QVERIFY(Mic::Texts::Catalogue::fromBytes(bytes));
        QVERIFY(!Mic::Texts::Catalogue::fromBytes(bytes.left(20)));
        QVERIFY(!Mic::Texts::Catalogue::fromBytes(bytes.left(bytes.size() / 2)));
        QByteArray claimsMore = bytes;
        claimsMore[8] = char(0xff);
        claimsMore[9] = char(0xff);
        claimsMore[10] = char(0xff);
        QVERIFY(!Mic::Texts::Catalogue::fromBytes(claimsMore));
        QVERIFY(!Mic::Texts::Catalogue::fromBytes(QByteArray(64, 'x')));
    }

    // The languages in use: those set; else those the page hands over; else
    // the environment's, as gettext reads it; English last.
    void languagesInUse()
    {
        using Mic::Texts::LocalizedString;
        qputenv("LANGUAGE", "");
        qputenv("LC_ALL", "");
        qputenv("LC_MESSAGES", "");
        qputenv("LANG", "de_AT.UTF-8");
        QCOMPARE(LocalizedString::languages(), (QStringList{QStringLiteral("de_AT"), QStringLiteral("de"), QStringLiteral("en_US")}));
        qputenv("LANGUAGE", "pt_BR:de");
        QCOMPARE(LocalizedString::languages().mid(0, 3), (QStringList{QStringLiteral("pt_BR"), QStringLiteral("pt"), QStringLiteral("de")}));

        Mic::Texts::followLanguagesOf([] {
            return QStringList{QStringLiteral("de")};
        });
        QCOMPARE(LocalizedString::languages(), (QStringList{QStringLiteral("de"), QStringLiteral("en_US")}));
        LocalizedString::setLanguages({QStringLiteral("en_US")});
        QCOMPARE(LocalizedString::languages(), QStringList{QStringLiteral("en_US")});
        LocalizedString::clearLanguages();
        QCOMPARE(LocalizedString::languages().constFirst(), QStringLiteral("de"));
        Mic::Texts::followLanguagesOf({});
    }
};

QTEST_GUILESS_MAIN(TextsTest)

#include "textstest.moc"
