// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

// The built plugin as the hosts load it.
#include <KCModule>
#include <KLocalizedString>
#include <KPluginFactory>

#if QT_VERSION_MAJOR >= 6
#include <QFileInfo>
#include <QPointer>
#include <QUrl>

#include <memory>
#endif

#include <QLibrary>
#include <QLibraryInfo>
#include <QPluginLoader>
#include <QTest>
#include <QTranslator>

class PluginLoadingTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // Runs before any other slot loads the plugin: its factory, which loads
    // Qt's catalogue, is made once per process.
    void qtCatalogueOfThePagesLanguage()
    {
        // The process started in English; the page speaks German.
        KLocalizedString::setLanguages({QStringLiteral("de")});
        QTranslator german;
#if QT_VERSION_MAJOR >= 6
        QVERIFY(german.load(QStringLiteral("qtbase_de"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)));
#else
        QVERIFY(german.load(QStringLiteral("qtbase_de"), QLibraryInfo::location(QLibraryInfo::TranslationsPath)));
#endif
        QCOMPARE(QCoreApplication::translate("QFileSystemModel", "Size"), QStringLiteral("Size"));

        QPluginLoader loader(QStringLiteral(MIC_PLUGIN_PATH));
        QVERIFY2(loader.instance(), qPrintable(loader.errorString()));
        QCOMPARE(QCoreApplication::translate("QFileSystemModel", "Size"), german.translate("QFileSystemModel", "Size"));
        KLocalizedString::clearLanguages();
    }

#if QT_VERSION_MAJOR >= 6
    // The Frameworks 6 hosts find the module by its id among the plugins of
    // System Settings, and read its name, category and guide from it.
    void metadata()
    {
        QCoreApplication::addLibraryPath(QFileInfo(QStringLiteral(MIC_PLUGIN_PATH)).path() + QStringLiteral("/../../.."));
        const KPluginMetaData found = KPluginMetaData::findPluginById(QStringLiteral("plasma/kcms/systemsettings_qwidgets"), QStringLiteral("lumen_kcm_mic"));
        QVERIFY(found.isValid());
        QCOMPARE(QFileInfo(found.fileName()).canonicalFilePath(), QFileInfo(QStringLiteral(MIC_PLUGIN_PATH)).canonicalFilePath());
        QCOMPARE(found.name(), QStringLiteral("Integrity Control"));
        QCOMPARE(found.iconName(), QStringLiteral("security-high"));
        QCOMPARE(found.value(QStringLiteral("X-KDE-System-Settings-Parent-Category")), QStringLiteral("system-administration"));
        // The hosts hand help:/ and the path to KDE's help centre, which
        // finds it among the handbooks.
        const QString guide = found.value(QStringLiteral("X-DocPath"));
        QCOMPARE(guide, QStringLiteral("lumen-kcm-mic/index.html"));
        const QString buildTree = QFileInfo(QStringLiteral(MIC_PLUGIN_PATH)).path() + QStringLiteral("/../../../..");
        QVERIFY2(QFileInfo::exists(buildTree + QStringLiteral("/share/doc/HTML/en/") + guide), qPrintable(buildTree));
    }

    void factoryCreatesTheModule()
    {
        const KPluginMetaData data(QStringLiteral(MIC_PLUGIN_PATH));
        QWidget parent;
        auto made = KPluginFactory::instantiatePlugin<KCModule>(data, &parent);
        QVERIFY2(made.plugin, qPrintable(made.errorText));
        std::unique_ptr<KCModule> module(made.plugin);
        QWidget *page = module->widget();
        QVERIFY(page);
        QCOMPARE(page->parentWidget(), &parent);
        QVERIFY(page->inherits("MicManagementModule"));
        QVERIFY(page->inherits("KCMSS::SecurityKCModule"));
        QVERIFY(page->inherits("KCMLS::LumenKCModule"));
        QVERIFY(module->buttons() & KCModule::Help);
        QVERIFY(module->buttons() & KCModule::Apply);

        // The page's changed state is the host's. (The page's classes are
        // the plugin's own copies: reached by name.)
        QVERIFY(!module->needsSave());
        QVERIFY(QMetaObject::invokeMethod(page, "changed", Q_ARG(bool, true)));
        QVERIFY(module->needsSave());
        QVERIFY(QMetaObject::invokeMethod(page, "changed", Q_ARG(bool, false)));
        QVERIFY(!module->needsSave());

        // A host without a parent widget: the module owns its page.
        auto orphan = KPluginFactory::instantiatePlugin<KCModule>(data, nullptr);
        QVERIFY(orphan.plugin);
        QPointer<QWidget> orphanPage = orphan.plugin->widget();
        QVERIFY(orphanPage && !orphanPage->parentWidget());
        delete orphan.plugin;
        QVERIFY(!orphanPage);
    }
#else
    void metadata()
    {
        QPluginLoader loader(QStringLiteral(MIC_PLUGIN_PATH));
        const QJsonObject metaData = loader.metaData();
        QCOMPARE(metaData.value(QStringLiteral("IID")).toString(), QStringLiteral("org.kde.KPluginFactory"));
        QCOMPARE(metaData.value(QStringLiteral("className")).toString(), QStringLiteral("MicManagementFactory"));
        QVERIFY(!metaData.contains(QStringLiteral("MetaData")));
    }

    void factoryCreatesTheModule()
    {
        QPluginLoader loader(QStringLiteral(MIC_PLUGIN_PATH));
        QObject *instance = loader.instance();
        QVERIFY2(instance, qPrintable(loader.errorString()));
        QVERIFY(instance->inherits("MicManagementFactory"));
        auto *factory = qobject_cast<KPluginFactory *>(instance);
        QVERIFY(factory);
        QCOMPARE(loader.instance(), instance); // one factory per process
        QLibrary library(QStringLiteral(MIC_PLUGIN_PATH));
        using InstanceFunction = QObject *(*)();
        const auto pluginInstance = reinterpret_cast<InstanceFunction>(library.resolve("qt_plugin_instance"));
        QVERIFY(pluginInstance);
        QCOMPARE(pluginInstance(), instance);
        QCOMPARE(pluginInstance(), instance);

        QWidget parent;
        KCModule *module = factory->create<KCModule>(&parent, QVariantList());
        QVERIFY(module);
        QCOMPARE(module->parentWidget(), &parent);
        QVERIFY(module->inherits("MicManagementModule"));
        QVERIFY(module->inherits("KCMSS::SecurityKCModule"));
        QVERIFY(module->inherits("KCMLS::LumenKCModule"));

        KCModule *orphan = factory->create<KCModule>(nullptr, QVariantList());
        QVERIFY(orphan);
        QVERIFY(orphan->parentWidget() == nullptr);
        delete orphan;
    }
#endif
};

QTEST_MAIN(PluginLoadingTest)
#include "pluginloadingtest.moc"
