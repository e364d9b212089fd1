#include <QTest>

class Filesystemmodeltest : public QObject
{
    Q_OBJECT
};

QTEST_MAIN(Filesystemmodeltest)
#include "filesystemmodeltest.moc"
