// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

// The file-system level tree over a labelled fixture tree of the test's own.
#include "modelsignals.h"
#include "modelwarnings.h"
#include "staterootfixture.h"

#include <constants.h>
#include <micfilesystemmodel.h>

#include <QAbstractItemModelTester>
#include <QFont>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sys/xattr.h>

#include <memory>

namespace
{
using Levels = QHash<QString, QVariant>;
constexpr int current = MicFileSystemModel::CurrentLevelColumn;
constexpr int config = MicFileSystemModel::ConfigLevelColumn;

// Lists no directory outside the fixture tree: the model tester fetches every
// directory it meets, and it would otherwise walk the whole file system.
class ConfinedModel : public MicFileSystemModel
{
public:
    explicit ConfinedModel(const QString &top)
        : top(top)
    {
    }
    bool canFetchMore(const QModelIndex &parent) const override
    {
        return isInside(filePath(parent)) && MicFileSystemModel::canFetchMore(parent);
    }
    void fetchMore(const QModelIndex &parent) override
    {
        if (isInside(filePath(parent))) {
            MicFileSystemModel::fetchMore(parent);
        }
    }

private:
    bool isInside(const QString &path) const
    {
        return path == top || path.startsWith(top + QLatin1Char('/'));
    }
    QString top;
};


QString str(const char *text)
{
    return QString::fromUtf8(text);
}
}

class FileSystemModelTest : public QObject
{
    Q_OBJECT
private:
    StateRootFixture state;
    QTemporaryDir tree;
    std::unique_ptr<ConfinedModel> model;
    std::unique_ptr<QAbstractItemModelTester> tester;

    QString path(const char *relative) const
    {
        return *relative ? tree.filePath(str(relative)) : tree.path();
    }
    QModelIndex cell(const char *relative, int column) const
    {
        return model->index(path(relative), column);
    }
    // The changes of data the model announced since the last call; the
    // folders being read announce their rows as they come.
    static QString dataChanges(ModelSignals &told)
    {
        return told.take().split(QStringLiteral(", ")).filter(QRegularExpression(QStringLiteral("^dataChanged"))).join(QStringLiteral(", "));
    }
    // The line ModelSignals gives for a change of these level cells, one by
    // one, with `roles` as it names them.
    QString changed(std::initializer_list<const char *> relatives, const QString &roles = QString()) const
    {
        QStringList lines;
        for (const char *relative : relatives) {
            const QModelIndex at = cell(relative, config);
            lines.append(QStringLiteral("dataChanged %1,%2-%1,%2").arg(at.row()).arg(at.column()) + roles);
        }
        return lines.join(QStringLiteral(", "));
    }
    QString text(const char *relative, int column, int role = Qt::DisplayRole) const
    {
        return cell(relative, column).data(role).toString();
    }
    bool isBold(const char *relative) const
    {
        return cell(relative, config).data(Qt::FontRole).value<QFont>().weight() == QFont::Bold;
    }
    bool edit(const char *relative, const QString &level)
    {
        return model->setData(cell(relative, config), level);
    }
    void setLabel(const char *relative, const QByteArray &level)
    {
        QCOMPARE(lsetxattr(QFile::encodeName(path(relative)).constData(), "security.kestrel.ilev", level.constData(), level.size(), 0), 0);
    }
    void setRules(std::initializer_list<std::pair<const char *, const char *>> rules)
    {
        Levels levels;
        for (const auto &rule : rules) {
            levels.insert(path(rule.first), str(rule.second));
        }
        model->setCurrentConfigLevels(levels);
    }
    // The directory directly under "/" that holds the fixture tree.
    QString topDir() const
    {
        return QLatin1Char('/') + tree.path().section(QLatin1Char('/'), 1, 1);
    }

private Q_SLOTS:
    void initTestCase()
    {
        state.writeCatalogue("0 1 3 7 15 31 63", "level.63 = High\n", 63);
        for (const char *dir : {"usr/lib", "usr/bin", "box", "a%4b"}) {
            QVERIFY(QDir().mkpath(path(dir)));
        }
        for (const char *file : {"usr/lib/libfoo.so", "box/item", "a%4b/x%3", "plain.txt"}) {
            QVERIFY(QFile(path(file)).open(QIODevice::WriteOnly));
        }
        setLabel("", "63"); // covers whatever its children are given
        setLabel("usr", "15");
        setLabel("usr/lib", "63");
        setLabel("usr/bin", "8");
    }

    void init()
    {
        model = std::make_unique<ConfinedModel>(tree.path());
        tester = std::make_unique<QAbstractItemModelTester>(model.get(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        model->setRootPath(tree.path());
        QTRY_COMPARE(model->rowCount(cell("", 0)), 4);
    }

    void cleanup()
    {
        tester.reset();
        model.reset();
        QDir(path("gone")).removeRecursively();
    }

    void columnsHeadersAndFlags()
    {
        QCOMPARE(model->columnCount(cell("", 0)), 6);
        QCOMPARE(model->headerData(0, Qt::Horizontal).toString(), str("Name"));
        QCOMPARE(model->headerData(current, Qt::Horizontal).toString(), str("Current integrity level"));
        QCOMPARE(model->headerData(config, Qt::Horizontal).toString(), str("Config integrity level"));
        // One alignment for every column, the size column too.
        for (int column = 0; column < 6; ++column) {
            const QVariant alignment = cell("plain.txt", column).data(Qt::TextAlignmentRole);
            QCOMPARE(alignment.userType(), int(QMetaType::Int));
            QCOMPARE(alignment.toInt(), 128);
        }

        const Qt::ItemFlags editable = Qt::ItemIsSelectable | Qt::ItemIsEditable | Qt::ItemIsEnabled;
        QCOMPARE(model->flags(model->index(str("/"), config)), Qt::ItemFlags(Qt::ItemIsSelectable));
        QCOMPARE(model->flags(model->index(topDir(), config)), editable);
        QCOMPARE(model->flags(cell("plain.txt", config)), editable);
        QCOMPARE(model->flags(cell("plain.txt", current)), model->QFileSystemModel::flags(cell("plain.txt", current)));
    }

    void levelsOfCells()
    {
        setRules({{"usr", "15"}, {"usr/lib", "max"}, {"box", "abc"}});
        QCOMPARE(text("usr/lib", current), str("63 - High"));
        QCOMPARE(text("usr/bin", current), str("8"));
        QCOMPARE(text("plain.txt", current), str("0"));
        // The level editor reads the raw string; "—" while the cell was not shown.
        QCOMPARE(text("usr/lib", config, Qt::UserRole), Mic::noLevelString);
        QCOMPARE(text("usr", config), str("15"));
        QCOMPARE(text("usr/lib", config), str("63 - High (max)"));
        QCOMPARE(text("usr/lib", config, Qt::UserRole), str("max"));
        QCOMPARE(text("box", config), str("<Wrong level>"));
        // A rule is for its own path, not for what a directory holds.
        QCOMPARE(text("usr/lib/libfoo.so", config), Mic::noLevelString);
        QCOMPARE(text("usr/lib/libfoo.so", config, Qt::UserRole), Mic::noLevelString);
        QVERIFY(!isBold("usr/lib"));

        // Labels are read once per cell, until the next reset.
        QCOMPARE(text("box", current), str("0"));
        setLabel("box", "31");
        QCOMPARE(text("box", current), str("0"));
        model->reset();
        QCOMPARE(text("box", current), str("31"));
        setLabel("box", "0");
    }

    void edits()
    {
        setRules({{"usr", "high"}, {"usr/bin", "15"}});
        QCOMPARE(text("usr", config), str("63 - High (high)"));
        ModelSignals told(model.get());
        const ModelWarnings warnings(model.get());

        // The same level in other words is no change.
        QVERIFY(!edit("usr", str("max")));
        // A cell not shown yet is compared with its rule, not with nothing.
        QVERIFY(!edit("usr/bin", str("017")));
        QCOMPARE(dataChanges(told), QString());
        QVERIFY(model->pathLevelHashUpdate().isEmpty());
        QVERIFY(!isBold("usr"));

        QVERIFY(edit("usr/bin", str("0")));
        QVERIFY(edit("usr", str("31")));
        QCOMPARE(dataChanges(told), changed({"usr/bin", "usr"}, QStringLiteral(" edit")));
        QCOMPARE(text("usr", config, Qt::UserRole), str("31"));
        QVERIFY(isBold("usr"));
        QVERIFY(!isBold("box"));
        QCOMPARE(model->pathLevelHashUpdate(), (Levels{{path("usr"), str("31")}, {path("usr/bin"), str("0")}}));

        // An emptied cell means no level; it never falls back to its rule.
        QVERIFY(edit("usr", QString()));
        QCOMPARE(text("usr", config), Mic::noLevelString);
        QCOMPARE(model->pathLevelHashUpdate().value(path("usr")), QVariant(Mic::noLevelString));
        QCOMPARE(dataChanges(told), changed({"usr"}, QStringLiteral(" edit")));

        // Other columns and roles are the base's.
        QVERIFY(!model->setData(cell("usr", current), str("7")));
        QVERIFY(!model->setData(cell("usr", config), str("7"), Qt::UserRole));
        QCOMPARE(dataChanges(told), QString());
        QVERIFY(warnings.texts().isEmpty());
    }

    void containerCoverage_data()
    {
        QTest::addColumn<QByteArray>("containerLabel");
        QTest::addColumn<QString>("containerEdit");
        QTest::addColumn<QString>("objectLevel");
        QTest::addColumn<QString>("shownContainerLevel"); // empty: no warning

        // By mask, not by order.
        QTest::newRow("8 does not cover 7") << QByteArray("8") << QString() << str("7") << str("8");
        QTest::newRow("12 covers 4") << QByteArray("12") << QString() << str("4") << QString();
        QTest::newRow("7 does not cover 8") << QByteArray("7") << QString() << str("8") << str("7");
        QTest::newRow("keyword") << QByteArray("15") << QString() << str("high") << str("15");
        // An edited container level counts instead of the label.
        QTest::newRow("edited to max covers") << QByteArray("15") << str("max") << str("63") << QString();
        QTest::newRow("edited below label") << QByteArray("63") << str("7") << str("8") << str("7");
        QTest::newRow("edited to none") << QByteArray("12") << Mic::noLevelString << str("4") << QString();
        QTest::newRow("zero") << QByteArray("0") << QString() << str("0") << QString();
        QTest::newRow("no level") << QByteArray("0") << QString() << Mic::noLevelString << QString();
    }

    void containerCoverage()
    {
        QFETCH(QByteArray, containerLabel);
        QFETCH(QString, containerEdit);
        QFETCH(QString, objectLevel);
        QFETCH(QString, shownContainerLevel);
        setLabel("box", containerLabel);
        setRules({{"box", "1"}, {"box/item", "1"}}); // so that "—" is a change too
        const ModelWarnings warnings(model.get());
        if (!containerEdit.isEmpty()) {
            QVERIFY(edit("box", containerEdit));
        }
        QVERIFY(edit("box/item", objectLevel));

        QCOMPARE(warnings.texts().size(), shownContainerLevel.isEmpty() ? 0 : 1);
        if (!shownContainerLevel.isEmpty()) {
            QVERIFY(warnings.texts().at(0).contains(QStringLiteral("%1 \"is not included\" in %2").arg(objectLevel, shownContainerLevel)));
        }
        // The edit stays, warning or not.
        QCOMPARE(text("box/item", config, Qt::UserRole), objectLevel);
        QVERIFY(isBold("box/item"));
        setLabel("box", "0");
    }

    void warningText()
    {
        const ModelWarnings warnings(model.get());
        QVERIFY(edit("a%4b/x%3", str("0x0f")));
        QCOMPARE(warnings.texts(),
                 QStringList{QStringLiteral("Integrity level of container (%1) is lower (based on bitmap mask) than object (%2):\n\n"
                                            "0x0f \"is not included\" in 0\n\n"
                                            "After saving and applying config container level will be raised to object level.")
                                 .arg(path("a%4b"), path("a%4b/x%3"))});
    }

    void topLevelDirectoriesNeverWarn()
    {
        const ModelWarnings warnings(model.get());
        // Only the model's cell changes: no label outside the fixture is touched.
        QVERIFY(model->setData(model->index(topDir(), config), str("63")));
        model->checkParentLevel(model->index(str("/"), config));
        QVERIFY(warnings.texts().isEmpty());
        QCOMPARE(model->pathLevelHashUpdate(), (Levels{{topDir(), str("63")}}));
    }

    void pathLevelHashes()
    {
        setRules({{"usr", "15"}, {"usr/lib", "max"}, {"box", "7"}});
        text("usr", config);
        text("usr/lib", config);
        text("plain.txt", config);
        // Only cells shown or edited take part; "box" was never shown.
        QCOMPARE(model->pathLevelHash(), (Levels{{path("usr"), str("15")}, {path("usr/lib"), str("max")}}));

        QVERIFY(edit("usr/lib", Mic::noLevelString));
        QVERIFY(edit("plain.txt", str("31")));
        QCOMPARE(model->pathLevelHash(), (Levels{{path("usr"), str("15")}, {path("plain.txt"), str("31")}}));
        QCOMPARE(model->pathLevelHashUpdate(), (Levels{{path("usr/lib"), Mic::noLevelString}, {path("plain.txt"), str("31")}}));

        // A new reading of the rules drops every edit.
        setRules({{"box", "7"}});
        QVERIFY(model->pathLevelHash().isEmpty());
        QVERIFY(model->pathLevelHashUpdate().isEmpty());
        QCOMPARE(text("usr/lib", config), Mic::noLevelString);
        QCOMPARE(text("box", config), str("7"));
    }

    void removedFilesTakeTheirEdits()
    {
        QVERIFY(QDir().mkpath(path("gone")));
        QTRY_COMPARE(model->rowCount(cell("", 0)), 5);
        QVERIFY(edit("gone", str("15")));
        QCOMPARE(text("gone", config), str("15"));
        QVERIFY(QDir(path("gone")).removeRecursively());
        QTRY_COMPARE(model->rowCount(cell("", 0)), 4);
        QVERIFY(model->pathLevelHash().isEmpty());
        QVERIFY(model->pathLevelHashUpdate().isEmpty());

        // A new file of the same name starts without the edit.
        QVERIFY(QDir().mkpath(path("gone")));
        QTRY_COMPARE(model->rowCount(cell("", 0)), 5);
        QCOMPARE(text("gone", config), Mic::noLevelString);
        QVERIFY(!isBold("gone"));
    }

    void defaultsReplaceShownLevels()
    {
        setRules({{"usr", "15"}, {"usr/lib", "max"}});
        text("usr", config);
        text("usr/lib", config);
        text("plain.txt", config);
        ModelSignals told(model.get());
        const ModelWarnings warnings(model.get());

        // 63 on "usr/bin" is not covered by "usr", but defaults are not checked.
        model->updateIndexesLevel({{path("usr/bin"), str("63")}, {path("usr/lib/libfoo.so"), str("31")}, {path("missing"), str("15")}});
        QCOMPARE(model->pathLevelHashUpdate(),
                 (Levels{{path("usr"), Mic::noLevelString}, {path("usr/lib"), Mic::noLevelString}, {path("usr/bin"), str("63")}, {path("usr/lib/libfoo.so"), str("31")}}));
        // Each shown cell once, in no order of its own.
        QStringList announced = dataChanges(told).split(QStringLiteral(", "));
        announced.sort();
        QStringList expected = changed({"usr", "usr/lib", "usr/bin", "usr/lib/libfoo.so"}).split(QStringLiteral(", "));
        expected.sort();
        QCOMPARE(announced, expected);
        QVERIFY(isBold("usr"));
        QCOMPARE(text("usr/lib", config), Mic::noLevelString);
        QCOMPARE(text("usr/bin", config), str("63 - High"));
        QVERIFY(warnings.texts().isEmpty());
    }

    void topDirectorySignal()
    {
        model->setCurrentConfigLevels({{str("/"), str("63")}, {topDir(), str("15")}, {path("usr"), str("7")}});
        QSignalSpy signal(model.get(), &MicFileSystemModel::topDirConfigLevelChanged);
        const auto show = [this](const QString &absolute) {
            model->index(absolute, config).data();
        };

        show(str("/"));
        show(topDir());
        show(path("plain.txt")); // no rule: neither signals nor ends the check
        show(topDir()); // cached: not looked up again
        QCOMPARE(signal.count(), 2);
        show(path("usr")); // the first deeper rule ends the check
        model->reset();
        show(path("usr"));
        show(topDir());
        QCOMPARE(signal.count(), 2);
        model->reset();
        show(topDir());
        QCOMPARE(signal.count(), 3);

        // An edit or the defaults end it as well.
        model->reset();
        QVERIFY(edit("plain.txt", str("0")));
        show(str("/"));
        model->reset();
        model->updateIndexesLevel({});
        show(topDir());
        QCOMPARE(signal.count(), 3);
    }
};

QTEST_MAIN(FileSystemModelTest)
#include "filesystemmodeltest.moc"
