// The day's report of a workstation, read through Core the way the analyser application reads it:
// the main settings, the next sample number, the day's results as the result screens show them,
// and one clot curve drawn raw and as optical density.
//
//   report [--lang en|zh] [--date YYYY-MM-DD] [--picture FILE] [DIRECTORY]
//
// The exit status tells a damaged file from one that another program holds or that cannot be
// read here; the usage lists them.

#include "curveplot.h"

#include <analysisresult.h>
#include <profile.h>
#include <tavoglobal.h>

#include <QtCore/qcommandlineparser.h>
#include <QtCore/qdatetime.h>
#include <QtCore/qdir.h>
#include <QtCore/qfileinfo.h>
#include <QtCore/qhash.h>
#include <QtCore/qlibraryinfo.h>
#include <QtCore/qlocale.h>
#include <QtCore/qtimer.h>
#include <QtCore/qtranslator.h>
#include <QtGui/qimagewriter.h>
#include <QtSql/qsqldatabase.h>
#include <QtSql/qsqlerror.h>
#include <QtSql/qsqlquery.h>
#include <QtWidgets/qapplication.h>

#include <cstdio>

namespace {

enum ExitStatus { Success = 0, BadInput = 2, DamagedData = 3, Busy = 4, NoPermission = 5 };

const char usage[] =
        "The day's report of a coagulation workstation.\n\n"
        "Exit status:\n"
        "  0  the report is printed\n"
        "  1  the command line is wrong\n"
        "  2  bad input: no such directory, no workstation databases, a damaged profile.db,\n"
        "     a picture format that the suffix does not name, a picture that cannot be written\n"
        "  3  data.db is damaged\n"
        "  4  busy: another program holds a database; run the report again when it is done\n"
        "  5  no permission to read a database here (reading a database in WAL mode may\n"
        "     need write access to its directory)";

struct Problem
{
    ExitStatus status = Success;
    QString text;

    bool isEmpty() const { return status == Success; }
};

void out(const QString &line)
{
    std::fputs(qPrintable(line + QLatin1Char('\n')), stdout);
    std::fflush(stdout);
}

void err(const QString &line)
{
    std::fputs(qPrintable(QStringLiteral("report: ") + line + QLatin1Char('\n')), stderr);
}

// What a failed open or statement on fileName means: another program holds the file, or the
// file cannot be read here, or else what damaged says.
Problem sqlProblem(const QString &fileName, const QSqlError &error, const QString &damaged)
{
    const QString reason = error.text();
    const Problem noPermission { NoPermission,
                                 QStringLiteral("%1 cannot be read here: no permission (%2)")
                                         .arg(fileName, reason) };
    // The primary result code of SQLite; extended codes keep it in their low byte.
    switch (error.nativeErrorCode().toInt() & 0xff) {
    case 5: // SQLITE_BUSY
    case 6: // SQLITE_LOCKED
        return { Busy, QStringLiteral("%1 is busy: another program holds it (%2)")
                                .arg(fileName, reason) };
    case 3: // SQLITE_PERM
    case 8: // SQLITE_READONLY: reading needs a write, to a WAL database's index beside it
    case 23: // SQLITE_AUTH
        return noPermission;
    case 14: { // SQLITE_CANTOPEN
        const QFileInfo file(fileName);
        if (!file.isReadable() || !QFileInfo(file.absolutePath()).isWritable())
            return noPermission;
        break;
    }
    default:
        break;
    }
    return { DamagedData, damaged };
}

// Says why a query on data.db failed, naming what it could not read; returns the exit status.
ExitStatus dataReadFailed(const QSqlQuery &query, const QString &what)
{
    const QSqlError error = query.lastError();
    const Problem problem = sqlProblem(QStringLiteral("data.db"), error,
                                       QStringLiteral("%1 cannot be read: %2").arg(what, error.text()));
    err(problem.text);
    return problem.status;
}

// What is wrong with a database file, looked at through a connection of its own: empty when it
// opens, reads and holds the tables.
Problem inspectDatabase(const QString &fileName, const QStringList &tables, bool readOnly)
{
    Problem problem;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("check"));
        db.setDatabaseName(fileName);
        if (readOnly)
            db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (!db.open()) {
            const QSqlError error = db.lastError();
            problem = sqlProblem(fileName, error, QStringLiteral("%1 does not open: %2")
                                                          .arg(fileName, error.text()));
        } else {
            QSqlQuery query(db);
            if (!query.exec(QStringLiteral("select name from sqlite_master where type = 'table'"))) {
                const QSqlError error = query.lastError();
                problem = sqlProblem(fileName, error, QStringLiteral("%1 is damaged: %2")
                                                              .arg(fileName, error.text()));
            } else {
                QStringList found;
                while (query.next())
                    found << query.value(0).toString();
                for (const QString &table : tables) {
                    if (!found.contains(table)) {
                        problem = { DamagedData,
                                    QStringLiteral("%1 has no table %2").arg(fileName, table) };
                        break;
                    }
                }
            }
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("check"));
    return problem;
}

// Checks a database file before the store opens it, so that a damaged file is reported here
// rather than as a modal box nobody can answer. Empty on success, else what is wrong.
Problem checkDatabase(const QString &fileName, const QStringList &tables)
{
    if (!QFileInfo(fileName).isFile())
        return { BadInput, QStringLiteral("%1 is missing").arg(fileName) };
    // Read-only first, so that looking changes nothing.
    const Problem problem = inspectDatabase(fileName, tables, true);
    // A write cut short by a crash leaves a hot journal that a read-only connection may not roll
    // back. The store's read-write connection would roll it back on its first read, so do that
    // here and look again. The journal of a write still going on is no such leftover.
    if (problem.isEmpty() || problem.status == Busy
        || !QFileInfo(fileName + QStringLiteral("-journal")).isFile())
        return problem;
    const Problem recovered = inspectDatabase(fileName, tables, false);
    if (recovered.isEmpty())
        err(QStringLiteral("%1: rolled back a write that was cut short").arg(fileName));
    return recovered;
}

bool wantsEnglish(const QString &option)
{
    if (!option.isEmpty())
        return option.startsWith(QLatin1String("en"), Qt::CaseInsensitive);
    for (const char *name : { "LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG" }) {
        const QByteArray value = qgetenv(name);
        if (!value.isEmpty())
            return value.startsWith("en");
    }
    return false;
}

QString flagNames(int flags)
{
    static const struct {
        int bit;
        const char *name;
    } names[] = { { tavo::DilutionResult, "diluted" },
                  { tavo::LowerReportLimit, "below report" },
                  { tavo::UpperReportLimit, "above report" },
                  { tavo::LowerMarkLimit, "below mark" },
                  { tavo::UpperMarkLimit, "above mark" },
                  { tavo::ManualTest, "manual test" },
                  { tavo::ManualInput, "manual input" } };
    QStringList list;
    for (const auto &n : names) {
        if (flags & n.bit)
            list << QLatin1String(n.name);
    }
    return list.join(QStringLiteral(", "));
}

// Columns on a terminal: East Asian wide characters take two cells.
int displayWidth(const QString &text)
{
    int width = 0;
    for (const QChar c : text) {
        const ushort u = c.unicode();
        const bool wide = (u >= 0x1100 && u <= 0x115F) || (u >= 0x2E80 && u <= 0xA4CF)
                || (u >= 0xAC00 && u <= 0xD7A3) || (u >= 0xF900 && u <= 0xFAFF)
                || (u >= 0xFE30 && u <= 0xFE4F) || (u >= 0xFF00 && u <= 0xFF60)
                || (u >= 0xFFE0 && u <= 0xFFE6);
        width += wide ? 2 : 1;
    }
    return width;
}

QString pad(const QString &text, int width)
{
    return text + QString(qMax(1, width - displayWidth(text)), QLatin1Char(' '));
}

} // namespace

int main(int argc, char **argv)
{
    // The report draws offscreen; it needs no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("report"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(usage));
    parser.addHelpOption();
    QCommandLineOption langOption(QStringLiteral("lang"), QStringLiteral("Language: en or zh."),
                                  QStringLiteral("language"));
    QCommandLineOption dateOption(QStringLiteral("date"),
                                  QStringLiteral("The day to report (default: the latest)."),
                                  QStringLiteral("YYYY-MM-DD"));
    QCommandLineOption pictureOption(QStringLiteral("picture"),
                                     QStringLiteral("Where to save the curve picture; the suffix "
                                                    "names the format (png, jpg, bmp, ...)."),
                                     QStringLiteral("file"));
    parser.addOption(langOption);
    parser.addOption(dateOption);
    parser.addOption(pictureOption);
    parser.addPositionalArgument(QStringLiteral("directory"),
                                 QStringLiteral("The workstation's data directory (default: .)."));
    parser.process(app);

    // Refused before anything is read or drawn.
    QString picture = parser.value(pictureOption);
    if (!picture.isEmpty() && pictureFormat(picture).isEmpty()) {
        QStringList formats;
        const QList<QByteArray> supported = QImageWriter::supportedImageFormats();
        for (const QByteArray &format : supported)
            formats << QString::fromLatin1(format);
        err(QStringLiteral("%1: the suffix names no picture format; known are %2")
                    .arg(picture, formats.join(QStringLiteral(", "))));
        return BadInput;
    }

    const QString dir = parser.positionalArguments().value(0, QStringLiteral("."));
    const QFileInfo dirInfo(dir);
    if (!dirInfo.isDir()) {
        err(QStringLiteral("no such directory: %1").arg(dir));
        return BadInput;
    }
    const QString workstation = dirInfo.absoluteFilePath();
    picture = QFileInfo(picture.isEmpty() ? QDir(workstation).filePath(QStringLiteral("clotcurve.png"))
                                          : picture)
                      .absoluteFilePath();
    QDir::setCurrent(workstation);
    out(QStringLiteral("workstation: %1").arg(workstation));

    if (!QFileInfo(QStringLiteral("profile.db")).isFile() && !QFileInfo(QStringLiteral("data.db")).isFile()) {
        err(QStringLiteral("%1 holds no workstation databases (profile.db, data.db)").arg(workstation));
        return BadInput;
    }
    for (const auto &check : { qMakePair(QStringLiteral("profile.db"), QStringList{ QStringLiteral("profile") }),
                               qMakePair(QStringLiteral("data.db"),
                                         QStringList{ QStringLiteral("patient"), QStringLiteral("result"),
                                                      QStringLiteral("curve") }) }) {
        const Problem problem = checkDatabase(check.first, check.second);
        if (!problem.isEmpty()) {
            err(problem.text);
            if (problem.status == DamagedData && check.first != QLatin1String("data.db"))
                return BadInput;
            return problem.status;
        }
    }

    QTranslator translator;
    if (wantsEnglish(parser.value(langOption))) {
        const QStringList places{ QCoreApplication::applicationDirPath() + QStringLiteral("/../translations"),
                                  QCoreApplication::applicationDirPath() + QStringLiteral("/../../translations"),
                                  QCoreApplication::applicationDirPath() + QStringLiteral("/../share/tavocore/translations"),
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
                                  QLibraryInfo::path(QLibraryInfo::TranslationsPath) };
#else
                                  QLibraryInfo::location(QLibraryInfo::TranslationsPath) };
#endif
        bool loaded = false;
        for (const QString &place : places) {
            if (translator.load(QStringLiteral("core_en"), place)) {
                QCoreApplication::installTranslator(&translator);
                out(QStringLiteral("language: English (%1)").arg(QDir::cleanPath(place + QStringLiteral("/core_en.qm"))));
                loaded = true;
                break;
            }
        }
        if (!loaded)
            out(QStringLiteral("language: English catalogue core_en.qm not found; showing source texts"));
    } else {
        out(QStringLiteral("language: source texts (Chinese)"));
    }

    // The store may warn in a modal box (qc.db or syslog.db missing, for example); nobody is there
    // to answer it, so the report prints the warning and goes on.
    QTimer boxCloser;
    QObject::connect(&boxCloser, &QTimer::timeout, &boxCloser, [] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            if (box->isVisible()) {
                err(QStringLiteral("warning box: %1").arg(box->text().replace(QLatin1Char('\n'), QStringLiteral(" | "))));
                box->done(QMessageBox::Ok);
            }
        }
    });
    boxCloser.start(20);

    Profile &profile = Profile::instance();
    out(QStringLiteral("settings: %1 keys in profile.db").arg(profile.keys().size()));
    out(QStringLiteral("  hospital:            %1").arg(profile.hospital(QString())));
    out(QStringLiteral("  statim prefix:       %1").arg(profile.statim_sample_prefix(QStringLiteral("S"))));
    out(QStringLiteral("  QC prefix:           %1").arg(profile.qc_sample_prefix(QStringLiteral("QC"))));
    out(QStringLiteral("  not clotted text:    %1").arg(profile.result_not_clotted(Profile::tr("不凝"))));
    out(QStringLiteral("  incalculable text:   %1").arg(profile.result_can_not_be_calculated(Profile::tr("---.-"))));
    out(QStringLiteral("  marks:               manual %1  diluted %2  report %3 %4  mark %5 %6")
                .arg(profile.manual_input_flag(Profile::tr("M")),
                     profile.dilution_result_flag(Profile::tr("!")),
                     profile.lower_report_limit_flag(Profile::tr("<")),
                     profile.upper_report_limit_flag(Profile::tr(">")),
                     profile.lower_mark_limit_flag(Profile::tr("↓")),
                     profile.upper_mark_limit_flag(Profile::tr("↑"))));

    QSqlDatabase data = profile.dataDatabase();
    QDate day = QDate::fromString(parser.value(dateOption), Qt::ISODate);
    if (parser.isSet(dateOption) && !day.isValid()) {
        err(QStringLiteral("not a date: %1").arg(parser.value(dateOption)));
        return BadInput;
    }
    if (!day.isValid()) {
        QSqlQuery latest(data);
        if (!latest.exec(QStringLiteral("select max(date) from patient")))
            return dataReadFailed(latest, QStringLiteral("patients"));
        if (latest.next())
            day = QDate::fromString(latest.value(0).toString(), Qt::ISODate);
    }
    if (!day.isValid()) {
        err(QStringLiteral("data.db holds no patients"));
        return BadInput;
    }
    out(QStringLiteral("day: %1").arg(day.toString(Qt::ISODate)));
    const QString number = QString::number(nextSampleNo(day));
    out(QStringLiteral("next sample number: %1 (statim %2, QC %3)")
                .arg(number, samplePrefix(tavo::Statim) + number, samplePrefix(tavo::Qc) + number));

    // Decimals per assay, as the result screens show them.
    QHash<QString, int> precision;
    {
        QSqlQuery query(profile.database());
        if (query.exec(QStringLiteral("select name, precision from assayItem"))) {
            while (query.next())
                precision.insert(query.value(0).toString(), query.value(1).toInt());
        }
    }

    QSqlQuery results(data);
    results.prepare(QStringLiteral(
            "select p.sampleNo, p.name, r.item, r.value, r.od, r.flag, r.error, r.unit "
            "from result r join patient p on p.id = r.patientId where p.date = ? "
            "order by cast(p.sampleNo as integer), r.id"));
    results.addBindValue(day);
    if (!results.exec())
        return dataReadFailed(results, QStringLiteral("results"));
    out(QStringLiteral("results of %1:").arg(day.toString(Qt::ISODate)));
    out(QStringLiteral("  %1%2%3%4%5%6")
                .arg(pad(QStringLiteral("sample"), 8), pad(QStringLiteral("patient"), 14),
                     pad(QStringLiteral("assay"), 7), pad(QStringLiteral("result"), 14),
                     pad(QStringLiteral("unit"), 10), QStringLiteral("flags / error")));
    int rows = 0;
    while (results.next()) {
        ++rows;
        const int error = results.value(6).toInt();
        AnalysisResult result = error != AnalysisResult::NoError
                ? AnalysisResult(AnalysisResult::ErrorCode(error))
                : AnalysisResult(results.value(3).toDouble());
        result.setFlags(results.value(5).toInt());
        result.setOD(results.value(4).toDouble());
        const QString item = results.value(2).toString();
        const QString text = result.toString(AnalysisResult::Decorated, 'f', precision.value(item, 2));
        QString notes = flagNames(result.flags());
        if (!result.errorText().isEmpty())
            notes += (notes.isEmpty() ? QString() : QStringLiteral("; ")) + result.errorText();
        out(QStringLiteral("  %1%2%3%4%5%6")
                    .arg(pad(results.value(0).toString(), 8),
                         pad(results.value(1).isNull() ? QStringLiteral("-") : results.value(1).toString(), 14),
                         pad(item, 7), pad(text, 14), pad(results.value(7).toString(), 10), notes));
    }
    out(QStringLiteral("  %1 results").arg(rows));

    QSqlQuery curves(data);
    curves.prepare(QStringLiteral(
            "select c.patientId, c.item, p.sampleNo from curve c join patient p on p.id = c.patientId "
            "where p.date = ? order by c.id limit 1"));
    curves.addBindValue(day);
    if (!curves.exec() || !curves.next()) {
        out(QStringLiteral("curve: none stored for %1").arg(day.toString(Qt::ISODate)));
    } else {
        const int patientId = curves.value(0).toInt();
        const QString item = curves.value(1).toString();
        ClotCurve raw;
        raw.load(patientId, item);
        if (raw.isEmpty()) {
            err(QStringLiteral("the curve of sample %1 (%2) cannot be read").arg(curves.value(2).toString(), item));
            return DamagedData;
        }
        const ClotCurve od = raw.toType(ClotCurve::OD);
        out(QStringLiteral("curve: sample %1, %2: %3 points from %4 s to %5 s, converted to %6")
                    .arg(curves.value(2).toString(), item)
                    .arg(raw.size())
                    .arg(raw.x(0))
                    .arg(raw.x(raw.size() - 1))
                    .arg(od.type() == ClotCurve::OD ? QStringLiteral("optical density")
                                                    : QStringLiteral("nothing (cannot convert)")));
        const QString title = QStringLiteral("Clot curve: sample %1, %2, %3")
                                      .arg(curves.value(2).toString(), item, day.toString(Qt::ISODate));
        if (!plotCurves(raw, od, title, picture)) {
            err(QStringLiteral("cannot write %1").arg(picture));
            return BadInput;
        }
    }

    const QString log = QDir(workstation).filePath(QStringLiteral("upgrade.log"));
    if (QFileInfo(log).isFile())
        out(QStringLiteral("log: %1").arg(log));
    if (QFileInfo(picture).isFile())
        out(QStringLiteral("picture: %1").arg(picture));
    return Success;
}
