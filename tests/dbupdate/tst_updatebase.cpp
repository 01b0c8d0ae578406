// The step machinery, driven through dbupdate_scripted: statement runner and its log line,
// version rules, row copy, the transaction of a step and the table rebuild.

#include "dbupdatetesting.h"

#include <algorithm>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QScopedPointer>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using namespace DbupdateTesting;

class tst_UpdateBase : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void failedStatementLine();
    void version_data();
    void version();
    void copyTableMissingSource();
    void copyTableTargetLacksColumn();
    void copyTableKeepsValues();
    void copyTableDroppedAndExtraFields();
    void copyTableStopStateCommitted();
    void copyTableReadError();
    void transactionRolledBackBySqlite();
    void rebuildKeepsReferences();
    void lockedDatabase();
    void damagedFileRefused();

private:
    Result runScript(const QString &script, const QStringList &environment = {});
    QStringList stepWarnings() const;

    QScopedPointer<WorkDirectory> m_dir;
};

void tst_UpdateBase::init()
{
    m_dir.reset(new WorkDirectory);
    QVERIFY(m_dir->isValid());
}

void tst_UpdateBase::cleanup()
{
    m_dir.reset();
}

// Runs the scripted program; a database file that is missing is created first with a table of
// the site's own, as the steps refuse to create one.
Result tst_UpdateBase::runScript(const QString &script, const QStringList &environment)
{
    for (const QString &file : databaseFiles()) {
        if (!QFileInfo::exists(m_dir->filePath(file)))
            sqlite(m_dir->filePath(file), QStringLiteral("create table site(a);"));
    }
    writeFile(m_dir->filePath(QStringLiteral("script")), script.toUtf8());
    return run(m_dir->path(), {QStringLiteral("upgrade.log")},
               environment + QStringList{QStringLiteral("DBUPDATE_SCRIPT=") + m_dir->filePath(QStringLiteral("script"))},
               scriptedProgramPath());
}

// The log without the line on what a stopped step left.
QStringList tst_UpdateBase::stepWarnings() const
{
    QStringList lines = QString::fromLocal8Bit(readFile(m_dir->filePath(QStringLiteral("upgrade.log"))))
                                .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    lines.erase(std::remove_if(lines.begin(), lines.end(),
                               [](const QString &line) {
                                   return line.contains(QLatin1String(": the upgrade stopped; "));
                               }),
                lines.end());
    return lines;
}

void tst_UpdateBase::failedStatementLine()
{
    const Result result = runScript(QStringLiteral("[UpdateData]\n"
                                                   "exec\tupdatedata.cpp\t123\tselec 1\n"
                                                   "exec\tupdatedata.cpp\t124\tcreate table later(x)\n"));
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(stepWarnings(),
             QStringList{QStringLiteral("Warning: updatedata.cpp ( 123 ):  near \"selec\": syntax error "
                                        "Unable to execute statement : [ selec 1 ] ")});
    // The runner carries on after a failure.
    QCOMPARE(sqlite(QStringLiteral("data.db"), QStringLiteral("select name from sqlite_master;")),
             QStringLiteral("site\nlater\n"));
}

void tst_UpdateBase::version_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<int>("expected");
    QTest::addColumn<QString>("refusal"); // for a file refused unchanged

    const QString table = QStringLiteral("create table version(version integer);");
    // Not a workstation's file: refused like a missing one.
    QTest::newRow("empty file") << QString() << -1 << QStringLiteral("Warning: Can't open profile.db: the file is empty");
    QTest::newRow("no tables") << "pragma user_version = 1;" << -1
                               << QStringLiteral("Warning: Can't open profile.db: the file holds no tables");
    QTest::newRow("no table") << "create table other(a);" << 0 << QString();
    QTest::newRow("empty table") << table << 0 << QString();
    QTest::newRow("null") << table + " insert into version values(null);" << 0 << QString();
    QTest::newRow("digits as text")
            << "create table version(version text); insert into version values('2');" << 2 << QString();
    QTest::newRow("two equal rows")
            << table + " insert into version values(2); insert into version values(2);" << 2 << QString();

    // Read as 0, these would run the whole upgrade again over current data.
    const QString damaged = QStringLiteral("Warning: profile.db is damaged: ");
    QTest::newRow("two rows 5 and 1")
            << table + " insert into version values(5); insert into version values(1);" << -1
            << damaged + "the version table holds both 5 and 1";
    QTest::newRow("null and 3")
            << table + " insert into version values(null); insert into version values(3);" << -1
            << damaged + "the version table holds both 0 and 3";
    QTest::newRow("text without digits") << table + " insert into version values('abc');" << -1
                                         << damaged + "version 'abc' is not a non-negative integer";
    QTest::newRow("negative") << table + " insert into version values(-1);" << -1
                              << damaged + "version -1 is not a non-negative integer";
    QTest::newRow("fraction") << table + " insert into version values(2.5);" << -1
                              << damaged + "version 2.5 is not a non-negative integer";
    QTest::newRow("beyond int") << table + " insert into version values(4294967296);" << -1
                                << damaged + "version 4294967296 is out of range";
    // Writing 3 over it would make a later upgrade run its sections again.
    QTest::newRow("newer") << table + " insert into version values(4);" << -1
                           << QStringLiteral("Warning: profile.db has version 4, newer than this program's 3: left unchanged");
}

void tst_UpdateBase::version()
{
    QFETCH(QString, setup);
    QFETCH(int, expected);
    QFETCH(QString, refusal);
    if (!setup.isNull())
        QCOMPARE(sqlite(QStringLiteral("profile.db"), setup), QString());
    else
        QVERIFY(writeFile(QStringLiteral("profile.db"), QByteArray()));
    const QByteArray before = readFile(QStringLiteral("profile.db"));

    // The step's own version statements do not change what its gates see.
    const Result result = runScript(QStringLiteral("[UpdateProfile]\n"
                                                   "version\n"
                                                   "exec\tx.cpp\t1\tdelete from version\n"
                                                   "exec\tx.cpp\t2\tinsert into version values(9)\n"
                                                   "version\n"));
    if (expected < 0) {
        QCOMPARE(result.exitCode, 1);
        QCOMPARE(stepWarnings(), QStringList{refusal});
        QCOMPARE(readFile(QStringLiteral("profile.db")), before);
        return;
    }
    QCOMPARE(result.exitCode, 0);
    const QString line = QStringLiteral("Warning: version %1").arg(expected);
    QCOMPARE(stepWarnings().filter(QRegularExpression(QStringLiteral("^Warning: version \\d+$"))),
             (QStringList{line, line}));
}

void tst_UpdateBase::copyTableMissingSource()
{
    const Result result = runScript(QStringLiteral("[UpdateProfile]\n"
                                                   "copy\tuser\tuser_bak\n"
                                                   "warning\tafter the copy\n"));
    QCOMPARE(result.exitCode, 0);
    const QStringList warnings = stepWarnings();
    QCOMPARE(warnings.size(), 2);
    // The location is the unit's file name, not a path of the build machine.
    QVERIFY2(QRegularExpression(QStringLiteral(
                     "^Warning: updatebase\\.cpp \\( \\d+ \\):  no such table: user_bak "
                     "Unable to execute statement : \\[ select \\* from user_bak \\] $"))
                     .match(warnings.at(0))
                     .hasMatch(),
             qPrintable(warnings.at(0)));
    QCOMPARE(warnings.at(1), QStringLiteral("Warning: after the copy"));
}

void tst_UpdateBase::copyTableTargetLacksColumn()
{
    sqlite(QStringLiteral("profile.db"),
           QStringLiteral("create table src(a, b); insert into src values(1, 'x'); insert into src values(2, 'y');"
                          " create table dst(a);"));
    const Result result = runScript(QStringLiteral("[UpdateProfile]\n"
                                                   "copy\tdst\tsrc\n"
                                                   "warning\tnot reached\n"));
    QCOMPARE(result.exitCode, 1);
    const QStringList warnings = stepWarnings();
    QCOMPARE(warnings.size(), 1);
    QVERIFY2(warnings.at(0).contains(QLatin1String("table dst has no column named b")),
             qPrintable(warnings.at(0)));
    QVERIFY(warnings.at(0).startsWith(QLatin1String("Warning: updatebase.cpp ( ")));
    QVERIFY(warnings.at(0).endsWith(QLatin1String("\"dst\" (\"a\", \"b\") VALUES (1, 'x') ] ")));
    QCOMPARE(sqlite(QStringLiteral("profile.db"), QStringLiteral("select count(*) from dst;")),
             QStringLiteral("0\n"));
    QCOMPARE(sqlite(QStringLiteral("data.db"), QStringLiteral("select name from sqlite_master;")), QStringLiteral("site\n"));
}

void tst_UpdateBase::copyTableKeepsValues()
{
    // Every value keeps its storage class and content, whatever the column's declared type.
    const QString columns = QStringLiteral("(id integer primary key, t text, i integer, r real, b blob, u)");
    sqlite(QStringLiteral("data.db"),
           QStringLiteral("create table src%1; create table dst%1;"
                          "insert into src values(1, 'it''s', 42, 2.5, x'00ff27', 3.0);"
                          "insert into src values(2, '', 4611686018427387904, 0.1, 'text in blob', 'u');"
                          "insert into src values(3, null, 'n/a', 1e300, null, x'');"
                          "insert into src values(4, '新''\"样本', '2-1', -0.0, 7, 9e999);"
                          "insert into src values(5, 12, '', 'x', 1.5, -12);")
                   .arg(columns));
    const Result result = runScript(QStringLiteral("[UpdateData]\ncopy\tdst\tsrc\n"));
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(stepWarnings(), QStringList());

    const QString select = QStringLiteral(
            "select id, typeof(t), quote(t), typeof(i), quote(i), typeof(r), quote(r), typeof(b),"
            " quote(b), typeof(u), quote(u) from %1 order by id;");
    const QString source = sqlite(QStringLiteral("data.db"), select.arg(QStringLiteral("src")));
    QCOMPARE(source.count(QLatin1Char('\n')), 5);
    QCOMPARE(sqlite(QStringLiteral("data.db"), select.arg(QStringLiteral("dst"))), source);
}

void tst_UpdateBase::copyTableDroppedAndExtraFields()
{
    sqlite(QStringLiteral("profile.db"),
           QStringLiteral("create table src(a, b, c); insert into src values(1, 2, 3);"
                          " insert into src values(4, 5, 6); create table dst(a, c, d);"));
    // Names are matched without regard to case, as SQLite does.
    const Result result = runScript(QStringLiteral("[UpdateProfile]\ncopy\tdst\tsrc\tB,nothing\tC=x,d=y\n"));
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(sqlite(QStringLiteral("profile.db"), QStringLiteral("select * from dst order by a;")),
             QStringLiteral("1|x|y\n4|x|y\n"));
}

void tst_UpdateBase::copyTableStopStateCommitted()
{
    // The rebuild pattern on a table whose names clash under the new definition: the step stops
    // at the clash, and the renamed table and the partly filled new one are kept for later.
    sqlite(QStringLiteral("profile.db"),
           QStringLiteral("create table user(name text); insert into user values('Ann');"
                          " insert into user values('ann'); insert into user values('Bo');"
                          " create table version(version integer); insert into version values(0);"));
    const Result result = runScript(QStringLiteral(
            "[UpdateProfile]\n"
            "rename\tuser\tuser_bak\n"
            "exec\tupdateprofile.cpp\t10\tcreate table user(name text unique collate nocase)\n"
            "copy\tuser\tuser_bak\n"
            "exec\tupdateprofile.cpp\t12\tdrop table user_bak\n"
            "exec\tupdateprofile.cpp\t13\tupdate version set version = 3\n"));
    QCOMPARE(result.exitCode, 1);
    QCOMPARE(sqlite(QStringLiteral("profile.db"),
                    QStringLiteral("select name from user; select '-'; select name from user_bak;"
                                   " select version from version;")),
             QStringLiteral("Ann\n-\nAnn\nann\nBo\n0\n"));
    QCOMPARE(stepWarnings().size(), 1);
    QCOMPARE(sqlite(QStringLiteral("data.db"), QStringLiteral("select name from sqlite_master;")), QStringLiteral("site\n"));
}

void tst_UpdateBase::copyTableReadError()
{
    // The rows of the source table cannot be read (a failing disk): the copy must fail rather
    // than let the step drop a table that was not copied in full.
    if (faultShimPath().isEmpty())
        QSKIP("needs the fault library (Linux with sqlite3.h)");
    sqlite(QStringLiteral("data.db"),
           QStringLiteral("create table doctor(abbr text, name text);"
                          " with recursive c(i) as (select 1 union all select i + 1 from c where i < 20)"
                          " insert into doctor select printf('%04d', i), printf('Dr %d', i) from c;"));
    const QByteArray before = readFile(QStringLiteral("data.db"));
    const QString script = QStringLiteral(
            "[UpdateData]\n"
            "rename\tdoctor\tdoctor_bak\n"
            "exec\tupdatedata.cpp\t1\tcreate table doctor(abbr text collate nocase, name text)\n"
            "copy\tdoctor\tdoctor_bak\n"
            "warning\tcopied\n"
            "exec\tupdatedata.cpp\t2\tdrop table doctor_bak\n");
    const QStringList shim = {QStringLiteral("LD_PRELOAD=") + faultShimPath(),
                              QStringLiteral("ASAN_OPTIONS=verify_asan_link_order=0:")
                                      + qEnvironmentVariable("ASAN_OPTIONS")};

    // The calls of a run, traced, name the one that copies the rows.
    const QString trace = m_dir->filePath(QStringLiteral("trace"));
    QCOMPARE(runScript(script, shim + QStringList{QStringLiteral("DBUPDATE_FAULT_TRACE=") + trace}).exitCode, 0);
    QByteArray copy;
    for (const QByteArray &call : readFile(trace).split('\n')) {
        if (call.contains("\tINSERT INTO ") && call.endsWith(" FROM doctor_bak"))
            copy = call.left(call.indexOf('\t'));
    }
    QVERIFY(!copy.isEmpty());

    QVERIFY(writeFile(QStringLiteral("data.db"), before));
    QFile::remove(QStringLiteral("upgrade.log"));
    const Result result = runScript(script, shim + QStringList{QStringLiteral("DBUPDATE_FAULT_STEP=") + QString::fromLatin1(copy),
                                                               QStringLiteral("DBUPDATE_FAULT_RESULT=10")});
    QCOMPARE(result.exitCode, 1);
    const QStringList warnings = stepWarnings();
    QCOMPARE(warnings.size(), 1);
    QVERIFY2(warnings.at(0).endsWith(QLatin1String(" FROM doctor_bak ] ")), qPrintable(warnings.at(0)));
    QCOMPARE(sqlite(QStringLiteral("data.db"), QStringLiteral("select count(*) from doctor; select count(*) from doctor_bak;")),
             QStringLiteral("0\n20\n"));
}

void tst_UpdateBase::transactionRolledBackBySqlite()
{
    // A conflict resolved by ROLLBACK ends the step's transaction inside SQLite. Nothing after
    // it may reach the file one statement at a time; the step fails and the file is as before.
    sqlite(QStringLiteral("profile.db"), QStringLiteral("create table kept(a); insert into kept values(1);"));
    sqlite(QStringLiteral("data.db"), QStringLiteral("create table site(a);"));
    sqlite(QStringLiteral("qc.db"), QStringLiteral("create table site(a);"));
    const QString before = dump(m_dir->path());
    const Result result = runScript(QStringLiteral(
            "[UpdateProfile]\n"
            "exec\tx.cpp\t1\tcreate table u(a unique)\n"
            "exec\tx.cpp\t2\tinsert into u values(1)\n"
            "exec\tx.cpp\t3\tinsert or rollback into u values(1)\n"
            "exec\tx.cpp\t4\tcreate table later(x)\n"
            "exec\tx.cpp\t5\tdelete from kept\n"));
    QCOMPARE(result.exitCode, 1);
    QCOMPARE(dump(m_dir->path()), before);
    const QStringList warnings = stepWarnings();
    QCOMPARE(warnings.size(), 1);
    QVERIFY(warnings.at(0).startsWith(QLatin1String("Warning: x.cpp ( 3 ):  UNIQUE constraint failed")));
}

void tst_UpdateBase::rebuildKeepsReferences()
{
    sqlite(QStringLiteral("data.db"),
           QStringLiteral("create table doctor(id integer primary key, abbr text, name text);"
                          " insert into doctor values(1, 'ls', 'Li Si');"
                          " create table patient(id integer primary key, doctorId integer references doctor(id));"
                          " insert into patient values(7, 1);"
                          " create view doctorNames as select abbr, name from doctor;"
                          " create trigger on_delete_patient after delete on patient begin"
                          " delete from doctor where id = old.doctorId; end;"));
    const Result result = runScript(QStringLiteral(
            "[UpdateData]\n"
            "rename\tdoctor\tdoctor_bak\n"
            "exec\tupdatedata.cpp\t1\tcreate table doctor(id integer primary key, abbr text COLLATE NOCASE, name text)\n"
            "copy\tdoctor\tdoctor_bak\n"
            "exec\tupdatedata.cpp\t2\tdrop table doctor_bak\n"
            // Broken references would make this fail on the view.
            "exec\tupdatedata.cpp\t3\talter table doctor add column phone text\n"));
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(stepWarnings(), QStringList());

    const QString schema = sqlite(QStringLiteral("data.db"),
                                  QStringLiteral("select sql from sqlite_master where name <> 'doctor';"));
    QVERIFY2(!schema.contains(QLatin1String("_bak")), qPrintable(schema));
    QVERIFY(schema.contains(QLatin1String("references doctor(id)")));
    QCOMPARE(sqlite(QStringLiteral("data.db"),
                    QStringLiteral("select * from doctorNames; delete from patient; select count(*) from doctor;")),
             QStringLiteral("ls|Li Si\n0\n"));
}

void tst_UpdateBase::lockedDatabase()
{
    // The application still holding profile.db: the step cannot take the file and fails
    // before it changes anything, once SQLite's wait for the lock is over.
    sqlite(QStringLiteral("profile.db"), QStringLiteral("create table t(a);"));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("holder"));
        db.setDatabaseName(m_dir->filePath(QStringLiteral("profile.db")));
        QVERIFY(db.open());
        QSqlQuery query(db);
        QVERIFY(query.exec(QStringLiteral("begin exclusive")));
        QVERIFY(query.exec(QStringLiteral("insert into t values(1)")));

        const Result result = runScript(QStringLiteral("[UpdateProfile]\nexec\tx.cpp\t1\tdelete from t\n"));
        QCOMPARE(result.exitCode, 1);
        QVERIFY(query.exec(QStringLiteral("commit")));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("holder"));

    const QStringList warnings = stepWarnings();
    QCOMPARE(warnings.size(), 1);
    QVERIFY2(warnings.at(0).startsWith(QLatin1String("Warning: Can't open profile.db: database is locked")),
             qPrintable(warnings.at(0)));
    QCOMPARE(sqlite(QStringLiteral("profile.db"), QStringLiteral("select * from t;")), QStringLiteral("1\n"));
}

void tst_UpdateBase::damagedFileRefused()
{
    // A corrupt page: the file is refused unchanged, with the first problem SQLite names.
    sqlite(QStringLiteral("data.db"),
           QStringLiteral("create table doctor(abbr text, name text);"
                          " with recursive c(i) as (select 1 union all select i + 1 from c where i < 2000)"
                          " insert into doctor select printf('%04d', i), printf('%0100d', i) from c;"
                          " create table version(version integer); insert into version values(1);"));
    const int page = sqlite(QStringLiteral("data.db"),
                            QStringLiteral("select pageno from dbstat where name = 'doctor'"
                                           " and pagetype = 'leaf' order by path desc limit 1;"))
                             .trimmed()
                             .toInt();
    QVERIFY(page > 2);
    QFile file(QStringLiteral("data.db"));
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.seek(qint64(page - 1) * 4096));
    file.write(QByteArray(4096, '\x55'));
    file.close();
    const QByteArray before = readFile(QStringLiteral("data.db"));

    const Result result = runScript(QStringLiteral("[UpdateData]\n"
                                                   "exec\tupdatedata.cpp\t1\tdelete from version\n"
                                                   "exec\tupdatedata.cpp\t2\tinsert into version values(2)\n"));
    QCOMPARE(result.exitCode, 1);
    const QStringList warnings = stepWarnings();
    QCOMPARE(warnings.size(), 1);
    QVERIFY2(QRegularExpression(QStringLiteral("^Warning: data\\.db is damaged: \\*\\*\\* in database main \\*\\*\\* Page %1: ").arg(page))
                     .match(warnings.at(0))
                     .hasMatch(),
             qPrintable(warnings.at(0)));
    QCOMPARE(readFile(QStringLiteral("data.db")), before);
}

QTEST_GUILESS_MAIN(tst_UpdateBase)
#include "tst_updatebase.moc"
