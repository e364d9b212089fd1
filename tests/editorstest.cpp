#include <QTest>

class Editorstest : public QObject
{
    Q_OBJECT
};

QTEST_MAIN(Editorstest)
#include "editorstest.moc"
