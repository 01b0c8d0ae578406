// Figures for the shared helpers: the table-driven CRC against a bit-at-a-time one, and the sample
// number query on a year of patients with and without an index on the date.
#include <benchmark/benchmark.h>

#include "profile.h"
#include "tavoglobal.h"

#include <QtCore/qdatetime.h>
#include <QtCore/qdir.h>
#include <QtCore/qtemporarydir.h>
#include <QtSql/qsqldatabase.h>
#include <QtSql/qsqlerror.h>
#include <QtSql/qsqlquery.h>
#include <QtWidgets/qapplication.h>

#include <cstdio>
#include <random>

static const int megabyte = 1024 * 1024;
static const int patients = 100000;
static const QDate firstDay(2024, 1, 1);

static QByteArray randomBytes(int size)
{
    QByteArray data(size, Qt::Uninitialized);
    std::mt19937 random(42);
    for (char &c : data)
        c = char(random() & 0xff);
    return data;
}

static quint16 bitwiseCrc16(const char *data, int length)
{
    quint16 crc = 0xffff;
    for (int i = 0; i < length; ++i) {
        crc ^= static_cast<quint16>(static_cast<uchar>(data[i]) << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? static_cast<quint16>((crc << 1) ^ 0x1021)
                                 : static_cast<quint16>(crc << 1);
    }
    return crc;
}

static void BM_crc16Table(benchmark::State &state)
{
    const QByteArray data = randomBytes(megabyte);
    for (auto _ : state)
        benchmark::DoNotOptimize(crc16(data.constData(), data.size()));
    state.SetBytesProcessed(state.iterations() * data.size());
}
BENCHMARK(BM_crc16Table)->Unit(benchmark::kMicrosecond);

static void BM_crc16Bitwise(benchmark::State &state)
{
    const QByteArray data = randomBytes(megabyte);
    for (auto _ : state)
        benchmark::DoNotOptimize(bitwiseCrc16(data.constData(), data.size()));
    state.SetBytesProcessed(state.iterations() * data.size());
}
BENCHMARK(BM_crc16Bitwise)->Unit(benchmark::kMicrosecond);

static bool run(const QString &statement)
{
    QSqlQuery query(Profile::instance().dataDatabase());
    if (query.exec(statement))
        return true;
    std::fprintf(stderr, "%s: %s\n", qPrintable(statement), qPrintable(query.lastError().text()));
    return false;
}

// Argument 0: no index on the date; 1: an index on it.
static void BM_nextSampleNo(benchmark::State &state)
{
    const bool indexed = state.range(0) != 0;
    if (!run(indexed ? QStringLiteral("create index if not exists patient_date on patient (date)")
                     : QStringLiteral("drop index if exists patient_date"))) {
        state.SkipWithError("index statement failed");
        return;
    }
    int day = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(nextSampleNo(firstDay.addDays(day)));
        day = (day + 1) % 366;
    }
}
BENCHMARK(BM_nextSampleNo)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// A year of patients spread evenly over the days, numbered from 1 on each day.
static bool createDatabases()
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("setup"));
        const char *const files[][2] = {
            { "profile.db", "create table profile (name text primary key, value)" },
            { "data.db", "create table patient (id integer primary key, sampleNo text, date)" },
            { "qc.db", "create table qc (id integer primary key)" },
            { "syslog.db", "create table syslog (id integer primary key)" },
        };
        for (const auto &file : files) {
            db.close();
            db.setDatabaseName(QLatin1String(file[0]));
            if (!db.open() || !QSqlQuery(db).exec(QLatin1String(file[1])))
                return false;
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("setup"));

    QSqlDatabase data = Profile::instance().dataDatabase();
    data.transaction();
    QSqlQuery insert(data);
    insert.prepare(QStringLiteral("insert into patient (sampleNo, date) values (?, ?)"));
    const int perDay = patients / 366 + 1;
    for (int i = 0; i < patients; ++i) {
        insert.addBindValue(QString::number(i % perDay + 1));
        insert.addBindValue(firstDay.addDays(i / perDay));
        if (!insert.exec())
            return false;
    }
    if (!data.commit())
        return false;
    // The query must see the rows, or the figures would time an empty table.
    return nextSampleNo(firstDay) == perDay + 1;
}

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid() || !QDir::setCurrent(dir.path()) || !createDatabases()) {
        std::fprintf(stderr, "cannot set up the databases\n");
        return 1;
    }

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
