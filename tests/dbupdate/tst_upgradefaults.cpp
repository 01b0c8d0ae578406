// A run of the real upgrade ended at any sqlite3_step call (power loss, crash) and then run
// again ends in the same files as one uninterrupted run: also over the sample workstation.

#include "dbupdatetesting.h"
#include "workstation.h"

#include <QTemporaryDir>
#include <QTest>

class tst_UpgradeFaults : public QObject
{
    Q_OBJECT

private slots:
    void killedAndRerun_data();
    void killedAndRerun();
};

void tst_UpgradeFaults::killedAndRerun_data()
{
    QTest::addColumn<int>("profileVersion");
    QTest::addColumn<int>("dataVersion");
    QTest::addColumn<int>("maxPoints");
    QTest::addColumn<bool>("stoppedBefore");

    // Every call of a full upgrade; a sample of the calls where that would take too long. The
    // rerun after a stopped copy restores the user table from its backup first.
#ifdef UPGRADE_SANITIZED
    QTest::newRow("full upgrade") << 0 << 0 << 120 << false;
    QTest::newRow("from version 1") << 1 << 1 << 30 << false;
    QTest::newRow("after a stopped copy") << 0 << 0 << 60 << true;
#else
    QTest::newRow("full upgrade") << 0 << 0 << 100000 << false;
    QTest::newRow("from version 1") << 1 << 1 << 80 << false;
    QTest::newRow("after a stopped copy") << 0 << 0 << 400 << true;
#endif
}

void tst_UpgradeFaults::killedAndRerun()
{
    QFETCH(int, profileVersion);
    QFETCH(int, dataVersion);
    QFETCH(int, maxPoints);
    QFETCH(bool, stoppedBefore);

    QTemporaryDir fixture;
    QVERIFY(fixture.isValid());
    QCOMPARE(workstation::buildFromSample(fixture.filePath("profile.db"),
                                          QString("profile-v%1.sql").arg(profileVersion)),
             QString());
    QCOMPARE(workstation::buildFromSample(fixture.filePath("data.db"),
                                          QString("data-v%1.sql").arg(dataVersion)),
             QString());
    QCOMPARE(workstation::buildFromSample(fixture.filePath("qc.db"), "qc.sql"), QString());
    if (stoppedBefore) {
        // A user name that clashes under the new definition stops the first run at the copy;
        // the engineer then repairs the row in user_bak.
        QVERIFY(workstation::Database(fixture.filePath("profile.db"))
                        .exec("insert into user values(6, 'Lab01', 'aa', 1)"));
        QCOMPARE(DbupdateTesting::run(fixture.path(), {"stopped.log"}).exitCode, 1);
        QVERIFY(workstation::Database(fixture.filePath("profile.db"))
                        .exec("update user_bak set name='Lab01-b' where id=6"));
    }

    QTemporaryDir reference;
    QVERIFY(reference.isValid());
    QVERIFY(DbupdateTesting::copyDirectory(fixture.path(), reference.path()));
    DbupdateTesting::KillOptions options;
    options.maxPoints = maxPoints;
    QCOMPARE(DbupdateTesting::run(reference.path(), options.arguments).exitCode, 0);
    const QString expected = DbupdateTesting::dump(reference.path());
    QVERIFY(expected.contains("INSERT INTO version VALUES(3);"));
    QVERIFY(expected.contains("INSERT INTO version VALUES(2);"));

    const DbupdateTesting::KillReport report =
            DbupdateTesting::verifyKillRecovery(fixture.path(), expected, options);
    if (!report.failures.isEmpty())
        QFAIL(qPrintable(report.failures.mid(0, 10).join(QLatin1Char('\n'))));
    QVERIFY2(report.pointsTried >= qMin(maxPoints, report.stepCalls) && report.stepCalls > 100,
             qPrintable(QString("%1 of %2 calls").arg(report.pointsTried).arg(report.stepCalls)));
    qDebug("%d kill points of %d calls", report.pointsTried, report.stepCalls);
}

QTEST_GUILESS_MAIN(tst_UpgradeFaults)
#include "tst_upgradefaults.moc"
