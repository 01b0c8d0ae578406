// A run of the real upgrade ended at any sqlite3_step call (power loss, crash) and then run
// again ends in the same files as one uninterrupted run: also over the sample workstation.

#include "dbupdatetesting.h"
#include "workstation.h"

#include <QDir>
#include <QRegularExpression>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QTest>

class tst_UpgradeFaults : public QObject
{
    Q_OBJECT

private slots:
    void killedAndRerun_data();
    void killedAndRerun();
    void snapshotDoesNotFit();
    void restoreKilledAndRerun();
};

namespace {

QStringList preloaded(const QStringList &settings)
{
    return settings
            + QStringList{"LD_PRELOAD=" + DbupdateTesting::faultShimPath(),
                          "ASAN_OPTIONS=verify_asan_link_order=0:" + qEnvironmentVariable("ASAN_OPTIONS")};
}

bool buildOldWorkstation(const QString &directory)
{
    return workstation::buildFromSample(directory + "/profile.db", "profile-v0.sql").isEmpty()
            && workstation::buildFromSample(directory + "/data.db", "data-v0.sql").isEmpty()
            && workstation::buildFromSample(directory + "/qc.db", "qc.sql").isEmpty();
}

} // namespace

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

void tst_UpgradeFaults::snapshotDoesNotFit()
{
    // A disk without room for the copy: the file is refused unchanged, before anything is copied.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // The free space comes from the mount table; where there is none (a bare chroot), the program
    // cannot know it and lets the copy itself fail on a full disk.
    if (!QStorageInfo(dir.path()).isValid())
        QSKIP("No mount table: the free space of the directory is unknown");
    QVERIFY(buildOldWorkstation(dir.path()));
    const QString before = DbupdateTesting::dump(dir.path());
    const QByteArray profile = DbupdateTesting::readFile(dir.filePath("profile.db"));

    const DbupdateTesting::Result result =
            DbupdateTesting::run(dir.path(), {"upgrade.log"}, preloaded({"DBUPDATE_FAULT_FREE=4096"}));
    QCOMPARE(result.exitCode, 1);
    const QString log = QString::fromLocal8Bit(DbupdateTesting::readFile(dir.filePath("upgrade.log")));
    // The reason, then what the stop left, as after any stopped step.
    QVERIFY2(QRegularExpression("^Warning: profile.db left unchanged: no snapshot of it could be made: "
                                "4096 bytes free on the disk, \\d+ needed \\(--no-backup upgrades without one\\)\n"
                                "Warning: profile.db: the upgrade stopped; the file is unchanged \\(rolled back\\);"
                                " not run: data.db, qc.db\n$")
                     .match(log).hasMatch(),
             qPrintable(log));
    QCOMPARE(DbupdateTesting::readFile(dir.filePath("profile.db")), profile);
    QCOMPARE(DbupdateTesting::dump(dir.path()), before);
    QVERIFY(!QFileInfo::exists(dir.filePath("dbupdate-backup")));

    // --check says the same.
    QCOMPARE(DbupdateTesting::run(dir.path(), {"--check"}, preloaded({"DBUPDATE_FAULT_FREE=4096"})).exitCode, 1);
}

void tst_UpgradeFaults::restoreKilledAndRerun()
{
    // A restore ended at any of its SQLite calls or file replacements, then run again, leaves
    // the files of the snapshot.
    QTemporaryDir fixture;
    QVERIFY(fixture.isValid());
    QVERIFY(buildOldWorkstation(fixture.path()));
    const QString old = DbupdateTesting::dump(fixture.path());
    QCOMPARE(DbupdateTesting::run(fixture.path(), {"upgrade.log"}).exitCode, 0);
    QVERIFY(DbupdateTesting::dump(fixture.path()) != old);

    DbupdateTesting::KillOptions options;
    options.arguments = QStringList{"--restore", "restore.log"};
    const DbupdateTesting::KillReport report = DbupdateTesting::verifyKillRecovery(fixture.path(), old, options);
    if (!report.failures.isEmpty())
        QFAIL(qPrintable(report.failures.mid(0, 10).join(QLatin1Char('\n'))));
    QVERIFY(report.stepCalls > 0);

    // Before and after each file's rename over the old one.
    for (const char *point : {"1", "2"}) {
        for (bool after : {false, true}) {
            QTemporaryDir dir;
            QVERIFY(DbupdateTesting::copyDirectory(fixture.path(), dir.path()));
            QStringList fault = {"DBUPDATE_FAULT_RENAME=" + QString::fromLatin1(point)};
            if (after)
                fault.append("DBUPDATE_FAULT_AFTER=1");
            QVERIFY(DbupdateTesting::run(dir.path(), options.arguments, preloaded(fault)).crashed);
            QCOMPARE(DbupdateTesting::run(dir.path(), options.arguments).exitCode, 0);
            QCOMPARE(DbupdateTesting::dump(dir.path()), old);
            QCOMPARE(QDir(dir.path()).entryList({"*-journal", "*-wal"}, QDir::Files), QStringList());
        }
    }
}

QTEST_GUILESS_MAIN(tst_UpgradeFaults)
#include "tst_upgradefaults.moc"
