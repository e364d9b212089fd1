// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

// The user list over passwd and login.defs files of the test's own.
#include <userlistmodel.h>

#include <QAbstractItemModelTester>
#include <QTemporaryDir>
#include <QTest>

class UserListModelTest : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir dir;

    void writeFile(const QString &name, const QByteArray &content)
    {
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }

    static QStringList names(const UserListModel &model)
    {
        QStringList result;
        for (int row = 0; row < model.rowCount(); ++row) {
            result.append(model.index(row, UserListModel::NameColumn).data().toString());
        }
        return result;
    }

private Q_SLOTS:
    void initTestCase()
    {
        writeFile(QStringLiteral("passwd"),
                  "root:x:0:0:root:/root:/bin/bash\n"
                  "daemon:x:1:1:daemon:/usr/sbin:/usr/sbin/nologin\n"
                  "alice:x:1000:1000:Alice Example,Room 1,,:/home/alice:/bin/bash\n"
                  "bob:x:1500:1500::/home/bob:/bin/bash\n"
                  "nobody:x:65534:65534:nobody:/nonexistent:/usr/sbin/nologin\n"
                  "broken line\n");
        writeFile(QStringLiteral("login.defs"), "# range\nUID_MIN\t\t 1000\nUID_MAX   1499\n");
        qputenv("USERLIST_PASSWD_FILE", QFile::encodeName(dir.filePath(QStringLiteral("passwd"))));
        qputenv("USERLIST_LOGIN_DEFS", QFile::encodeName(dir.filePath(QStringLiteral("login.defs"))));
    }

    void filters()
    {
        UserListModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(model.filter(), UserListModel::OrdinaryUsers);
        QCOMPARE(names(model), QStringList{QStringLiteral("alice")}); // bob is above UID_MAX

        model.setFilter(UserListModel::SystemUsers);
        QCOMPARE(names(model), (QStringList{QStringLiteral("root"), QStringLiteral("daemon"), QStringLiteral("bob"), QStringLiteral("nobody")}));
        QVERIFY(!model.findUser(QStringLiteral("alice")).isValid());
        QCOMPARE(model.findUser(QStringLiteral("bob")).row(), 2);

        model.setFilter(UserListModel::AllUsers);
        QCOMPARE(model.rowCount(), 5);
        const QModelIndex alice = model.findUser(QStringLiteral("alice"));
        QCOMPARE(alice.siblingAtColumn(UserListModel::FullNameColumn).data().toString(), QStringLiteral("Alice Example"));
        QCOMPARE(alice.siblingAtColumn(UserListModel::UidColumn).data().toUInt(), 1000u);
        QVERIFY(!model.findUser(QStringLiteral("carol")).isValid());
    }

    void defaultRangeWithoutLoginDefs()
    {
        qputenv("USERLIST_LOGIN_DEFS", QFile::encodeName(dir.filePath(QStringLiteral("missing"))));
        UserListModel model;
        QCOMPARE(names(model), (QStringList{QStringLiteral("alice"), QStringLiteral("bob")}));
        qputenv("USERLIST_LOGIN_DEFS", QFile::encodeName(dir.filePath(QStringLiteral("login.defs"))));
    }

    void filterEnumIsRegistered()
    {
        UserListModel model;
        const int type = QMetaType::type("UserListModel::Filter");
        QVERIFY(type != QMetaType::UnknownType);
        QCOMPARE(type, qMetaTypeId<UserListModel::Filter>());
    }

    void realPasswdDatabase()
    {
        qunsetenv("USERLIST_PASSWD_FILE");
        UserListModel model;
        model.setFilter(UserListModel::AllUsers);
        QVERIFY(model.findUser(QStringLiteral("root")).isValid());
        model.setFilter(UserListModel::SystemUsers);
        QVERIFY(model.findUser(QStringLiteral("root")).isValid());
        qputenv("USERLIST_PASSWD_FILE", QFile::encodeName(dir.filePath(QStringLiteral("passwd"))));
    }
};

QTEST_MAIN(UserListModelTest)
#include "userlistmodeltest.moc"
