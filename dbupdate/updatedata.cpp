#include "updatedata.h"

#include <QSqlRecord>
#include <QStringList>

// Runs one statement text through the step's runner with the location of the literal.
#define EXECUTE(sql) execute(QStringLiteral(sql), __FILE__, __LINE__)

namespace {

// The dictionary tables of the entry forms, in rebuild order. Their abbreviations compare
// without regard to case from version 1 on.
struct Dictionary
{
    const char *table;
    const char *create;
    int createLine;
    const char *index;
    int indexLine;
    const char *drop;
    int dropLine;
};

// Each statement with its own line number, which the log of a failure names.
// clang-format off
const Dictionary dictionaries[] = {
    {"department",
     "create table department(\n"
     "\tid integer primary key,\n"
     "\tabbr text COLLATE NOCASE,\n"
     "\tname text)", __LINE__,
     "create index if not exists department_index on department (abbr)", __LINE__,
     "drop table department_bak", __LINE__},
    {"sex",
     "create table sex(\n"
     "\tid integer primary key,\n"
     "\tabbr text COLLATE NOCASE,\n"
     "\tname text)", __LINE__,
     "create index if not exists sex_index on sex (abbr)", __LINE__,
     "drop table sex_bak", __LINE__},
    {"treatmentRoom",
     "create table treatmentRoom(\n"
     "\tid integer primary key,\n"
     "\tabbr text COLLATE NOCASE,\n"
     "\tname text)", __LINE__,
     "create index if not exists treatmentRoom_index on treatmentRoom (abbr)", __LINE__,
     "drop table treatmentRoom_bak", __LINE__},
    {"diagnosis",
     "create table diagnosis(\n"
     "\tid integer primary key,\n"
     "\tabbr text COLLATE NOCASE,\n"
     "\tname text)", __LINE__,
     "create index if not exists diagnosis_index on diagnosis (abbr)", __LINE__,
     "drop table diagnosis_bak", __LINE__},
    {"doctor",
     "create table doctor(\n"
     "\tid integer primary key,\n"
     "\tabbr text COLLATE NOCASE,\n"
     "\tname text)", __LINE__,
     "create index if not exists doctor_index on doctor (abbr)", __LINE__,
     "drop table doctor_bak", __LINE__},
    {"operator",
     "create table operator(\n"
     "\tid integer primary key,\n"
     "\tabbr text COLLATE NOCASE,\n"
     "\tname text)", __LINE__,
     "create index if not exists operator_index on operator (abbr)", __LINE__,
     "drop table operator_bak", __LINE__},
};
// clang-format on

} // namespace

UpdateData::UpdateData(QObject *parent)
    : UpdateBase(QStringLiteral("data.db"), parent)
{
}

int UpdateData::targetVersion() const
{
    return 2;
}

bool UpdateData::update()
{
    if (version() < 1) {
        EXECUTE("alter table patient add sampleType text");
        EXECUTE("alter table patient add hospitalNo text");

        for (const Dictionary &dictionary : dictionaries) {
            const QString table = QString::fromLatin1(dictionary.table);
            const QString backup = table + QLatin1String("_bak");
            renameTable(table, backup);
            execute(QString::fromLatin1(dictionary.create), __FILE__, dictionary.createLine);
            execute(QString::fromLatin1(dictionary.index), __FILE__, dictionary.indexLine);
            // A row that does not fit the new definition stops the upgrade; the old rows stay
            // in the backup table.
            if (!copyTable(table, backup, QSqlRecord(), QStringList()))
                return false;
            execute(QString::fromLatin1(dictionary.drop), __FILE__, dictionary.dropLine);
        }

        EXECUTE("create table detail(\n"
                "\tid integer primary key,\n"
                "\tpatientId integer references patient,\n"
                "\titem text,\t\t\t\t\t\t\t\t\t\t-- 测量项目, 如PT\n"
                "\tinfo text,\t\t\t\t\t\t\t\t\t\t-- 测试详细信息, 如测试通道等\n"
                "\tunique(patientId, item) on conflict replace)");
        EXECUTE("create table version(version integer)");
    }

    if (version() < 2) {
        // No "if exists": a file without the trigger logs the failed drop, as it always has.
        EXECUTE("drop trigger on_delete_patient");
        EXECUTE("create trigger on_delete_patient after delete on patient\n"
                "begin\n"
                "\tdelete from exam where old.sampleNo = exam.sampleNo and old.date = exam.date;\n"
                "\tdelete from result where old.id = result.patientId;\n"
                "\tdelete from patientExtra where old.id = patientExtra.patientId;\n"
                "\tdelete from curve where old.id = curve.patientId;\n"
                "\tdelete from detail where old.id = detail.patientId;\n"
                "end");
    }

    return writeVersion(2, __FILE__, __LINE__);
}
