// The table rebuild of an upgrade step over a dictionary table of N rows: rename, create,
// row copy and drop inside the step's transaction, committed at its end; against the same
// rebuild with the rows copied by one "insert into ... select" statement.

#include "benchratios.h"
#include "updatebase.h"

#include <QCoreApplication>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

class RebuildStep : public UpdateBase
{
public:
    RebuildStep(const QString &fileName, bool bulk)
        : UpdateBase(fileName, nullptr), m_bulk(bulk)
    {
    }

    bool update() override
    {
        renameTable(QStringLiteral("doctor"), QStringLiteral("doctor_bak"));
        execute(QStringLiteral("create table doctor(\n\tid integer primary key,\n\tabbr text COLLATE NOCASE,\n\tname text)"),
                __FILE__, __LINE__);
        execute(QStringLiteral("create index if not exists doctor_index on doctor (abbr)"), __FILE__, __LINE__);
        if (m_bulk)
            execute(QStringLiteral("insert into doctor select * from doctor_bak"), __FILE__, __LINE__);
        else if (!copyTable(QStringLiteral("doctor"), QStringLiteral("doctor_bak"), QSqlRecord(), QStringList()))
            return false;
        execute(QStringLiteral("drop table doctor_bak"), __FILE__, __LINE__);
        return true;
    }

private:
    const bool m_bulk;
};

void fill(const QString &fileName, int rows)
{
    QFile::remove(fileName);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("fill"));
        db.setDatabaseName(fileName);
        db.open();
        QSqlQuery query(db);
        query.exec(QStringLiteral("create table doctor(id integer primary key, abbr text, name text)"));
        query.exec(QStringLiteral("with recursive c(i) as (select 1 union all select i + 1 from c where i < %1)"
                                  " insert into doctor select i, printf('dr%d', i), printf('Doctor %d, ward ''%d''', i, i % 40)"
                                  " from c")
                           .arg(rows));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("fill"));
}

void rebuild(benchmark::State &state, bool bulk)
{
    QTemporaryDir dir;
    const QString fileName = dir.filePath(QStringLiteral("data.db"));
    const int rows = int(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        fill(fileName, rows);
        state.ResumeTiming();

        {
            RebuildStep step(fileName, bulk);
            if (!step.run())
                state.SkipWithError("the rebuild failed");
        }
        state.PauseTiming();
        QSqlDatabase::removeDatabase(QLatin1String(QSqlDatabase::defaultConnection));
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * rows);
}

void BM_TableRebuild(benchmark::State &state)
{
    rebuild(state, false);
}
BENCHMARK(BM_TableRebuild)->Arg(1000)->Arg(20000)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_TableRebuildInsertSelect(benchmark::State &state)
{
    rebuild(state, true);
}
BENCHMARK(BM_TableRebuildInsertSelect)
        ->Arg(1000)
        ->Arg(20000)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv); // the SQL driver is a plugin
    return benchratios::run(argc, argv,
                            {
                                {"copyTable rebuild / insert-select rebuild, 20,000 rows",
                                 "BM_TableRebuild/20000", "BM_TableRebuildInsertSelect/20000"},
                                {"copyTable rebuild / insert-select rebuild, 1,000 rows",
                                 "BM_TableRebuild/1000", "BM_TableRebuildInsertSelect/1000"},
                            });
}
