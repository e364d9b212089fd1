#include <QTest>

class Levelstringstest : public QObject
{
    Q_OBJECT
};

QTEST_MAIN(Levelstringstest)
#include "levelstringstest.moc"
