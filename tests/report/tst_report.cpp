#include "curveplot.h"

#include <QtTest>

#include <QtCore/qdiriterator.h>
#include <QtCore/qprocess.h>
#include <QtCore/qtemporarydir.h>
#include <QtGui/qimage.h>
#include <QtSql/qsqldatabase.h>
#include <QtSql/qsqlerror.h>
#include <QtSql/qsqlquery.h>

#include <cmath>
#include <limits>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

struct Run
{
    int status = -1;
    QString out;
    QString err;
};

static Run run(const QString &program, const QStringList &arguments, const QString &dir,
               const QString &input = QString())
{
    QProcess process;
    process.setWorkingDirectory(dir);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(env);
    if (!input.isEmpty())
        process.setStandardInputFile(input);
    process.start(program, arguments);
    Run r;
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        return r;
    }
    r.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    r.out = QString::fromUtf8(process.readAllStandardOutput());
    r.err = QString::fromUtf8(process.readAllStandardError());
    return r;
}

class tst_Report : public QObject
{
    Q_OBJECT

private slots:
    void upgradedSample();
    void directoryWithoutDatabases();
    void damagedData();
    void missingDirectory();
    void hotJournal();
    void axisTicks_data();
    void axisTicks();
    void hostileCurves();
    void reducedLine();
    void busyOrNoPermission_data();
    void busyOrNoPermission();
    void pictureFormat_data();
    void pictureFormat();
    void settingsEditorGrab_data();
    void settingsEditorGrab();

private:
    bool layOut(const QString &dir, const QStringList &only = QStringList());
};

bool tst_Report::layOut(const QString &dir, const QStringList &only)
{
    const struct {
        const char *file;
        const char *sql;
    } files[] = { { "profile.db", "profile-v0.sql" }, { "data.db", "data-v0.sql" },
                  { "qc.db", "qc.sql" }, { "syslog.db", "syslog.sql" } };
    for (const auto &f : files) {
        if (!only.isEmpty() && !only.contains(QLatin1String(f.file)))
            continue;
        const Run r = run(QStringLiteral(SQLITE3), { QLatin1String(f.file) }, dir,
                          QStringLiteral(SAMPLES_DIR "/") + QLatin1String(f.sql));
        if (r.status != 0) {
            qWarning("sqlite3 %s: %s", f.file, qPrintable(r.err));
            return false;
        }
    }
    return true;
}

void tst_Report::upgradedSample()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(layOut(dir.path()));
    // The English catalogue is found beside the program, as an installation lays it out.
    QVERIFY(QFile::exists(QStringLiteral(DBUPDATE_QM)));
    const Run upgrade = run(QStringLiteral(DBUPDATE), { "upgrade.log", "dbupdate_en" }, dir.path());
    QCOMPARE(upgrade.status, 0);
    const Run label = run(QStringLiteral(SQLITE3),
                          { "profile.db", "select value from profile where name = 'patient/sampleType'" },
                          dir.path());
    QCOMPARE(label.out.trimmed(), QString("Sample type"));

    const Run report = run(QStringLiteral(REPORT), { "--lang", "en", dir.path() }, dir.path());
    QVERIFY2(report.status == 0, qPrintable(report.err));
    const QStringList lines = report.out.split(QLatin1Char('\n'));
    const auto has = [&](const QString &text) {
        for (const QString &line : lines) {
            if (line.contains(text))
                return true;
        }
        qWarning("missing from the report: %s\n%s", qPrintable(text), qPrintable(report.out));
        return false;
    };
    // The store, the typed settings and the English catalogue.
    QVERIFY(has("language: English"));
    QVERIFY(has("not clotted text:    No clot"));
    QVERIFY(has("statim prefix:       S"));
    // The sample day ends at sample 6; the next number is 7.
    QVERIFY(has("day: 2023-11-15"));
    QVERIFY(has("next sample number: 7 (statim S7, QC QC7)"));
    // Every mark and text of the result screens.
    QVERIFY(has("!> 21.40 ↑"));
    QVERIFY(has("< 2.5 "));
    QVERIFY(has("0.82 ↓"));
    QVERIFY(has("M 13.1 "));
    QVERIFY(has("No clot"));
    QVERIFY(has("---.- "));
    QVERIFY(has("No standard curve"));
    QVERIFY(has("24 results"));
    // The curve was loaded, converted and drawn.
    QVERIFY(has("curve: sample 1, PT: 80 points"));
    QVERIFY(has("converted to optical density"));
    const QString picture = dir.filePath("clotcurve.png");
    QVERIFY(has("picture: " + picture));
    QVERIFY(has("log: " + dir.filePath("upgrade.log")));
    const QImage image(picture);
    QVERIFY(!image.isNull());
    QVERIFY(image.width() >= 600 && image.height() >= 400);
    // Both curves are drawn in colour on a white page.
    bool blue = false, red = false;
    for (int y = 0; y < image.height(); y += 2) {
        for (int x = 0; x < image.width(); x += 2) {
            const QColor c = image.pixelColor(x, y);
            blue = blue || (c.blue() > 150 && c.red() < 80);
            red = red || (c.red() > 150 && c.blue() < 80 && c.green() < 80);
        }
    }
    QVERIFY(blue);
    QVERIFY(red);
}

void tst_Report::directoryWithoutDatabases()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const Run report = run(QStringLiteral(REPORT), { dir.path() }, dir.path());
    QCOMPARE(report.status, 2);
    QVERIFY2(report.err.contains("holds no workstation databases"), qPrintable(report.err));
    QVERIFY(!QFile::exists(dir.filePath("profile.db")));
    QVERIFY(!QFile::exists(dir.filePath("data.db")));
}

void tst_Report::damagedData()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(layOut(dir.path()));
    QFile data(dir.filePath("data.db"));
    QVERIFY(data.open(QIODevice::WriteOnly | QIODevice::Truncate));
    data.write(QByteArray(8192, 'x'));
    data.close();

    const Run report = run(QStringLiteral(REPORT), { dir.path() }, dir.path());
    QCOMPARE(report.status, 3);
    QVERIFY2(report.err.contains("data.db is damaged"), qPrintable(report.err));
}

void tst_Report::missingDirectory()
{
    QTemporaryDir dir;
    const Run report = run(QStringLiteral(REPORT), { dir.filePath("nowhere") }, dir.path());
    QCOMPARE(report.status, 2);
    QVERIFY(report.err.contains("no such directory"));
}

// The application died inside a write: data.db has partly written pages and a hot journal. The
// report rolls the write back, as the store's connection would, and reports the day as before.
void tst_Report::hotJournal()
{
    QTemporaryDir dir, crashed;
    QVERIFY(dir.isValid() && crashed.isValid());
    QVERIFY(layOut(dir.path()));
    const Run before = run(QStringLiteral(REPORT), { "--lang", "en", dir.path() }, dir.path());
    QVERIFY2(before.status == 0, qPrintable(before.err));

    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("writer"));
        db.setDatabaseName(dir.filePath("data.db"));
        QVERIFY(db.open());
        QSqlQuery q(db);
        // A cache of two pages makes SQLite write changed pages into the file before the commit.
        QVERIFY(q.exec("pragma cache_size = 2"));
        QVERIFY(q.exec("begin"));
        QVERIFY2(q.exec("insert into curve (patientId, item, curve) values (999, 'PT', zeroblob(300000))"),
                 qPrintable(q.lastError().text()));
        QVERIFY(q.exec("delete from patient"));
        // The files as a crash at this moment leaves them.
        for (const char *name : { "profile.db", "data.db", "data.db-journal", "qc.db", "syslog.db" })
            QVERIFY2(QFile::copy(dir.filePath(name), crashed.filePath(name)), name);
        QVERIFY(q.exec("rollback"));
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("writer"));

    const Run after = run(QStringLiteral(REPORT), { "--lang", "en", crashed.path() }, crashed.path());
    QVERIFY2(after.status == 0, qPrintable(after.err));
    QVERIFY2(after.err.contains("data.db: rolled back a write that was cut short"), qPrintable(after.err));
    QCOMPARE(QString(after.out).replace(crashed.path(), "WS"), QString(before.out).replace(dir.path(), "WS"));
    QVERIFY(!QFile::exists(crashed.filePath("data.db-journal")));
    const Run rows = run(QStringLiteral(SQLITE3), { "data.db", "select count(*) from curve where patientId = 999" },
                         crashed.path());
    QCOMPARE(rows.out.trimmed(), QString("0"));
}

void tst_Report::axisTicks_data()
{
    QTest::addColumn<double>("min");
    QTest::addColumn<double>("max");
    QTest::addColumn<QVector<double>>("expected");

    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    QTest::newRow("seconds") << 0.0 << 10.0 << QVector<double> { 0, 2, 4, 6, 8, 10 };
    QTest::newRow("densities") << -0.03 << 0.41 << QVector<double> { 0, 0.1, 0.2, 0.3, 0.4 };
    QTest::newRow("empty") << 1.0 << 1.0 << QVector<double>();
    QTest::newRow("reversed") << 2.0 << 1.0 << QVector<double>();
    QTest::newRow("nan") << nan << 1.0 << QVector<double>();
    QTest::newRow("infinite") << 0.0 << inf << QVector<double>();
    // Beyond 2^53 adding the step may change nothing; the ticks still end.
    QTest::newRow("1e17 wide 32") << 1e17 << 1e17 + 32 << QVector<double>();
    QTest::newRow("whole range") << -1e308 << 1e308 << QVector<double>();
    QTest::newRow("tiny") << 0.0 << 1e-300 << QVector<double>();
}

void tst_Report::axisTicks()
{
    QFETCH(double, min);
    QFETCH(double, max);
    QFETCH(QVector<double>, expected);

    const QVector<double> ticks = ::axisTicks(min, max);
    QVERIFY(ticks.size() <= 12);
    for (int i = 0; i < ticks.size(); ++i) {
        QVERIFY(ticks.at(i) >= min && ticks.at(i) <= max);
        QVERIFY(i == 0 || ticks.at(i) > ticks.at(i - 1));
    }
    if (!expected.isEmpty()) {
        QCOMPARE(ticks.size(), expected.size());
        for (int i = 0; i < ticks.size(); ++i)
            QVERIFY2(qAbs(ticks.at(i) - expected.at(i)) < 1e-9, qPrintable(QString::number(ticks.at(i))));
    }
}

// Curves no analyser makes, and every blob the decoder's fuzzing kept: each is drawn, in bounded
// time (a hang fails the test by its time-out).
void tst_Report::hostileCurves()
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    QVector<ClotCurve> curves;
    const auto add = [&](double x0, double dx, const QVector<double> &y) {
        ClotCurve c;
        c.append(x0, dx, y);
        curves << c;
    };
    add(1e16, 2, { 1, 2, 3, 4 });
    add(0, 1, { 1e17, 1e17 + 32, 1e17 });
    add(0, 1e-20, { 1, 2, 3 });
    add(nan, 1, { 1, 2 });
    add(0, nan, { 1, 2 });
    add(0, inf, { 1, 2 });
    add(-1e308, 1e308, { -1e308, 1e308, 0 });
    add(0, 1, { nan, inf, -inf });
    add(0, 0, { 5, 5, 5 });
    curves << ClotCurve();

    QDirIterator it(QStringLiteral(CURVE_CORPUS_DIR), QDir::Files);
    int blobs = 0;
    while (it.hasNext()) {
        QFile file(it.next());
        QVERIFY(file.open(QIODevice::ReadOnly));
        curves << ClotCurve::fromBuffer(file.readAll());
        ++blobs;
    }
    QVERIFY(blobs > 0);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString picture = dir.filePath("curve.png");
    for (int i = 0; i < curves.size(); ++i) {
        const ClotCurve &c = curves.at(i);
        QVERIFY2(plotCurves(c, c.toType(ClotCurve::OD), QStringLiteral("curve %1").arg(i), picture),
                 qPrintable(QString::number(i)));
    }
    QVERIFY(!QImage(picture).isNull());
}

// A million points keep at most two a pixel column, its highest and lowest; a few points keep
// each of them, and their gap.
void tst_Report::reducedLine()
{
    const int n = 1000000, width = 796;
    PolylineReducer dense(0.5, width);
    QVector<double> top(width + 1, qInf()), bottom(width + 1, -qInf());
    quint32 seed = 1;
    for (int i = 0; i < n; ++i) {
        seed = seed * 1664525u + 1013904223u;
        const QPointF point(0.5 + double(i) * width / (n - 1), seed / 65536.0);
        const int column = int(point.x() - 0.5);
        top[column] = qMin(top.at(column), point.y());
        bottom[column] = qMax(bottom.at(column), point.y());
        dense.add(point);
    }
    const QVector<QPolygonF> pieces = dense.pieces();
    QCOMPARE(pieces.size(), 1);
    QVector<QVector<double>> kept(width + 1);
    for (const QPointF &point : pieces.first())
        kept[int(point.x() - 0.5)] << point.y();
    for (int column = 0; column <= width; ++column) {
        QVERIFY(kept.at(column).size() <= 2);
        QVERIFY(kept.at(column).contains(top.at(column)));
        QVERIFY(kept.at(column).contains(bottom.at(column)));
    }

    PolylineReducer sparse(0.5, width);
    QPolygonF line;
    for (int i = 0; i < 80; ++i) {
        line << QPointF(0.5 + i * 10.0, i == 40 ? qQNaN() : (i % 7) * 30.0);
        sparse.add(line.last());
    }
    const QVector<QPolygonF> gap { QPolygonF(line.mid(0, 40)), QPolygonF(line.mid(41)) };
    QCOMPARE(sparse.pieces(), gap);
}

// Another program holding data.db, and a workstation in WAL mode that may not be written here,
// are neither damaged nor each other.
void tst_Report::busyOrNoPermission_data()
{
    QTest::addColumn<bool>("readOnlyWal");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");
    QTest::newRow("busy") << false << 4 << "data.db is busy: another program holds it";
    QTest::newRow("read-only WAL") << true << 5 << "data.db cannot be read here: no permission";
}

void tst_Report::busyOrNoPermission()
{
    QFETCH(bool, readOnlyWal);
    QFETCH(int, status);
    QFETCH(QString, message);

    QTemporaryDir dir;
    QVERIFY(dir.isValid() && layOut(dir.path()));
    QStringList command { REPORT, dir.path() };
    const auto read = QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther;
    const auto enter = read | QFileDevice::ExeOwner | QFileDevice::ExeGroup | QFileDevice::ExeOther;
    if (readOnlyWal) {
#ifdef Q_OS_UNIX
        const Run wal = run(SQLITE3, { "data.db", "pragma journal_mode = wal" }, dir.path());
        QCOMPARE(wal.out.trimmed(), QString("wal"));
        // Root may write anywhere: the report runs as nobody then.
        if (geteuid() == 0) {
            command = QStringList { "setpriv", "--reuid=65534", "--regid=65534", "--clear-groups" }
                    + command;
            if (run("setpriv", command.mid(1, 4) + QStringList("--help"), dir.path()).status != 0)
                QSKIP("the report cannot run as nobody here");
        }
        for (const char *name : { "profile.db", "data.db", "qc.db", "syslog.db" })
            QVERIFY(QFile::setPermissions(dir.filePath(name), read));
        QVERIFY(QFile::setPermissions(dir.path(), enter));
#else
        QSKIP("a directory is made read-only through POSIX permissions");
#endif
    }
    QSqlDatabase holder = QSqlDatabase::addDatabase("QSQLITE", "holder");
    holder.setDatabaseName(dir.filePath("data.db"));
    QVERIFY(readOnlyWal || (holder.open() && QSqlQuery(holder).exec("begin exclusive")));
    const QString program = command.takeFirst();
    const Run report = run(program, command, dir.path());
    holder.close();
    holder = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("holder"));
    QVERIFY(QFile::setPermissions(dir.path(), enter | QFileDevice::WriteOwner));
    QCOMPARE(report.status, status);
    QVERIFY2(report.err.contains(message), qPrintable(report.err));
    QVERIFY(!report.err.contains("damaged"));
}

// The picture is written in the format that its suffix names; a suffix that names none is refused
// before the workstation is read.
void tst_Report::pictureFormat_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("magic");
    QTest::newRow("jpg") << "curve.jpg" << QByteArray("\xff\xd8\xff");
    QTest::newRow("BMP") << "curve.BMP" << QByteArray("BM");
    QTest::newRow("unknown") << "curve.xyz" << QByteArray();
    QTest::newRow("no suffix") << "curve" << QByteArray();
}

void tst_Report::pictureFormat()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, magic);

    QTemporaryDir dir;
    QVERIFY(dir.isValid() && layOut(dir.path()));
    const Run report = run(QStringLiteral(REPORT), { "--picture", file, dir.path() }, dir.path());
    QFile picture(dir.filePath(file));
    QCOMPARE(report.status, magic.isEmpty() ? 2 : 0);
    if (magic.isEmpty()) {
        QVERIFY2(report.err.contains("names no picture format"), qPrintable(report.err));
        QVERIFY(report.out.isEmpty());
        QVERIFY(!picture.exists());
    } else {
        QVERIFY(picture.open(QIODevice::ReadOnly));
        QCOMPARE(picture.read(magic.size()), magic);
    }
}

// A picture of the settings editor is taken with nobody there: where the directory is no
// workstation, it says so at once and creates nothing there.
void tst_Report::settingsEditorGrab_data()
{
    QTest::addColumn<QStringList>("databases");
    QTest::addColumn<QByteArray>("profile");
    QTest::addColumn<QString>("problem");
    const QStringList all { "profile.db", "data.db", "qc.db", "syslog.db" };
    QTest::newRow("workstation") << all << QByteArray() << QString();
    QTest::newRow("empty directory") << QStringList() << QByteArray() << "profile.db is missing";
    QTest::newRow("qc.db missing") << QStringList(all.mid(0, 2) + all.mid(3)) << QByteArray()
                                   << "qc.db is missing";
    QTest::newRow("profile.db of text") << all << QByteArray("name=value\n")
                                        << "profile.db cannot be read";
    QTest::newRow("profile.db empty") << all << QByteArray("") << "profile.db holds no tables";
}

void tst_Report::settingsEditorGrab()
{
    QFETCH(QStringList, databases);
    QFETCH(QByteArray, profile);
    QFETCH(QString, problem);

    QTemporaryDir dir, pictures;
    QVERIFY(dir.isValid() && pictures.isValid());
    QVERIFY(databases.isEmpty() || layOut(dir.path(), databases));
    QFile file(dir.filePath("profile.db"));
    QVERIFY(profile.isNull() || (file.open(QIODevice::WriteOnly) && file.write(profile) >= 0));
    file.close();
    const auto files = [&] {
        return QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    };
    const QStringList before = files();
    const QString picture = pictures.filePath("editor.png");
    const Run editor = run(SETTINGSEDITOR, { "--grab", picture, dir.path() }, dir.path());
    QCOMPARE(files(), before);
    QCOMPARE(editor.status, problem.isEmpty() ? 0 : 2);
    const QString refusal = QDir(dir.path()).canonicalPath() + " is not a workstation: " + problem;
    QVERIFY2(editor.err.contains(refusal) != problem.isEmpty(), qPrintable(editor.err));
    QCOMPARE(QImage(picture).isNull(), !problem.isEmpty());
}

QTEST_MAIN(tst_Report)
#include "tst_report.moc"
