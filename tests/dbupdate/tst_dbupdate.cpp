// The program frame: command line, log, catalogues, step order and exit status. The frame's
// own behaviour is driven through dbupdate_scripted (the real entry point with scripted steps);
// what holds whatever the steps do is checked on the real dbupdate.

#include "dbupdatetesting.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScopedPointer>
#include <QTemporaryDir>
#include <QTest>

using namespace DbupdateTesting;

// Databases that exist and hold a table of the site's own, none that the steps know.
static void createEmpty(const QStringList &files = databaseFiles())
{
    for (const QString &file : files)
        QCOMPARE(sqlite(file, QStringLiteral("create table site(a);")), QString());
}

class tst_Dbupdate : public QObject
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

    void emptyFiles();
    void qcDatabaseLeftAsItWas();
    void openFailure_data();
    void openFailure();

    void readOnlyFiles_data();
    void readOnlyFiles();
    void missingFileNotCreated_data();
    void missingFileNotCreated();
    void logWriteFails();
    void logRefused_data();
    void logRefused();
    void logLineEnds();
    void damagedCatalogue();
    void options_data();
    void options();

private:
    Result runScripted(const QString &script, const QStringList &arguments = {QStringLiteral("upgrade.log")},
                       const QStringList &environment = {});
    QString log() const;

    QScopedPointer<WorkDirectory> m_dir;
};

void tst_Dbupdate::init()
{
    m_dir.reset(new WorkDirectory);
    QVERIFY(m_dir->isValid());
}

void tst_Dbupdate::cleanup()
{
    m_dir.reset();
}

Result tst_Dbupdate::runScripted(const QString &script, const QStringList &arguments,
                                 const QStringList &environment)
{
    const QString path = m_dir->filePath(QStringLiteral("script"));
    writeFile(path, script.toUtf8());
    return run(QDir::currentPath(), arguments, environment + QStringList{QStringLiteral("DBUPDATE_SCRIPT=") + path},
               scriptedProgramPath());
}

QString tst_Dbupdate::log() const
{
    return QString::fromUtf8(readFile(QStringLiteral("upgrade.log")));
}

void tst_Dbupdate::noArguments()
{
    createEmpty();
    const Result result = runScripted(QStringLiteral("[UpdateData]\nexec\tupdatedata.cpp\t7\tselect * from missing\n"),
                                      {});
    QCOMPARE(result.exitCode, 0);
    QVERIFY2(result.standardError.contains("updatedata.cpp ( 7 ):  no such table: missing Unable to execute "
                                           "statement : [ select * from missing ] \n"),
             result.standardError.constData());
    // All three steps ran, and no file appeared.
    QCOMPARE(QDir().entryList(QDir::Files, QDir::Name),
             (QStringList{QStringLiteral("data.db"), QStringLiteral("profile.db"), QStringLiteral("qc.db"),
                          QStringLiteral("script")}));
}

void tst_Dbupdate::logAppended()
{
    createEmpty();
    QVERIFY(writeFile(QStringLiteral("upgrade.log"), "an earlier run\n"));
    const Result result = runScripted(QStringLiteral("[UpdateProfile]\nwarning\tfirst\n"));
    QCOMPARE(result.exitCode, 0);
    QVERIFY2(log().startsWith(QLatin1String("an earlier run\nWarning: first\n")), qPrintable(log()));
    QCOMPARE(result.standardError, QByteArray());
}

void tst_Dbupdate::logNotWritable()
{
    // A log that cannot be opened leaves the messages on standard error, after a line that
    // says so; the run goes on.
    createEmpty();
    QVERIFY(QDir().mkdir(QStringLiteral("logdir")));
    const Result result = runScripted(QStringLiteral("[UpdateProfile]\nwarning\tstill reported\n"),
                                      {QStringLiteral("logdir")});
    QCOMPARE(result.exitCode, 0);
    QVERIFY2(result.standardError.startsWith("The log logdir cannot be written: Is a directory\n"),
             result.standardError.constData());
    QVERIFY(result.standardError.contains("still reported\n"));
}

void tst_Dbupdate::messageTypes()
{
    createEmpty({QStringLiteral("profile.db")});
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

void tst_Dbupdate::catalogues()
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
    createEmpty();

    const Result result = runScripted(QStringLiteral("[UpdateProfile]\ntr\tone\ntr\ttwo\ntr\tthree\ntr\tfour\n"),
                                      {QStringLiteral("L"), QStringLiteral("A"), QStringLiteral("B"),
                                       QStringLiteral("C")});
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(QString::fromUtf8(readFile(QStringLiteral("L"))).split(QLatin1Char('\n')).filter(QStringLiteral(": tr ")),
             (QStringList{QStringLiteral("Warning: tr C1"), QStringLiteral("Warning: tr A2"),
                          QStringLiteral("Warning: tr L3"), QStringLiteral("Warning: tr four")}));
}

void tst_Dbupdate::failedStepEndsProgram_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QStringList>("files");

    QTest::newRow("profile.db") << QStringLiteral("[UpdateProfile]\nexec\tx.cpp\t1\tcreate table t(a)\nstop\n")
                                << QStringList{QStringLiteral("profile.db")};
    QTest::newRow("data.db") << QStringLiteral("[UpdateData]\nexec\tx.cpp\t1\tcreate table t(a)\nstop\n")
                             << QStringList{QStringLiteral("data.db"), QStringLiteral("profile.db")};
}

void tst_Dbupdate::failedStepEndsProgram()
{
    QFETCH(QString, script);
    QFETCH(QStringList, files);

    // Only the files of the steps that run exist: a later step would be refused on its missing
    // file, and say so.
    createEmpty(files);
    const Result result = runScripted(script);
    QCOMPARE(result.exitCode, 1);
    QCOMPARE(QDir().entryList({QStringLiteral("*.db")}, QDir::Files, QDir::Name), files);
    QVERIFY2(!log().contains(QLatin1String("Can't open")), qPrintable(log()));
    // What the failing step wrote before it stopped is kept.
    QCOMPARE(sqlite(files.first(), QStringLiteral("select name from sqlite_master;")), QStringLiteral("site\nt\n"));
}

void tst_Dbupdate::emptyFiles()
{
    // Every statement that needs an old table fails and is logged; the step goes on.
    createEmpty();
    const QByteArray data = readFile(QStringLiteral("data.db"));
    const QByteArray qc = readFile(QStringLiteral("qc.db"));
    const Result result = run(QDir::currentPath(), {QStringLiteral("upgrade.log")});
    QCOMPARE(result.exitCode, 0);
    QVERIFY(readFile(QStringLiteral("data.db")) != data);
    // The qc.db step never writes, not even a version.
    QCOMPARE(readFile(QStringLiteral("qc.db")), qc);

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

void tst_Dbupdate::qcDatabaseLeftAsItWas()
{
    createEmpty({QStringLiteral("profile.db"), QStringLiteral("data.db")});
    QCOMPARE(sqlite(QStringLiteral("qc.db"),
                    QStringLiteral("create table qcResult(lot text, value real); insert into qcResult values('L1', 12.5);"
                                   " create table version(version integer); insert into version values(1);")),
             QString());
    const QByteArray before = readFile(QStringLiteral("qc.db"));
    const Result result = run(QDir::currentPath(), {QStringLiteral("upgrade.log")});
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(readFile(QStringLiteral("qc.db")), before);
}

void tst_Dbupdate::openFailure_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("directory");
    QTest::addColumn<QString>("error");

    for (const QString &file : databaseFiles()) {
        QTest::addRow("%s not a database", qPrintable(file)) << file << false << QStringLiteral("file is not a database");
        QTest::addRow("%s a directory", qPrintable(file)) << file << true << QStringLiteral("unable to open database file");
    }
}

void tst_Dbupdate::openFailure()
{
    QFETCH(QString, file);
    QFETCH(bool, directory);
    QFETCH(QString, error);

    const QStringList files = databaseFiles();
    createEmpty(files.mid(0, files.indexOf(file)));
    if (directory)
        QVERIFY(QDir().mkdir(file));
    else
        QVERIFY(writeFile(file, QByteArray("Lot 7, control plasma N: 12.3 s\n").repeated(40)));
    const QByteArray before = readFile(file);

    const Result result = run(QDir::currentPath(), {QStringLiteral("upgrade.log")});
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(log().contains(QStringLiteral("Warning: Can't open %1: %2").arg(file, error)), qPrintable(log()));
    QCOMPARE(readFile(file), before);

    // The steps after it did not run: they would have been refused on their missing files.
    for (int i = files.indexOf(file) + 1; i < files.size(); ++i)
        QVERIFY2(!log().contains(QLatin1String("Can't open ") + files.at(i)), qPrintable(files.at(i)));
    const QString notRun = QStringList(files.mid(files.indexOf(file) + 1)).join(QLatin1String(", "));
    QVERIFY2(log().endsWith(QStringLiteral("Warning: %1: the upgrade stopped; the file is unchanged%2\n")
                                    .arg(file, notRun.isEmpty() ? QString() : QLatin1String("; not run: ") + notRun)),
             qPrintable(log()));
}

void tst_Dbupdate::readOnlyFiles_data()
{
    QTest::addColumn<QString>("mounted");
    QTest::addColumn<QString>("refused");

    QTest::newRow("data directory") << QStringLiteral(".") << QStringLiteral("profile.db");
    QTest::newRow("data.db") << QStringLiteral("data.db") << QStringLiteral("data.db");
}

void tst_Dbupdate::readOnlyFiles()
{
    // Permissions do not stop root, so the run gets a read-only bind mount in a mount namespace
    // of its own.
    QFETCH(QString, mounted);
    QFETCH(QString, refused);

    QVERIFY(QDir().mkdir(QStringLiteral("data")));
    const QDir data(QStringLiteral("data"));
    for (const QString &file : databaseFiles())
        QCOMPARE(sqlite(data.filePath(file), QStringLiteral("create table t(a); insert into t values(1);")), QString());
    const QString before = dump(data.path());

    const QString target = QDir::cleanPath(data.absoluteFilePath(mounted));
    const QString mount = QStringLiteral("mount --bind -o ro \"$1\" \"$1\"");
    const Result probe = run(data.path(), {QStringLiteral("-rm"), QStringLiteral("sh"), QStringLiteral("-c"), mount,
                                           QStringLiteral("sh"), target},
                             {}, QStringLiteral("unshare"));
    if (probe.exitCode != 0)
        QSKIP(qPrintable(QStringLiteral("no read-only bind mount (unshare -rm): ") + QString::fromLocal8Bit(probe.standardError)));

    const Result result = run(data.path(),
                              {QStringLiteral("-rm"), QStringLiteral("sh"), QStringLiteral("-c"),
                               mount + QStringLiteral(" && cd \"$2\" && exec \"$3\" \"$4\""), QStringLiteral("sh"), target,
                               data.absolutePath(), programPath(), QDir::current().absoluteFilePath(QStringLiteral("upgrade.log"))},
                              {}, QStringLiteral("unshare"));
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(log().contains(QStringLiteral("Warning: Can't open %1: attempt to write a readonly database").arg(refused)),
             qPrintable(log()));
    // The refused file and the files after it are as they were; no journal is left.
    const QStringList files = databaseFiles().mid(databaseFiles().indexOf(refused));
    QCOMPARE(dump(data.path(), files), before.mid(before.indexOf(QStringLiteral("-- ") + refused)));
    QCOMPARE(data.entryList(QDir::Files, QDir::Name),
             (QStringList{QStringLiteral("data.db"), QStringLiteral("profile.db"), QStringLiteral("qc.db")}));
}

void tst_Dbupdate::missingFileNotCreated_data()
{
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<QString>("missing");
    QTest::addColumn<bool>("link"); // a link to the file on a partition that is not mounted

    QTest::newRow("empty directory") << QStringList() << QStringLiteral("profile.db") << false;
    QTest::newRow("data.db") << QStringList{QStringLiteral("profile.db"), QStringLiteral("qc.db")} << QStringLiteral("data.db")
                             << false;
    QTest::newRow("qc.db") << QStringList{QStringLiteral("data.db"), QStringLiteral("profile.db")} << QStringLiteral("qc.db")
                           << false;
    QTest::newRow("data.db linked") << QStringList{QStringLiteral("profile.db"), QStringLiteral("qc.db")}
                                    << QStringLiteral("data.db") << true;
}

void tst_Dbupdate::missingFileNotCreated()
{
    QFETCH(QStringList, present);
    QFETCH(QString, missing);
    QFETCH(bool, link);

    createEmpty(present);
    if (link) {
        QVERIFY(QDir().mkdir(QStringLiteral("partition")));
        QVERIFY(QFile::link(QStringLiteral("partition/") + missing, missing));
    }
    const Result result = run(QDir::currentPath(), {QStringLiteral("upgrade.log")});
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(log().contains(QStringLiteral("Warning: Can't open %1: No such file or directory\n").arg(missing)),
             qPrintable(log()));
    QCOMPARE(QDir().entryList(QDir::Files, QDir::Name), QStringList(present) << QStringLiteral("upgrade.log"));
    QVERIFY(!QFileInfo::exists(QStringLiteral("partition/") + missing));
}

void tst_Dbupdate::logWriteFails()
{
    // A full disk: the lines the log loses go to standard error, after one line on why.
    if (!QFileInfo::exists(QStringLiteral("/dev/full")))
        QSKIP("no /dev/full here");
    createEmpty();
    const Result result = runScripted(QStringLiteral("[UpdateProfile]\nwarning\tfirst\nwarning\tsecond\n"),
                                      {QStringLiteral("/dev/full")});
    QCOMPARE(result.exitCode, 0);
    QVERIFY2(result.standardError.startsWith("The log /dev/full cannot be written: No space left on device\n"
                                             "Warning: first\nWarning: second\n"),
             result.standardError.constData());
    QCOMPARE(result.standardError.count("cannot be written"), 1);
}

void tst_Dbupdate::options_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("error");

    const QString usage = QStringLiteral("^Usage: dbupdate \\[OPTION...\\] \\[LOG \\[CATALOGUE...\\]\\]\n[\\s\\S]+\nExit status:\n");
    QTest::newRow("--help") << QStringList{QStringLiteral("--help")} << 0 << usage << QStringLiteral("^$");
    QTest::newRow("-h after a log") << QStringList{QStringLiteral("upgrade.log"), QStringLiteral("-h")} << 0 << usage
                                    << QStringLiteral("^$");
    QTest::newRow("--version") << QStringList{QStringLiteral("--version")} << 0
                               << QStringLiteral("^dbupdate \\d+\\.\\d+\\.\\d+\n$") << QStringLiteral("^$");
    QTest::newRow("unknown") << QStringList{QStringLiteral("upgrade.log"), QStringLiteral("--force")} << 2
                             << QStringLiteral("^$") << QStringLiteral("^dbupdate: unknown option --force\n\nUsage: ");
    QTest::newRow("unknown beside --help") << QStringList{QStringLiteral("--help"), QStringLiteral("-")} << 2
                                           << QStringLiteral("^$") << QStringLiteral("unknown option -\n");
}

void tst_Dbupdate::options()
{
    // Nothing is opened, created or upgraded.
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, output);
    QFETCH(QString, error);

    QCOMPARE(sqlite(QStringLiteral("profile.db"), QStringLiteral("create table user(name text);")), QString());
    createEmpty({QStringLiteral("data.db"), QStringLiteral("qc.db")});
    const QString before = dump(QDir::currentPath());

    QProcess process;
    process.start(programPath(), arguments);
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), exitCode);
    const QString standardOutput = QString::fromLocal8Bit(process.readAllStandardOutput());
    const QString standardError = QString::fromLocal8Bit(process.readAllStandardError());
    QVERIFY2(QRegularExpression(output).match(standardOutput).hasMatch(), qPrintable(standardOutput));
    QVERIFY2(QRegularExpression(error).match(standardError).hasMatch(), qPrintable(standardError));
    QCOMPARE(dump(QDir::currentPath()), before);
    QCOMPARE(QDir().entryList(QDir::Files, QDir::Name),
             (QStringList{QStringLiteral("data.db"), QStringLiteral("profile.db"), QStringLiteral("qc.db")}));
}

void tst_Dbupdate::logRefused_data()
{
    QTest::addColumn<QString>("kind");

    QTest::newRow("link") << QStringLiteral("link");   // planted, to a file of someone else's
    QTest::newRow("pipe") << QStringLiteral("pipe");   // would block before anything starts
    QTest::newRow("database") << QStringLiteral("database"); // "dbupdate data.db"
}

void tst_Dbupdate::logRefused()
{
    // Refused like a log that cannot be opened: one line on standard error, the messages there,
    // the run goes on; the file the name leads to is left alone.
    QFETCH(QString, kind);
    createEmpty();
    QVERIFY(writeFile(QStringLiteral("victim"), "kept\n"));
    QString log = QStringLiteral("upgrade.log");
    if (kind == QLatin1String("link"))
        QVERIFY(QFile::link(QStringLiteral("victim"), log));
    else if (kind == QLatin1String("pipe"))
        QCOMPARE(run(QDir::currentPath(), {log}, {}, QStringLiteral("mkfifo")).exitCode, 0);
    else
        log = QStringLiteral("data.db");
    const QByteArray data = readFile(QStringLiteral("data.db"));

    const Result result = runScripted(QStringLiteral("[UpdateQc]\n[UpdateProfile]\nwarning\tstill reported\n"), {log});
    QCOMPARE(result.exitCode, 0);
    QVERIFY2(result.standardError.startsWith(QStringLiteral("The log %1 cannot be written: ").arg(log).toUtf8()),
             result.standardError.constData());
    QVERIFY(result.standardError.contains("still reported\n"));
    QCOMPARE(readFile(QStringLiteral("victim")), QByteArray("kept\n"));
    QCOMPARE(readFile(QStringLiteral("data.db")), data);
}

void tst_Dbupdate::logLineEnds()
{
    // A trigger's message with line ends stays one log line; tabs stay as they are.
    createEmpty();
    QCOMPARE(sqlite(QStringLiteral("profile.db"),
                    QStringLiteral("create table t(a); create trigger checked before insert on t begin"
                                   " select raise(abort, 'one\ntwo\tthree'); end;")),
             QString());
    const Result result = runScripted(QStringLiteral("[UpdateProfile]\nexec\tx.cpp\t1\tinsert into t values(1)\n"));
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(log(), QStringLiteral("Warning: x.cpp ( 1 ):  one\\ntwo\tthree Unable to fetch row : [ insert into t values(1) ] \n"));
}

void tst_Dbupdate::damagedCatalogue()
{
    // Bytes flipped at random in a catalogue: none of them may crash the run. A catalogue that
    // does not hold together is left out, and standard error says so.
    createEmpty();
    const QList<QPair<QString, QString>> messages = {
            {QStringLiteral("梯度1"), QStringLiteral("Gradient 1")}, {QStringLiteral("梯度2"), QStringLiteral("Gradient 2")},
            {QStringLiteral("样本类型"), QStringLiteral("Sample type")}, {QStringLiteral("住院号"), QStringLiteral("Hospital No.")},
            {QStringLiteral("初始量[ul]"), QStringLiteral("Initial volume[ul]")}};
    QVERIFY(makeCatalogue(QStringLiteral("sound.qm"), QStringLiteral("UpdateProfile"), messages));
    const QByteArray sound = readFile(QStringLiteral("sound.qm"));
    QString script = QStringLiteral("[UpdateProfile]\n");
    for (const auto &message : messages)
        script += QStringLiteral("tr\t") + message.first + QLatin1Char('\n');

    QRandomGenerator random(21);
    int left = 0;
    for (int i = 0; i < 150; ++i) {
        QByteArray damaged = sound;
        const int at = random.bounded(damaged.size());
        damaged[at] = char(damaged.at(at) ^ (1 << random.bounded(8)));
        QVERIFY(writeFile(QStringLiteral("en.qm"), damaged));
        QFile::remove(QStringLiteral("upgrade.log"));
        const Result result = runScripted(script, {QStringLiteral("upgrade.log"), QStringLiteral("en")});
        QVERIFY2(!result.crashed && result.exitCode == 0, qPrintable(QStringLiteral("byte %1").arg(at)));
        if (result.standardError.contains("the catalogue ./en.qm is damaged and is not used\n")) {
            ++left;
            QVERIFY(!log().contains(QLatin1String("Gradient")));
        }
    }
    QVERIFY(left > 0);
}

QTEST_GUILESS_MAIN(tst_Dbupdate)
#include "tst_dbupdate.moc"
