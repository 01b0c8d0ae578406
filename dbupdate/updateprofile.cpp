#include "updateprofile.h"

#include <QSqlRecord>
#include <QStringList>

// Runs a statement whose placeholders are filled first, with the location of the call.
#define EXECUTE_TEXT(text) execute(text, __FILE__, __LINE__)

namespace {

// A translated label goes into a quoted SQL literal. Doubling its quotes keeps a translation
// such as "Patient's ID" intact instead of breaking the statement; a label without quotes
// is put in unchanged.
QString literal(const QString &label)
{
    QString text = label;
    return text.replace(QLatin1Char('\''), QLatin1String("''"));
}

} // namespace

UpdateProfile::UpdateProfile(QObject *parent)
    : UpdateBase(QStringLiteral("profile.db"), parent)
{
}

int UpdateProfile::targetVersion() const
{
    return 3;
}

bool UpdateProfile::update()
{
    // The user table with case-blind unique names, the curve debug table and trigger, and the
    // version table.
    if (version() < 1) {
        renameTable(QStringLiteral("user"), QStringLiteral("user_bak"));
        EXECUTE("create table user(\n"
                "\tid integer primary key,\n"
                "\tname text unique COLLATE NOCASE,\n"
                "\tpassword text,\n"
                "\tlevel integer default 0,\n"
                "\thide integer default 0 )");
        // Two old names that differ only in case cannot both live in the new table: stop and
        // keep user_bak rather than lose an account.
        if (!copyTable(QStringLiteral("user"), QStringLiteral("user_bak"), QSqlRecord(),
                       QStringList()))
            return false;
        EXECUTE("drop table user_bak");
        EXECUTE("-- curve debug info, since v1\n"
                "create table curveInfo (\n"
                "\tcurveId integer references curve,\n"
                "\tname text not null,\n"
                "\tvalue,\n"
                "\tunique (curveId, name) on conflict replace\n"
                "\t)");
        EXECUTE("drop trigger if exists deleteCurve");
        EXECUTE("create trigger deleteCurve after delete on curve \n"
                "begin \n"
                "\tdelete from curvePoint    where    curvePoint.curveId = old.id;\n"
                "\tdelete from curveVariable where curveVariable.curveId = old.id;\n"
                "\tdelete from curveReagent  where  curveReagent.curveId = old.id;\n"
                "\tdelete from curveInfo     where     curveInfo.curveId = old.id;\n"
                "end");
        EXECUTE("create table version(version integer)");
    }

    // Curves belong to an instrument.
    if (version() < 2) {
        EXECUTE("alter table curve add column instrUuid text");
        EXECUTE("drop index curve_index");
        EXECUTE("create unique index curve_index on curve(name, instrUuid)");
    }

    // Calibration methods and display scales, four-parameter curves.
    if (version() < 3) {
        EXECUTE("alter table assayCalibration add column method integer");
        EXECUTE("alter table assayCalibration add column dispX text");
        EXECUTE("alter table assayCalibration add column dispY text");
        EXECUTE("alter table curve add column c real");
        EXECUTE("alter table curve add column d real");
        EXECUTE("alter table curve add column e real");
        EXECUTE("alter table curve add column valid integer");
    }

    if (!writeVersion(3, __FILE__, __LINE__))
        return false;

    // Default settings and reagents. The gate tests the version the file had at the start,
    // not the one written just above.
    if (version() < 2) {
        EXECUTE("insert into profile values('FIB/report/dilution', '1/10')");
        EXECUTE_TEXT(QStringLiteral("insert into profile values('dilution', "
                                    "'%1;1/5;1/10;1/20;1/30,%2;1/5;1/10;1/20;1/30;1/40,"
                                    "%3;1/1;1/2;1/4;1/8,%4;1/1;3/4;1/2;1/4')")
                         .arg(literal(tr("梯度1")))
                         .arg(literal(tr("梯度2")))
                         .arg(literal(tr("梯度3")))
                         .arg(literal(tr("梯度4"))));
        EXECUTE_TEXT(QStringLiteral("insert into profile values('patient/sampleType',\t'%1')")
                         .arg(literal(tr("样本类型"))));
        EXECUTE("delete from reagent where name = 'Buffer'");
        EXECUTE("delete from reagent where name = 'Latex'");
        EXECUTE("delete from reagent where name = 'Saline'");

        EXECUTE("replace into reagent (type, name, initVolume, alarmLimit, vialType) "
                "values(0, 'Latex',\t     2000, 200, 3)");
        EXECUTE("replace into reagent (type, name, initVolume, alarmLimit, vialType) "
                "values(0, 'FDP',           2000, 200, 3)");
        EXECUTE("replace into reagent (type, name, initVolume, alarmLimit, vialType) "
                "values(2, 'Saline',\t     6500, 200, 6)");
        EXECUTE("replace into reagent (type, name, initVolume, alarmLimit, vialType) "
                "values(2, 'Buffer(PT)',    6500, 200, 6)");
        EXECUTE("replace into reagent (type, name, initVolume, alarmLimit, vialType) "
                "values(2, 'Buffer(APTT)',  6500, 200, 6)");
        EXECUTE("replace into reagent (type, name, initVolume, alarmLimit, vialType) "
                "values(2, 'Buffer(FIB)',   6500, 200, 6)");
        EXECUTE("replace into reagent (type, name, initVolume, alarmLimit, vialType) "
                "values(2, 'Buffer(TT)',    6500, 200, 6)");
        EXECUTE("replace into reagent (type, name, initVolume, alarmLimit, vialType) "
                "values(2, 'Buffer(DD)',    6500, 200, 6)");
        EXECUTE("replace into reagent (type, name, initVolume, alarmLimit, vialType) "
                "values(2, 'Buffer(EX)',    6500, 200, 6)");
        EXECUTE("replace into reagent (type, name, initVolume, alarmLimit, vialType) "
                "values(2, 'Buffer(EN)',    6500, 200, 6)");
        EXECUTE("replace into reagent (type, name, initVolume, alarmLimit, vialType) "
                "values(2, 'Buffer(FDP)',   6500, 200, 6)");
        EXECUTE("replace into reagent (type, name, initVolume, alarmLimit, vialType) "
                "values(5, 'DD ct',         1000, 200, 1)");
        EXECUTE("replace into reagent (type, name, initVolume, alarmLimit, vialType) "
                "values(5, 'FDP ct',        1000, 200, 1)");

        EXECUTE("replace into profile values('DD/mix/times',\t\t\t3)");
        EXECUTE("replace into profile values('DD/max_clot_time',\t\t120)");
        EXECUTE("replace into profile values('specialValue/DD/P',\t\t0.1)");
        EXECUTE("replace into profile values('DD/priority',\t\t\t10)");
        EXECUTE("replace into profile values('FDP/mix/times',\t\t\t3)");
        EXECUTE("replace into profile values('FDP/max_clot_time',\t\t120)");
        EXECUTE("replace into profile values('specialValue/FDP/P',\t\t0.1)");

        EXECUTE("delete from profile where name='DD/disable'");
        EXECUTE("delete from profile where name='II/disable'");
        EXECUTE("delete from profile where name='V/disable'");
        EXECUTE("delete from profile where name='VII/disable'");
        EXECUTE("delete from profile where name='X/disable'");
        EXECUTE("delete from profile where name='VIII/disable'");
        EXECUTE("delete from profile where name='IX/disable'");
        EXECUTE("delete from profile where name='XI/disable'");
        EXECUTE("delete from profile where name='XII/disable'");
        EXECUTE("delete from profile where name='FDP/disable'");

        EXECUTE_TEXT(QStringLiteral("insert into profile values('reagent/initVolume',\t'%1')")
                         .arg(literal(tr("初始量[ul]"))));
        EXECUTE_TEXT(QStringLiteral("insert into profile values('reagent/alarmLimit',\t'%1')")
                         .arg(literal(tr("报警限[ul]"))));
        EXECUTE_TEXT(QStringLiteral("insert into profile values('reagent/interruptLimit','%1')")
                         .arg(literal(tr("中断限[ul]"))));
        EXECUTE_TEXT(QStringLiteral("insert into profile values('patient/hospitalNo',\t'%1')")
                         .arg(literal(tr("住院号"))));

        EXECUTE("replace into profile values('schedule/sample',\t\t6)");
        EXECUTE("replace into profile values('schedule/reagent',\t\t6)");
        EXECUTE("replace into profile values('schedule/mix',\t\t\t2)");
        EXECUTE("replace into profile values('schedule/dilution',\t\t12)");
        EXECUTE("replace into profile values('schedule/dilution/1/10',\t12)");
        EXECUTE("replace into profile values('schedule/dilution/1/20',\t17)");
        EXECUTE("replace into profile values('schedule/dilution/1/40',\t22)");
        EXECUTE("replace into profile values('schedule/clean',\t\t\t15)");
        EXECUTE("replace into profile values('schedule/test/PT',\t\t27)");
        EXECUTE("replace into profile values('schedule/test/FIB/table', "
                "'0.2,25;0.1,35;0.05,45;0.025,65')");
        EXECUTE("replace into profile values('schedule/test/APTT',\t\t50)");
        EXECUTE("replace into profile values('schedule/test/TT',\t\t35)");
        EXECUTE("replace into profile values('schedule/test/II',\t\t30)");
        EXECUTE("replace into profile values('schedule/test/V',\t\t30)");
        EXECUTE("replace into profile values('schedule/test/VII',\t\t30)");
        EXECUTE("replace into profile values('schedule/test/X',\t\t30)");
        EXECUTE("replace into profile values('schedule/test/VIII',\t\t30)");
        EXECUTE("replace into profile values('schedule/test/IX',\t\t30)");
        EXECUTE("replace into profile values('schedule/test/XI',\t\t30)");
        EXECUTE("replace into profile values('schedule/test/XII',\t\t30)");

        EXECUTE("insert or abort into profile values('analyst/FIB/odPercent', \t\t0.5)");
        EXECUTE("replace into profile values('analyst/FIB/odThreshold',\t"
                "'4,0.008; 6,0.004; 10,0.0025; 20,0.001; 40,0.0005')");
        EXECUTE("replace into profile values('analyst/APTT/odThreshold',\t"
                "'4,0.2; 10,0.05; 20,0.02')");
        EXECUTE(
            "replace into profile values('analyst/odThreshold',\t    '4,0.2; 8,0.05; 10,0.01')");
    }

    // Calibration method and scales of each assay.
    if (version() < 3) {
        EXECUTE("update assayCalibration set method=0, dispX='Log', dispY='Log' where name='PT'");
        EXECUTE("update assayCalibration set method=0, funX='Log', funY='Log', dispX='Log', "
                "dispY='Log' where name='PT 演算 FIB' or name='PT calculate FIB'");
        EXECUTE("update assayCalibration set method=0, dispX='Log', dispY='Log' where name='FIB'");
        EXECUTE("update assayCalibration set method=4, funX='Log', funY='Linear', dispX='Log', "
                "dispY='Log' where name='DD'");
        EXECUTE("update assayCalibration set method=4, funX='Log', funY='Linear', dispX='Log', "
                "dispY='Log' where name='FDP'");
        EXECUTE("update assayCalibration set method=4, funX='Log', funY='Linear', dispX='Log', "
                "dispY='Log' where name='AT'");
        EXECUTE("update assayCalibration set method=0, dispX='Log', dispY='Log' where name='II'");
        EXECUTE("update assayCalibration set method=0, dispX='Log', dispY='Log' where name='V'");
        EXECUTE("update assayCalibration set method=0, dispX='Log', dispY='Log' where name='VII'");
        EXECUTE("update assayCalibration set method=0, dispX='Log', dispY='Log' where name='X'");
        EXECUTE("update assayCalibration set method=0, dispX='Log', dispY='Log' where name='VIII'");
        EXECUTE("update assayCalibration set method=0, dispX='Log', dispY='Log' where name='IX'");
        EXECUTE("update assayCalibration set method=0, dispX='Log', dispY='Log' where name='XI'");
        EXECUTE("update assayCalibration set method=0, dispX='Log', dispY='Log' where name='XII'");
    }

    EXECUTE("update assayItem set precision=-1 where name='OD'");
    return true;
}
