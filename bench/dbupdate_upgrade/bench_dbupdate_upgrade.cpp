// A full upgrade of a large workstation (profile.db and data.db from version 0, grown from the
// sample files: many patients with exams, results and clot curves, and large dictionary tables
// that the upgrade rebuilds) by the built dbupdate, against the sqlite3 shell doing the same
// work on an identical copy. The shell runs the program's own statements: those that dbupdate
// starts on a small workstation, written down by a preloaded library (statementtrace.c), with
// each row-by-row table copy replaced by one "insert into ... select". Before timing, both
// results on that small workstation are compared table by table, so that the two figures are
// of the same work; dbupdate runs with --no-backup there, as the shell takes no snapshot. The
// quick check that dbupdate runs on every file before its step is also timed on its own, and so
// are the snapshot an upgrade takes by default and a restore of it, against cp of the same files.

#include "benchratios.h"
#include "restore.h"
#include "runsummary.h"
#include "snapshot.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <cstdio>

namespace {

bool execScript(const QString &fileName, const QByteArray &script)
{
    sqlite3 *db = nullptr;
    sqlite3_open(QFile::encodeName(fileName).constData(), &db);
    char *message = nullptr;
    const bool ok = sqlite3_exec(db, script.constData(), nullptr, nullptr, &message) == SQLITE_OK;
    if (!ok)
        std::fprintf(stderr, "%s: %s\n", qPrintable(fileName), message);
    sqlite3_free(message);
    sqlite3_close(db);
    return ok;
}

QByteArray sample(const char *name)
{
    QFile file(QStringLiteral(SAMPLES_DIR "/") + QLatin1String(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The version 0 sample files (and qc.db) with `patients` more patients (three exams and results and one
// clot curve each) and `dictionaryRows` more rows in each of the six dictionary tables.
bool buildWorkstation(const QString &dir, int patients, int dictionaryRows)
{
    if (!execScript(dir + "/profile.db", sample("profile-v0.sql"))
        || !execScript(dir + "/data.db", sample("data-v0.sql"))
        || !execScript(dir + "/qc.db", sample("qc.sql")))
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

const QStringList workstationFiles = {"profile.db", "data.db", "qc.db"};

bool copyWorkstation(const QString &from, const QString &to)
{
    for (const QString &file : workstationFiles) {
        if (!QFile::copy(from + '/' + file, to + '/' + file))
            return false;
    }
    return true;
}

QString scriptDir; // the shell's script of each file: profile.db.sql, ...

// DBUPDATE_PROGRAM names another build of the program to time, an older one say.
bool runDbupdate(const QString &dir, const QString &statementTrace,
                 const QStringList &options = QStringList())
{
    QProcess process;
    process.setWorkingDirectory(dir);
    if (!statementTrace.isEmpty()) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("LD_PRELOAD", STATEMENT_TRACE_PATH);
        environment.insert("DBUPDATE_STATEMENT_TRACE", statementTrace);
        process.setProcessEnvironment(environment);
    }
    process.start(qEnvironmentVariable("DBUPDATE_PROGRAM", QStringLiteral(DBUPDATE_PATH)),
                  options + QStringList{QStringLiteral("upgrade.log")});
    return process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit
            && process.exitCode() == 0;
}

// The upgrade alone, the work the shell does too: without the snapshot taken before each file.
bool runDbupdate(const QString &dir)
{
    return runDbupdate(dir, QString(), {QStringLiteral("--no-backup")});
}

// As an installer runs it: each file copied and checked before its step changes it.
bool runDbupdateWithSnapshot(const QString &dir)
{
    return runDbupdate(dir, QString());
}

// The shell's script for each file from the statements dbupdate started on it, in their order.
// copyTable's "select * from <source>" and the prepared insert it runs once per row become one
// "insert into <table> (<columns>) select * from <source>".
bool writeScripts(const QString &statementTrace)
{
    QFile trace(statementTrace);
    if (!trace.open(QIODevice::ReadOnly))
        return false;
    const QList<QByteArray> fields = trace.readAll().split('\0');
    QMap<QString, QStringList> statements;
    for (int i = 0; i + 1 < fields.size(); i += 2)
        statements[QString::fromUtf8(fields[i])].append(QString::fromUtf8(fields[i + 1]));

    const QRegularExpression copySource(QStringLiteral("^select \\* from (\\w+)$"));
    // The driver may name the placeholders (":a, :bb") that the program wrote as "?".
    const QRegularExpression rowInsert(
            QStringLiteral("^(INSERT INTO .+\\)) VALUES \\([:?]\\w*(, [:?]\\w*)*\\)$"));
    for (const QString &file : workstationFiles) {
        const QStringList &run = statements.value(file);
        if (run.isEmpty())
            return false;
        QByteArray script;
        for (int i = 0; i < run.size(); ++i) {
            const QRegularExpressionMatch source = copySource.match(run[i]);
            if (source.hasMatch() && i + 1 < run.size() && rowInsert.match(run[i + 1]).hasMatch()) {
                const QString insert = run[++i];
                while (i + 1 < run.size() && run[i + 1] == insert)
                    ++i;
                script += (rowInsert.match(insert).captured(1) + " select * from "
                           + source.captured(1)).toUtf8();
            } else {
                script += run[i].toUtf8();
            }
            script += ";\n";
        }
        QFile out(scriptDir + '/' + file + ".sql");
        if (!out.open(QIODevice::WriteOnly) || out.write(script) != script.size())
            return false;
    }
    return true;
}

// The shell reads the script from its standard input, as "sqlite3 data.db < data.db.sql" does.
bool runSqlite3(const QString &dir)
{
    for (const QString &file : workstationFiles) {
        QProcess process;
        process.setWorkingDirectory(dir);
        process.setStandardInputFile(scriptDir + '/' + file + ".sql");
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setStandardErrorFile(dir + "/sqlite3.log", QIODevice::Append);
        process.start(QStringLiteral(SQLITE3_EXECUTABLE), {file});
        // The shell's status reports statements that failed; the same ones fail in dbupdate.
        if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit)
            return false;
    }
    return true;
}

// Schema and every row of every table, in a form that two files can be compared by.
QByteArray fingerprint(const QString &fileName)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(fileName).constData(), &db, SQLITE_OPEN_READONLY,
                        nullptr)
        != SQLITE_OK) {
        sqlite3_close(db);
        return QByteArray();
    }
    const auto feed = [&](const char *sql) {
        sqlite3_stmt *statement = nullptr;
        if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK)
            return false;
        const int columns = sqlite3_column_count(statement);
        while (sqlite3_step(statement) == SQLITE_ROW) {
            for (int i = 0; i < columns; ++i) {
                const int type = sqlite3_column_type(statement, i);
                hash.addData(reinterpret_cast<const char *>(&type), sizeof type);
                const void *bytes = type == SQLITE_BLOB ? sqlite3_column_blob(statement, i)
                                                        : sqlite3_column_text(statement, i);
                hash.addData(static_cast<const char *>(bytes), sqlite3_column_bytes(statement, i));
            }
        }
        sqlite3_finalize(statement);
        return true;
    };
    bool ok = feed("select type, name, tbl_name, sql from sqlite_master order by type, name");
    QList<QByteArray> tables;
    sqlite3_stmt *statement = nullptr;
    sqlite3_prepare_v2(db, "select name from sqlite_master where type = 'table' order by name", -1,
                       &statement, nullptr);
    while (sqlite3_step(statement) == SQLITE_ROW)
        tables.append(reinterpret_cast<const char *>(sqlite3_column_text(statement, 0)));
    sqlite3_finalize(statement);
    for (const QByteArray &table : tables)
        ok = ok && feed(QByteArray("select * from \"" + table + "\" order by rowid").constData());
    sqlite3_close(db);
    return ok ? hash.result() : QByteArray();
}

// Writes the shell's scripts from a run of dbupdate on a small workstation, and checks that the
// shell then leaves the same files.
bool deriveScripts(int patients, int dictionaryRows)
{
    QTemporaryDir templateDir, upgraded, rebuilt;
    const QString trace = scriptDir + "/statements";
    if (!buildWorkstation(templateDir.path(), patients, dictionaryRows)
        || !copyWorkstation(templateDir.path(), upgraded.path())
        || !copyWorkstation(templateDir.path(), rebuilt.path())
        || !runDbupdate(upgraded.path(), trace, {QStringLiteral("--no-backup")})
        || !writeScripts(trace)
        || !runSqlite3(rebuilt.path()))
        return false;
    for (const QString &file : workstationFiles) {
        const QByteArray a = fingerprint(upgraded.path() + '/' + file);
        if (a.isEmpty() || a != fingerprint(rebuilt.path() + '/' + file)) {
            std::fprintf(stderr, "%s differs between dbupdate and the sqlite3 shell\n",
                         qPrintable(file));
            return false;
        }
    }
    return true;
}

template<bool (*upgrade)(const QString &)>
void timeUpgrade(benchmark::State &state)
{
    const int patients = int(state.range(0));
    const int dictionaryRows = int(state.range(1));
    QTemporaryDir templateDir;
    if (!buildWorkstation(templateDir.path(), patients, dictionaryRows)) {
        state.SkipWithError("cannot build the workstation");
        return;
    }
    state.counters["data.db MB"] =
            QFileInfo(templateDir.path() + "/data.db").size() / (1024.0 * 1024.0);

    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir work;
        const bool copied = copyWorkstation(templateDir.path(), work.path());
        state.ResumeTiming();

        const bool ok = copied && upgrade(work.path());

        state.PauseTiming();
        if (!ok)
            state.SkipWithError("the upgrade failed");
        state.ResumeTiming();
    }
}

// What the check before each step costs: "pragma quick_check(1)" on the three files, in process,
// after the files were just written (in the page cache, as they are after the application ran).
void quickCheck(benchmark::State &state)
{
    QTemporaryDir templateDir;
    if (!buildWorkstation(templateDir.path(), int(state.range(0)), int(state.range(1)))) {
        state.SkipWithError("cannot build the workstation");
        return;
    }
    for (auto _ : state) {
        for (const QString &file : workstationFiles) {
            sqlite3 *db = nullptr;
            sqlite3_open_v2(QFile::encodeName(templateDir.path() + '/' + file).constData(), &db,
                            SQLITE_OPEN_READWRITE, nullptr);
            sqlite3_stmt *statement = nullptr;
            sqlite3_prepare_v2(db, "pragma quick_check(1)", -1, &statement, nullptr);
            const bool ok = sqlite3_step(statement) == SQLITE_ROW
                    && qstrcmp(reinterpret_cast<const char *>(sqlite3_column_text(statement, 0)),
                               "ok")
                            == 0;
            sqlite3_finalize(statement);
            sqlite3_close(db);
            if (!ok)
                state.SkipWithError("the quick check failed");
        }
    }
}

void fullUpgrade(benchmark::State &state)
{
    timeUpgrade<runDbupdate>(state);
}

void fullUpgradeWithSnapshot(benchmark::State &state)
{
    timeUpgrade<runDbupdateWithSnapshot>(state);
}

// The files an upgrade copies before it changes them.
const QStringList changedFiles = {"profile.db", "data.db"};

bool takeSnapshot(const QString &dir)
{
    const QString current = QDir::currentPath();
    QDir::setCurrent(dir);
    Snapshot snapshot(QDateTime::currentDateTimeUtc());
    bool ok = true;
    for (const QString &file : changedFiles)
        ok = ok && snapshot.add(file, 0);
    QDir::setCurrent(current);
    return ok;
}

bool restoreNewest(const QString &dir)
{
    const QString current = QDir::currentPath();
    QDir::setCurrent(dir);
    RunSummary summary("restore");
    const bool ok = restoreSnapshot(QString(), &summary) == 0;
    QDir::setCurrent(current);
    return ok;
}

bool copyWithCp(const QString &dir)
{
    QDir(dir).mkdir("copy");
    QProcess cp;
    cp.setWorkingDirectory(dir);
    cp.start("cp", changedFiles + QStringList{"copy/"});
    return cp.waitForFinished(-1) && cp.exitStatus() == QProcess::NormalExit && cp.exitCode() == 0;
}

// cp, then the copies flushed to the disk as the snapshot and the restore flush theirs.
bool copyWithCpAndSync(const QString &dir)
{
    if (!copyWithCp(dir))
        return false;
    QProcess sync;
    sync.setWorkingDirectory(dir + "/copy");
    sync.start("sync", changedFiles);
    return sync.waitForFinished(-1) && sync.exitStatus() == QProcess::NormalExit
            && sync.exitCode() == 0;
}

bool copyTree(const QString &from, const QString &to)
{
    QDirIterator it(from, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString target = to + path.mid(from.size());
        if (!QDir().mkpath(QFileInfo(target).path()) || !QFile::copy(path, target))
            return false;
    }
    return true;
}

// A snapshot of profile.db and data.db as an upgrade takes it (copied inside SQLite, checked,
// hashed, listed), a restore of it in place of the files (each copy checked against its SHA-256,
// written beside, flushed, renamed over), or cp of the same two files; in process but cp.
template<bool (*work)(const QString &), bool withSnapshot>
void timeCopy(benchmark::State &state)
{
    QTemporaryDir templateDir;
    if (!buildWorkstation(templateDir.path(), int(state.range(0)), int(state.range(1)))
        || (withSnapshot && !takeSnapshot(templateDir.path()))) {
        state.SkipWithError("cannot build the workstation");
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir dir;
        const bool copied = copyTree(templateDir.path(), dir.path());
        state.ResumeTiming();

        const bool ok = copied && work(dir.path());

        state.PauseTiming();
        if (!ok)
            state.SkipWithError("the copy failed");
        state.ResumeTiming();
    }
}

void snapshot(benchmark::State &state)
{
    timeCopy<takeSnapshot, false>(state);
}

void restore(benchmark::State &state)
{
    timeCopy<restoreNewest, true>(state);
}

void cp(benchmark::State &state)
{
    timeCopy<copyWithCp, false>(state);
}

void cpSync(benchmark::State &state)
{
    timeCopy<copyWithCpAndSync, false>(state);
}

void sqlite3Rebuild(benchmark::State &state)
{
    timeUpgrade<runSqlite3>(state);
}

// Both upgrades run on the same two workstations.
void workstations(benchmark::internal::Benchmark *benchmark)
{
    benchmark->Args({100000, 20000})
            ->Args({10000, 2000})
            ->ArgNames({"patients", "dictionaryRows"})
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->Iterations(3);
}

} // namespace

BENCHMARK(fullUpgrade)->Apply(workstations);
BENCHMARK(fullUpgradeWithSnapshot)->Apply(workstations);
BENCHMARK(snapshot)->Apply(workstations);
BENCHMARK(restore)->Apply(workstations);
BENCHMARK(cp)->Apply(workstations);
BENCHMARK(cpSync)->Apply(workstations);
BENCHMARK(quickCheck)->Apply(workstations);
BENCHMARK(sqlite3Rebuild)->Apply(workstations);

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv); // for QProcess
    QTemporaryDir scripts;
    scriptDir = scripts.path();
    if (!deriveScripts(1000, 200)) {
        std::fprintf(stderr, "the sqlite3 shell does not do what dbupdate does\n");
        return 1;
    }

    // Each ratio on both workstations.
    using benchratios::Goal;
    const std::pair<const char *, const char *> sizes[] = {
        {"/patients:100000/dictionaryRows:20000", "100,000 patients"},
        {"/patients:10000/dictionaryRows:2000", "10,000 patients"},
    };
    const benchratios::Ratio pairs[] = {
        {"dbupdate / sqlite3 shell, ", "fullUpgrade", "sqlite3Rebuild", Goal::AtMost, 5},
        {"quick check / full upgrade, ", "quickCheck", "fullUpgrade", Goal::None, 0},
        {"snapshot / cp, ", "snapshot", "cp", Goal::AtMost, 2},
        {"restore / cp, ", "restore", "cp", Goal::AtMost, 2},
        {"snapshot / cp and sync, ", "snapshot", "cpSync", Goal::None, 0},
        {"restore / cp and sync, ", "restore", "cpSync", Goal::None, 0},
        {"upgrade with snapshot / without, ", "fullUpgradeWithSnapshot", "fullUpgrade", Goal::None, 0},
    };
    std::vector<benchratios::Ratio> ratios;
    for (const benchratios::Ratio &pair : pairs) {
        for (const auto &size : sizes) {
            benchratios::Ratio ratio = pair;
            ratio.label += size.second;
            ratio.numerator += size.first;
            ratio.denominator += size.first;
            ratios.push_back(ratio);
        }
    }
    return benchratios::run(argc, argv, ratios);
}
