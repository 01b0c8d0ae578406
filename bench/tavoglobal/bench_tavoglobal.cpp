// Figures for the shared helpers: the table-driven CRC against a bit-at-a-time one and against
// Boost's table-driven CRC of the same parameters, and the sample number query on a year of
// patients with and without an index on the date, against the same query prepared once through
// SQLite's own interface.
#include "benchratios.h"

#include "profile.h"
#include "tavoglobal.h"

#include <QtCore/qdatetime.h>
#include <QtCore/qdir.h>
#include <QtCore/qtemporarydir.h>
#include <QtSql/qsqldatabase.h>
#include <QtSql/qsqlerror.h>
#include <QtSql/qsqlquery.h>
#include <QtWidgets/qapplication.h>

#include <sqlite3.h>

#if __has_include(<boost/crc.hpp>)
#    include <boost/crc.hpp>
#    define HAVE_BOOST_CRC 1
#endif

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

#ifdef HAVE_BOOST_CRC
// CRC-16/CCITT-FALSE: polynomial 0x1021, initial 0xFFFF, no reflection, no final XOR.
using BoostCrc16 = boost::crc_optimal<16, 0x1021, 0xFFFF, 0, false, false>;

static void BM_crc16Boost(benchmark::State &state)
{
    const QByteArray data = randomBytes(megabyte);
    for (auto _ : state) {
        BoostCrc16 crc;
        crc.process_bytes(data.constData(), std::size_t(data.size()));
        benchmark::DoNotOptimize(crc.checksum());
    }
    state.SetBytesProcessed(state.iterations() * data.size());
}
BENCHMARK(BM_crc16Boost)->Unit(benchmark::kMicrosecond);
#endif

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

// The practical limit: the same statement through SQLite's own interface, prepared once and
// reset after each call, on a connection of its own to the same file.
static void BM_nextSampleNoSqlite(benchmark::State &state)
{
    const bool indexed = state.range(0) != 0;
    if (!run(indexed ? QStringLiteral("create index if not exists patient_date on patient (date)")
                     : QStringLiteral("drop index if exists patient_date"))) {
        state.SkipWithError("index statement failed");
        return;
    }
    sqlite3 *db = nullptr;
    sqlite3_stmt *statement = nullptr;
    if (sqlite3_open_v2("data.db", &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK
        || sqlite3_prepare_v2(db,
                              "select max(cast(sampleNo as integer)) from patient where date=:date",
                              -1, &statement, nullptr)
                != SQLITE_OK) {
        state.SkipWithError("cannot prepare the statement");
        sqlite3_close(db);
        return;
    }
    int day = 0;
    for (auto _ : state) {
        const QByteArray date = firstDay.addDays(day).toString(Qt::ISODate).toLatin1();
        sqlite3_bind_text(statement, 1, date.constData(), date.size(), SQLITE_TRANSIENT);
        int next = 1;
        if (sqlite3_step(statement) == SQLITE_ROW)
            next = sqlite3_column_int(statement, 0) + 1;
        sqlite3_reset(statement);
        benchmark::DoNotOptimize(next);
        day = (day + 1) % 366;
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
}
BENCHMARK(BM_nextSampleNoSqlite)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
// Figures without an alternative, to set the Qt 5 and Qt 6 builds side by side: the ratio
// pattern (QRegularExpression in both) and a script on a new engine per call (QtScript with Qt 5,
// QJSEngine with Qt 6).
static void BM_fraction(benchmark::State &state)
{
    const QString text = QStringLiteral("稀释 1/20 倍");
    for (auto _ : state)
        benchmark::DoNotOptimize(fraction(text, nullptr));
}
BENCHMARK(BM_fraction)->Unit(benchmark::kNanosecond);

static void BM_eval(benchmark::State &state)
{
    const QString program = QStringLiteral("var r = 0.5; r * 2 + 1");
    for (auto _ : state)
        benchmark::DoNotOptimize(eval(program));
}
BENCHMARK(BM_eval)->Unit(benchmark::kMicrosecond);

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

    // The three CRCs must agree, or their figures would not compare one computation.
    const QByteArray data = randomBytes(megabyte);
    const quint16 expected = crc16(data.constData(), data.size());
    bool agree = bitwiseCrc16(data.constData(), data.size()) == expected;
#ifdef HAVE_BOOST_CRC
    BoostCrc16 boostCrc;
    boostCrc.process_bytes(data.constData(), std::size_t(data.size()));
    agree = agree && boostCrc.checksum() == expected;
#else
    std::printf("boost/crc.hpp not found (libboost-dev): the Boost CRC is left out\n");
#endif
    if (!agree) {
        std::fprintf(stderr, "the CRC implementations disagree\n");
        return 1;
    }

    using benchratios::Goal;
    const int status = benchratios::run(argc, argv, {
        { "crc16 bitwise / table (crc16)", "BM_crc16Bitwise", "BM_crc16Table" },
        { "crc16 boost::crc_optimal / table (crc16)", "BM_crc16Boost", "BM_crc16Table",
          Goal::AtLeast, 1 },
        { "nextSampleNo / SQLite prepared once, no index", "BM_nextSampleNo/0",
          "BM_nextSampleNoSqlite/0" },
        { "nextSampleNo / SQLite prepared once, index on date", "BM_nextSampleNo/1",
          "BM_nextSampleNoSqlite/1" },
        { "nextSampleNo without / with index on date", "BM_nextSampleNo/0", "BM_nextSampleNo/1" },
    });
    QDir::setCurrent(QDir::tempPath());
    return status;
}
