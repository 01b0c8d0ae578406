// A run ended at any point (power loss, crash) leaves every file as it was before the step
// that was running; the next run then ends in the same files as one uninterrupted run.

#include "dbupdatetesting.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace DbupdateTesting;

class tst_DbupdateFaults : public QObject
{
    Q_OBJECT

private slots:
    void rebuildSteps();
    void realProgramFreshDirectory();
};

static void verifyRecovery(const QString &fixture, const KillOptions &options)
{
    QTemporaryDir reference;
    QVERIFY(reference.isValid());
    QVERIFY(copyDirectory(fixture, reference.path()));
    const Result result = run(reference.path(), options.arguments, options.environment, options.program);
    QCOMPARE(result.exitCode, options.expectedExitCode);

    const KillReport report = verifyKillRecovery(fixture, dump(reference.path()), options);
    qInfo("%d sqlite3_step calls, %d kill points", report.stepCalls, report.pointsTried);
    if (!report.failures.isEmpty())
        QFAIL(qPrintable(report.failures.mid(0, 10).join(QLatin1Char('\n'))));
    QVERIFY(report.stepCalls > 0);
    QVERIFY(report.pointsTried >= qMin(report.stepCalls, options.maxPoints));
}

void tst_DbupdateFaults::rebuildSteps()
{
    // Two files at an old version, each rebuilding a table with the rename and row copy of a
    // real step, and writing its version.
    QTemporaryDir fixture;
    QVERIFY(fixture.isValid());
    const QString rows = QStringLiteral(
            " with recursive c(i) as (select 1 union all select i + 1 from c where i < 12)"
            " insert into %1 select i, printf('ab%d', i), printf('Name ''%d''', i) from c;");
    QCOMPARE(sqlite(fixture.filePath(QStringLiteral("profile.db")),
                    QStringLiteral("create table user(id integer primary key, abbr text, name text);"
                                   " create table version(version integer); insert into version values(0);")
                            + rows.arg(QStringLiteral("user"))),
             QString());
    QCOMPARE(sqlite(fixture.filePath(QStringLiteral("data.db")),
                    QStringLiteral("create table doctor(id integer primary key, abbr text, name text);"
                                   " create view doctors as select name from doctor;")
                            + rows.arg(QStringLiteral("doctor"))),
             QString());

    const QString script = QStringLiteral(
            "[UpdateProfile]\n"
            "below\t3\n"
            "rename\tuser\tuser_bak\n"
            "exec\tupdateprofile.cpp\t1\tcreate table user(id integer primary key, abbr text unique, name text)\n"
            "copy\tuser\tuser_bak\n"
            "exec\tupdateprofile.cpp\t2\tdrop table user_bak\n"
            "always\n"
            "exec\tupdateprofile.cpp\t3\tdelete from version\n"
            "exec\tupdateprofile.cpp\t4\tinsert into version values(3)\n"
            "[UpdateData]\n"
            "below\t2\n"
            "rename\tdoctor\tdoctor_bak\n"
            "exec\tupdatedata.cpp\t1\tcreate table doctor(id integer primary key, abbr text COLLATE NOCASE, name text)\n"
            "exec\tupdatedata.cpp\t2\tcreate index if not exists doctor_index on doctor (abbr)\n"
            "copy\tdoctor\tdoctor_bak\n"
            "exec\tupdatedata.cpp\t3\tdrop table doctor_bak\n"
            "exec\tupdatedata.cpp\t4\tcreate table version(version integer)\n"
            "always\n"
            "exec\tupdatedata.cpp\t5\tdelete from version\n"
            "exec\tupdatedata.cpp\t6\tinsert into version values(2)\n");
    QCOMPARE(sqlite(fixture.filePath(QStringLiteral("qc.db")), QStringLiteral("create table site(a);")), QString());
    QTemporaryDir scriptDir;
    QVERIFY(writeFile(scriptDir.filePath(QStringLiteral("script")), script.toUtf8()));

    KillOptions options;
    options.program = scriptedProgramPath();
    options.environment = QStringList{QStringLiteral("DBUPDATE_SCRIPT=") + scriptDir.filePath(QStringLiteral("script"))};
    options.maxPoints = 1000; // every call
    verifyRecovery(fixture.path(), options);
}

void tst_DbupdateFaults::realProgramFreshDirectory()
{
    // Files with no table of the workstation's: the program creates no file itself.
    QTemporaryDir fixture;
    QVERIFY(fixture.isValid());
    for (const QString &file : databaseFiles())
        QCOMPARE(sqlite(fixture.filePath(file), QStringLiteral("create table site(a);")), QString());
    verifyRecovery(fixture.path(), KillOptions());
}

QTEST_GUILESS_MAIN(tst_DbupdateFaults)
#include "tst_dbupdatefaults.moc"
