// Result review decodes and formats many results at once; these are the figures for that path,
// each beside what a team would otherwise write: a plain loop that byte-swaps the same doubles
// for the curve blob, a plain struct for the result record, a plain loop for the densities, and
// SQLite's own interface with statements prepared once for the curve table.

#include "curveblob_p.h"
#include "benchratios.h"
#include "profile.h"

#include <QtCore/qdatastream.h>
#include <QtCore/qdir.h>
#include <QtCore/qendian.h>
#include <QtCore/qtemporarydir.h>
#include <QtSql/qsqldatabase.h>
#include <QtSql/qsqlquery.h>
#include <QtWidgets/qapplication.h>

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <numeric>
#include <vector>

static ClotCurve typicalCurve()
{
    // One segment of 2,000 raw values, as the analyser delivers a clot curve.
    QVector<double> y(2000);
    for (int i = 0; i < y.size(); ++i)
        y[i] = 52000.0 / (1.0 + 0.004 * i) + (i % 13) * 0.37;
    ClotCurve curve;
    curve.append(0.0, 0.1, y);
    return curve;
}

static void BM_FromBuffer(benchmark::State &state)
{
    const QByteArray blob = clotCurveToBlob(typicalCurve());
    for (auto _ : state) {
        ClotCurve curve = ClotCurve::fromBuffer(blob);
        benchmark::DoNotOptimize(curve);
    }
    state.SetBytesProcessed(state.iterations() * blob.size());
}
BENCHMARK(BM_FromBuffer);

static void BM_Encode(benchmark::State &state)
{
    const ClotCurve curve = typicalCurve();
    qint64 bytes = 0;
    for (auto _ : state) {
        QByteArray blob = clotCurveToBlob(curve);
        bytes += blob.size();
        benchmark::DoNotOptimize(blob);
    }
    state.SetBytesProcessed(bytes);
}
BENCHMARK(BM_Encode);

// The floor: swapping the same 2,000 doubles one by one into a buffer that already exists.
static void BM_ByteSwapLoop(benchmark::State &state)
{
    const QVector<double> y = typicalCurve().segments().first().y;
    QVector<double> out(y.size());
    for (auto _ : state) {
        const double *src = y.constData();
        double *dst = out.data();
        for (int i = 0; i < y.size(); ++i) {
            quint64 bits;
            std::memcpy(&bits, src + i, 8);
            bits = qbswap(bits);
            std::memcpy(dst + i, &bits, 8);
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * y.size() * 8);
}
BENCHMARK(BM_ByteSwapLoop);

// What Qt's own stream operators cost for the same blob, for comparison.
static void BM_QDataStreamDecode(benchmark::State &state)
{
    const QByteArray blob = clotCurveToBlob(typicalCurve());
    for (auto _ : state) {
        QDataStream in(blob);
        qint32 type;
        quint32 n;
        double x0, dx;
        QVector<double> y;
        in >> type >> n >> x0 >> dx >> y;
        benchmark::DoNotOptimize(y);
    }
    state.SetBytesProcessed(state.iterations() * blob.size());
}
BENCHMARK(BM_QDataStreamDecode);

static void BM_QDataStreamEncode(benchmark::State &state)
{
    const ClotCurve::Segment segment = typicalCurve().segments().first();
    for (auto _ : state) {
        QByteArray blob;
        QDataStream out(&blob, QIODevice::WriteOnly);
        out << qint32(0) << quint32(1) << segment.x0 << segment.dx << segment.y;
        benchmark::DoNotOptimize(blob);
    }
}
BENCHMARK(BM_QDataStreamEncode);

static void BM_ToTypeOD(benchmark::State &state)
{
    const ClotCurve curve = typicalCurve();
    for (auto _ : state) {
        ClotCurve od = curve.toType(ClotCurve::OD);
        benchmark::DoNotOptimize(od);
    }
}
BENCHMARK(BM_ToTypeOD);

// The floor of the conversion: the same baseline and logarithms over the same values, written
// with the standard algorithms into a buffer that already exists (toType copies the values
// first, as its copy must).
static void BM_ToTypeODLoop(benchmark::State &state)
{
    const QVector<double> y = typicalCurve().segments().first().y;
    QVector<double> out(y.size());
    const double *const in = y.constData();
    double *const od = out.data();
    const int baseline = 30; // x0 0.0, dx 0.1: from x = 3.0 on, over one x unit
    const int width = 10;
    const int firstOD = baseline + width / 2;
    const double tiny = std::numeric_limits<double>::epsilon();
    const auto density = [tiny](double base, double v) {
        return std::min(5.0, std::log10(base / std::max(v, tiny)));
    };
    for (auto _ : state) {
        const double base = std::accumulate(in + baseline, in + baseline + width, 0.0) / width;
        std::fill_n(od, firstOD, 0.0);
        std::transform(in + firstOD, in + y.size(), od + firstOD,
                       [&](double v) { return density(base, v); });
        benchmark::DoNotOptimize(od);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_ToTypeODLoop);

static void BM_ToStringDecorated(benchmark::State &state)
{
    AnalysisResult result(12.34);
    result.setFlags(tavo::LowerReportLimit | tavo::UpperMarkLimit);
    for (auto _ : state) {
        QString text = result.toString(AnalysisResult::Decorated, 'f', 2);
        benchmark::DoNotOptimize(text);
    }
}
BENCHMARK(BM_ToStringDecorated);

static void BM_ToStringNoFlags(benchmark::State &state)
{
    const AnalysisResult result(12.34);
    for (auto _ : state) {
        QString text = result.toString(AnalysisResult::Decorated, 'f', 2);
        benchmark::DoNotOptimize(text);
    }
}
BENCHMARK(BM_ToStringNoFlags);

static void BM_ToStringNotClotted(benchmark::State &state)
{
    const AnalysisResult result(AnalysisResult::notClottedValue);
    for (auto _ : state) {
        QString text = result.toString(AnalysisResult::Decorated, 'f', 2);
        benchmark::DoNotOptimize(text);
    }
}
BENCHMARK(BM_ToStringNotClotted);

// The same decorated text from marks held in constants, without settings: "< 12.34 ↑".
static void BM_ToStringFixedMarks(benchmark::State &state)
{
    const QString lower = QStringLiteral("<");
    const QString up = QString(QChar(0x2191));
    const double value = 12.34;
    for (auto _ : state) {
        QString text = lower + QLatin1Char(' ') + QString::number(value, 'f', 2)
                + QLatin1Char(' ') + up;
        benchmark::DoNotOptimize(text);
    }
}
BENCHMARK(BM_ToStringFixedMarks);

// The number alone, which every text contains.
static void BM_NumberOnlyFloor(benchmark::State &state)
{
    const double value = 12.34;
    for (auto _ : state) {
        QString text = QString::number(value, 'f', 2);
        benchmark::DoNotOptimize(text);
    }
}
BENCHMARK(BM_NumberOnlyFloor);

static void BM_Copy(benchmark::State &state)
{
    AnalysisResult result(12.34);
    result.setCurve(typicalCurve());
    for (auto _ : state) {
        AnalysisResult copy(result);
        benchmark::DoNotOptimize(copy);
    }
}
BENCHMARK(BM_Copy);

static void BM_SetValueUnshared(benchmark::State &state)
{
    AnalysisResult result(12.34);
    double v = 1.0;
    for (auto _ : state) {
        result.setValue(v);
        v += 1.0;
        benchmark::DoNotOptimize(result);
    }
}
BENCHMARK(BM_SetValueUnshared);

// A copy written at once: one record allocated and filled (string and curve shared).
static void BM_SetValueDetach(benchmark::State &state)
{
    AnalysisResult result(12.34);
    result.setErrorText(QStringLiteral("text"));
    result.setCurve(typicalCurve());
    for (auto _ : state) {
        AnalysisResult copy(result);
        copy.setValue(5.0);
        benchmark::DoNotOptimize(copy);
    }
}
BENCHMARK(BM_SetValueDetach);

// The record as a plain struct passed by value, what a team would write without sharing.
struct PlainResult
{
    int id = 0;
    double value = 0.0;
    double od = 0.0;
    int flags = 0;
    int error = AnalysisResult::NullResult;
    QString errorText;
    ClotCurve curve;
    int ch = 0;

    void setValue(double v)
    {
        value = v;
        error = v == AnalysisResult::nullValue ? AnalysisResult::NullResult
                : v == AnalysisResult::notClottedValue ? AnalysisResult::NotClotted
                                                       : AnalysisResult::NoError;
    }
};

static void BM_PlainStructCopy(benchmark::State &state)
{
    PlainResult result;
    result.setValue(12.34);
    result.curve = typicalCurve();
    for (auto _ : state) {
        PlainResult copy(result);
        benchmark::DoNotOptimize(copy);
    }
}
BENCHMARK(BM_PlainStructCopy);

static void BM_PlainStructSetValue(benchmark::State &state)
{
    PlainResult result;
    double v = 1.0;
    for (auto _ : state) {
        result.setValue(v);
        v += 1.0;
        benchmark::DoNotOptimize(result);
    }
}
BENCHMARK(BM_PlainStructSetValue);

// A copy written at once, as BM_SetValueDetach does.
static void BM_PlainStructCopySetValue(benchmark::State &state)
{
    PlainResult result;
    result.setValue(12.34);
    result.errorText = QStringLiteral("text");
    result.curve = typicalCurve();
    for (auto _ : state) {
        PlainResult copy(result);
        copy.setValue(5.0);
        benchmark::DoNotOptimize(copy);
    }
}
BENCHMARK(BM_PlainStructCopySetValue);

static void BM_DefaultConstruct(benchmark::State &state)
{
    for (auto _ : state) {
        AnalysisResult result;
        benchmark::DoNotOptimize(result);
    }
}
BENCHMARK(BM_DefaultConstruct);

// save (insert), load (select) and the delete of an empty curve, each one autocommitted
// statement on data.db in a temporary directory.
static void BM_SaveLoadDelete(benchmark::State &state)
{
    const ClotCurve curve = typicalCurve();
    for (auto _ : state) {
        curve.save(1, QStringLiteral("PT"));
        ClotCurve loaded;
        loaded.load(1, QStringLiteral("PT"));
        ClotCurve().save(1, QStringLiteral("PT"));
        benchmark::DoNotOptimize(loaded);
    }
}
BENCHMARK(BM_SaveLoadDelete)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The same three autocommitted statements through SQLite's own interface, prepared once, with
// the blob encoded and decoded by hand (the byte-swap loop) on a connection of its own.
static void BM_SaveLoadDeleteSqlite(benchmark::State &state)
{
    const QVector<double> y = typicalCurve().segments().first().y;
    sqlite3 *db = nullptr;
    sqlite3_stmt *insert = nullptr;
    sqlite3_stmt *select = nullptr;
    sqlite3_stmt *remove = nullptr;
    const bool ok = sqlite3_open("data.db", &db) == SQLITE_OK
            && sqlite3_prepare_v2(db,
                                  "insert into curve (patientId, item, curve) "
                                  "values(:patientId, :item, :curve)",
                                  -1, &insert, nullptr)
                    == SQLITE_OK
            && sqlite3_prepare_v2(db,
                                  "select curve from curve where patientId=:patientId "
                                  "and item=:item",
                                  -1, &select, nullptr)
                    == SQLITE_OK
            && sqlite3_prepare_v2(db, "delete from curve where patientId=:patientId and item=:item",
                                  -1, &remove, nullptr)
                    == SQLITE_OK;
    std::vector<char> blob(std::size_t(8 + 20 + 8 * y.size()));
    QVector<double> loaded(y.size());
    for (auto _ : state) {
        if (!ok)
            break;
        // Encode: header, segment header, values.
        char *p = blob.data();
        qToBigEndian<quint32>(0, p);
        qToBigEndian<quint32>(1, p + 4);
        qToBigEndian<double>(0.0, p + 8);
        qToBigEndian<double>(0.1, p + 16);
        qToBigEndian<quint32>(quint32(y.size()), p + 24);
        qToBigEndian<double>(y.constData(), y.size(), p + 28);

        sqlite3_bind_int(insert, 1, 1);
        sqlite3_bind_text(insert, 2, "PT", 2, SQLITE_STATIC);
        sqlite3_bind_blob(insert, 3, blob.data(), int(blob.size()), SQLITE_STATIC);
        sqlite3_step(insert);
        sqlite3_reset(insert);

        sqlite3_bind_int(select, 1, 1);
        sqlite3_bind_text(select, 2, "PT", 2, SQLITE_STATIC);
        if (sqlite3_step(select) == SQLITE_ROW && sqlite3_column_bytes(select, 0) == int(blob.size()))
            qFromBigEndian<double>(static_cast<const char *>(sqlite3_column_blob(select, 0)) + 28,
                                   loaded.size(), loaded.data());
        sqlite3_reset(select);

        sqlite3_bind_int(remove, 1, 1);
        sqlite3_bind_text(remove, 2, "PT", 2, SQLITE_STATIC);
        sqlite3_step(remove);
        sqlite3_reset(remove);
        benchmark::DoNotOptimize(loaded.data());
    }
    if (!ok || loaded != y)
        state.SkipWithError("the statements failed");
    sqlite3_finalize(insert);
    sqlite3_finalize(select);
    sqlite3_finalize(remove);
    sqlite3_close(db);
}
BENCHMARK(BM_SaveLoadDeleteSqlite)->Unit(benchmark::kMicrosecond)->UseRealTime();

static bool createDatabase(const QString &fileName, const QString &statement)
{
    bool ok;
    {
        QSqlDatabase db
            = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("setup"));
        db.setDatabaseName(fileName);
        ok = db.open() && QSqlQuery(db).exec(statement);
    }
    QSqlDatabase::removeDatabase(QStringLiteral("setup"));
    return ok;
}

int main(int argc, char **argv)
{
    // Profile::instance() may show message boxes; none should need a screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid() || !QDir::setCurrent(dir.path()))
        return 1;
    // Every file holds a table, so the store opens without a warning box.
    if (!createDatabase("profile.db", "create table profile (name text primary key, value)")
        || !createDatabase("data.db",
                           "create table curve (patientId integer, item text, curve blob)")
        || !createDatabase("qc.db", "create table t (x)")
        || !createDatabase("syslog.db", "create table t (x)"))
        return 1;
    Profile::instance();

    // The decoder must give back the encoded curve, or its figure would time something else.
    const ClotCurve curve = typicalCurve();
    if (ClotCurve::fromBuffer(clotCurveToBlob(curve)).segments().first().y
        != curve.segments().first().y)
        return 1;

    using benchratios::Goal;
    const int status = benchratios::run(argc, argv, {
        { "fromBuffer / byte-swap loop", "BM_FromBuffer", "BM_ByteSwapLoop", Goal::AtMost, 3 },
        { "encode (save's blob) / byte-swap loop", "BM_Encode", "BM_ByteSwapLoop" },
        { "QDataStream decode / fromBuffer", "BM_QDataStreamDecode", "BM_FromBuffer" },
        { "QDataStream encode / encode", "BM_QDataStreamEncode", "BM_Encode" },
        { "save+load+delete / SQLite prepared once", "BM_SaveLoadDelete",
          "BM_SaveLoadDeleteSqlite" },
        { "toType(OD) / plain loop", "BM_ToTypeOD", "BM_ToTypeODLoop" },
        { "toString(Decorated, 'f', 2) / fixed marks", "BM_ToStringDecorated",
          "BM_ToStringFixedMarks" },
        { "toString, no flags / QString::number", "BM_ToStringNoFlags", "BM_NumberOnlyFloor" },
        { "copy / plain struct copy", "BM_Copy", "BM_PlainStructCopy" },
        { "setValue / plain struct setValue", "BM_SetValueUnshared", "BM_PlainStructSetValue" },
        { "copy+setValue (detach) / plain struct", "BM_SetValueDetach",
          "BM_PlainStructCopySetValue" },
    });
    QDir::setCurrent(QDir::tempPath());
    return status;
}
