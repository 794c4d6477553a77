#include "support/TestSupport.h"

#include <QtTest>

class TestSmoke : public QObject
{
    Q_OBJECT
private slots:
    void templateDatabaseExists() { QVERIFY(QFile::exists(QStringLiteral(TOLVA_TEMPLATE_DB))); }
};

QTEST_GUILESS_MAIN(TestSmoke)
#include "tst_smoke.moc"
