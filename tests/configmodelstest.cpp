#include <QTest>

class Configmodelstest : public QObject
{
    Q_OBJECT
};

QTEST_MAIN(Configmodelstest)
#include "configmodelstest.moc"
