// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

// The built plugin as the hosts load it.
#include <KCModule>
#include <KLocalizedString>
#include <KPluginFactory>

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
        QVERIFY(german.load(QStringLiteral("qtbase_de"), QLibraryInfo::location(QLibraryInfo::TranslationsPath)));
        QCOMPARE(QCoreApplication::translate("QFileSystemModel", "Size"), QStringLiteral("Size"));

        QPluginLoader loader(QStringLiteral(MIC_PLUGIN_PATH));
        QVERIFY2(loader.instance(), qPrintable(loader.errorString()));
        QCOMPARE(QCoreApplication::translate("QFileSystemModel", "Size"), german.translate("QFileSystemModel", "Size"));
        KLocalizedString::clearLanguages();
    }

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
};

QTEST_MAIN(PluginLoadingTest)
#include "pluginloadingtest.moc"
