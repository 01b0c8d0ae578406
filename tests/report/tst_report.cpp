#include <QtTest>

#include <QtCore/qprocess.h>
#include <QtCore/qtemporarydir.h>
#include <QtGui/qimage.h>

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

QTEST_GUILESS_MAIN(tst_Report)
#include "tst_report.moc"
