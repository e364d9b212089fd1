// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

// Saving from the module over the real helper: what a save writes, the
// reboot question, and the saves the module refuses.
#include "helperfixture.h"
#include "modaldialoganswerer.h"

#include <historydialog.h>
#include <historymodel.h>
#include <micmanagementmodule.h>
#include <expertmodewidget.h>
#include <micfilesystemmodel.h>
#include <userlistproxymodel.h>

#include <KMessageWidget>

#include <QAbstractItemModelTester>
#include <QCheckBox>
#include <QApplication>
#include <QVBoxLayout>
#include <QToolButton>
#include <QScopeGuard>
#include <QDialogButtonBox>
#include <QComboBox>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableView>
#include <QSortFilterProxyModel>
#include <QStackedWidget>
#include <QStandardPaths>
#include <QTest>
#include <QTreeView>

using namespace HelperFixture;

namespace
{
QString s(const char *text)
{
    return QString::fromUtf8(text);
}

void writeState(bool enabled, unsigned int max, unsigned int afterReboot)
{
    const QByteArray on = enabled ? "yes" : "no";
    writeRootFile(s("var/lib/kestrel/mic.state"),
                  "levels = 0 1 3 7 15 31 63\nlevel.31 = Below\nlevel.63 = High\nmax-ilev = " + QByteArray::number(max)
                      + "\nmax-ilev-after-reboot = " + QByteArray::number(afterReboot) + "\nenabled = " + on + "\nenabled-after-reboot = " + on
                      + "\nfs-protection = yes\n");
}

// Every state file's content, to see that nothing was written.
QByteArray stateFiles()
{
    QByteArray all;
    for (const char *file : {"var/lib/kestrel/mic.state", "var/lib/kestrel/users.state", "var/lib/kestrel/services.state", "etc/kestrel/fs-ilev.conf"}) {
        all += readRootFile(QString::fromLatin1(file)) + '\0';
    }
    return all;
}

QMessageBox::StandardButton answerFor(QDialog *dialog, QMessageBox::StandardButton wanted)
{
    auto *box = qobject_cast<QMessageBox *>(dialog);
    if (box && box->button(wanted)) {
        box->button(wanted)->click();
    } else {
        dialog->reject();
    }
    return wanted;
}
}

class SaveTest : public QObject
{
    Q_OBJECT
private:
    std::unique_ptr<MicManagementModule> module;
    QString files;

    template<typename T>
    T *child(const char *name) const
    {
        return module->findChild<T *>(QLatin1String(name));
    }
    template<typename T>
    T *general(const char *name) const
    {
        return module->findChild<QWidget *>(s("generalMode"))->findChild<T *>(QLatin1String(name));
    }
    void read()
    {
        module->access();
        QTRY_VERIFY_WITH_TIMEOUT(!module->isReading(), 30000);
    }
    // Applies the page as the host does, answering the dialogs that come:
    // warnings with Ok, the question before lowering labels as
    // `lowerLabels` says (kept apart in `loweringQuestions`), others with
    // `answer`.
    QStringList dialogs;
    QStringList loweringQuestions;
    bool lowerLabels = true;
    void save(QMessageBox::StandardButton answer = QMessageBox::No)
    {
        const QString lowering = s("Lower labels");
        ModalDialogAnswerer answerer([answer, lowering, this](QDialog *dialog) {
            if (dialog->windowTitle() == lowering) {
                answerFor(dialog, lowerLabels ? QMessageBox::Yes : QMessageBox::No);
                return;
            }
            answerFor(dialog, dialog->windowTitle() == s("Warning") && qobject_cast<QMessageBox *>(dialog)->button(QMessageBox::Ok) ? QMessageBox::Ok
                                                                                                                                     : answer);
        });
        module->save();
        QTRY_VERIFY_WITH_TIMEOUT(!module->isSaving() && !module->isReading(), 30000);
        QTest::qWait(50); // queued re-marking
        dialogs.clear();
        loweringQuestions.clear();
        for (int i = 0; i < answerer.seen.size(); ++i) {
            (answerer.titles.at(i) == lowering ? loweringQuestions : dialogs).append(answerer.titles.at(i) + s(": ") + answerer.texts.at(i));
        }
    }
    // `count` empty files in the folder `name` of the state root, each with
    // a rule, and the file system not protected: the page shows them read.
    bool readUnprotectedFiles(const char *name, int count)
    {
        const QString folder = rootPath(QLatin1String(name));
        QDir().mkpath(folder);
        QByteArray config;
        config.reserve(count * (folder.size() + 16));
        for (int i = 0; i < count; ++i) {
            QFile file(folder + s("/f%1").arg(i));
            if (!file.open(QIODevice::WriteOnly)) {
                return false;
            }
            config += "high " + QFile::encodeName(file.fileName()) + '\n';
        }
        writeRootFile(s("etc/kestrel/fs-ilev.conf"), config);
        writeMicState(true, true, false);
        module->show();
        if (!QTest::qWaitForWindowExposed(module.get())) {
            return false;
        }
        read();
        return true;
    }
    QStringList messageTexts() const
    {
        QStringList texts;
        const auto messages = module->messagesManager()->messages();
        for (KMessageWidget *message : messages) {
            texts.append(message->text());
        }
        return texts;
    }
    QString micText() const
    {
        return general<QLabel>("micStatusMessageLabel")->text();
    }

private Q_SLOTS:
    void init()
    {
        files = laySampleSystem();
        module = std::make_unique<MicManagementModule>(nullptr, QVariantList());
    }

    void cleanup()
    {
        module.reset();
    }

    void enablingAsksForAReboot()
    {
        writeState(false, 0, 0);
        read();
        QCOMPARE(micText(), s("MIC subsystem is <b>disabled</b>."));
        general<QCheckBox>("enableMicCheckBox")->click(); // no level chosen: the default 63

        save(QMessageBox::No);
        QCOMPARE(dialogs, QStringList{s("Reboot system: To apply settings need reboot system\nReboot now?")});
        QCOMPARE(micText(), s("MIC subsystem is disabled, but it will be <b>enabled after reboot</b>."));
        QVERIFY(readRootFile(s("var/lib/kestrel/mic.state")).contains("max-ilev-after-reboot = 63"));

        // Yes runs the reboot command; the page is then left as it is.
        if (!QFile::exists(s("/usr/bin/tarn-wmfunc"))) {
            QSKIP("no reboot command installed");
        }
        module->findChild<ExpertModeWidget *>()->setChosenILev(127); // another level for the next boot
        QSignalSpy changed(module.get(), qOverload<bool>(&KCMLS::LumenKCModule::changed));
        save(QMessageBox::Yes);
        QCOMPARE(dialogs.size(), 1);
        QCOMPARE(changed.last().first().toBool(), false);
        read();
        QCOMPARE(micText(), s("MIC subsystem is <b>enabled</b>."));
        QVERIFY(child<QLabel>("labelMicLevel")->text().startsWith(s("127")));
    }

    // A rule added with a mistyped path is refused; once corrected it saves,
    // and nothing of the mistyped path is sent again.
    void aMistypedRuleCanBeCorrected()
    {
        writeState(true, 63, 63);
        module->show(); // keys reach only the editors of a shown view
        QVERIFY(QTest::qWaitForWindowExposed(module.get()));
        read();
        general<QPushButton>("expertModeButton")->click();
        child<QTabWidget>("tabWidgetFs")->setCurrentIndex(1);
        auto *view = child<QTableView>("tableViewFs");
        QAbstractItemModel *rules = view->model();
        const auto typePath = [&](int row, const QString &path) {
            QTest::qWait(10); // editors closed before are gone
            view->setCurrentIndex(rules->index(row, 1));
            view->edit(rules->index(row, 1));
            auto *editor = view->viewport()->findChild<QLineEdit *>();
            QVERIFY2(editor, "no editor");
            editor->selectAll();
            QTest::keyClicks(editor, path);
            QTest::keyClick(editor, Qt::Key_Return);
            QTest::qWait(10); // the delegate commits once back in the event loop
        };
        child<QPushButton>("pushButtonAdd")->click();
        const int row = rules->rowCount() - 1;
        auto *editor = view->viewport()->findChild<QLineEdit *>();
        QVERIFY(editor);
        QTest::keyClicks(editor, s("relative/path"));
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_COMPARE(rules->index(row, 1).data().toString(), s("relative/path"));
        QVERIFY(rules->setData(rules->index(row, 0), s("15")));
        const QByteArray configBefore = readRootFile(s("etc/kestrel/fs-ilev.conf"));

        save();
        QCOMPARE(readRootFile(s("etc/kestrel/fs-ilev.conf")), configBefore);
        QCOMPARE(module->messagesManager()->messages().size(), 1);
        QCOMPARE(module->messagesManager()->messages().first()->messageType(), KMessageWidget::Error);
        QVERIFY2(module->messagesManager()->messages().first()->text().startsWith(s("The rule path \"relative/path\" is not an absolute path")),
                 qPrintable(module->messagesManager()->messages().first()->text()));

        typePath(row, s("/opt/fixed"));
        QCOMPARE(rules->index(row, 1).data().toString(), s("/opt/fixed"));
        save();
        QVERIFY2(readRootFile(s("etc/kestrel/fs-ilev.conf")).contains("15 /opt/fixed\n"), readRootFile(s("etc/kestrel/fs-ilev.conf")).constData());
        const auto messages = module->messagesManager()->messages();
        QVERIFY(!messages.isEmpty());
        QCOMPARE(messages.first()->messageType(), KMessageWidget::Positive);
        for (const KMessageWidget *message : messages) {
            QVERIFY2(message->messageType() != KMessageWidget::Error, qPrintable(message->text()));
        }
    }

    // A custom level is asked for when "<Other>" is chosen, and not again
    // when the page commits the open editor on saving.
    void aCustomLevelIsAskedForOnce()
    {
        writeState(true, 63, 63);
        module->show();
        QVERIFY(QTest::qWaitForWindowExposed(module.get()));
        read();
        general<QPushButton>("expertModeButton")->click();
        child<QTabWidget>("tabWidgetFs")->setCurrentIndex(1);
        auto *view = child<QTableView>("tableViewFs");
        const QModelIndex level = view->model()->index(0, 0);
        const QString path = view->model()->index(0, 1).data().toString();
        view->setCurrentIndex(level);
        view->edit(level);
        auto *comboBox = view->viewport()->findChild<QComboBox *>();
        QVERIFY(comboBox);
        {
            ModalDialogAnswerer answerer([](QDialog *dialog) {
                if (auto *input = qobject_cast<QInputDialog *>(dialog)) {
                    input->setIntValue(5);
                }
                dialog->accept();
            });
            QTest::keyClick(comboBox, Qt::Key_End); // "<Other>"
            QCOMPARE(answerer.titles, QStringList{s("Choose level")});
        }
        save();
        QCOMPARE(dialogs, QStringList());
        QVERIFY2(readRootFile(s("etc/kestrel/fs-ilev.conf")).contains(QByteArray("\n5 " + path.toUtf8() + "\n")), readRootFile(s("etc/kestrel/fs-ilev.conf")).constData());
    }

    // Only an edit marks the module changed: not a read, not browsing the
    // pages, the tree or the tables, not an editor closed without a change,
    // not Reset, not the read after a save.
    void changedMeansChanged()
    {
        writeState(true, 63, 63);
        module->show();
        QVERIFY(QTest::qWaitForWindowExposed(module.get()));
        QSignalSpy changed(module.get(), qOverload<bool>(&KCMLS::LumenKCModule::changed));
        const auto isChanged = [&changed] {
            return !changed.isEmpty() && changed.last().first().toBool();
        };
        read();
        QVERIFY(!isChanged());

        general<QPushButton>("expertModeButton")->click();
        auto *tabs = child<QTabWidget>("tabWidgetFs");
        auto *tree = child<QTreeView>("treeViewMic");
        auto *treeModel = static_cast<QFileSystemModel *>(tree->model());
        // The tree opens where the rules are.
        QCOMPARE(child<QLineEdit>("lineEditTreePath")->text(), files);
        QTRY_VERIFY(tree->isExpanded(treeModel->index(files)));
        QStringList folders;
        for (QString step = files; step != s("/"); step = QFileInfo(step).path()) {
            folders.prepend(step);
        }
        for (const QString &folder : std::as_const(folders)) {
            tree->expand(treeModel->index(folder));
            QTRY_VERIFY(!treeModel->canFetchMore(treeModel->index(folder)));
        }
        QVERIFY(tree->isExpanded(treeModel->index(files)));
        QTest::qWait(300); // the tree reads the labels
        // Files change under the tree (the helper relabels, others write).
        QVERIFY(setLabel(files + s("/uncovered"), 9));
        QFile(files + s("/high")).open(QIODevice::Append);
        QFile(files + s("/new")).open(QIODevice::WriteOnly);
        QTest::qWait(1500); // the tree notices within a second
        tree->sortByColumn(0, Qt::DescendingOrder);
        for (int tab = 0; tab < tabs->count(); ++tab) {
            tabs->setCurrentIndex(tab);
            QTest::qWait(20);
        }
        tabs->setCurrentIndex(1);
        auto *rules = child<QTableView>("tableViewFs");
        rules->sortByColumn(1, Qt::DescendingOrder);
        rules->edit(rules->model()->index(0, 1));
        QTest::keyClick(rules->viewport()->findChild<QLineEdit *>(), Qt::Key_Escape);
        QTest::qWait(20);
        child<QPushButton>("goBackButton")->click();
        QVERIFY2(!isChanged(), "browsing");

        general<QCheckBox>("protectFsCheckBox")->click();
        QVERIFY(isChanged());
        module->load(); // Reset
        QTRY_VERIFY_WITH_TIMEOUT(!module->isReading(), 30000);
        QTest::qWait(50);
        QVERIFY2(!isChanged(), "after Reset");

        general<QCheckBox>("enableMicCheckBox")->click(); // off after the next boot: a reboot to come
        save(QMessageBox::No);
        QTest::qWait(50);
        QVERIFY2(!isChanged(), "after the read that follows a save");
    }

    void editsReachTheSystemAndComeBack()
    {
        writeState(true, 63, 63);
        read();
        // A rule in the table, a user's level and one service's isolation.
        auto *subTabs = child<QTabWidget>("tabWidgetFs");
        subTabs->setCurrentIndex(1);
        QAbstractItemModel *rules = child<QTableView>("tableViewFs")->model();
        int highRow = -1;
        for (int row = 0; row < rules->rowCount(); ++row) {
            if (rules->index(row, 1).data().toString().endsWith(s("/high"))) {
                highRow = row;
            }
        }
        QVERIFY(rules->setData(rules->index(highRow, 0), s("15")));
        QAbstractItemModel *users = general<QTreeView>("usersTreeView")->model();
        general<QComboBox>("userFilterComboBox")->setCurrentIndex(0);
        static_cast<UserListProxyModel *>(users)->setUserMaxIlevel(s("root"), 31);
        QAbstractItemModel *services = child<QTreeView>("treeViewServices")->model();
        QVERIFY(services->setData(services->index(1, 1), int(Qt::Checked), Qt::CheckStateRole)); // sshd
        // Stay on the expert page: saving takes its boxes over first.
        general<QPushButton>("expertModeButton")->click();

        save();
        QVERIFY2(readRootFile(s("etc/kestrel/fs-ilev.conf")).contains(QByteArray("15 " + files.toUtf8() + "/high\n")), readRootFile(s("etc/kestrel/fs-ilev.conf")).constData());
        QVERIFY(readRootFile(s("var/lib/kestrel/users.state")).contains("root = 31"));
        QVERIFY(readRootFile(s("var/lib/kestrel/services.state")).contains("service.sshd.isolated = yes"));
        QCOMPARE(general<QLabel>("servicesMessageLabel")->text(), s("All services are <b>isolated</b>."));
        QCOMPARE(labelOf(files + s("/uncovered")), QByteArray("7")); // protected on saving
        // Its folder did not cover 7: raised with it.
        QCOMPARE(labelOf(files), QByteArray("7"));
        // What the save did stays in view after the re-read: saved; the labels
        // changed, the lowered one first; the missing file.
        const auto messages = module->messagesManager()->messages();
        QCOMPARE(messages.size(), 3);
        QCOMPARE(messages.at(0)->messageType(), KMessageWidget::Positive);
        QCOMPARE(messages.at(0)->text(), s("The integrity control settings were saved."));
        QCOMPARE(messages.at(1)->messageType(), KMessageWidget::Warning);
        QCOMPARE(messages.at(1)->text(),
                 s("Protecting the file system changed the labels of 2 objects:<br><b>Lowered:</b> %1/uncovered: 8 → 7<br>%1: 0 → 7 (container of a "
                   "labelled object)")
                     .arg(files));
        QCOMPARE(messages.at(2)->messageType(), KMessageWidget::Warning);
        QVERIFY(messages.at(2)->text().contains(files + s("/missing")));

        // A rule on the tree.
        subTabs->setCurrentIndex(0);
        auto *treeModel = qobject_cast<MicFileSystemModel *>(child<QTreeView>("treeViewMic")->model());
        const QModelIndex maskCell = treeModel->index(files + s("/mask"), 5);
        QVERIFY(maskCell.isValid());
        {
            // The folder of the files carries no label: the container warning.
            ModalDialogAnswerer answerer([](QDialog *dialog) {
                dialog->accept();
            });
            QVERIFY(treeModel->setData(maskCell, s("12")));
            QCOMPARE(answerer.titles, QStringList{s("Warning")});
        }
        save();
        QVERIFY(readRootFile(s("etc/kestrel/fs-ilev.conf")).contains(QByteArray("12 " + files.toUtf8() + "/mask\n")));

        // The exception list.
        subTabs->setCurrentIndex(2);
        QAbstractItemModel *exceptions = qobject_cast<QSortFilterProxyModel *>(child<QTableView>("tableViewExc")->model())->sourceModel();
        QMetaObject::invokeMethod(exceptions, "addRow");
        QVERIFY(exceptions->setData(exceptions->index(exceptions->rowCount() - 1, 0), s("/var/tmp")));
        save();
        QVERIFY(readRootFile(s("etc/kestrel/fs-ilev.conf")).contains("exception /var/tmp\n"));
        QCOMPARE(exceptions->rowCount(), 2);
    }

    // A save sends what the administrator edited and nothing else: what
    // another administrator changed since the read stays, protection is left
    // alone unless asked for or rules change, the edits of the tree and of
    // the table go together, and a new rule without a level is refused.
    void onlyWhatWasEditedIsSaved()
    {
        writeState(true, 63, 63);
        read();
        const Outcome elsewhere = execute(s("change"),
                                          {{s("userILevels"), QVariantHash{{s("root"), 31u}}},
                                           {s("servicesIsolatedStatus"), 3},
                                           {s("services"), QVariantList{QVariantHash{{s("name"), s("sshd")}, {s("isIsolated"), true}}}}});
        QCOMPARE(elsewhere.error, 0);

        general<QComboBox>("userFilterComboBox")->setCurrentIndex(0);
        static_cast<UserListProxyModel *>(general<QTreeView>("usersTreeView")->model())->setUserMaxIlevel(s("nobody"), 7);
        save();
        const QByteArray users = readRootFile(s("var/lib/kestrel/users.state"));
        QVERIFY2(users.contains("root = 31") && users.contains("nobody = 7"), users.constData());
        QVERIFY(readRootFile(s("var/lib/kestrel/services.state")).contains("service.sshd.isolated = yes"));
        QCOMPARE(labelOf(files + s("/uncovered")), QByteArray("8")); // partly protected, and left so

        // A level set on the tree, one in the table, saved from the table.
        auto *subTabs = child<QTabWidget>("tabWidgetFs");
        general<QPushButton>("expertModeButton")->click();
        auto *treeModel = qobject_cast<MicFileSystemModel *>(child<QTreeView>("treeViewMic")->model());
        const QModelIndex maskCell = treeModel->index(files + s("/mask"), 5);
        QVERIFY(maskCell.isValid());
        {
            ModalDialogAnswerer answerer([](QDialog *dialog) {
                dialog->accept();
            });
            QVERIFY(treeModel->setData(maskCell, s("12")));
        }
        subTabs->setCurrentIndex(1);
        QAbstractItemModel *rules = child<QTableView>("tableViewFs")->model();
        const auto ruleRow = [rules](const QString &end) {
            for (int row = 0; row < rules->rowCount(); ++row) {
                if (rules->index(row, 1).data().toString().endsWith(end)) {
                    return row;
                }
            }
            return -1;
        };
        // One set of edits: the tree's shows in the table, the table's in the tree.
        QCOMPARE(rules->index(ruleRow(s("/mask")), 0).data(Qt::UserRole).toString(), s("12"));
        QVERIFY(rules->setData(rules->index(ruleRow(s("/high")), 0), s("15")));
        QCOMPARE(treeModel->index(files + s("/high"), 5).data(Qt::UserRole).toString(), s("15"));
        // Protecting with the new rules would lower a label: asked first,
        // and No saves nothing.
        const QByteArray configBefore = readRootFile(s("etc/kestrel/fs-ilev.conf"));
        lowerLabels = false;
        save();
        QCOMPARE(loweringQuestions.size(), 1);
        // The question names the object lowered and its labels, and lists
        // every label the save changes behind its details.
        const QString question = loweringQuestions.first();
        QVERIFY2(question.contains(s("lowers the label of one object")), qPrintable(question));
        const QString loweredLine = files + s("/uncovered: 8 → 7");
        QVERIFY2(question.section(s("[details]"), 0, 0).contains(loweredLine), qPrintable(question));
        QVERIFY2(question.section(s("[details]"), 1).contains(loweredLine + s(" (lowered)")), qPrintable(question));
        QCOMPARE(readRootFile(s("etc/kestrel/fs-ilev.conf")), configBefore);
        QCOMPARE(labelOf(files + s("/uncovered")), QByteArray("8"));
        lowerLabels = true;
        save();
        QCOMPARE(loweringQuestions.size(), 1);
        const QByteArray config = readRootFile(s("etc/kestrel/fs-ilev.conf"));
        QVERIFY2(config.contains(QByteArray("12 " + files.toUtf8() + "/mask\n")) && config.contains(QByteArray("15 " + files.toUtf8() + "/high\n")), config.constData());
        QCOMPARE(labelOf(files + s("/uncovered")), QByteArray("7")); // rules changed while protection is on

        // A new rule whose level was left open.
        general<QPushButton>("expertModeButton")->click();
        subTabs->setCurrentIndex(1);
        QMetaObject::invokeMethod(qobject_cast<QSortFilterProxyModel *>(rules)->sourceModel(), "addRow");
        QVERIFY(rules->setData(rules->index(rules->rowCount() - 1, 1), s("/opt/new")));
        save();
        QCOMPARE(readRootFile(s("etc/kestrel/fs-ilev.conf")), config);
        QCOMPARE(dialogs.size(), 1);
        QVERIFY2(dialogs.first().contains(s("/opt/new has no integrity level")), qPrintable(dialogs.first()));
    }

    // Keyboard only, in a window with a host's row of buttons: a rule's
    // level set from its cell (F2, Alt+Down opens the list, Enter chooses
    // and ends the edit), Tab leaves the table, Apply by its mnemonic; the
    // page stays where it was, the focus and the table's row too, and F5 on
    // the host's buttons reads again.
    void aRuleLevelSetWithTheKeyboard()
    {
        writeState(true, 63, 63);
        QWidget host;
        auto *hostLayout = new QVBoxLayout(&host);
        hostLayout->addWidget(module.get());
        auto *hostButtons = new QDialogButtonBox(QDialogButtonBox::Reset | QDialogButtonBox::Apply | QDialogButtonBox::Help, &host);
        hostLayout->addWidget(hostButtons);
        QPushButton *apply = hostButtons->button(QDialogButtonBox::Apply);
        connect(apply, &QPushButton::clicked, module.get(), &MicManagementModule::save);
        const auto detach = qScopeGuard([this] {
            module->setParent(nullptr);
        });
        host.show();
        QVERIFY(QTest::qWaitForWindowExposed(&host));
        host.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&host));
        read();

        // The controls have mnemonics of their own, the host's buttons too,
        // on each page; a text whose letters are all taken has none.
        const auto verifyMnemonics = [&host] {
            QHash<QKeySequence, QString> mnemonics;
            const QList<QWidget *> widgets = host.findChildren<QWidget *>();
            for (QWidget *widget : widgets) {
                QString text;
                if (auto *button = qobject_cast<QAbstractButton *>(widget); button && !qobject_cast<QToolButton *>(widget)) {
                    text = button->text();
                } else if (auto *label = qobject_cast<QLabel *>(widget); label && label->buddy()) {
                    text = label->text();
                }
                if (!widget->isVisible() || text.isEmpty()) {
                    continue;
                }
                const QKeySequence mnemonic = QKeySequence::mnemonic(text);
                if (mnemonic.isEmpty()) {
                    continue;
                }
                QVERIFY2(!mnemonics.contains(mnemonic), qPrintable(text + s(" and ") + mnemonics.value(mnemonic)));
                mnemonics.insert(mnemonic, text);
            }
            QVERIFY2(mnemonics.size() >= 5, qPrintable(QStringList(mnemonics.cbegin(), mnemonics.cend()).join(s(", "))));
        };
        verifyMnemonics();

        QTest::keySequence(QApplication::focusWidget(), QKeySequence::mnemonic(general<QPushButton>("expertModeButton")->text()));
        QTRY_COMPARE(child<QStackedWidget>("stackedWidget")->currentIndex(), 1);
        verifyMnemonics();
        auto *subTabs = child<QTabWidget>("tabWidgetFs");
        QTest::keyClick(subTabs, Qt::Key_Tab, Qt::ControlModifier);
        QCOMPARE(subTabs->currentIndex(), 1);
        verifyMnemonics();
        auto *view = child<QTableView>("tableViewFs");
        view->setFocus();
        QAbstractItemModel *rules = view->model();
        QTest::keyClick(view, Qt::Key_Home, Qt::ControlModifier);
        while (!rules->index(view->currentIndex().row(), 1).data().toString().endsWith(s("/high"))) {
            const int row = view->currentIndex().row();
            QTest::keyClick(view, Qt::Key_Down);
            QVERIFY(view->currentIndex().row() > row);
        }
        const int ruleRow = view->currentIndex().row();
        QVERIFY(ruleRow > 0);
        QCOMPARE(view->currentIndex().column(), 0);

        QTest::keyClick(view, Qt::Key_F2);
        QComboBox *list = nullptr;
        QTRY_VERIFY((list = view->viewport()->findChild<QComboBox *>()) && list->hasFocus());
        QTest::keyClick(list, Qt::Key_Down, Qt::AltModifier);
        QTRY_VERIFY(list->view()->isVisible());
        const int wanted = list->findData(s("15"));
        while (list->view()->currentIndex().row() != wanted) {
            QTest::keyClick(list->view(), list->view()->currentIndex().row() < wanted ? Qt::Key_Down : Qt::Key_Up);
        }
        QTest::keyClick(list->view(), Qt::Key_Return);
        QTRY_COMPARE(rules->index(ruleRow, 0).data(Qt::UserRole).toString(), s("15"));
        // The choice ended the edit: Tab leaves the table at once.
        QTRY_VERIFY(view->hasFocus());
        QTest::keyClick(view, Qt::Key_Tab);
        QVERIFY(QApplication::focusWidget() != view && !view->isAncestorOf(QApplication::focusWidget()));
        view->setFocus();

        // Apply by its mnemonic, from the table, answering the dialogs.
        ModalDialogAnswerer answerer([](QDialog *dialog) {
            answerFor(dialog, dialog->windowTitle() == s("Lower labels") ? QMessageBox::Yes : QMessageBox::Ok);
        });
        QSignalSpy applied(apply, &QPushButton::clicked);
        QVERIFY(!QKeySequence::mnemonic(apply->text()).isEmpty());
        QTest::keySequence(view, QKeySequence::mnemonic(apply->text()));
        // A mnemonic clicks its button after a moment, as a click shows.
        QTRY_COMPARE(applied.count(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(!module->isSaving() && !module->isReading(), 30000);
        QVERIFY(readRootFile(s("etc/kestrel/fs-ilev.conf")).contains(QByteArray("15 " + files.toUtf8() + "/high\n")));
        QCOMPARE(child<QStackedWidget>("stackedWidget")->currentIndex(), 1);
        QCOMPARE(subTabs->currentIndex(), 1);
        // The dialogs took the activation, which offscreen windows do not
        // get back by themselves: the window's focus is asked.
        QTRY_COMPARE(host.focusWidget(), view);
        QCOMPARE(view->currentIndex().row(), ruleRow);
        QTest::keyClick(view, Qt::Key_Down);
        QCOMPARE(view->currentIndex().row(), ruleRow + 1);

        // F5 with the focus on one of the host's buttons reads again.
        host.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&host));
        apply->setFocus();
        QTest::keyClick(apply, Qt::Key_F5);
        QVERIFY(module->isReading());
        QTRY_VERIFY_WITH_TIMEOUT(!module->isReading(), 30000);

        // Help on a machine without KDE's help centre says so on the page.
        const auto helpMessages = [this] {
            QStringList texts;
            const QList<KMessageWidget *> messages = module->messagesManager()->messages();
            for (const KMessageWidget *message : messages) {
                if (message->text().contains(s("help centre"))) {
                    texts.append(message->text());
                }
            }
            return texts;
        };
        QPushButton *help = hostButtons->button(QDialogButtonBox::Help);
        help->click();
        QVERIFY(helpMessages().isEmpty());
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", "/nonexistent");
        help->click();
        qputenv("PATH", path);
        const QStringList said = helpMessages();
        QCOMPARE(said.size(), 1);
        QVERIFY2(said.constFirst().contains(s("khelpcenter")), qPrintable(said.constFirst()));
    }

    // Another administrator's change, undone from the page's history: the
    // state before it comes back as one new change, after a question that
    // shows the difference; the history then lists both.
    void aChangeIsUndoneFromTheHistory()
    {
        writeState(true, 63, 63);
        read();
        const QByteArray usersBefore = readRootFile(s("var/lib/kestrel/users.state"));
        const auto others = execute(s("change"), {{s("userILevels"), QVariantHash{{s("root"), 7u}}}, {s("languages"), QStringList{s("C")}}});
        QCOMPARE(others.error, 0);
        QVERIFY(readRootFile(s("var/lib/kestrel/users.state")).contains("root = 7"));

        QString difference;
        bool restorable = false;
        ModalDialogAnswerer answerer([&](QDialog *dialog) {
            if (auto *history = qobject_cast<HistoryDialog *>(dialog)) {
                auto *view = history->findChild<QTreeView *>(s("historyView"));
                new QAbstractItemModelTester(view->model(), QAbstractItemModelTester::FailureReportingMode::QtTest, view->model());
                QCOMPARE(view->model()->index(0, HistoryModel::OutcomeColumn).data().toString(), s("Applied"));
                auto *restore = history->findChild<QPushButton *>(s("restoreButton"));
                restorable = restore->isEnabled();
                restore->click();
                return;
            }
            difference = qobject_cast<QMessageBox *>(dialog)->informativeText();
            answerFor(dialog, QMessageBox::Yes);
        });
        general<QPushButton>("historyButton")->click();
        QTRY_VERIFY2_WITH_TIMEOUT(answerer.seen.size() == 2 && !module->isSaving() && !module->isReading(),
                                  qPrintable(answerer.titles.join(s("|")) + s(" / ") + messageTexts().join(s("|"))), 30000);
        QVERIFY(restorable);
        QCOMPARE(answerer.titles, (QStringList{s("History of Changes"), s("Restore the State Before This Change")}));
        QCOMPARE(difference, s("~ user root: 7 → 63 - High"));
        QCOMPARE(readRootFile(s("var/lib/kestrel/users.state")), usersBefore);

        const QVariantList history = execute(s("access"), {{s("history"), 2}}).data.value(s("history")).toList();
        QCOMPARE(history.size(), 2);
        QCOMPARE(history.at(0).toMap().value(s("summary")).toString(), s("maximal level of 1 user: root to 63"));
    }

    // Protecting 10^5 unlabelled objects: the page shows how far the helper
    // is over its veil, and Stop puts back what was done; the edit stays.
    void aLongSaveShowsItsProgressAndCanBeStopped()
    {
        QVERIFY(readUnprotectedFiles("many", 100000));
        const auto before = snapshotStateRoot();
        general<QCheckBox>("protectFsCheckBox")->click();

        // Held amid its labels, as a slower machine would be, so that the
        // page is seen while the helper labels; the helper takes the stop
        // while held.
        const QString pause = qEnvironmentVariable("MIC_TEST_BUS_DIR") + s("/pause-middle-labels");
        const QString stopTaken = qEnvironmentVariable("MIC_TEST_BUS_DIR") + s("/stop-taken");
        QFile::remove(stopTaken);
        QFile control(pause);
        QVERIFY(control.open(QIODevice::WriteOnly) && control.write("events") == 6);
        control.close();
        auto release = qScopeGuard([&pause] {
            QFile::remove(pause);
        });
        ModalDialogAnswerer answerer([](QDialog *dialog) {
            answerFor(dialog, QMessageBox::Ok);
        });
        module->save();
        auto *panel = child<QWidget>("WorkProgressPanel");
        auto *label = child<QLabel>("workProgressLabel");
        QTRY_VERIFY2_WITH_TIMEOUT(panel->isVisible() && label->text().startsWith(s("Labelling ")), qPrintable(label->text()), 60000);
        QVERIFY2(label->text().contains(s(" of 100,000 objects")), qPrintable(label->text()));
        auto *bar = child<QProgressBar>("workProgressBar");
        QVERIFY(bar->value() >= 0 && bar->value() < bar->maximum());
        child<QPushButton>("stopButton")->click();
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(stopTaken), 30000);
        QFile::remove(pause);
        QTRY_VERIFY_WITH_TIMEOUT(!module->isSaving() && !module->isReading(), 60000);

        QVERIFY(answerer.seen.isEmpty());
        QVERIFY(!panel->isVisible());
        QCOMPARE(messageTexts(), QStringList{s("Stopped: nothing was changed.")});
        QCOMPARE(module->messagesManager()->messages().first()->messageType(), KMessageWidget::Information);
        QCOMPARE(snapshotStateRoot(), before);
        QCOMPARE(general<QCheckBox>("protectFsCheckBox")->checkState(), Qt::Checked);
    }

    // A stop asked while the helper ends the check of the change (held
    // there, it takes the stop only after its answer): the check ends all
    // the same, and the change itself is not sent.
    void aStopAskedAsTheCheckEndsSendsNothing()
    {
        QVERIFY(readUnprotectedFiles("some", 10));
        const auto before = snapshotStateRoot();
        general<QCheckBox>("protectFsCheckBox")->click();

        const QString pause = qEnvironmentVariable("MIC_TEST_BUS_DIR") + s("/pause-change-checked");
        QFile::remove(pause + s(".reached"));
        QVERIFY(QFile(pause).open(QIODevice::WriteOnly));
        ModalDialogAnswerer answerer([](QDialog *dialog) {
            answerFor(dialog, QMessageBox::Ok);
        });
        module->save();
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(pause + s(".reached")), 30000);
        child<QPushButton>("stopButton")->click();
        QTest::qWait(200);
        QFile::remove(pause);
        QTRY_VERIFY_WITH_TIMEOUT(!module->isSaving() && !module->isReading(), 30000);

        QVERIFY(answerer.seen.isEmpty());
        QCOMPARE(messageTexts(), QStringList{s("Stopped: nothing was changed.")});
        QCOMPARE(snapshotStateRoot(), before);
        QCOMPARE(general<QCheckBox>("protectFsCheckBox")->checkState(), Qt::Checked);
    }

    void refusedSaves()
    {
        writeState(true, 63, 63);
        read();
        const QByteArray before = stateFiles();
        QSignalSpy changed(module.get(), qOverload<bool>(&KCMLS::LumenKCModule::changed));

        // A read still running.
        {
            ModalDialogAnswerer answerer([](QDialog *dialog) {
                answerFor(dialog, QMessageBox::Ok);
            });
            module->access();
            const int emitted = changed.count();
            module->save();
            QCOMPARE(answerer.texts, QStringList{s("Wait until it loads completely before saving.")});
            // Still marked as changed after the refusal; the read, whenever it
            // ends, shows what the system holds, with nothing to save.
            QTRY_VERIFY(std::any_of(changed.cbegin() + emitted, changed.cend(), [](const QList<QVariant> &arguments) {
                return arguments.first().toBool();
            }));
            QTRY_VERIFY_WITH_TIMEOUT(!module->isReading(), 30000);
        }
        QMetaObject::invokeMethod(module.get(), "markAsChanged");

        // Another maximum while MIC is on.
        child<QWidget>("ExpertModeWidget")->findChild<QComboBox *>(s("comboBoxLevel"))->setCurrentIndex(2); // 127
        save();
        QCOMPARE(dialogs, QStringList{s("Warning: If you want to change maximum integrity level you need to turn off MIC first.")});
        QCOMPARE(changed.last().first().toBool(), true);

        // With MIC off: not above the level below the library's top, and a
        // level that does not cover the lower ones.
        writeState(false, 0, 0);
        read();
        auto *expert = module->findChild<ExpertModeWidget *>();
        general<QCheckBox>("enableMicCheckBox")->setChecked(true);
        expert->setChosenILev(31);
        save();
        QCOMPARE(dialogs, QStringList{s("Warning: Max integrity level can't be less than or equal to 31 - Below!")});
        expert->setChosenILev(32);
        save(QMessageBox::No);
        QCOMPARE(dialogs.size(), 1);
        QVERIFY(dialogs.first().startsWith(s("Warning: Selected maximum integrity level does not cover all underlying levels")));
        QVERIFY(dialogs.first().endsWith(s("Preferable values: 15, 31, 63, 127, 255\nDo you really want to set integrity level to 32?")));
        QCOMPARE(changed.last().first().toBool(), true);
        writeState(true, 63, 63);
        QCOMPARE(stateFiles(), before);
    }
};

QTEST_MAIN(SaveTest)
#include "savetest.moc"
