// Time of a full upgrade (profile.db from version 0, data.db from version 0) of a workstation
// grown from the sample files: many patients with exams, results and clot curves, and large
// dictionary tables, which the upgrade copies row by row.

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <sqlite3.h>

namespace {

bool execScript(const QString &fileName, const QByteArray &script)
{
    sqlite3 *db = nullptr;
    sqlite3_open(QFile::encodeName(fileName).constData(), &db);
    char *message = nullptr;
    const bool ok = sqlite3_exec(db, script.constData(), nullptr, nullptr, &message) == SQLITE_OK;
    if (!ok)
        fprintf(stderr, "%s: %s\n", qPrintable(fileName), message);
    sqlite3_free(message);
    sqlite3_close(db);
    return ok;
}

QByteArray sample(const char *name)
{
    QFile file(QStringLiteral(SAMPLES_DIR "/") + QLatin1String(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The version 0 sample files with `patients` more patients (three exams and results and one
// clot curve each) and `dictionaryRows` more rows in each of the six dictionary tables.
bool buildWorkstation(const QString &dir, int patients, int dictionaryRows)
{
    if (!execScript(dir + "/profile.db", sample("profile-v0.sql"))
        || !execScript(dir + "/data.db", sample("data-v0.sql")))
        return false;

    QByteArray grow = "begin;\n";
    grow += QByteArray("create temp table n(i integer primary key);\n"
                       "with recursive c(i) as (select 1 union all select i + 1 from c where i < ")
            + QByteArray::number(qMax(patients, dictionaryRows)) + ")\n"
            "insert into n select i from c;\n";
    grow += "insert into patient (sampleNo, date, name, sex, age, ageUnit, department, "
            "treatmentRoom, bedNo, doctor, diagnosis, operator, sendTime, reportTime)\n"
            "select cast(i % 400 + 1 as text), date('2016-01-01', '+' || (i / 400) || ' days'), "
            "printf('测试患者%06d', i), case i % 2 when 0 then 'M' else 'F' end, 18 + i % 70, 'Y', "
            "printf('D%05d', i % 500), printf('R%05d', i % 300), printf('%02d', i % 40), "
            "printf('P%05d', i % 800), printf('G%05d', i % 1000), 'OP' || (i % 3 + 1), "
            "'2016-01-01 08:00:00', '2016-01-01 08:40:00' from n where i <= "
            + QByteArray::number(patients) + ";\n";
    grow += "insert into exam (sampleNo, date, item, state, position)\n"
            "select sampleNo, date, item, 2, k from patient, "
            "(select 'PT' as item, 1 as k union all select 'APTT', 2 union all select 'FIB', 3) "
            "where id > 12;\n"
            "insert into result (patientId, item, value, od, flag, error, unit, time)\n"
            "select id, item, 10.0 + (id % 50) / 10.0, 0.2, 0, 0, 's', sendTime from patient, "
            "(select 'PT' as item union all select 'APTT' union all select 'FIB') where id > 12;\n"
            "insert into curve (patientId, item, curve)\n"
            "select id, 'PT', (select curve from curve where id = 1) from patient where id > 12;\n";
    for (const char *table : {"department", "sex", "treatmentRoom", "diagnosis", "doctor", "operator"}) {
        grow += QByteArray("insert into ") + table + " (abbr, name) select printf('"
                + QByteArray(table).left(2).toUpper() + "%05d', i), printf('" + table
                + " %05d', i) from n where i <= " + QByteArray::number(dictionaryRows) + ";\n";
    }
    grow += "commit;\n";
    return execScript(dir + "/data.db", grow);
}

void fullUpgrade(benchmark::State &state)
{
    const int patients = int(state.range(0));
    const int dictionaryRows = int(state.range(1));
    QTemporaryDir templateDir;
    if (!buildWorkstation(templateDir.path(), patients, dictionaryRows)) {
        state.SkipWithError("cannot build the workstation");
        return;
    }
    const QStringList files = {"profile.db", "data.db"};
    state.counters["data.db MB"] =
            QFileInfo(templateDir.path() + "/data.db").size() / (1024.0 * 1024.0);

    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir work;
        for (const QString &file : files)
            QFile::copy(templateDir.path() + '/' + file, work.path() + '/' + file);
        QProcess process;
        process.setWorkingDirectory(work.path());
        state.ResumeTiming();

        process.start(QStringLiteral(DBUPDATE_PATH), {QStringLiteral("upgrade.log")});
        process.waitForFinished(-1);

        state.PauseTiming();
        if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
            state.SkipWithError("the upgrade failed");
        state.ResumeTiming();
    }
}

} // namespace

BENCHMARK(fullUpgrade)
        ->Args({100000, 20000})
        ->Args({10000, 2000})
        ->ArgNames({"patients", "dictionaryRows"})
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Iterations(3);

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv); // for QProcess
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
