// Result review decodes and formats many results at once; these are the figures for that path.
//   cmake -S . -B build-bench -DCORE_BUILD_BENCHMARKS=ON -DCMAKE_BUILD_TYPE=Release
//   cmake --build build-bench --target bench_analysisresult &&
//   build-bench/bench/analysisresult/bench_analysisresult

#include "analysisresult_p.h"
#include "profile.h"

#include <QtCore/qcoreapplication.h>
#include <QtCore/qdatastream.h>
#include <QtCore/qdir.h>
#include <QtCore/qendian.h>
#include <QtCore/qtemporarydir.h>
#include <QtSql/qsqldatabase.h>
#include <QtSql/qsqlquery.h>

#include <benchmark/benchmark.h>

#include <cstring>

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

static void BM_ToStringDecorated(benchmark::State &state)
{
    AnalysisResult result(12.34);
    result.setFlags(tavo::LowerReportLimit | tavo::UpperMarkLimit);
    for (auto _ : state) {
        QString text = result.toString(AnalysisResult::Decorated, 'f', 1);
        benchmark::DoNotOptimize(text);
    }
}
BENCHMARK(BM_ToStringDecorated);

static void BM_ToStringNoFlags(benchmark::State &state)
{
    const AnalysisResult result(12.34);
    for (auto _ : state) {
        QString text = result.toString(AnalysisResult::Decorated, 'f', 1);
        benchmark::DoNotOptimize(text);
    }
}
BENCHMARK(BM_ToStringNoFlags);

static void BM_ToStringNotClotted(benchmark::State &state)
{
    const AnalysisResult result(AnalysisResult::notClottedValue);
    for (auto _ : state) {
        QString text = result.toString(AnalysisResult::Decorated, 'f', 1);
        benchmark::DoNotOptimize(text);
    }
}
BENCHMARK(BM_ToStringNotClotted);

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
BENCHMARK(BM_SaveLoadDelete)->Unit(benchmark::kMicrosecond);

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
    QCoreApplication app(argc, argv);
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

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    QDir::setCurrent(QDir::tempPath());
    return 0;
}
