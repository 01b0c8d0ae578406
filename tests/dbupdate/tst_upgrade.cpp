#include <QtTest>

#include "dbupdatetesting.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QProcess>

using namespace DbupdateTesting;

namespace {

const QString dilutionSource = QStringLiteral(
        "梯度1;1/5;1/10;1/20;1/30,梯度2;1/5;1/10;1/20;1/30;1/40,梯度3;1/1;1/2;1/4;1/8,"
        "梯度4;1/1;3/4;1/2;1/4");

// The settings that the default-settings section leaves, with their storage class, for a file
// that held none of the inserted keys.
QMap<QString, QString> defaultSettings()
{
    return {
        {"FIB/report/dilution", "t:1/10"},
        {"dilution", "t:" + dilutionSource},
        {"patient/sampleType", "t:样本类型"},
        {"DD/mix/times", "i:3"},
        {"DD/max_clot_time", "i:120"},
        {"specialValue/DD/P", "r:0.10000000000000001"},
        {"DD/priority", "i:10"},
        {"FDP/mix/times", "i:3"},
        {"FDP/max_clot_time", "i:120"},
        {"specialValue/FDP/P", "r:0.10000000000000001"},
        {"reagent/initVolume", "t:初始量[ul]"},
        {"reagent/alarmLimit", "t:报警限[ul]"},
        {"reagent/interruptLimit", "t:中断限[ul]"},
        {"patient/hospitalNo", "t:住院号"},
        {"schedule/sample", "i:6"},
        {"schedule/reagent", "i:6"},
        {"schedule/mix", "i:2"},
        {"schedule/dilution", "i:12"},
        {"schedule/dilution/1/10", "i:12"},
        {"schedule/dilution/1/20", "i:17"},
        {"schedule/dilution/1/40", "i:22"},
        {"schedule/clean", "i:15"},
        {"schedule/test/PT", "i:27"},
        {"schedule/test/FIB/table", "t:0.2,25;0.1,35;0.05,45;0.025,65"},
        {"schedule/test/APTT", "i:50"},
        {"schedule/test/TT", "i:35"},
        {"schedule/test/II", "i:30"},
        {"schedule/test/V", "i:30"},
        {"schedule/test/VII", "i:30"},
        {"schedule/test/X", "i:30"},
        {"schedule/test/VIII", "i:30"},
        {"schedule/test/IX", "i:30"},
        {"schedule/test/XI", "i:30"},
        {"schedule/test/XII", "i:30"},
        {"analyst/FIB/odPercent", "r:0.5"},
        {"analyst/FIB/odThreshold", "t:4,0.008; 6,0.004; 10,0.0025; 20,0.001; 40,0.0005"},
        {"analyst/APTT/odThreshold", "t:4,0.2; 10,0.05; 20,0.02"},
        {"analyst/odThreshold", "t:4,0.2; 8,0.05; 10,0.01"},
    };
}

const QStringList removedKeys = {"DD/disable", "II/disable", "V/disable", "VII/disable",
                                 "X/disable", "VIII/disable", "IX/disable", "XI/disable",
                                 "XII/disable", "FDP/disable"};

const QStringList dictionaries = {"department", "sex", "treatmentRoom",
                                  "diagnosis", "doctor", "operator"};

QMap<QString, QString> settings(Database &db)
{
    QMap<QString, QString> result;
    for (const Row &row : db.rows("select name, value from profile"))
        result.insert(row[0].toString(), Database::describe(row[1]));
    return result;
}

QStringList describeRows(const QVector<Row> &rows)
{
    QStringList result;
    for (const Row &row : rows) {
        QStringList fields;
        for (const QVariant &field : row)
            fields.append(Database::describe(field));
        result.append(fields.join(QLatin1Char('|')));
    }
    return result;
}

// The warnings of failed statements, one per line, without the "Warning: " prefix.
QStringList statementFailures(const QByteArray &log)
{
    QStringList result;
    for (const QString &line : QString::fromLocal8Bit(log).split(QLatin1Char('\n'))) {
        if (line.contains(QLatin1String(".cpp ( ")))
            result.append(line);
    }
    return result;
}

// The line of the source unit that holds text, for the location of a logged statement.
int sourceLine(const QString &unit, const QString &text)
{
    QFile source(QStringLiteral(DBUPDATE_SOURCE_DIR "/") + unit);
    if (!source.open(QIODevice::ReadOnly | QIODevice::Text))
        return -1;
    for (int line = 1; !source.atEnd(); ++line) {
        if (QString::fromUtf8(source.readLine()).contains(text))
            return line;
    }
    return -1;
}

// Every file of the directory with its bytes and modification time.
QMap<QString, QPair<QByteArray, QDateTime>> fileStates(const QString &directory)
{
    QMap<QString, QPair<QByteArray, QDateTime>> states;
    QDirIterator it(directory, QDir::Files | QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        states.insert(path, {readFile(path), it.fileInfo().lastModified()});
    }
    return states;
}

QJsonObject lastJson(const QByteArray &output)
{
    const QList<QByteArray> lines = output.trimmed().split('\n');
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(lines.last(), &error);
    if (error.error != QJsonParseError::NoError)
        qWarning("not JSON: %s", lines.last().constData());
    return document.object();
}

// The run's standard output as well, for --json and --check.
QPair<int, QByteArray> runWithOutput(const QStringList &arguments,
                                     const QStringList &environment = {})
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString &entry : environment)
        env.insert(entry.section('=', 0, 0), entry.section('=', 1));
    process.setProcessEnvironment(env);
    process.start(programPath(), arguments);
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
        return {-1, QByteArray()};
    return {process.exitCode(), process.readAllStandardOutput()};
}

QStringList snapshotStamps()
{
    return QDir("dbupdate-backup").entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
}

} // namespace

class tst_Upgrade : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void fromVersion0();
    void fromVersion1();
    void fromVersion2();
    void laterVersions_data();
    void laterVersions();
    void secondRun();
    void existingKeysKept();
    void labels_data();
    void labels();
    void userNamesDifferingInCase();
    void dictionaryColumnNotInNewDefinition();
    void newerVersionLeftUnchanged_data();
    void newerVersionLeftUnchanged();
    void stoppedCopyFinishesAfterRepair();
    void snapshotAndRestore();
    void check_data();
    void check();
    void secondRunWhileLocked();
    void keepAndNoBackup();
    void bytesKept();
    void refusedUnchanged_data();
    void refusedUnchanged();
    void siteIndexesAndTriggers();
    void diskFullLeavesNoJournal();

private:
    // Builds profile.db and data.db in the work directory from the samples of a version, and
    // qc.db.
    void buildWorkstation(int profileVersion, int dataVersion);

    QScopedPointer<WorkDirectory> m_dir;
};

void tst_Upgrade::init()
{
    m_dir.reset(new WorkDirectory);
    QVERIFY(m_dir->isValid());
}

void tst_Upgrade::cleanup()
{
    m_dir.reset();
}

void tst_Upgrade::buildWorkstation(int profileVersion, int dataVersion)
{
    QCOMPARE(buildFromSample("profile.db", QString("profile-v%1.sql").arg(profileVersion)),
             QString());
    QCOMPARE(buildFromSample("data.db", QString("data-v%1.sql").arg(dataVersion)), QString());
    QCOMPARE(buildFromSample("qc.db", "qc.sql"), QString());
}

void tst_Upgrade::fromVersion0()
{
    buildWorkstation(0, 0);
    QMap<QString, QString> oldSettings;
    QStringList oldUsers;
    {
        Database profile("profile.db");
        // The derived fibrinogen under its English name, as other installations hold it.
        QVERIFY(profile.exec("insert into assayCalibration values('PT calculate FIB', null, "
                             "'Linear', 'Linear')"));
        oldSettings = settings(profile);
        oldUsers = describeRows(profile.rows("select id, name, password, level from user"));
    }
    QMap<QString, QStringList> oldDictionaries;
    QStringList oldPatients;
    {
        Database data("data.db");
        for (const QString &table : dictionaries)
            oldDictionaries[table] = describeRows(data.rows("select * from " + table));
        oldPatients = describeRows(data.rows("select * from patient"));
        QVERIFY(!oldDictionaries["doctor"].isEmpty());
    }

    const Result run = runUpgrade(m_dir->path(), {"upgrade.log"});
    QCOMPARE(run.exitCode, 0);

    // The only statement that fails on the sample is the insert of a key the laboratory had set.
    const QString logged = "insert into profile values('FIB/report/dilution', '1/10')";
    const QStringList failures = statementFailures(readFile("upgrade.log"));
    QCOMPARE(failures.size(), 1);
    QCOMPARE(failures.first(),
             QString("Warning: updateprofile.cpp ( %1 ):  UNIQUE constraint failed: "
                     "profile.name Unable to fetch row : [ %2 ] ")
                     .arg(sourceLine("updateprofile.cpp", logged))
                     .arg(logged));

    Database profile("profile.db");
    QCOMPARE(profile.strings("select version from version"), QStringList{"3"});

    // Users: every row with its columns, the new column at its default; names unique without
    // regard to case; level and hide default to 0.
    QCOMPARE(describeRows(profile.rows("select id, name, password, level from user")), oldUsers);
    QCOMPARE(profile.strings("select distinct hide from user"), QStringList{"0"});
    QVERIFY(!profile.exec("insert into user (name) values('ADMIN')"));
    QVERIFY(profile.exec("insert into user (name, password) values('trainee', 'x')"));
    QCOMPARE(describeRows(profile.rows("select level, hide from user where name='TRAINEE'")),
             QStringList{"i:0|i:0"});
    QCOMPARE(profile.value("select count(*) from sqlite_master where name='user_bak'").toInt(), 0);

    // Settings: the defaults with their storage class, the laboratory's key left alone, the
    // ten disable keys gone, every other key as it was.
    QMap<QString, QString> expected = oldSettings;
    for (const QString &key : removedKeys) {
        QVERIFY2(expected.contains(key), qPrintable(key));
        expected.remove(key);
    }
    const QMap<QString, QString> defaults = defaultSettings();
    for (auto it = defaults.cbegin(); it != defaults.cend(); ++it) {
        if (it.key() != "FIB/report/dilution")
            expected.insert(it.key(), it.value());
    }
    QCOMPARE(expected.value("FIB/report/dilution"), QString("t:1/20"));
    QCOMPARE(expected.value("AT/disable"), QString("t:false"));
    QCOMPARE(settings(profile), expected);

    // Reagents: the defaults with integer columns; the old buffer is gone, other reagents stay.
    QCOMPARE(describeRows(profile.rows(
                     "select type, name, initVolume, alarmLimit, vialType from reagent "
                     "where position is null order by id")),
             QStringList({"i:0|t:Latex|i:2000|i:200|i:3", "i:0|t:FDP|i:2000|i:200|i:3",
                          "i:2|t:Saline|i:6500|i:200|i:6", "i:2|t:Buffer(PT)|i:6500|i:200|i:6",
                          "i:2|t:Buffer(APTT)|i:6500|i:200|i:6",
                          "i:2|t:Buffer(FIB)|i:6500|i:200|i:6",
                          "i:2|t:Buffer(TT)|i:6500|i:200|i:6",
                          "i:2|t:Buffer(DD)|i:6500|i:200|i:6",
                          "i:2|t:Buffer(EX)|i:6500|i:200|i:6",
                          "i:2|t:Buffer(EN)|i:6500|i:200|i:6",
                          "i:2|t:Buffer(FDP)|i:6500|i:200|i:6", "i:5|t:DD ct|i:1000|i:200|i:1",
                          "i:5|t:FDP ct|i:1000|i:200|i:1"}));
    QCOMPARE(profile.value("select count(*) from reagent where name='Buffer'").toInt(), 0);
    QCOMPARE(profile.value("select count(*) from reagent where position is not null").toInt(), 12);

    // Calibration choices of every assay; assays without a statement keep theirs.
    QCOMPARE(describeRows(profile.rows("select name, method, funX, funY, dispX, dispY "
                                       "from assayCalibration order by name")),
             QStringList({"t:APTT|NULL|t:Linear|t:Linear|NULL|NULL",
                          "t:AT|i:4|t:Log|t:Linear|t:Log|t:Log",
                          "t:DD|i:4|t:Log|t:Linear|t:Log|t:Log",
                          "t:FDP|i:4|t:Log|t:Linear|t:Log|t:Log",
                          "t:FIB|i:0|t:Log|t:Log|t:Log|t:Log",
                          "t:II|i:0|t:Log|t:Log|t:Log|t:Log",
                          "t:IX|i:0|t:Log|t:Log|t:Log|t:Log",
                          "t:PT|i:0|t:Log|t:Log|t:Log|t:Log",
                          "t:PT calculate FIB|i:0|t:Log|t:Log|t:Log|t:Log",
                          "t:PT 演算 FIB|i:0|t:Log|t:Log|t:Log|t:Log",
                          "t:TT|NULL|t:Linear|t:Linear|NULL|NULL",
                          "t:V|i:0|t:Log|t:Log|t:Log|t:Log",
                          "t:VII|i:0|t:Log|t:Log|t:Log|t:Log",
                          "t:VIII|i:0|t:Log|t:Log|t:Log|t:Log",
                          "t:X|i:0|t:Log|t:Log|t:Log|t:Log",
                          "t:XI|i:0|t:Log|t:Log|t:Log|t:Log",
                          "t:XII|i:0|t:Log|t:Log|t:Log|t:Log"}));
    QCOMPARE(describeRows(profile.rows("select name, precision from assayItem "
                                       "where precision < 0")),
             QStringList{"t:OD|i:-1"});

    // Curves: new columns, unique per name and instrument, and the delete trigger empties all
    // four child tables of a deleted curve only.
    QCOMPARE(profile.strings("select name from pragma_table_info('curve') where cid >= 7"),
             QStringList({"instrUuid", "c", "d", "e", "valid"}));
    QCOMPARE(profile.strings("select sql from sqlite_master where name='curve_index'"),
             QStringList{"CREATE UNIQUE INDEX curve_index on curve(name, instrUuid)"});
    QVERIFY(profile.exec("insert into curve (name, instrUuid) values('PT 2023-09', 'U1');"
                         "insert into curve (name, instrUuid) values('PT 2023-09', 'U2')"));
    QVERIFY(!profile.exec("insert into curve (name, instrUuid) values('PT 2023-09', 'U1')"));
    QVERIFY(profile.exec("insert into curveInfo values(3, 'residual', 0.004);"
                         "insert into curveInfo values(3, 'residual', 0.005);"
                         "insert into curveInfo values(4, 'residual', 0.001)"));
    QCOMPARE(profile.value("select value from curveInfo where curveId=3").toDouble(), 0.005);
    const int otherPoints = profile.value("select count(*) from curvePoint where curveId<>3").toInt();
    QVERIFY(profile.exec("delete from curve where id=3"));
    for (const char *child : {"curvePoint", "curveVariable", "curveReagent", "curveInfo"})
        QCOMPARE(profile.value(QString("select count(*) from %1 where curveId=3").arg(child)).toInt(), 0);
    QCOMPARE(profile.value("select count(*) from curvePoint").toInt(), otherPoints);
    QCOMPARE(profile.value("select count(*) from curveInfo").toInt(), 1);

    Database data("data.db");
    QCOMPARE(data.strings("select version from version"), QStringList{"2"});
    // Patients keep every row and gain two empty columns.
    QCOMPARE(describeRows(data.rows("select * from patient")).size(), oldPatients.size());
    QCOMPARE(data.value("select count(*) from patient where sampleType is null "
                        "and hospitalNo is null").toInt(),
             oldPatients.size());
    for (const QString &table : dictionaries) {
        QCOMPARE(describeRows(data.rows("select * from " + table)), oldDictionaries[table]);
        QCOMPARE(data.strings(QString("select sql from sqlite_master where name='%1'").arg(table)),
                 QStringList{QString("CREATE TABLE %1(\n\tid integer primary key,\n"
                                     "\tabbr text COLLATE NOCASE,\n\tname text)").arg(table)});
        QCOMPARE(data.strings(QString("select name || ' ' || \"unique\" from "
                                      "pragma_index_list('%1')").arg(table)),
                 QStringList{table + "_index 0"});
    }
    // Abbreviations compare without case; the index is not unique.
    QCOMPARE(data.strings("select name from department where abbr='card'"), QStringList{"心内科"});
    QVERIFY(data.exec("insert into department (abbr, name) values('Card', 'second')"));
    QCOMPARE(data.value("select count(*) from department where abbr='CARD'").toInt(), 2);

    // Details: the stored definition keeps its comments; a second row of an item replaces it.
    QCOMPARE(data.strings("select sql from sqlite_master where name='detail'"),
             QStringList{"CREATE TABLE detail(\n\tid integer primary key,\n"
                         "\tpatientId integer references patient,\n"
                         "\titem text,\t\t\t\t\t\t\t\t\t\t-- 测量项目, 如PT\n"
                         "\tinfo text,\t\t\t\t\t\t\t\t\t\t-- 测试详细信息, 如测试通道等\n"
                         "\tunique(patientId, item) on conflict replace)"});
    QVERIFY(data.exec("insert into detail (patientId, item, info) values(3, 'FIB', 'channel 1');"
                      "insert into detail (patientId, item, info) values(3, 'FIB', 'channel 4');"
                      "insert into detail (patientId, item, info) values(9, 'FIB', 'channel 2')"));
    QCOMPARE(data.strings("select info from detail where patientId=3"), QStringList{"channel 4"});

    // Deleting a patient removes its exams (same number and day), results, extras, curves and
    // details, and nothing of the patient with the same number on another day.
    const int otherExams = data.value("select count(*) from exam where not "
                                      "(sampleNo='3' and date='2023-11-14')").toInt();
    const int otherResults = data.value("select count(*) from result where patientId<>3").toInt();
    QVERIFY(data.value("select count(*) from curve where patientId=3").toInt() > 0);
    QVERIFY(data.exec("delete from patient where id=3"));
    QCOMPARE(data.value("select count(*) from exam").toInt(), otherExams);
    QCOMPARE(data.value("select count(*) from exam where sampleNo='3'").toInt(), 5);
    QCOMPARE(data.value("select count(*) from result").toInt(), otherResults);
    for (const char *child : {"result", "patientExtra", "curve", "detail"})
        QCOMPARE(data.value(QString("select count(*) from %1 where patientId=3").arg(child)).toInt(), 0);
    QCOMPARE(data.value("select count(*) from detail where patientId=9").toInt(), 1);
}

void tst_Upgrade::fromVersion1()
{
    buildWorkstation(1, 1);
    QStringList userSchema, dictionarySchema, oldUsers;
    {
        Database profile("profile.db");
        userSchema = profile.strings("select sql from sqlite_master where tbl_name='user'");
        oldUsers = describeRows(profile.rows("select * from user"));
        Database data("data.db");
        dictionarySchema = data.strings("select sql from sqlite_master where tbl_name in "
                                        "('department', 'sex', 'treatmentRoom', 'diagnosis', "
                                        "'doctor', 'operator') order by name");
    }
    QCOMPARE(runUpgrade(m_dir->path(), {"upgrade.log"}).exitCode, 0);

    Database profile("profile.db");
    QCOMPARE(profile.strings("select version from version"), QStringList{"3"});
    // The user table is not rebuilt: the hidden engineer account stays hidden.
    QCOMPARE(profile.strings("select sql from sqlite_master where tbl_name='user'"), userSchema);
    QCOMPARE(describeRows(profile.rows("select * from user")), oldUsers);
    // The version is written before the defaults, yet a file that began at 1 gets them.
    const QMap<QString, QString> stored = settings(profile);
    const QMap<QString, QString> defaults = defaultSettings();
    for (auto it = defaults.cbegin(); it != defaults.cend(); ++it) {
        if (it.key() != "FIB/report/dilution")
            QCOMPARE(stored.value(it.key()), it.value());
    }
    for (const QString &key : removedKeys)
        QVERIFY2(!stored.contains(key), qPrintable(key));
    QCOMPARE(profile.value("select count(*) from reagent where name='Buffer(FDP)'").toInt(), 1);
    QCOMPARE(profile.value("select method from assayCalibration where name='AT'").toInt(), 4);

    Database data("data.db");
    QCOMPARE(data.strings("select version from version"), QStringList{"2"});
    QCOMPARE(data.strings("select sql from sqlite_master where tbl_name in "
                          "('department', 'sex', 'treatmentRoom', 'diagnosis', "
                          "'doctor', 'operator') order by name"),
             dictionarySchema);
    QVERIFY(data.value("select sql from sqlite_master where name='on_delete_patient'")
                    .toString()
                    .contains("delete from detail where old.id = detail.patientId;"));
    // Only the insert of the key that the laboratory had set fails.
    QCOMPARE(statementFailures(readFile("upgrade.log")).size(), 1);
}

void tst_Upgrade::fromVersion2()
{
    buildWorkstation(2, 2);
    QMap<QString, QString> oldSettings;
    QStringList oldReagents;
    {
        Database profile("profile.db");
        oldSettings = settings(profile);
        oldReagents = describeRows(profile.rows("select * from reagent"));
    }
    const QStringList oldData = Database("data.db").dump();
    QCOMPARE(runUpgrade(m_dir->path(), {"upgrade.log"}).exitCode, 0);
    QCOMPARE(statementFailures(readFile("upgrade.log")), QStringList());

    Database profile("profile.db");
    QCOMPARE(profile.strings("select version from version"), QStringList{"3"});
    // No defaults are written again: the laboratory's own values stay.
    QCOMPARE(settings(profile), oldSettings);
    QCOMPARE(oldSettings.value("FDP/max_clot_time"), QString("i:150"));
    QCOMPARE(describeRows(profile.rows("select * from reagent")), oldReagents);
    QCOMPARE(profile.strings("select name from pragma_table_info('assayCalibration') "
                             "where cid >= 4"),
             QStringList({"method", "dispX", "dispY"}));
    QCOMPARE(describeRows(profile.rows("select method, funX, funY, dispX, dispY from "
                                       "assayCalibration where name='DD'")),
             QStringList{"i:4|t:Log|t:Linear|t:Log|t:Log"});

    // data.db is current: only its version rows are written again.
    QCOMPARE(Database("data.db").dump(), oldData);
}

void tst_Upgrade::laterVersions_data()
{
    QTest::addColumn<int>("version");
    QTest::newRow("3") << 3;
}

void tst_Upgrade::laterVersions()
{
    QFETCH(int, version);
    buildWorkstation(2, 2);
    QStringList oldProfile, oldData;
    {
        Database profile("profile.db");
        QVERIFY(profile.exec(QString("update version set version=%1").arg(version)));
        oldProfile = profile.dump();
        // data.db at its current version; a newer one is refused (newerVersionLeftUnchanged).
        Database data("data.db");
        QVERIFY(data.exec(QString("update version set version=%1").arg(qMin(version, 2))));
        oldData = data.dump();
    }
    QCOMPARE(runUpgrade(m_dir->path(), {"upgrade.log"}).exitCode, 0);
    QCOMPARE(statementFailures(readFile("upgrade.log")), QStringList());

    // Only the version rows and the precision of "OD" change.
    oldProfile.replaceInStrings(QString("version: i:%1").arg(version), "version: i:3");
    oldProfile.replaceInStrings("assayItem: t:OD|t:|i:3|", "assayItem: t:OD|t:|i:-1|");
    QCOMPARE(Database("profile.db").dump(), oldProfile);
    QCOMPARE(Database("data.db").dump(), oldData);
}

void tst_Upgrade::secondRun()
{
    buildWorkstation(0, 0);
    QCOMPARE(runUpgrade(m_dir->path()).exitCode, 0);
    QStringList profileDump = Database("profile.db").dump();
    const QStringList dataDump = Database("data.db").dump();
    QVERIFY(profileDump.contains("assayItem: t:OD|t:|i:-1|i:17"));
    QVERIFY(Database("profile.db").exec("update assayItem set precision=3 where name='OD'"));

    QCOMPARE(runUpgrade(m_dir->path(), {"second.log"}).exitCode, 0);
    // A current workstation: nothing to report.
    QCOMPARE(readFile("second.log"), QByteArray());
    QCOMPARE(Database("profile.db").dump(), profileDump);
    QCOMPARE(Database("data.db").dump(), dataDump);
}

void tst_Upgrade::existingKeysKept()
{
    buildWorkstation(1, 1);
    {
        Database profile("profile.db");
        QVERIFY(profile.exec("insert into profile values('dilution', '1/2;1/4');"
                             "insert into profile values('patient/hospitalNo', 'MRN');"
                             "insert into profile values('analyst/FIB/odPercent', 0.4);"
                             "insert into profile values('schedule/test/XII', 45);"));
    }
    QCOMPARE(runUpgrade(m_dir->path(), {"upgrade.log"}).exitCode, 0);

    Database profile("profile.db");
    const QMap<QString, QString> stored = settings(profile);
    QCOMPARE(stored.value("dilution"), QString("t:1/2;1/4"));
    QCOMPARE(stored.value("patient/hospitalNo"), QString("t:MRN"));
    QCOMPARE(stored.value("analyst/FIB/odPercent"), QString("r:0.40000000000000002"));
    QCOMPARE(stored.value("FIB/report/dilution"), QString("t:1/20"));
    // "replace" overwrites.
    QCOMPARE(stored.value("schedule/test/XII"), QString("i:30"));
    // The keys after a failed insert are still written.
    QCOMPARE(stored.value("reagent/interruptLimit"), QString("t:中断限[ul]"));

    const QStringList failures = statementFailures(readFile("upgrade.log"));
    QCOMPARE(failures.size(), 4);
    const QStringList statements = {
        "insert into profile values('FIB/report/dilution', '1/10') ] ",
        "insert into profile values('dilution', '" + dilutionSource + "') ] ",
        "insert into profile values('patient/hospitalNo',\t'住院号') ] ",
        "insert or abort into profile values('analyst/FIB/odPercent', \t\t0.5) ] "};
    for (int i = 0; i < statements.size(); ++i) {
        QVERIFY2(failures[i].startsWith("Warning: updateprofile.cpp ( "), qPrintable(failures[i]));
        QVERIFY2(failures[i].contains("UNIQUE constraint failed: profile.name"),
                 qPrintable(failures[i]));
        QVERIFY2(failures[i].endsWith(statements[i]), qPrintable(failures[i]));
    }
}

void tst_Upgrade::labels_data()
{
    QTest::addColumn<QString>("catalogue");
    QTest::addColumn<QStringList>("labels"); // nine labels in statement order

    QTest::newRow("source texts") << QString()
                                  << QStringList({"梯度1", "梯度2", "梯度3", "梯度4", "样本类型",
                                                  "初始量[ul]", "报警限[ul]", "中断限[ul]",
                                                  "住院号"});
    QTest::newRow("English") << QString("dbupdate_en")
                             << QStringList({"Gradient 1", "Gradient 2", "Gradient 3",
                                             "Gradient 4", "Sample type", "Initial volume[ul]",
                                             "Alarm limit[ul]", "Interrupt limit[ul]",
                                             "Hospital No."});
    QTest::newRow("quotes") << QString("quoted")
                            << QStringList({"Grad. 'A'", "梯度2", "''", "梯度4", "Patient's sample",
                                            "初始量[ul]", "报警限[ul]", "Stop's limit",
                                            "Patient's No.', 'x')--"});
}

void tst_Upgrade::labels()
{
    QFETCH(QString, catalogue);
    QFETCH(QStringList, labels);
    buildWorkstation(1, 1);

    QStringList arguments{"upgrade.log"};
    if (catalogue == "dbupdate_en") {
        QVERIFY(QFile::copy(DBUPDATE_QM, "dbupdate_en.qm"));
        arguments << catalogue;
    } else if (!catalogue.isEmpty()) {
        // A catalogue whose translations hold single quotes, one of them written to end the
        // statement early.
        const QStringList sources = {"梯度1", "梯度2", "梯度3", "梯度4", "样本类型",
                                     "初始量[ul]", "报警限[ul]", "中断限[ul]", "住院号"};
        QString ts = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!DOCTYPE TS>\n"
                     "<TS version=\"2.1\" language=\"en_US\"><context><name>UpdateProfile</name>\n";
        for (int i = 0; i < sources.size(); ++i) {
            if (labels[i] != sources[i]) {
                ts += QString("<message><source>%1</source><translation>%2</translation></message>\n")
                              .arg(sources[i], labels[i].toHtmlEscaped());
            }
        }
        ts += "</context></TS>\n";
        QFile file(catalogue + ".ts");
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(ts.toUtf8());
        file.close();
        QCOMPARE(QProcess::execute(LRELEASE_EXECUTABLE, {"-silent", file.fileName()}), 0);
        QVERIFY(QFile::exists(catalogue + ".qm"));
        arguments << catalogue;
    }
    QCOMPARE(runUpgrade(m_dir->path(), arguments).exitCode, 0);

    Database profile("profile.db");
    const QMap<QString, QString> stored = settings(profile);
    QCOMPARE(stored.value("dilution"),
             QString("t:%1;1/5;1/10;1/20;1/30,%2;1/5;1/10;1/20;1/30;1/40,%3;1/1;1/2;1/4;1/8,"
                     "%4;1/1;3/4;1/2;1/4")
                     .arg(labels[0], labels[1], labels[2], labels[3]));
    QCOMPARE(stored.value("patient/sampleType"), "t:" + labels[4]);
    QCOMPARE(stored.value("reagent/initVolume"), "t:" + labels[5]);
    QCOMPARE(stored.value("reagent/alarmLimit"), "t:" + labels[6]);
    QCOMPARE(stored.value("reagent/interruptLimit"), "t:" + labels[7]);
    QCOMPARE(stored.value("patient/hospitalNo"), "t:" + labels[8]);
    QCOMPARE(profile.value("select count(*) from profile where name='x'").toInt(), 0);
    // Only the laboratory's own FIB dilution key is reported.
    QCOMPARE(statementFailures(readFile("upgrade.log")).size(), 1);
}

void tst_Upgrade::userNamesDifferingInCase()
{
    buildWorkstation(0, 0);
    {
        Database profile("profile.db");
        QVERIFY(profile.exec("insert into user values(6, 'Lab01', 'aa', 1)"));
    }
    const QByteArray data = readFile("data.db");
    const QByteArray qc = readFile("qc.db");

    const Result run = runUpgrade(m_dir->path(), {"upgrade.log"});
    QCOMPARE(run.exitCode, 1);

    Database profile("profile.db");
    // The old rows wait in user_bak; the new table holds the rows copied before the clash.
    QCOMPARE(profile.value("select count(*) from user_bak").toInt(), 6);
    QCOMPARE(profile.strings("select name from user order by id"),
             QStringList({"admin", "engineer", "lab01", "lab02", "night"}));
    QVERIFY(profile.value("select sql from sqlite_master where name='user'")
                    .toString()
                    .contains("COLLATE NOCASE"));
    // Nothing after the copy ran: no version, no curve table changes, no defaults.
    QCOMPARE(profile.value("select count(*) from sqlite_master where name in "
                           "('version', 'curveInfo')").toInt(), 0);
    QCOMPARE(profile.value("select count(*) from profile where name='DD/disable'").toInt(), 1);
    QCOMPARE(profile.value("select precision from assayItem where name='OD'").toInt(), 3);
    // The later files are not touched.
    QCOMPARE(readFile("data.db"), data);
    QCOMPARE(readFile("qc.db"), qc);

    const QStringList failures = statementFailures(readFile("upgrade.log"));
    QCOMPARE(failures.size(), 1);
    QVERIFY2(failures.first().contains("UNIQUE constraint failed: user.name"),
             qPrintable(failures.first()));
    QVERIFY(readFile("upgrade.log").endsWith(
            "Warning: profile.db: the upgrade stopped; every row of user is in user_bak; user holds"
            " the 5 copied before the stop; not run: data.db, qc.db\n"));
}

void tst_Upgrade::dictionaryColumnNotInNewDefinition()
{
    buildWorkstation(0, 0);
    {
        Database data("data.db");
        QVERIFY(data.exec("alter table doctor add column phone text;"
                          "update doctor set phone='8' || id"));
    }
    const QByteArray qc = readFile("qc.db");

    const Result run = runUpgrade(m_dir->path(), {"upgrade.log"});
    QCOMPARE(run.exitCode, 1);

    // profile.db ran before and is complete.
    QCOMPARE(Database("profile.db").strings("select version from version"), QStringList{"3"});

    Database data("data.db");
    QCOMPARE(data.value("select count(*) from doctor_bak where phone is not null").toInt(), 8);
    QCOMPARE(data.value("select count(*) from doctor").toInt(), 0);
    // The tables before it are rebuilt, the one after it is not.
    for (const char *table : {"department", "sex", "treatmentRoom", "diagnosis", "doctor"}) {
        QVERIFY2(data.value(QString("select sql from sqlite_master where name='%1'").arg(table))
                         .toString()
                         .contains("COLLATE NOCASE"),
                 table);
    }
    QVERIFY(!data.value("select sql from sqlite_master where name='operator'")
                     .toString()
                     .contains("COLLATE NOCASE"));
    QCOMPARE(data.value("select count(*) from sqlite_master where name in "
                        "('version', 'detail', 'operator_bak')").toInt(), 0);
    QVERIFY(!data.value("select sql from sqlite_master where name='on_delete_patient'")
                     .toString()
                     .contains("detail"));
    QCOMPARE(readFile("qc.db"), qc);

    const QStringList failures = statementFailures(readFile("upgrade.log"));
    QCOMPARE(failures.size(), 2);
    QVERIFY2(failures.last().contains("table doctor has no column named phone"),
             qPrintable(failures.last()));
}

void tst_Upgrade::newerVersionLeftUnchanged_data()
{
    QTest::addColumn<int>("profileVersion");
    QTest::addColumn<int>("dataVersion");
    QTest::addColumn<QString>("warning");

    QTest::newRow("profile.db 4") << 4 << 2
                                  << "Warning: profile.db has version 4, newer than this program's 3: left unchanged";
    QTest::newRow("data.db 3") << 3 << 3
                               << "Warning: data.db has version 3, newer than this program's 2: left unchanged";
}

void tst_Upgrade::newerVersionLeftUnchanged()
{
    // Written back to this program's version, a newer file would have a later upgrade run its
    // sections again.
    QFETCH(int, profileVersion);
    QFETCH(int, dataVersion);
    QFETCH(QString, warning);
    buildWorkstation(2, 2);
    QVERIFY(Database("profile.db").exec(QString("update version set version=%1").arg(profileVersion)));
    QVERIFY(Database("data.db").exec(QString("update version set version=%1").arg(dataVersion)));
    const QByteArray data = readFile("data.db");
    const QByteArray qc = readFile("qc.db");
    const QByteArray profile = readFile("profile.db");

    QCOMPARE(runUpgrade(m_dir->path(), {"upgrade.log"}).exitCode, 1);
    const QString log = QString::fromLocal8Bit(readFile("upgrade.log"));
    QVERIFY2(log.contains(warning + "\n"), qPrintable(log));
    QCOMPARE(statementFailures(readFile("upgrade.log")), QStringList());
    QCOMPARE(readFile("data.db"), data);
    QCOMPARE(readFile("qc.db"), qc);
    if (profileVersion > 3)
        QCOMPARE(readFile("profile.db"), profile);
}

void tst_Upgrade::stoppedCopyFinishesAfterRepair()
{
    // The engineer repairs the row that stopped the copy in user_bak and runs the program again:
    // the upgrade ends as if the row had been right from the start.
    buildWorkstation(0, 0);
    QVERIFY(Database("profile.db").exec("insert into user values(6, 'Lab01', 'aa', 1)"));
    QCOMPARE(runUpgrade(m_dir->path(), {"first.log"}).exitCode, 1);
    QVERIFY(Database("profile.db").exec("update user_bak set name='Lab01-b' where id=6"));

    const Result run = runUpgrade(m_dir->path(), {"second.log"});
    QCOMPARE(run.exitCode, 0);
    const QString log = QString::fromLocal8Bit(readFile("second.log"));
    QVERIFY2(log.startsWith("Warning: Restoring user from user_bak, left by an upgrade that stopped\n"),
             qPrintable(log));

    QTemporaryDir reference;
    QVERIFY(reference.isValid());
    QVERIFY(QDir::setCurrent(reference.path()));
    buildWorkstation(0, 0);
    QVERIFY(Database("profile.db").exec("insert into user values(6, 'Lab01-b', 'aa', 1)"));
    QCOMPARE(runUpgrade(reference.path()).exitCode, 0);
    const QStringList expected = Database("profile.db").dump();
    QVERIFY(QDir::setCurrent(m_dir->path()));
    QCOMPARE(Database("profile.db").dump(), expected);
    QVERIFY(expected.contains("user: i:6|t:Lab01-b|t:aa|i:1|i:0"));
}

void tst_Upgrade::snapshotAndRestore()
{
    // The snapshot holds the files as they were; --restore puts them back.
    buildWorkstation(0, 0);
    const QString before = dump(m_dir->path());
    const QByteArray qc = readFile("qc.db");

    const auto upgraded = runWithOutput({"--json", "upgrade.log"});
    QCOMPARE(upgraded.first, 0);
    const QJsonObject summary = lastJson(upgraded.second);
    QCOMPARE(summary.value("mode").toString(), QString("upgrade"));
    QCOMPARE(summary.value("exitStatus").toInt(-1), 0);
    QVERIFY(summary.value("seconds").isDouble());
    QVERIFY(!summary.value("version").toString().isEmpty());
    QCOMPARE(snapshotStamps().size(), 1);
    const QString directory = "dbupdate-backup/" + snapshotStamps().first();
    QCOMPARE(summary.value("snapshot").toString(), directory);
    QVERIFY(QRegularExpression("/\\d{8}T\\d{6}Z$").match(directory).hasMatch());
    const QJsonArray files = summary.value("files").toArray();
    QCOMPARE(files.size(), 3);
    const QStringList expected = {"profile.db|0|3|upgraded", "data.db|0|2|upgraded",
                                  "qc.db|null|null|up to date"};
    for (int i = 0; i < 3; ++i) {
        const QJsonObject file = files.at(i).toObject();
        const auto text = [](const QJsonValue &v) { return v.isNull() ? QString("null") : QString::number(v.toInt()); };
        QCOMPARE(QString("%1|%2|%3|%4").arg(file.value("name").toString(), text(file.value("versionBefore")),
                                            text(file.value("versionAfter")), file.value("status").toString()),
                 expected.at(i));
        QVERIFY(file.contains("reason") && file.value("reason").isNull());
    }

    // The copies: the files before the upgrade; qc.db, which needs no change, has none.
    QCOMPARE(dump(directory, {"profile.db", "data.db"}), before.left(before.indexOf("-- qc.db")));
    QVERIFY(!QFileInfo::exists(directory + "/qc.db"));
    const QJsonObject manifest = QJsonDocument::fromJson(readFile(directory + "/manifest.json")).object();
    QCOMPARE(manifest.value("program").toString(), QString("dbupdate"));
    QCOMPARE(manifest.value("version").toString(), summary.value("version").toString());
    QVERIFY(QDateTime::fromString(manifest.value("time").toString(), Qt::ISODate).isValid());
    QCOMPARE(manifest.value("files").toArray().size(), 2);
    for (const QJsonValue &value : manifest.value("files").toArray()) {
        const QJsonObject file = value.toObject();
        const QByteArray copy = readFile(directory + "/" + file.value("name").toString());
        QCOMPARE(file.value("size").toInt(), copy.size());
        QCOMPARE(file.value("sha256").toString().toLatin1(),
                 QCryptographicHash::hash(copy, QCryptographicHash::Sha256).toHex());
        QCOMPARE(file.value("version").toInt(-1), 0);
    }

    // Up to date: no second snapshot.
    QCOMPARE(runUpgrade(m_dir->path(), {"upgrade.log"}).exitCode, 0);
    QCOMPARE(snapshotStamps().size(), 1);

    // A file another program has open is not replaced.
    const QByteArray upgradedData = readFile("data.db");
    {
        Database open("data.db");
        QVERIFY(open.exec("begin immediate"));
        QCOMPARE(runUpgrade(m_dir->path(), {"--restore", "restore.log"}).exitCode, 1);
        QVERIFY(open.exec("rollback"));
    }
    QCOMPARE(readFile("data.db"), upgradedData);
    QVERIFY(QString::fromLocal8Bit(readFile("restore.log")).contains("data.db is in use by another program"));

    const auto restored = runWithOutput({"--restore", "--json", "restore.log"});
    QCOMPARE(restored.first, 0);
    QCOMPARE(dump(m_dir->path()), before);
    QCOMPARE(readFile("qc.db"), qc);
    const QJsonObject restoreSummary = lastJson(restored.second);
    QCOMPARE(restoreSummary.value("mode").toString(), QString("restore"));
    QCOMPARE(restoreSummary.value("snapshot").toString(), directory);
    QCOMPARE(restoreSummary.value("files").toArray().size(), 2);
    for (const QJsonValue &value : restoreSummary.value("files").toArray())
        QCOMPARE(value.toObject().value("status").toString(), QString("restored"));

    // A copy that does not match its manifest is not put back.
    QVERIFY(Database(directory + "/data.db").exec("insert into sex (abbr) values('x')"));
    QCOMPARE(runUpgrade(m_dir->path(), {"upgrade.log"}).exitCode, 0);
    const QString upgradedDump = dump(m_dir->path());
    QCOMPARE(runUpgrade(m_dir->path(), {"--restore=" + directory.section('/', 1), "restore.log"}).exitCode, 1);
    QCOMPARE(dump(m_dir->path()), upgradedDump);
    QVERIFY(QString::fromLocal8Bit(readFile("restore.log")).contains("does not match its SHA-256"));
}

void tst_Upgrade::check_data()
{
    QTest::addColumn<bool>("upgraded");
    QTest::addColumn<QString>("change");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("statuses");

    QTest::newRow("old") << false << QString() << 3
                         << QStringList{"will be upgraded", "will be upgraded", "up to date"};
    QTest::newRow("current") << true << QString() << 0
                             << QStringList{"up to date", "up to date", "up to date"};
    QTest::newRow("newer") << true << "update version set version=4" << 1
                           << QStringList{"would be refused", "up to date", "up to date"};
    QTest::newRow("damaged version") << false << "create table version(version); insert into version values('x')" << 1
                                     << QStringList{"would be refused", "will be upgraded", "up to date"};
}

void tst_Upgrade::check()
{
    // --check reads and says; every byte and time stays, and nothing is created.
    QFETCH(bool, upgraded);
    QFETCH(QString, change);
    QFETCH(int, exitCode);
    QFETCH(QStringList, statuses);
    buildWorkstation(0, 0);
    if (upgraded)
        QCOMPARE(runUpgrade(m_dir->path(), {"--no-backup", "first.log"}).exitCode, 0);
    if (!change.isEmpty())
        QVERIFY(Database("profile.db").exec(change));
    QTest::qWait(20); // a touched file would show a later time
    const auto before = fileStates(m_dir->path());

    const auto checked = runWithOutput({"--check", "--json", "check.log"});
    QCOMPARE(checked.first, exitCode);
    QCOMPARE(fileStates(m_dir->path()), before);

    const QList<QByteArray> lines = checked.second.trimmed().split('\n');
    QCOMPARE(lines.size(), 4);
    const QJsonObject summary = lastJson(checked.second);
    QCOMPARE(summary.value("mode").toString(), QString("check"));
    QCOMPARE(summary.value("exitStatus").toInt(-1), exitCode);
    QVERIFY(summary.value("snapshot").isNull());
    const QJsonArray files = summary.value("files").toArray();
    QCOMPARE(files.size(), 3);
    for (int i = 0; i < 3; ++i) {
        const QJsonObject file = files.at(i).toObject();
        QCOMPARE(file.value("status").toString(), statuses.at(i));
        QVERIFY(QString::fromLocal8Bit(lines.at(i)).startsWith(file.value("name").toString() + ": "));
        QVERIFY2(QString::fromLocal8Bit(lines.at(i)).contains(statuses.at(i)), lines.at(i).constData());
        QCOMPARE(file.value("reason").isNull(), statuses.at(i) != "would be refused");
    }

    // The reasons are those of a real run.
    if (exitCode == 1) {
        QCOMPARE(runUpgrade(m_dir->path(), {"upgrade.log"}).exitCode, 1);
        const QString reason = files.at(0).toObject().value("reason").toString();
        QVERIFY2(QString::fromLocal8Bit(readFile("upgrade.log")).contains("Warning: " + reason + "\n"),
                 qPrintable(reason));
    }
}

void tst_Upgrade::secondRunWhileLocked()
{
    // While one run holds dbupdate.lock, a second touches nothing, not even its log.
    buildWorkstation(0, 0);
    const auto before = fileStates(m_dir->path());
    {
        QLockFile lock("dbupdate.lock");
        QVERIFY(lock.tryLock(0));
        for (const QStringList &arguments : {QStringList{"upgrade.log"}, QStringList{"--restore", "upgrade.log"}}) {
            const Result run = runUpgrade(m_dir->path(), arguments);
            QCOMPARE(run.exitCode, 1);
            QVERIFY2(run.standardError.contains("process " + QByteArray::number(QCoreApplication::applicationPid())),
                     run.standardError.constData());
        }
        const auto refused = runWithOutput({"--json", "upgrade.log"});
        QCOMPARE(refused.first, 1);
        QCOMPARE(lastJson(refused.second).value("exitStatus").toInt(), 1);
        auto during = fileStates(m_dir->path());
        during.remove(m_dir->filePath("dbupdate.lock"));
        QCOMPARE(during, before);
        // A look takes no lock.
        QCOMPARE(runWithOutput({"--check"}).first, 3);
    }
    QCOMPARE(runUpgrade(m_dir->path(), {"upgrade.log"}).exitCode, 0);
    QVERIFY(!QFileInfo::exists("dbupdate.lock"));
}

void tst_Upgrade::keepAndNoBackup()
{
    // Each upgrade after a restore makes a snapshot; --keep leaves the newest N. A restore
    // removes none.
    buildWorkstation(0, 0);
    QStringList made;
    for (int i = 0; i < 4; ++i) {
        if (i > 0)
            QCOMPARE(runUpgrade(m_dir->path(), {"--restore", "upgrade.log"}).exitCode, 0);
        QCOMPARE(runUpgrade(m_dir->path(), {"--keep=2", "upgrade.log"}).exitCode, 0);
        const QStringList stamps = snapshotStamps();
        for (const QString &stamp : stamps) {
            if (!made.contains(stamp))
                made.append(stamp);
        }
        QCOMPARE(stamps.size(), qMin(i + 1, 2));
    }
    QCOMPARE(made.size(), 4);
    QCOMPARE(snapshotStamps(), made.mid(2));
    QCOMPARE(runUpgrade(m_dir->path(), {"--restore", "upgrade.log"}).exitCode, 0);
    QCOMPARE(snapshotStamps().size(), 2);

    // --no-backup: no snapshot, and the log says so.
    QCOMPARE(runUpgrade(m_dir->path(), {"--no-backup", "nobackup.log"}).exitCode, 0);
    QCOMPARE(snapshotStamps().size(), 2);
    QCOMPARE(QString::fromLocal8Bit(readFile("nobackup.log")).count("without a snapshot (--no-backup)"), 2);
    QCOMPARE(runUpgrade(m_dir->path(), {"--keep=0"}).exitCode, 2);
}

void tst_Upgrade::bytesKept()
{
    // Names typed in GBK through another tool are not valid UTF-8; a rebuild keeps their bytes.
    buildWorkstation(0, 0);
    QVERIFY(Database("profile.db").exec("update user set name = cast(x'B2E2CAD4' as text),"
                                        " password = cast(x'BFC6D3C3' as text) where id = 2"));
    QVERIFY(Database("data.db").exec("update doctor set name = cast(x'B2E2CAD4BFC6' as text)"
                                     " where id = 1"));
    QCOMPARE(runUpgrade(m_dir->path(), {"upgrade.log"}).exitCode, 0);
    QCOMPARE(Database("profile.db").strings("select hex(name) || hex(password) from user where id = 2"),
             QStringList{"B2E2CAD4BFC6D3C3"});
    QCOMPARE(Database("data.db").strings("select typeof(name) || hex(name) from doctor where id = 1"),
             QStringList{"textB2E2CAD4BFC6"});
}

void tst_Upgrade::refusedUnchanged_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("stopWith"); // a first run, stopped by this, before the change
    QTest::addColumn<QString>("change");
    QTest::addColumn<QStringList>("logged");

    // A user_bak that this program did not leave, or a half-built user table that took new rows
    // after a stop, is never dropped.
    QTest::newRow("the site's own copy") << 0 << QString()
            << "create table user_bak as select * from user; delete from user_bak where id > 1"
            << QStringList{"Warning: user_bak is not the copy of user that a stopped upgrade leaves: both are left as they are\n"};
    QTest::newRow("rows written since the stop") << 0 << "insert into user values(6, 'Lab01', 'aa', 1)"
            << "update user_bak set name='Lab01-b' where id=6; insert into user (name, password) values('new', 'n')"
            << QStringList{"Warning: user holds 1 rows that are not in user_bak, written since the upgrade stopped: both are left as they are\n"};
    // A version table with a column of its own: the file would read as version 0 and be
    // upgraded again, tuned settings reset.
    QTest::newRow("version not written") << 2 << QString()
            << "drop table version; create table version(version integer, site text not null);"
               " insert into version values(2, 'lab'); replace into profile values('schedule/test/PT', 99)"
            << QStringList{"[ insert into version values(3) ]",
                           "Warning: profile.db: the upgrade stopped; the file is unchanged (rolled back); not run: data.db, qc.db\n"};
}

void tst_Upgrade::refusedUnchanged()
{
    QFETCH(int, version);
    QFETCH(QString, stopWith);
    QFETCH(QString, change);
    QFETCH(QStringList, logged);
    buildWorkstation(version, version);
    if (!stopWith.isEmpty()) {
        QVERIFY(Database("profile.db").exec(stopWith));
        QCOMPARE(runUpgrade(m_dir->path(), {"first.log"}).exitCode, 1);
    }
    QVERIFY(Database("profile.db").exec(change));
    const QStringList before = Database("profile.db").dump();

    QCOMPARE(runUpgrade(m_dir->path(), {"upgrade.log"}).exitCode, 1);
    QCOMPARE(Database("profile.db").dump(), before);
    const QString log = QString::fromLocal8Bit(readFile("upgrade.log"));
    for (const QString &line : logged)
        QVERIFY2(log.contains(line), qPrintable(log));
}

void tst_Upgrade::siteIndexesAndTriggers()
{
    buildWorkstation(0, 0);
    QVERIFY(Database("data.db").exec(
            "create table doctorLog(name text);"
            "create index doctor_name on doctor(name);"
            "create trigger doctor_added after insert on doctor begin"
            " insert into doctorLog values(new.name); end;"
            "insert into doctor (abbr, name) values('ZW', 'Zhao Wu');"
            "insert into doctor (abbr, name) values('zw', 'Zhou Wen');"
            "create unique index doctor_abbr on doctor(abbr)"));
    QCOMPARE(runUpgrade(m_dir->path(), {"upgrade.log"}).exitCode, 0);

    Database data("data.db");
    QCOMPARE(data.strings("select name from sqlite_master where tbl_name = 'doctor' order by name"),
             QStringList({"doctor", "doctor_added", "doctor_index", "doctor_name"}));
    // Recreated after the copy: the trigger saw none of the copied rows.
    QCOMPARE(data.value("select count(*) from doctorLog").toInt(), 2);
    QVERIFY(data.exec("insert into doctor (abbr, name) values('qq', 'Qian Qi')"));
    QCOMPARE(data.value("select count(*) from doctorLog").toInt(), 3);
    // Unique without regard to case, the two abbreviations now clash.
    QVERIFY(QString::fromLocal8Bit(readFile("upgrade.log"))
                    .contains("Warning: The index doctor_abbr of doctor cannot be created again: "
                              "UNIQUE constraint failed: doctor.abbr\n"));
}

void tst_Upgrade::diskFullLeavesNoJournal()
{
    // The file system fills while a large dictionary is rebuilt (a file size limit stands in):
    // data.db must be whole on its own, with no journal to keep beside it.
    buildWorkstation(2, 0);
    QVERIFY(Database("data.db").exec(
            "with recursive c(i) as (select 1 union all select i + 1 from c where i < 70000)"
            " insert into doctor (abbr, name) select printf('d%d', i),"
            " printf('Doctor number %d of a large hospital', i) from c"));
    const QStringList before = Database("data.db").dump();
    const qint64 blocks = QFileInfo("data.db").size() / 512 + 100;

    QProcess shell;
    shell.setWorkingDirectory(m_dir->path());
    shell.start("sh", {"-c", QString("trap '' XFSZ; ulimit -f %1; exec \"$0\" upgrade.log").arg(blocks),
                       programPath()});
    QVERIFY(shell.waitForFinished(120000));
    QCOMPARE(shell.exitCode(), 1);
    QVERIFY2(!QFileInfo::exists("data.db-journal"), readFile("upgrade.log").constData());
    QCOMPARE(Database("data.db").dump(), before);
}

QTEST_GUILESS_MAIN(tst_Upgrade)
#include "tst_upgrade.moc"
