#ifndef TABLECOPY_H
#define TABLECOPY_H

#include <QString>
#include <QStringList>
#include <QVector>

QT_BEGIN_NAMESPACE
class QSqlRecord;
QT_END_NAMESPACE

// The row copy and the bookkeeping of a table rebuild (rename T to T_bak, create T anew, copy
// the rows, drop T_bak), on the default connection inside the step's transaction.

enum class CopyResult {
    Copied,     // every row is in the target, also when the source does not exist (logged)
    RowRejected, // a row does not fit the target (logged); the rows before it were copied
    Failed      // the rows could not be read or written (logged); nothing was copied
};

// Copies every row of sourceTable into table in SQL, so that each value keeps its storage class
// and its bytes, without droppedFields and with extraFields set or appended. Failures are
// logged with file and line.
CopyResult copyRows(const QString &table, const QString &sourceTable, const QSqlRecord &extraFields,
                    const QStringList &droppedFields, const char *file, int line);

// An index or trigger that the site defined on a table; a rebuild drops it with the old table.
struct SiteObject
{
    QString type;
    QString name;
    QString sql;
};

QVector<SiteObject> siteObjects(const QString &table);

// Creates each object again from its own statement, after the rows are copied into the rebuilt
// table; one that does not fit the new definition is logged by name with SQLite's reason.
void recreateSiteObjects(const QString &table, const QVector<SiteObject> &objects);

// What a stopped rebuild left: backup holds every row of table, which is partly filled. The
// note is committed with the stop state, so that a later run can tell such a backup from a
// table of the site's own that happens to bear the name.
bool noteStoppedRebuild(const QString &table, const QString &backup);
bool isStoppedRebuild(const QString &table, const QString &backup);
void forgetStoppedRebuild(const QString &table);

// Rows of table that are not in backup: written since the rebuild stopped. -1 when they cannot
// be counted (logged).
int rowsNotIn(const QString &table, const QString &backup, const char *file, int line);

#endif // TABLECOPY_H
