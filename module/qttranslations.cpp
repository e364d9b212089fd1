// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "qttranslations.h"

#include <KLocalizedString>

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <memory>

namespace
{
// Qt's texts are written in English.
bool isQtsOwnLanguage(const QString &language)
{
    return language == QLatin1String("C") || language == QLatin1String("en") || language.startsWith(QLatin1String("en_"));
}

// Qt's catalogue for the first of the page's languages that has one, unless
// English comes first.
std::unique_ptr<QTranslator> loadQtCatalogue()
{
#if QT_VERSION_MAJOR >= 6
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
#else
    const QString folder = QLibraryInfo::location(QLibraryInfo::TranslationsPath);
#endif
    const QStringList languages = KLocalizedString::languages();
    for (const QString &language : languages) {
        if (isQtsOwnLanguage(language)) {
            break;
        }
        auto translator = std::make_unique<QTranslator>();
        if (translator->load(QStringLiteral("qtbase_") + language, folder)) {
            return translator;
        }
    }
    return nullptr;
}

// Whether the application already has a catalogue that translates as this
// one does. A text the page shows stands for the whole catalogue.
bool alreadyTranslated(const QTranslator &catalogue)
{
    const char *context = "QFileSystemModel";
    const char *text = "Size";
    return QCoreApplication::translate(context, text) == catalogue.translate(context, text);
}
}

void Mic::installQtTranslations()
{
    QCoreApplication *application = QCoreApplication::instance();
    if (!application) {
        return;
    }
    std::unique_ptr<QTranslator> catalogue = loadQtCatalogue();
    if (!catalogue || alreadyTranslated(*catalogue)) {
        return;
    }
    // Kept by the application: the plugin may be unloaded before it ends.
    catalogue->setParent(application);
    QCoreApplication::installTranslator(catalogue.release());
}
