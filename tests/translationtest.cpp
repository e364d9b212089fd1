// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

// The German catalogue as the user meets it: the forms and the code of the
// general and expert pages, the level dialog, and the error texts that the
// helper builds in the caller's language.
#include "staterootfixture.h"

#include <changehistory.h>
#include <changerecords.h>
#include <changerequest.h>
#include <constants.h>
#include <expertmodewidget.h>
#include <fsilevconfig.h>
#include <historymodel.h>
#include <ilevelselectdialog.h>
#include <micmanagementmodule.h>
#include <qttranslations.h>

#include <KLocalizedString>

#include <QCheckBox>
#include <QComboBox>
#include <QFileSystemModel>
#include <QJsonDocument>
#include <QJsonObject>
#include <QHeaderView>
#include <QLabel>
#include <QLibraryInfo>
#include <QPushButton>
#include <QStandardPaths>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTest>
#include <QTranslator>
#include <QTreeView>

namespace
{
// Counts the catalogues installed into the application: each one changes
// its language.
class LanguageChanges : public QObject
{
public:
    int count = 0;

    LanguageChanges()
    {
        QCoreApplication::instance()->installEventFilter(this);
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == QCoreApplication::instance() && event->type() == QEvent::LanguageChange) {
            ++count;
        }
        return false;
    }
};
}

class TranslationTest : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir users;
    std::unique_ptr<StateRootFixture> state;

    template<typename T>
    static T *child(QObject *parent, const char *name)
    {
        T *widget = parent->findChild<T *>(QLatin1String(name));
        if (!widget) {
            qFatal("no %s", name);
        }
        return widget;
    }

private Q_SLOTS:
    void initTestCase()
    {
        const QString catalogue = QStandardPaths::locate(QStandardPaths::GenericDataLocation, QStringLiteral("locale/de/LC_MESSAGES/lumen_kcm_mic.mo"));
        QVERIFY2(!catalogue.isEmpty(), qPrintable(QStringLiteral("no German catalogue below XDG_DATA_DIRS=") + qEnvironmentVariable("XDG_DATA_DIRS")));
        QVERIFY(KLocalizedString::availableDomainTranslations("lumen_kcm_mic").contains(QStringLiteral("de")));
        // What the module sends the helper as the user's languages.
        KLocalizedString::setLanguages({QStringLiteral("de")});

        QFile passwd(users.filePath(QStringLiteral("passwd")));
        QVERIFY(passwd.open(QIODevice::WriteOnly));
        passwd.write("root:x:0:0:root:/root:/bin/bash\nalice:x:1000:1000:Alice:/home/alice:/bin/bash\n");
        passwd.close();
        qputenv("USERLIST_PASSWD_FILE", QFile::encodeName(passwd.fileName()));
        qputenv("USERLIST_LOGIN_DEFS", "/nonexistent");

        state = std::make_unique<StateRootFixture>();
        state->writeCatalogue("0 7 15 31 63", "level.0 = Low\nlevel.63 = High\n", 63);
    }

    void cleanupTestCase()
    {
        state.reset();
    }

    void generalPage()
    {
        MicManagementModule module(nullptr, QVariantList());
        QWidget *page = child<QWidget>(&module, "generalMode");
        QCOMPARE(child<QCheckBox>(page, "enableMicCheckBox")->text(), QStringLiteral("MIC aktivieren"));
        QCOMPARE(child<QComboBox>(page, "userFilterComboBox")->itemText(0), QStringLiteral("Alle"));

        module.setData(QVariantMap{{QStringLiteral("micStatus"), 4}, {QStringLiteral("micFsStatus"), 3}});
        // The markup of the rich texts survives the translation.
        QCOMPARE(child<QLabel>(page, "micStatusMessageLabel")->text(), QStringLiteral("Das MIC-Subsystem ist <b>deaktiviert</b>."));
        QCOMPARE(child<QLabel>(page, "fileSystemMessageLabel")->text(),
                 QStringLiteral("Das Dateisystem ist <b>teilweise geschützt</b>. Einige Dateien haben eine niedrigere Integritätsstufe als vorgesehen."));
        // The placeholder of the forms is no text to translate.
        QCOMPARE(child<QLabel>(page, "servicesMessageLabel")->text(), QStringLiteral("..."));

        const QAbstractItemModel *table = child<QTreeView>(page, "usersTreeView")->model();
        QCOMPARE(table->headerData(table->columnCount() - 1, Qt::Horizontal).toString(), QStringLiteral("Maximale Stufe"));
        QCOMPARE(table->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Benutzer"));
        QCOMPARE(table->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Vollständiger Name"));
    }

    void expertPage()
    {
        ExpertModeWidget page(nullptr, nullptr);
        QTabWidget *tabs = child<QTabWidget>(&page, "tabWidgetExpert");
        QCOMPARE(tabs->tabText(1), QStringLiteral("Dienste"));
        QCOMPARE(child<QTabWidget>(&page, "tabWidgetFs")->tabText(2), QStringLiteral("Ausnahmen"));
        QComboBox *levels = child<QComboBox>(&page, "comboBoxLevel");
        QCOMPARE(levels->itemText(levels->count() - 1), QStringLiteral("<Andere>"));
        // The keys of the table buttons are the same in every language.
        QCOMPARE(child<QPushButton>(&page, "pushButtonAdd")->shortcut(), QKeySequence(Qt::Key_Plus));
    }

    // Qt's own texts and formats on the page, in the words of the system's
    // Qt catalogue.
    void levelTree()
    {
        QTranslator qtCatalogue;
#if QT_VERSION_MAJOR >= 6
        QVERIFY(qtCatalogue.load(QStringLiteral("qtbase_de"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)));
#else
        QVERIFY(qtCatalogue.load(QStringLiteral("qtbase_de"), QLibraryInfo::location(QLibraryInfo::TranslationsPath)));
#endif
        MicManagementModule module(nullptr, QVariantList());
        auto *tree = qobject_cast<QFileSystemModel *>(child<QTreeView>(&module, "treeViewMic")->model());
        QVERIFY(tree);
        const char *headers[] = {"Name", "Size", "Type", "Date Modified"};
        for (int section = 1; section <= 3; ++section) {
            const QString german = qtCatalogue.translate("QFileSystemModel", headers[section]);
            QVERIFY2(!german.isEmpty(), headers[section]);
            QCOMPARE(tree->headerData(section, Qt::Horizontal).toString(), german);
        }
        // This machine's C locale has no formats of its own: the page's language gives them.
        const QModelIndex modified = tree->index(QCoreApplication::applicationFilePath(), 3);
        QCOMPARE(modified.data().toString(), QLocale(QStringLiteral("de")).toString(tree->lastModified(modified), QLocale::ShortFormat));
    }

    // The history in the reader's language: each summary from what its entry
    // records of the change, not from the English words the helper keeps
    // for the system log (an older entry without that record keeps its
    // words); outcomes and times as the page's language has them.
    void history()
    {
        MicManagementModule module(nullptr, QVariantList());
        ChangeRequest request;
        request.mic = Mic::Settings::Status::Enabled;
        request.userLevels = QHash<QString, unsigned int>{{QStringLiteral("alice"), 7}, {QStringLiteral("bob"), 3}};
        for (int user = 0; user < 5; ++user) {
            request.userLevels->insert(QStringLiteral("user%1").arg(user), 15);
        }
        request.ruleChanges = QHash<QString, QString>{{QStringLiteral("/a"), QStringLiteral("7")}, {QStringLiteral("/b"), Mic::noLevelString}};
        HistoryEntry recorded;
        recorded.time = QDateTime(QDate(2026, 12, 9), QTime(17, 29), Qt::UTC);
        recorded.outcome = QStringLiteral("applied");
        recorded.describe(ChangeHistory::changesOf(request));
        QCOMPARE(recorded.summary,
                 QStringLiteral("MIC on at next boot; maximal level of 7 users: alice to 7, bob to 3, user0 to 15, user1 to 15, user2 to 15 and 2 more; "
                                "rules: 1 set, 1 removed"));
        // As the history's file and the reply carry it.
        const auto entry = HistoryEntry::fromMap(QJsonDocument::fromJson(QJsonDocument(QJsonObject::fromVariantMap(recorded.toMap())).toJson()).object().toVariantMap());
        QVERIFY(entry);
        // An entry of a history written before changes were recorded.
        QJsonObject olderLine = QJsonObject::fromVariantMap(recorded.toMap());
        olderLine.remove(Mic::HistoryChanges::key);
        const auto olderEntry = HistoryEntry::fromMap(olderLine.toVariantMap());
        QVERIFY(olderEntry);
        const QVariantMap older = olderEntry->toMap();

        HistoryModel model;
        model.setEntries({entry->toMap(), older});
        QCOMPARE(model.index(0, HistoryModel::SummaryColumn).data().toString(),
                 QStringLiteral("MIC beim nächsten Start an; maximale Stufe von 7 Benutzern: alice auf 7, bob auf 3, user0 auf 15, user1 auf 15, "
                                "user2 auf 15 und 2 weitere; Regeln: 1 gesetzt, 1 entfernt"));
        QCOMPARE(model.index(1, HistoryModel::SummaryColumn).data().toString(), recorded.summary);
        QCOMPARE(model.index(0, HistoryModel::OutcomeColumn).data().toString(), QStringLiteral("Angewandt"));
        QCOMPARE(model.index(0, HistoryModel::TimeColumn).data().toString(), QLocale(QStringLiteral("de")).toString(recorded.time.toLocalTime(), QLocale::ShortFormat));

        const QVariantMap refused = ChangeHistory::changesOfRefused({{Mic::Settings::rulesKey, 1}, {Mic::Settings::micStatusKey, 1}});
        QCOMPARE(Mic::changeSummaryText(refused), QStringLiteral("Änderung erbeten: MIC beim nächsten Start, Regeln"));
        QCOMPARE(Mic::changeSummaryText(refused, {QStringLiteral("en_US")}), QStringLiteral("asked to change: MIC at next boot, rules"));
    }

    // The hosts size their window by the general page: the expert page, with
    // the longer German texts, fits it without scrolling sideways, and the
    // users' table shows its titles whole.
    void expertPageFitsTheGeneralPagesWidth()
    {
        MicManagementModule module(nullptr, QVariantList());
        const int width = module.sizeHint().width();
        module.resize(module.sizeHint());
        module.show();
        QVERIFY(QTest::qWaitForWindowExposed(&module));
        auto *users = module.findChild<QTreeView *>(QStringLiteral("usersTreeView"));
        for (int column = 0; column < users->header()->count(); ++column) {
            QVERIFY2(users->header()->sectionSize(column) >= users->header()->sectionSizeHint(column),
                     qPrintable(users->model()->headerData(column, Qt::Horizontal).toString()));
        }
        module.findChild<QStackedWidget *>(QStringLiteral("stackedWidget"))->setCurrentIndex(1);
        QVERIFY2(module.minimumSizeHint().width() <= width, qPrintable(QStringLiteral("%1 > %2").arg(module.minimumSizeHint().width()).arg(width)));
    }

    void qtCatalogueOnce()
    {
        // Here the application loaded Qt's German catalogue as it started, as
        // the hosts do: the module adds no second one.
        LanguageChanges changes;
        Mic::installQtTranslations();
        QCOMPARE(changes.count, 0);
    }

    void levelDialog()
    {
        ILevelSelectDialog dialog(nullptr);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Integritätsstufe des Benutzers auswählen"));
    }

    void helperRequestError()
    {
        QString error;
        QVERIFY(!ChangeRequest::parse(QVariantMap{{QStringLiteral("micStatus"), QStringLiteral("x")}}, {}, &error));
        QCOMPARE(error, QStringLiteral("„x“ ist kein Zustand der Integritätskontrolle, der gesetzt werden kann."));
    }

    void helperConfigurationError()
    {
        // The fault within the line is translated as well as the line number.
        QString error;
        QVERIFY(!FsIlevConfig::parse("# rules\nhigh /etc\nhihg /usr\n", &error));
        QCOMPARE(error, QStringLiteral("Zeile 3: ungültige Stufenangabe „hihg“"));
        QVERIFY(!FsIlevConfig::parse("high usr\n", &error));
        QCOMPARE(error, QStringLiteral("Zeile 1: relativer Pfad „usr“"));
    }

    void pluralForms()
    {
        // The catalogue's plural rule: German has one form for 1, one for the rest.
        QCOMPARE(i18np(" and %1 more", " and %1 more", 1), QStringLiteral(" und 1 weiteres"));
        QCOMPARE(i18np(" and %1 more", " and %1 more", 2), QStringLiteral(" und 2 weitere"));
        QCOMPARE(i18np(" and %1 more", " and %1 more", 0), QStringLiteral(" und 0 weitere"));
    }
};

QTEST_MAIN(TranslationTest)

#include "translationtest.moc"
