#include <QTest>

class Servicemodeltest : public QObject
{
    Q_OBJECT
};

QTEST_MAIN(Servicemodeltest)
#include "servicemodeltest.moc"
