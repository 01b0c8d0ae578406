// The program frame: command line, log, catalogues, step order and exit status. The frame's
// own behaviour is driven through dbupdate_scripted (the real entry point with scripted steps);
// what holds whatever the steps do is checked on the real dbupdate.

#include "dbupdatetesting.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QScopedPointer>
#include <QTemporaryDir>
#include <QTest>

using namespace DbupdateTesting;

class TestDbupdate : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void noArguments();
    void logAppended();
    void logNotWritable();
    void messageTypes();
    void catalogues();
    void failedStepEndsProgram_data();
    void failedStepEndsProgram();

    void freshDirectory();
    void qcDatabaseLeftAsItWas();
    void openFailure_data();
    void openFailure();

private:
    Result runScripted(const QString &script, const QStringList &arguments = {QStringLiteral("upgrade.log")},
                       const QStringList &environment = {});
    QString log() const;

    QScopedPointer<QTemporaryDir> m_dir;
};

void TestDbupdate::init()
{
    m_dir.reset(new QTemporaryDir);
    QVERIFY(m_dir->isValid());
    QVERIFY(QDir::setCurrent(m_dir->path()));
}

void TestDbupdate::cleanup()
{
    QDir::setCurrent(QDir::tempPath());
    m_dir.reset();
}

Result TestDbupdate::runScripted(const QString &script, const QStringList &arguments,
                                 const QStringList &environment)
{
    const QString path = m_dir->filePath(QStringLiteral("script"));
    writeFile(path, script.toUtf8());
    return run(QDir::currentPath(), arguments, environment + QStringList{QStringLiteral("DBUPDATE_SCRIPT=") + path},
               scriptedProgramPath());
}

QString TestDbupdate::log() const
{
    return QString::fromUtf8(readFile(QStringLiteral("upgrade.log")));
}

void TestDbupdate::noArguments()
{
    const Result result = runScripted(QStringLiteral("[UpdateData]\nexec\tupdatedata.cpp\t7\tselect * from missing\n"),
                                      {});
    QCOMPARE(result.exitCode, 0);
    QVERIFY2(result.standardError.contains("updatedata.cpp ( 7 ):  no such table: missing Unable to execute "
                                           "statement : [ select * from missing ] \n"),
             result.standardError.constData());
    // All three steps ran, and no file other than theirs appeared.
    QCOMPARE(QDir().entryList(QDir::Files, QDir::Name),
             (QStringList{QStringLiteral("data.db"), QStringLiteral("profile.db"), QStringLiteral("qc.db"),
                          QStringLiteral("script")}));
}

void TestDbupdate::logAppended()
{
    QVERIFY(writeFile(QStringLiteral("upgrade.log"), "an earlier run\n"));
    const Result result = runScripted(QStringLiteral("[UpdateProfile]\nwarning\tfirst\n"));
    QCOMPARE(result.exitCode, 0);
    QVERIFY2(log().startsWith(QLatin1String("an earlier run\nWarning: first\n")), qPrintable(log()));
    QCOMPARE(result.standardError, QByteArray());
}

void TestDbupdate::logNotWritable()
{
    // A log that cannot be opened leaves the messages on standard error; the run goes on.
    QVERIFY(QDir().mkdir(QStringLiteral("logdir")));
    const Result result = runScripted(QStringLiteral("[UpdateProfile]\nwarning\tstill reported\n"),
                                      {QStringLiteral("logdir")});
    QCOMPARE(result.exitCode, 0);
    QVERIFY(result.standardError.contains("still reported\n"));
    QVERIFY(QFileInfo::exists(QStringLiteral("qc.db")));
}

void TestDbupdate::messageTypes()
{
    const Result result = runScripted(QStringLiteral("[UpdateProfile]\n"
                                                     "debug\td\n"
                                                     "warning\tw 样本\n"
                                                     "critical\tc\n"
                                                     "info\ti\n"
                                                     "fatal\tf\n"
                                                     "warning\tnot reached\n"),
                                      {QStringLiteral("upgrade.log")}, {QStringLiteral("LC_ALL=C.UTF-8")});
    QVERIFY(result.crashed);
    QCOMPARE(log(), QStringLiteral("Debug: d\nWarning: w 样本\nCritical: c\nFatal: f\n"));
    QVERIFY(!QFileInfo::exists(QStringLiteral("data.db")));
}

void TestDbupdate::catalogues()
{
    // Run in work/: catalogues are looked for in ".", then "..", then Qt's directory. The log
    // "L" is offered as a catalogue too; "./L" is the log itself, so "../L.qm" is the one.
    QVERIFY(QDir().mkdir(QStringLiteral("work")));
    const QString context = QStringLiteral("UpdateProfile");
    QVERIFY(makeCatalogue(QStringLiteral("L.qm"), context,
                          {{QStringLiteral("one"), QStringLiteral("L1")},
                           {QStringLiteral("two"), QStringLiteral("L2")},
                           {QStringLiteral("three"), QStringLiteral("L3")}}));
    QVERIFY(makeCatalogue(QStringLiteral("work/A.qm"), context,
                          {{QStringLiteral("one"), QStringLiteral("A1")},
                           {QStringLiteral("two"), QStringLiteral("A2")}}));
    QVERIFY(makeCatalogue(QStringLiteral("C.qm"), context, {{QStringLiteral("one"), QStringLiteral("C1")}}));
    QVERIFY(QDir::setCurrent(QStringLiteral("work")));

    const Result result = runScripted(QStringLiteral("[UpdateProfile]\ntr\tone\ntr\ttwo\ntr\tthree\ntr\tfour\n"),
                                      {QStringLiteral("L"), QStringLiteral("A"), QStringLiteral("B"),
                                       QStringLiteral("C")});
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(QString::fromUtf8(readFile(QStringLiteral("L"))).split(QLatin1Char('\n')).filter(QStringLiteral(": tr ")),
             (QStringList{QStringLiteral("Warning: tr C1"), QStringLiteral("Warning: tr A2"),
                          QStringLiteral("Warning: tr L3"), QStringLiteral("Warning: tr four")}));
}

void TestDbupdate::failedStepEndsProgram_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QStringList>("files");

    QTest::newRow("profile.db") << QStringLiteral("[UpdateProfile]\nexec\tx.cpp\t1\tcreate table t(a)\nstop\n")
                                << QStringList{QStringLiteral("profile.db")};
    QTest::newRow("data.db") << QStringLiteral("[UpdateData]\nexec\tx.cpp\t1\tcreate table t(a)\nstop\n")
                             << QStringList{QStringLiteral("data.db"), QStringLiteral("profile.db")};
}

void TestDbupdate::failedStepEndsProgram()
{
    QFETCH(QString, script);
    QFETCH(QStringList, files);

    const Result result = runScripted(script);
    QCOMPARE(result.exitCode, 1);
    QCOMPARE(QDir().entryList({QStringLiteral("*.db")}, QDir::Files, QDir::Name), files);
    // What the failing step wrote before it stopped is kept.
    QCOMPARE(sqlite(files.first(), QStringLiteral("select name from sqlite_master;")), QStringLiteral("t\n"));
}

void TestDbupdate::freshDirectory()
{
    const Result result = run(QDir::currentPath(), {QStringLiteral("upgrade.log")});
    QCOMPARE(result.exitCode, 0);
    for (const QString &file : databaseFiles())
        QVERIFY2(QFileInfo::exists(file), qPrintable(file));
    // The qc.db step never writes, not even a version.
    QCOMPARE(QFileInfo(QStringLiteral("qc.db")).size(), 0);

    // Failed statements name the unit by its file name only.
    const QRegularExpression located(QStringLiteral("^Warning: (\\S+) \\( \\d+ \\):  "),
                                     QRegularExpression::MultilineOption);
    int count = 0;
    for (auto it = located.globalMatch(log()); it.hasNext(); ++count) {
        const QString file = it.next().captured(1);
        QVERIFY2(QRegularExpression(QStringLiteral("^update\\w+\\.cpp$")).match(file).hasMatch(), qPrintable(file));
    }
    QVERIFY(count > 0);
}

void TestDbupdate::qcDatabaseLeftAsItWas()
{
    QCOMPARE(sqlite(QStringLiteral("qc.db"),
                    QStringLiteral("create table qcResult(lot text, value real); insert into qcResult values('L1', 12.5);"
                                   " create table version(version integer); insert into version values(1);")),
             QString());
    const QByteArray before = readFile(QStringLiteral("qc.db"));
    const Result result = run(QDir::currentPath(), {QStringLiteral("upgrade.log")});
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(readFile(QStringLiteral("qc.db")), before);
}

void TestDbupdate::openFailure_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("directory");
    QTest::addColumn<QString>("error");

    for (const QString &file : databaseFiles()) {
        QTest::addRow("%s not a database", qPrintable(file)) << file << false << QStringLiteral("file is not a database");
        QTest::addRow("%s a directory", qPrintable(file)) << file << true << QStringLiteral("unable to open database file");
    }
}

void TestDbupdate::openFailure()
{
    QFETCH(QString, file);
    QFETCH(bool, directory);
    QFETCH(QString, error);

    if (directory)
        QVERIFY(QDir().mkdir(file));
    else
        QVERIFY(writeFile(file, QByteArray("Lot 7, control plasma N: 12.3 s\n").repeated(40)));
    const QByteArray before = readFile(file);

    const Result result = run(QDir::currentPath(), {QStringLiteral("upgrade.log")});
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(log().contains(QStringLiteral("Warning: Can't open %1: %2").arg(file, error)), qPrintable(log()));
    QCOMPARE(readFile(file), before);

    // The steps after it did not run.
    const QStringList files = databaseFiles();
    for (int i = files.indexOf(file) + 1; i < files.size(); ++i)
        QVERIFY2(!QFileInfo::exists(files.at(i)), qPrintable(files.at(i)));
}

QTEST_GUILESS_MAIN(TestDbupdate)
#include "tst_dbupdate.moc"
