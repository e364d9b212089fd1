// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

// The module reading the state from the real helper over the system bus.
#include "helperfixture.h"
#include "modaldialoganswerer.h"

#include <micmanagementmodule.h>

#include <KBusyIndicatorWidget>
#include <KMessageWidget>

#include <QCheckBox>
#include <QComboBox>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QPushButton>
#include <QUrl>
#include <QAction>
#include <QProcess>
#include <QSignalSpy>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QLabel>
#include <QListView>
#include <QTest>
#include <QToolButton>
#include <QTableView>
#include <QTreeView>

using namespace HelperFixture;

namespace
{
// Records what the state overlay shows each time it appears or goes.
class OverlayRecorder : public QObject
{
public:
    explicit OverlayRecorder(KCMLS::StateWidget *overlay)
        : overlay(overlay)
    {
        overlay->installEventFilter(this);
    }
    QList<int> states;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::ShowToParent || event->type() == QEvent::HideToParent) {
            states.append(event->type() == QEvent::HideToParent ? 0 : overlay->state());
        }
        return false;
    }

private:
    KCMLS::StateWidget *overlay;
};

// Records whether the page was seen loading before it was seen done.
class LoadingRecorder : public QObject
{
public:
    explicit LoadingRecorder(QWidget *busyIndicator)
    {
        busyIndicator->installEventFilter(this);
    }
    QList<bool> shown;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::ShowToParent || event->type() == QEvent::HideToParent) {
            shown.append(event->type() == QEvent::ShowToParent);
        }
        return false;
    }
};
}

// Takes the place of the desktop's handler of local files.
class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> opened;
public Q_SLOTS:
    void open(const QUrl &url)
    {
        opened.append(url);
    }
};

class ReadFlowTest : public QObject
{
    Q_OBJECT
private:
    template<typename T>
    static T *child(MicManagementModule &module, const char *name)
    {
        return module.findChild<QWidget *>(QStringLiteral("generalMode"))->template findChild<T *>(QLatin1String(name));
    }

    static QString fsText(MicManagementModule &module)
    {
        return child<QLabel>(module, "fileSystemMessageLabel")->text();
    }

    static void waitForRead(MicManagementModule &module)
    {
        QTRY_VERIFY_WITH_TIMEOUT(!module.isReading(), 30000);
        QTRY_COMPARE(module.stateWidget()->state(), KCMLS::NoState);
    }

private Q_SLOTS:
    void init()
    {
        laySampleSystem();
    }

    // kcmshell5 sizes its window once, from the room the page asks for
    // before its first read: what the read shows must fit in it.
    void firstReadFitsTheRoomAskedBefore()
    {
        MicManagementModule module(nullptr, {});
        module.ensurePolished();
        const int width = module.sizeHint().width();
        const int asked = module.heightForWidth(width);
        module.resize(width, asked);
        module.show();
        module.access();
        waitForRead(module);
        QCoreApplication::processEvents();
        QVERIFY(!child<QToolButton>(module, "showUnprotectedFilesButton")->isHidden()); // partly protected: all a read shows
        const int needed = module.heightForWidth(width);
        QVERIFY2(needed <= asked, qPrintable(QStringLiteral("asked for %1, needs %2").arg(asked).arg(needed)));
    }

    void readShowsTheState()
    {
        MicManagementModule module(nullptr, {});
        OverlayRecorder overlay(module.stateWidget());
        LoadingRecorder loading(child<KBusyIndicatorWidget>(module, "protectFsBusyIndicatorWidget"));
        module.messagesManager()->newMessage(QStringLiteral("old"), KCMLS::WarningMessage, QString(), KCMLS::NoState);
        QSignalSpy ruleResets(module.findChild<QTableView *>(QStringLiteral("tableViewFs"))->model(), &QAbstractItemModel::modelReset);

        module.access();
        QCOMPARE(module.stateWidget()->state(), KCMLS::ReadingState);
        waitForRead(module);

        const auto messages = module.messagesManager()->messages();
        QVERIFY2(messages.isEmpty(), messages.isEmpty() ? "" : qPrintable(messages.first()->text()));
        QVERIFY(!overlay.states.isEmpty());
        QCOMPARE(overlay.states.first(), int(KCMLS::ReadingState));
        QCOMPARE(overlay.states.last(), 0);
        QVERIFY(!overlay.states.contains(int(KCMLS::AuthorizationState))); // root needs no authorization
        QVERIFY(module.messagesManager()->messages().isEmpty());
        QCOMPARE(loading.shown.first(), true); // the intermediate map came first
        QCOMPARE(ruleResets.count(), 1); // the rules come for the reply alone: one reset
        QCOMPARE(loading.shown.last(), false);

        QCOMPARE(child<QLabel>(module, "micStatusMessageLabel")->text(), QStringLiteral("MIC subsystem is <b>enabled</b>."));
        QCOMPARE(fsText(module), QStringLiteral("Filesystem is <b>partly protected</b>. Some files have lower integrity than they should be."));
        QVERIFY(child<QCheckBox>(module, "enableMicCheckBox")->isChecked());
        QCOMPARE(child<QCheckBox>(module, "protectFsCheckBox")->checkState(), Qt::PartiallyChecked);
        QCOMPARE(child<QCheckBox>(module, "servicesIsolatedCheckBox")->checkState(), Qt::PartiallyChecked);
        QCOMPARE(child<QListView>(module, "unprotectedFilesListWidget")->model()->rowCount(), 1);
        QCOMPARE(child<QLabel>(module, "micLevelsLabel")->text(), QStringLiteral("Available integrity levels: <b>0</b>, <b>63 - High</b>"));

        // Users with their levels: root at 63, nobody (a junk entry) at 0.
        auto *users = child<QTreeView>(module, "usersTreeView");
        child<QComboBox>(module, "userFilterComboBox")->setCurrentIndex(0);
        QAbstractItemModel *table = users->model();
        QHash<QString, QString> levels;
        for (int row = 0; row < table->rowCount(); ++row) {
            levels.insert(table->index(row, 0).data().toString(), table->index(row, table->columnCount() - 1).data().toString());
        }
        QCOMPARE(levels.value(QStringLiteral("root")), QStringLiteral("63 - High"));
        QCOMPARE(levels.value(QStringLiteral("nobody")), QStringLiteral("0"));
        QCOMPARE(table->index(0, table->columnCount() - 2).data().toString(), QStringLiteral("0"));
    }

    void secondReadWhileReading()
    {
        MicManagementModule module(nullptr, {});
        module.access();
        module.access(); // the host asks again before the first read ended
        waitForRead(module);
        QVERIFY(module.messagesManager()->messages().isEmpty());

        // Nothing is left behind: the next read runs, and so do calls that
        // follow it.
        module.access();
        QCOMPARE(module.stateWidget()->state(), KCMLS::ReadingState);
        waitForRead(module);
        QCOMPARE(execute(QStringLiteral("access"), {}, 20000).error, 0);
    }

    void failedReadShowsTheErrorAndForgetsTheUser()
    {
        writeRootFile(QStringLiteral("etc/kestrel/fs-ilev.conf"), "high /usr\nbad line\n");
        MicManagementModule module(nullptr, {});
        auto *users = child<QTreeView>(module, "usersTreeView");
        module.selectUser(QStringLiteral("root"));
        module.access();
        waitForRead(module);
        QCOMPARE(module.messagesManager()->messages().size(), 1);
        const KMessageWidget *message = module.messagesManager()->messages().first();
        QCOMPARE(message->messageType(), KMessageWidget::Error);
        QVERIFY2(message->text().contains(QStringLiteral("line 2")), qPrintable(message->text()));
        QCOMPARE(module.stateWidget()->state(), KCMLS::NoState);

        laySampleSystem();
        module.access();
        waitForRead(module);
        QVERIFY(!users->currentIndex().isValid());

        module.selectUser(QStringLiteral("root"));
        module.access();
        waitForRead(module);
        QCOMPARE(users->currentIndex().siblingAtColumn(0).data().toString(), QStringLiteral("root"));
    }

    // A read that fails after a good one leaves nothing on the pages that
    // looks current or can be changed; "Try again" reads again.
    void afterAFailedReadNothingStaleIsShown()
    {
        MicManagementModule module(nullptr, {});
        module.access();
        waitForRead(module);
        QCOMPARE(fsText(module), QStringLiteral("Filesystem is <b>partly protected</b>. Some files have lower integrity than they should be."));

        writeRootFile(QStringLiteral("etc/kestrel/fs-ilev.conf"), "high /usr\nbad line\n");
        QSignalSpy changed(&module, qOverload<bool>(&KCMLS::LumenKCModule::changed));
        module.load(); // Reset
        waitForRead(module);
        auto *notice = module.findChild<KMessageWidget *>(QStringLiteral("unreadNotice"));
        QVERIFY(notice && !notice->isHidden());
        QVERIFY(!module.findChild<QWidget *>(QStringLiteral("stackedWidget"))->isEnabled());
        QCOMPARE(fsText(module), QStringLiteral("..."));
        QCOMPARE(child<QLabel>(module, "micStatusMessageLabel")->text(), QStringLiteral("..."));
        QCOMPARE(changed.last().first().toBool(), false);
        {
            ModalDialogAnswerer answerer([](QDialog *dialog) {
                dialog->accept();
            });
            module.save();
            QCOMPARE(answerer.texts, QStringList{QStringLiteral("The settings could not be read, so they cannot be saved. Read them again first.")});
        }

        laySampleSystem();
        auto *tryAgain = notice->findChild<QAction *>(QStringLiteral("tryAgainAction"));
        QVERIFY(tryAgain);
        tryAgain->trigger();
        waitForRead(module);
        QVERIFY(notice->isHidden());
        QVERIFY(module.findChild<QWidget *>(QStringLiteral("stackedWidget"))->isEnabled());
        QCOMPARE(fsText(module), QStringLiteral("Filesystem is <b>partly protected</b>. Some files have lower integrity than they should be."));
    }

    // The configuration opened from the expert page is the file the helper
    // reads; a machine that cannot open it says so.
    void openingTheConfigurationOpensTheHelpersFile()
    {
        MicManagementModule module(nullptr, {});
        module.access();
        waitForRead(module);
        UrlCatcher catcher;
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "open");
        module.findChild<QPushButton *>(QStringLiteral("pushButtonOpenConfig"))->click();
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        QCOMPARE(catcher.opened, QList<QUrl>{QUrl::fromLocalFile(rootPath(QStringLiteral("etc/kestrel/fs-ilev.conf")))});

        ModalDialogAnswerer answerer([](QDialog *dialog) {
            dialog->accept();
        });
        module.findChild<QPushButton *>(QStringLiteral("pushButtonOpenConfigExc"))->click();
        QCOMPARE(answerer.texts,
                 QStringList{QStringLiteral("No application could open the configuration file %1.").arg(rootPath(QStringLiteral("etc/kestrel/fs-ilev.conf")))});
    }

    void leavingTheModuleWhileReading()
    {
        MicManagementModule module(nullptr, {});
        module.access();
        module.unchooseModule();
        QTRY_VERIFY(!module.isReading());
        QTest::qWait(100);
        QVERIFY(module.messagesManager()->messages().isEmpty()); // killed quietly: no result
        QCOMPARE(execute(QStringLiteral("access"), {}, 20000).error, 0);
    }

    void readThatNeedsAuthorization()
    {
        // The user nobody must authorize as an administrator (a rule of the
        // test's own; nobody has no session, so polkit would refuse at once);
        // without an authentication agent polkit then says no.
        const PolkitRule rule(QStringLiteral("49-lumen-kcm-mic-test.rules"),
                              "polkit.addRule(function(action, subject) {\n"
                              "    if (action.id.indexOf(\"org.lumen.kcm.mic.\") == 0 && subject.user == \"nobody\")\n"
                              "        return polkit.Result.AUTH_ADMIN;\n"
                              "});\n");
        if (!rule.isValid()) {
            QSKIP("no polkit rules folder");
        }

        const OpenCopy copy(QStringLiteral(AUTH_FLOW_CLIENT_PATH));
        const QString client = copy.program();
        QVERIFY(!client.isEmpty());
        QProcess process;
        process.start(QStringLiteral("runuser"),
                      {QStringLiteral("-u"), QStringLiteral("nobody"), QStringLiteral("--"), QStringLiteral("env"),
                       QStringLiteral("XDG_RUNTIME_DIR=") + copy.folder(), QStringLiteral("HOME=") + copy.folder(), client});
        QVERIFY(process.waitForFinished(60000));
        const QByteArray output = process.readAllStandardOutput();
        QVERIFY2(output.contains("state after access: 1 reading: 0\n"), output.constData()); // waits for the user
        QVERIFY2(output.contains("reading after authorizing: 1\n"), output.constData());
        QVERIFY2(output.contains("finished: 1 state: 0 error messages: 1\n"), output.constData());
    }

    void missingHelper()
    {
        // The bus knows no helper: its service description is gone.
        const QString service = qEnvironmentVariable("MIC_TEST_BUS_DIR") + QStringLiteral("/services/org.lumen.kcm.mic.service");
        const QString aside = service + QStringLiteral(".aside");
        QVERIFY(QFile::rename(service, aside));
        const auto restore = qScopeGuard([&] {
            QFile::rename(aside, service);
            QDBusConnection::systemBus().call(QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                                                                              QStringLiteral("/org/freedesktop/DBus"),
                                                                              QStringLiteral("org.freedesktop.DBus"),
                                                                              QStringLiteral("ReloadConfig")));
        });
        QDBusConnection::systemBus().call(QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                                                                          QStringLiteral("/org/freedesktop/DBus"),
                                                                          QStringLiteral("org.freedesktop.DBus"),
                                                                          QStringLiteral("ReloadConfig")));
        stopHelper();

        MicManagementModule module(nullptr, {});
        module.access();
        QTRY_VERIFY_WITH_TIMEOUT(!module.messagesManager()->messages().isEmpty(), 30000);
        const KMessageWidget *message = module.messagesManager()->messages().first();
        QCOMPARE(message->messageType(), KMessageWidget::Error);
        QVERIFY(!message->text().isEmpty());
        QCOMPARE(module.stateWidget()->state(), KCMLS::NoState);
    }
};

QTEST_MAIN(ReadFlowTest)
#include "readflowtest.moc"
