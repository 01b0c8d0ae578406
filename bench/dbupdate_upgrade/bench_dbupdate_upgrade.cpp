// A full upgrade of a large workstation (profile.db and data.db from version 0, grown from the
// sample files: many patients with exams, results and clot curves, and large dictionary tables
// that the upgrade rebuilds) by the built dbupdate, against the sqlite3 shell doing the same
// work on an identical copy: the same statements, each rebuild as "insert into ... select",
// each file in one transaction after SQLite's quick check. Before timing, both results are
// compared on a small workstation, table by table, so that the two figures are of the same work.
// The quick check that dbupdate runs on every file before its step is also timed on its own.

#include "benchratios.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
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

// The version 0 sample files with `patients` more patients (three exams and results and one
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

// What dbupdate does to a profile.db of version 0, statement by statement, with the labels in
// their source language (no catalogue) and the rebuild of the user table as one insert.
const char profileScript[] =
    "PRAGMA legacy_alter_table=ON;\n"
    "begin immediate;\n"
    "pragma quick_check(1);\n"
    "alter table user rename to user_bak;\n"
    "create table user(\n\tid integer primary key,\n\tname text unique COLLATE NOCASE,\n\tpassword text,\n\tlevel integer default 0,\n\thide integer default 0 );\n"
    "insert into user (id, name, password, level) select * from user_bak;\n"
    "drop table user_bak;\n"
    "-- curve debug info, since v1\ncreate table curveInfo (\n\tcurveId integer references curve,\n\tname text not null,\n\tvalue,\n\tunique (curveId, name) on conflict replace\n\t);\n"
    "drop trigger if exists deleteCurve;\n"
    "create trigger deleteCurve after delete on curve \nbegin \n\tdelete from curvePoint    where    curvePoint.curveId = old.id;\n\tdelete from curveVariable where curveVariable.curveId = old.id;\n\tdelete from curveReagent  where  curveReagent.curveId = old.id;\n\tdelete from curveInfo     where     curveInfo.curveId = old.id;\nend;\n"
    "create table version(version integer);\n"
    "alter table curve add column instrUuid text;\n"
    "drop index curve_index;\n"
    "create unique index curve_index on curve(name, instrUuid);\n"
    "alter table assayCalibration add column method integer;\n"
    "alter table assayCalibration add column dispX text;\n"
    "alter table assayCalibration add column dispY text;\n"
    "alter table curve add column c real;\n"
    "alter table curve add column d real;\n"
    "alter table curve add column e real;\n"
    "alter table curve add column valid integer;\n"
    "delete from version;\n"
    "insert into version values(3);\n"
    "insert into profile values('FIB/report/dilution', '1/10');\n"
    "insert into profile values('dilution', '梯度1;1/5;1/10;1/20;1/30,梯度2;1/5;1/10;1/20;1/30;1/40,梯度3;1/1;1/2;1/4;1/8,梯度4;1/1;3/4;1/2;1/4');\n"
    "insert into profile values('patient/sampleType',\t'样本类型');\n"
    "delete from reagent where name = 'Buffer';\n"
    "delete from reagent where name = 'Latex';\n"
    "delete from reagent where name = 'Saline';\n"
    "replace into reagent (type, name, initVolume, alarmLimit, vialType) values(0, 'Latex',\t     2000, 200, 3);\n"
    "replace into reagent (type, name, initVolume, alarmLimit, vialType) values(0, 'FDP',           2000, 200, 3);\n"
    "replace into reagent (type, name, initVolume, alarmLimit, vialType) values(2, 'Saline',\t     6500, 200, 6);\n"
    "replace into reagent (type, name, initVolume, alarmLimit, vialType) values(2, 'Buffer(PT)',    6500, 200, 6);\n"
    "replace into reagent (type, name, initVolume, alarmLimit, vialType) values(2, 'Buffer(APTT)',  6500, 200, 6);\n"
    "replace into reagent (type, name, initVolume, alarmLimit, vialType) values(2, 'Buffer(FIB)',   6500, 200, 6);\n"
    "replace into reagent (type, name, initVolume, alarmLimit, vialType) values(2, 'Buffer(TT)',    6500, 200, 6);\n"
    "replace into reagent (type, name, initVolume, alarmLimit, vialType) values(2, 'Buffer(DD)',    6500, 200, 6);\n"
    "replace into reagent (type, name, initVolume, alarmLimit, vialType) values(2, 'Buffer(EX)',    6500, 200, 6);\n"
    "replace into reagent (type, name, initVolume, alarmLimit, vialType) values(2, 'Buffer(EN)',    6500, 200, 6);\n"
    "replace into reagent (type, name, initVolume, alarmLimit, vialType) values(2, 'Buffer(FDP)',   6500, 200, 6);\n"
    "replace into reagent (type, name, initVolume, alarmLimit, vialType) values(5, 'DD ct',         1000, 200, 1);\n"
    "replace into reagent (type, name, initVolume, alarmLimit, vialType) values(5, 'FDP ct',        1000, 200, 1);\n"
    "replace into profile values('DD/mix/times',\t\t\t3);\n"
    "replace into profile values('DD/max_clot_time',\t\t120);\n"
    "replace into profile values('specialValue/DD/P',\t\t0.1);\n"
    "replace into profile values('DD/priority',\t\t\t10);\n"
    "replace into profile values('FDP/mix/times',\t\t\t3);\n"
    "replace into profile values('FDP/max_clot_time',\t\t120);\n"
    "replace into profile values('specialValue/FDP/P',\t\t0.1);\n"
    "delete from profile where name='DD/disable';\n"
    "delete from profile where name='II/disable';\n"
    "delete from profile where name='V/disable';\n"
    "delete from profile where name='VII/disable';\n"
    "delete from profile where name='X/disable';\n"
    "delete from profile where name='VIII/disable';\n"
    "delete from profile where name='IX/disable';\n"
    "delete from profile where name='XI/disable';\n"
    "delete from profile where name='XII/disable';\n"
    "delete from profile where name='FDP/disable';\n"
    "insert into profile values('reagent/initVolume',\t'初始量[ul]');\n"
    "insert into profile values('reagent/alarmLimit',\t'报警限[ul]');\n"
    "insert into profile values('reagent/interruptLimit','中断限[ul]');\n"
    "insert into profile values('patient/hospitalNo',\t'住院号');\n"
    "replace into profile values('schedule/sample',\t\t6);\n"
    "replace into profile values('schedule/reagent',\t\t6);\n"
    "replace into profile values('schedule/mix',\t\t\t2);\n"
    "replace into profile values('schedule/dilution',\t\t12);\n"
    "replace into profile values('schedule/dilution/1/10',\t12);\n"
    "replace into profile values('schedule/dilution/1/20',\t17);\n"
    "replace into profile values('schedule/dilution/1/40',\t22);\n"
    "replace into profile values('schedule/clean',\t\t\t15);\n"
    "replace into profile values('schedule/test/PT',\t\t27);\n"
    "replace into profile values('schedule/test/FIB/table', '0.2,25;0.1,35;0.05,45;0.025,65');\n"
    "replace into profile values('schedule/test/APTT',\t\t50);\n"
    "replace into profile values('schedule/test/TT',\t\t35);\n"
    "replace into profile values('schedule/test/II',\t\t30);\n"
    "replace into profile values('schedule/test/V',\t\t30);\n"
    "replace into profile values('schedule/test/VII',\t\t30);\n"
    "replace into profile values('schedule/test/X',\t\t30);\n"
    "replace into profile values('schedule/test/VIII',\t\t30);\n"
    "replace into profile values('schedule/test/IX',\t\t30);\n"
    "replace into profile values('schedule/test/XI',\t\t30);\n"
    "replace into profile values('schedule/test/XII',\t\t30);\n"
    "insert or abort into profile values('analyst/FIB/odPercent', \t\t0.5);\n"
    "replace into profile values('analyst/FIB/odThreshold',\t'4,0.008; 6,0.004; 10,0.0025; 20,0.001; 40,0.0005');\n"
    "replace into profile values('analyst/APTT/odThreshold',\t'4,0.2; 10,0.05; 20,0.02');\n"
    "replace into profile values('analyst/odThreshold',\t    '4,0.2; 8,0.05; 10,0.01');\n"
    "update assayCalibration set method=0, dispX='Log', dispY='Log' where name='PT';\n"
    "update assayCalibration set method=0, funX='Log', funY='Log', dispX='Log', dispY='Log' where name='PT 演算 FIB' or name='PT calculate FIB';\n"
    "update assayCalibration set method=0, dispX='Log', dispY='Log' where name='FIB';\n"
    "update assayCalibration set method=4, funX='Log', funY='Linear', dispX='Log', dispY='Log' where name='DD';\n"
    "update assayCalibration set method=4, funX='Log', funY='Linear', dispX='Log', dispY='Log' where name='FDP';\n"
    "update assayCalibration set method=4, funX='Log', funY='Linear', dispX='Log', dispY='Log' where name='AT';\n"
    "update assayCalibration set method=0, dispX='Log', dispY='Log' where name='II';\n"
    "update assayCalibration set method=0, dispX='Log', dispY='Log' where name='V';\n"
    "update assayCalibration set method=0, dispX='Log', dispY='Log' where name='VII';\n"
    "update assayCalibration set method=0, dispX='Log', dispY='Log' where name='X';\n"
    "update assayCalibration set method=0, dispX='Log', dispY='Log' where name='VIII';\n"
    "update assayCalibration set method=0, dispX='Log', dispY='Log' where name='IX';\n"
    "update assayCalibration set method=0, dispX='Log', dispY='Log' where name='XI';\n"
    "update assayCalibration set method=0, dispX='Log', dispY='Log' where name='XII';\n"
    "update assayItem set precision=-1 where name='OD';\n"
    "commit;\n";

const char *const dictionaries[] = {"department", "sex", "treatmentRoom", "diagnosis", "doctor",
                                    "operator"};

// What dbupdate does to a data.db of version 0, each dictionary rebuilt by one insert.
QByteArray dataScript()
{
    QByteArray script = "PRAGMA legacy_alter_table=ON;\n"
                        "begin immediate;\n"
                        "pragma quick_check(1);\n"
                        "alter table patient add sampleType text;\n"
                        "alter table patient add hospitalNo text;\n";
    for (const char *t : dictionaries) {
        const QByteArray table(t);
        script += "alter table " + table + " rename to " + table + "_bak;\n"
                + "create table " + table
                + "(\n\tid integer primary key,\n\tabbr text COLLATE NOCASE,\n\tname text);\n"
                + "create index if not exists " + table + "_index on " + table + " (abbr);\n"
                + "insert into " + table + " select * from " + table + "_bak;\n"
                + "drop table " + table + "_bak;\n";
    }
    script += "create table detail(\n"
              "\tid integer primary key,\n"
              "\tpatientId integer references patient,\n"
              "\titem text,\t\t\t\t\t\t\t\t\t\t-- 测量项目, 如PT\n"
              "\tinfo text,\t\t\t\t\t\t\t\t\t\t-- 测试详细信息, 如测试通道等\n"
              "\tunique(patientId, item) on conflict replace);\n"
              "create table version(version integer);\n"
              "drop trigger on_delete_patient;\n"
              "create trigger on_delete_patient after delete on patient\n"
              "begin\n"
              "\tdelete from exam where old.sampleNo = exam.sampleNo and old.date = exam.date;\n"
              "\tdelete from result where old.id = result.patientId;\n"
              "\tdelete from patientExtra where old.id = patientExtra.patientId;\n"
              "\tdelete from curve where old.id = curve.patientId;\n"
              "\tdelete from detail where old.id = detail.patientId;\n"
              "end;\n"
              "delete from version;\n"
              "insert into version values(2);\n"
              "commit;\n";
    return script;
}

QString scriptDir; // profile.sql and data.sql

bool writeScripts()
{
    QFile profile(scriptDir + "/profile.sql");
    QFile data(scriptDir + "/data.sql");
    return profile.open(QIODevice::WriteOnly) && profile.write(profileScript) > 0
            && data.open(QIODevice::WriteOnly) && data.write(dataScript()) > 0;
}

const QStringList workstationFiles = {"profile.db", "data.db"};

// qc.db, which dbupdate only opens and checks, is copied too.
bool copyWorkstation(const QString &from, const QString &to)
{
    for (const QString &file : workstationFiles + QStringList{"qc.db"}) {
        if (!QFile::copy(from + '/' + file, to + '/' + file))
            return false;
    }
    return true;
}

// DBUPDATE_PROGRAM names another build of the program to time, an older one say.
bool runDbupdate(const QString &dir)
{
    QProcess process;
    process.setWorkingDirectory(dir);
    process.start(qEnvironmentVariable("DBUPDATE_PROGRAM", QStringLiteral(DBUPDATE_PATH)),
                  {QStringLiteral("upgrade.log")});
    return process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit
            && process.exitCode() == 0;
}

// The shell reads the script from its standard input, as "sqlite3 data.db < data.sql" does.
bool runSqlite3(const QString &dir)
{
    for (const QString &file : workstationFiles) {
        QProcess process;
        process.setWorkingDirectory(dir);
        process.setStandardInputFile(scriptDir + '/' + QFileInfo(file).completeBaseName() + ".sql");
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

bool sameResult(int patients, int dictionaryRows)
{
    QTemporaryDir templateDir, upgraded, rebuilt;
    if (!buildWorkstation(templateDir.path(), patients, dictionaryRows)
        || !copyWorkstation(templateDir.path(), upgraded.path())
        || !copyWorkstation(templateDir.path(), rebuilt.path()) || !runDbupdate(upgraded.path())
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
        for (const QString &file : workstationFiles + QStringList{"qc.db"}) {
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

void sqlite3Rebuild(benchmark::State &state)
{
    timeUpgrade<runSqlite3>(state);
}

} // namespace

BENCHMARK(fullUpgrade)
        ->Args({100000, 20000})
        ->Args({10000, 2000})
        ->ArgNames({"patients", "dictionaryRows"})
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Iterations(3);

BENCHMARK(quickCheck)
        ->Args({100000, 20000})
        ->Args({10000, 2000})
        ->ArgNames({"patients", "dictionaryRows"})
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Iterations(3);

BENCHMARK(sqlite3Rebuild)
        ->Args({100000, 20000})
        ->Args({10000, 2000})
        ->ArgNames({"patients", "dictionaryRows"})
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Iterations(3);

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv); // for QProcess
    QTemporaryDir scripts;
    scriptDir = scripts.path();
    if (!writeScripts() || !sameResult(1000, 200)) {
        std::fprintf(stderr, "the sqlite3 shell does not do what dbupdate does\n");
        return 1;
    }

    using benchratios::Goal;
    return benchratios::run(
            argc, argv,
            {
                {"dbupdate / sqlite3 shell, 100,000 patients",
                 "fullUpgrade/patients:100000/dictionaryRows:20000",
                 "sqlite3Rebuild/patients:100000/dictionaryRows:20000", Goal::AtMost, 5},
                {"dbupdate / sqlite3 shell, 10,000 patients",
                 "fullUpgrade/patients:10000/dictionaryRows:2000",
                 "sqlite3Rebuild/patients:10000/dictionaryRows:2000", Goal::AtMost, 5},
                {"quick check / full upgrade, 100,000 patients",
                 "quickCheck/patients:100000/dictionaryRows:20000",
                 "fullUpgrade/patients:100000/dictionaryRows:20000", Goal::None, 0},
                {"quick check / full upgrade, 10,000 patients",
                 "quickCheck/patients:10000/dictionaryRows:2000",
                 "fullUpgrade/patients:10000/dictionaryRows:2000", Goal::None, 0},
            });
}
