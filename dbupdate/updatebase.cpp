#include "updatebase.h"

#include "databasefile.h"
#include "tablecopy.h"

#include <QDebug>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

// One log line per failed statement: file, line, error and statement, each item followed by
// one space, so "):" is followed by two and the line ends with "] ".
void reportSqlError(const QSqlError &error, const QString &statement, const char *file, int line)
{
    // The unit's name only, also where the build hands the compiler relative paths (ccache).
    QString unit = QString::fromUtf8(file);
    const int slash = qMax(unit.lastIndexOf(QLatin1Char('/')), unit.lastIndexOf(QLatin1Char('\\')));
    unit = unit.mid(slash + 1);
    const QString text = unit + QLatin1String(" ( ") + QString::number(line)
            + QLatin1String(" ):  ") + error.text() + QLatin1String(" : [ ") + statement
            + QLatin1String(" ] ");
    qWarning().noquote().nospace() << text;
}

namespace {

void reportSqlError(QSqlQuery query, const char *file, int line)
{
    reportSqlError(query.lastError(), query.lastQuery(), file, line);
}

} // namespace

UpdateBase::UpdateBase(const QString &fileName, QObject *parent)
    : QObject(parent), m_fileName(fileName)
{
    if (!openDatabaseFile(fileName, &m_version))
        return;
    m_open = true;
    m_inTransaction = true;

    // A rebuilt table must keep the references that other tables, views and triggers hold to
    // its name; SQLite would otherwise move them to the "_bak" table that is dropped.
    QSqlQuery query;
    if (!query.exec(QStringLiteral("PRAGMA legacy_alter_table=ON")))
        reportSqlError(query, __FILE__, __LINE__);
}

UpdateBase::~UpdateBase()
{
    if (m_inTransaction)
        rollbackDatabaseFile();
    closeDatabaseFile();
}

int UpdateBase::version() const
{
    return m_version;
}

bool UpdateBase::isOpen() const
{
    return m_open && m_inTransaction;
}

int UpdateBase::targetVersion() const
{
    return -1;
}

bool UpdateBase::run()
{
    if (!m_inTransaction)
        return false;

    // Writing this program's version over a newer one would make a later upgrade run its
    // sections again.
    if (targetVersion() >= 0 && m_version > targetVersion()) {
        qWarning("%s has version %d, newer than this program's %d: left unchanged",
                 qUtf8Printable(QSqlDatabase::database().databaseName()), m_version,
                 targetVersion());
        abandon();
        return false;
    }

    const bool ok = update();
    if (!m_inTransaction) // rolled back; the file is as it was before the step
        return false;

    QSqlQuery query;
    if (!m_written) {
        // Nothing to keep; a commit would still give a new, empty file its first page.
        query.exec(QStringLiteral("rollback"));
        m_inTransaction = false;
        return ok;
    }

    // Committed also after an early stop, so that the stop state stays for the next run.
    if (!query.exec(QStringLiteral("commit"))) {
        reportSqlError(query, __FILE__, __LINE__);
        query.exec(QStringLiteral("rollback"));
        m_inTransaction = false;
        return false;
    }
    m_inTransaction = false;
    m_stopKept = !ok;
    return ok;
}

void UpdateBase::reportStop(const QString &filesNotRun) const
{
    QString left;
    if (!m_stopKept)
        left = m_open ? QStringLiteral("the file is unchanged (rolled back)")
                      : QStringLiteral("the file is unchanged");
    else if (!m_stoppedTable.isEmpty())
        left = QStringLiteral("every row of %1 is in %2; %3 holds the %4 copied before the stop")
                       .arg(m_stoppedTable, m_stoppedSource, m_stoppedTable)
                       .arg(m_stoppedRows);
    else
        left = QStringLiteral("what ran before the stop is kept");
    if (!filesNotRun.isEmpty())
        left += QLatin1String("; not run: ") + filesNotRun;
    qWarning("%s: the upgrade stopped; %s", qUtf8Printable(m_fileName), qUtf8Printable(left));
}

bool UpdateBase::execute(const QString &sql, const char *file, int line)
{
    // Once SQLite has rolled the step back, further statements would commit one by one.
    if (rolledBack())
        return true;

    m_written = true;
    QSqlQuery query;
    if (!query.exec(sql)) {
        reportSqlError(query, file, line);
        checkTransaction();
    }
    return true;
}

bool UpdateBase::writeVersion(int version, const char *file, int line)
{
    const QString statements[] = {QStringLiteral("delete from version"),
                                  QStringLiteral("insert into version values(%1)").arg(version)};
    for (const QString &sql : statements) {
        if (rolledBack())
            return false;
        m_written = true;
        QSqlQuery query;
        if (!query.exec(sql)) {
            // Without its version the file would read as older, and the next run would upgrade
            // it again from the start.
            reportSqlError(query, file, line);
            abandon();
            return false;
        }
    }
    return true;
}

bool UpdateBase::renameTable(const QString &table, const QString &newName)
{
    const bool rebuild = newName == table + QLatin1String("_bak");
    if (rebuild && !rolledBack() && tableExists(newName) && !restoreStoppedRebuild(table, newName))
        return false;
    if (rebuild && !rolledBack())
        m_siteObjects.insert(table, siteObjects(table));
    return execute(QStringLiteral("alter table %1 rename to %2").arg(table, newName), __FILE__,
                   __LINE__);
}

// A rebuild that stopped left the original rows in the backup and some of them in the new
// table: start again from the original rows, or the rows copied before would collide. A table
// of that name that this program did not leave, or rows written since, are not given up.
bool UpdateBase::restoreStoppedRebuild(const QString &table, const QString &backup)
{
    if (!isStoppedRebuild(table, backup)) {
        qWarning("%s is not the copy of %s that a stopped upgrade leaves: both are left as"
                 " they are",
                 qUtf8Printable(backup), qUtf8Printable(table));
        abandon();
        return false;
    }
    const int newRows = rowsNotIn(table, backup, __FILE__, __LINE__);
    if (newRows != 0) {
        if (newRows > 0) {
            qWarning("%s holds %d rows that are not in %s, written since the upgrade stopped: both"
                     " are left as they are",
                     qUtf8Printable(table), newRows, qUtf8Printable(backup));
        }
        abandon();
        return false;
    }
    qWarning("Restoring %s from %s, left by an upgrade that stopped", qUtf8Printable(table),
             qUtf8Printable(backup));
    execute(QStringLiteral("drop table if exists %1").arg(table), __FILE__, __LINE__);
    execute(QStringLiteral("alter table %1 rename to %2").arg(backup, table), __FILE__, __LINE__);
    return true;
}

bool UpdateBase::copyTable(const QString &table, const QString &sourceTable,
                           const QSqlRecord &extraFields, const QStringList &droppedFields)
{
    if (rolledBack())
        return false;

    m_written = true;
    const CopyResult result = copyRows(table, sourceTable, extraFields, droppedFields, __FILE__,
                                       __LINE__);
    if (result != CopyResult::Copied)
        checkTransaction();
    if (rolledBack())
        return false;

    const bool rebuild = sourceTable == table + QLatin1String("_bak");
    if (result == CopyResult::Copied) {
        if (rebuild) {
            recreateSiteObjects(table, m_siteObjects.take(table));
            forgetStoppedRebuild(table);
        }
        return true;
    }

    // The stop state is kept: say where the rows are, here and to the next run.
    m_stoppedTable = table;
    m_stoppedSource = sourceTable;
    QSqlQuery count;
    m_stoppedRows = count.exec(QLatin1String("select count(*) from ") + table) && count.next()
            ? count.value(0).toInt()
            : 0;
    if (rebuild)
        noteStoppedRebuild(table, sourceTable);
    return false;
}

bool UpdateBase::tableExists(const QString &table) const
{
    QSqlQuery query;
    query.prepare(QStringLiteral("select count(*) from sqlite_master where type = 'table'"
                                 " and name = ? collate nocase"));
    query.addBindValue(table);
    return query.exec() && query.next() && query.value(0).toInt() > 0;
}

// The step's transaction has ended before its work was done; nothing may be written any more.
bool UpdateBase::rolledBack() const
{
    return m_open && !m_inTransaction;
}

// Gives the step up: its transaction is rolled back, and nothing after this reaches the file.
void UpdateBase::abandon()
{
    if (!m_inTransaction)
        return;
    rollbackDatabaseFile();
    m_inTransaction = false;
}

// SQLite rolls the whole transaction back on some errors (a full disk, an I/O error, a
// conflict resolved by ROLLBACK). A transaction can then be begun again, and that is how this
// finds out; the step is then over and its file as it was before it.
void UpdateBase::checkTransaction()
{
    if (!m_inTransaction)
        return;
    QSqlQuery probe;
    if (probe.exec(QStringLiteral("begin"))) {
        probe.exec(QStringLiteral("rollback"));
        m_inTransaction = false;
    }
}
