// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

// The stand-in of the host framework: state overlay, message area and the
// mapping of the host's load and save onto access and change.
#include <securitykcmodule.h>

#include <KMessageWidget>

#if QT_VERSION_MAJOR >= 6
#include <kcmodulehost.h>
#endif

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

namespace
{
class RecordingModule : public KCMSS::SecurityKCModule
{
public:
    explicit RecordingModule(QWidget *parent = nullptr)
        : KCMSS::SecurityKCModule(QStringLiteral("test"), parent, {})
    {
        auto *layout = new QVBoxLayout(this);
        layout->addWidget(new QLabel(QStringLiteral("page"), this));
    }
    QStringList calls;
    void access() override
    {
        calls << QStringLiteral("access");
    }
    void change() override
    {
        calls << QStringLiteral("change");
    }
};
}

class HostFrameworkTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void loadAndSaveRunAccessAndChange()
    {
        RecordingModule module;
        QSignalSpy changed(&module, qOverload<bool>(&KCMLS::LumenKCModule::changed));
        module.load();
        module.save();
        QCOMPARE(module.calls, (QStringList{QStringLiteral("access"), QStringLiteral("change")}));
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.first().first().toBool(), false);
        QCOMPARE(module.componentName(), QStringLiteral("test"));
        QVERIFY(module.backButton() == nullptr);
        QVERIFY(module.buttons() & KCMLS::LumenKCModule::Apply);
    }

#if QT_VERSION_MAJOR >= 6
    // In the Frameworks 6 hosts the page reads once when first shown,
    // whether the host asks for a load before or while it shows it; later
    // loads are the host's Reset. The page's changed state is the host's.
    void frameworks6Host()
    {
        QWidget window;
        RecordingModule *page = nullptr;
        KCMLS::KCModuleHost host(&window, KPluginMetaData(), [&page](QWidget *parent) {
            page = new RecordingModule(parent);
            return page;
        });
        QCOMPARE(host.widget(), page);
        QCOMPARE(page->parentWidget(), &window);
        host.load();
        window.show();
        host.load();
        QTRY_COMPARE(page->calls, QStringList{QStringLiteral("access")});
        QTest::qWait(50);
        QCOMPARE(page->calls, QStringList{QStringLiteral("access")});
        host.load();
        host.save();
        QCOMPARE(page->calls, (QStringList{QStringLiteral("access"), QStringLiteral("access"), QStringLiteral("change")}));
        QVERIFY(!host.needsSave());
        page->markAsChanged();
        QVERIFY(host.needsSave());
    }
#endif

    void stateOverlay()
    {
        RecordingModule module;
        module.resize(400, 300);
        module.show();
        KCMLS::StateWidget *overlay = module.stateWidget();
        QSignalSpy authRequests(overlay, &KCMLS::StateWidget::authRequest);

        overlay->waitState(KCMLS::AuthorizationState);
        QVERIFY(overlay->isVisible());
        QCOMPARE(overlay->geometry(), module.rect());
        QVERIFY(overlay->authorizeButton()->isVisible());
        overlay->authorizeButton()->click();
        QCOMPARE(authRequests.count(), 1);

        overlay->waitState(KCMLS::ReadingState);
        QVERIFY(!overlay->authorizeButton()->isVisible());
        const QString readingText = overlay->text();
        overlay->waitState(KCMLS::SavingState);
        QVERIFY(overlay->text() != readingText);

        module.resize(500, 350);
        QCOMPARE(overlay->geometry(), module.rect());

        overlay->resetState();
        QVERIFY(!overlay->isVisible());
        QCOMPARE(overlay->state(), KCMLS::NoState);
    }

    void messageArea()
    {
        RecordingModule module;
        module.show();
        KCMLS::MessagesManager *messages = module.messagesManager();
        messages->newMessage(QStringLiteral("info"), KCMLS::InformationMessage, QString(), KCMLS::NoState);
        messages->newMessage(QStringLiteral("bad"), KCMLS::ErrorMessage, QStringLiteral("details"), KCMLS::NoState);
        QCOMPARE(messages->messages().size(), 2);
        QCOMPARE(messages->messages().at(0)->messageType(), KMessageWidget::Information);
        QCOMPARE(messages->messages().at(1)->messageType(), KMessageWidget::Error);
        QCOMPARE(messages->messages().at(1)->text(), QStringLiteral("bad<br>details"));
        // The area stands above the page's own content.
        QCOMPARE(static_cast<QBoxLayout *>(module.layout())->indexOf(messages), 0);
        QVERIFY(messages->isVisible());

        messages->clearMessages();
        QVERIFY(messages->messages().isEmpty());
        QVERIFY(!messages->isVisible());
    }
};

QTEST_MAIN(HostFrameworkTest)
#include "hostframeworktest.moc"
