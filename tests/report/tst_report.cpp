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

private:
    bool layOut(const QString &dir);
};

bool tst_Report::layOut(const QString &dir)
{
    const struct {
        const char *file;
        const char *sql;
    } files[] = { { "profile.db", "profile-v0.sql" }, { "data.db", "data-v0.sql" },
                  { "qc.db", "qc.sql" }, { "syslog.db", "syslog.sql" } };
    for (const auto &f : files) {
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

QTEST_MAIN(tst_Report)
#include "tst_report.moc"
