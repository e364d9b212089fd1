// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

// The set of exception paths a check asks about for each configured object.
#include <pathset.h>

#include <QTest>

#include <string>
#include <vector>

class PathSetTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void answersForMembersAndOthersAlike()
    {
        // Paths that differ in one character, as a configuration's do, and
        // enough of them that many share a slot at first.
        std::vector<std::string> paths;
        for (int i = 0; i < 50000; i += 2) {
            paths.push_back("/srv/data/d" + std::to_string(i / 100) + "/f" + std::to_string(i));
        }
        paths.push_back(paths.front());
        paths.push_back("/opt/my dir/with blanks");
        const PathSet set(paths);
        QVERIFY(!set.empty());
        for (int i = 0; i < 50000; ++i) {
            const std::string path = "/srv/data/d" + std::to_string(i / 100) + "/f" + std::to_string(i);
            QCOMPARE(set.contains(path), i % 2 == 0);
        }
        QVERIFY(set.contains("/opt/my dir/with blanks"));
        QVERIFY(!set.contains("/opt/my dir/with blank"));
        QVERIFY(!set.contains("/opt/my dir/with blanks/"));
        QVERIFY(!set.contains(""));
    }

    void anEmptySetHoldsNothing()
    {
        const PathSet none;
        QVERIFY(none.empty());
        QVERIFY(!none.contains("/"));
        const PathSet emptied{std::vector<std::string>()};
        QVERIFY(!emptied.contains(""));
    }
};

QTEST_GUILESS_MAIN(PathSetTest)
#include "pathsettest.moc"
