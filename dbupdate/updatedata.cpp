#include "updatedata.h"

#include <QSqlRecord>
#include <QStringList>

namespace {

// The dictionary tables of the entry forms, in rebuild order. They share one definition; their
// abbreviations compare without regard to case from version 1 on.
const char *const dictionaries[] = {"department", "sex",    "treatmentRoom",
                                    "diagnosis",  "doctor", "operator"};

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

        for (const char *name : dictionaries) {
            const QString table = QString::fromLatin1(name);
            const QString backup = table + QLatin1String("_bak");
            renameTable(table, backup);
            execute(QStringLiteral("create table %1(\n"
                                   "\tid integer primary key,\n"
                                   "\tabbr text COLLATE NOCASE,\n"
                                   "\tname text)")
                            .arg(table),
                    __FILE__, __LINE__);
            execute(QStringLiteral("create index if not exists %1_index on %1 (abbr)").arg(table),
                    __FILE__, __LINE__);
            // A row that does not fit the new definition stops the upgrade; the old rows stay
            // in the backup table.
            if (!copyTable(table, backup, QSqlRecord(), QStringList()))
                return false;
            execute(QStringLiteral("drop table %1").arg(backup), __FILE__, __LINE__);
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
