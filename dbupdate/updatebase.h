#ifndef UPDATEBASE_H
#define UPDATEBASE_H

#include "tablecopy.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

QT_BEGIN_NAMESPACE
class QSqlError;
class QSqlRecord;
QT_END_NAMESPACE

// The log line of a failed statement: the caller's file and line, SQLite's error and the
// statement.
void reportSqlError(const QSqlError &error, const QString &statement, const char *file, int line);

// Runs one statement text through the step's runner with the location of the literal.
#define EXECUTE(sql) execute(QStringLiteral(sql), __FILE__, __LINE__)

// One upgrade step of one database file. The constructor makes the file the process's default
// connection and reads its schema version; a subclass's update() then runs its version-gated
// statements through execute(), renameTable() and copyTable().
//
// run() is how the program drives a step: it runs update() inside one transaction, which is
// committed when update() returns, also when it stops early. A run killed at any point thus
// leaves the file as it was before the step, and the next run repeats the step from its start.
class UpdateBase : public QObject
{
    Q_OBJECT

public:
    UpdateBase(const QString &fileName, QObject *parent);
    ~UpdateBase() override;

    // The schema version the file had when the step began; the step's own writes leave it alone.
    int version() const;

    // True when the file was opened and the step's transaction begun: it holds the write lock
    // and nothing has changed yet. False when the file was refused (the reason has been logged).
    bool isOpen() const;

    // Runs the step. True when update() succeeded and its work was committed; false also when
    // the file was refused (missing, not writable, damaged, newer; the reason has been logged).
    bool run();

    // After run() failed: one log line on what the step left in its file, naming the files that
    // are not run because of it.
    void reportStop(const QString &filesNotRun) const;

    // Runs the step's statements; true means success, false that the step stopped early.
    virtual bool update() = 0;

    // The version update() writes, or -1 when it writes none. A file with a newer version is
    // left unchanged and run() fails.
    virtual int targetVersion() const;

    // Runs one statement once; a failure is logged with the caller's file and line and the step
    // carries on. Returns true in every case. A failure after which SQLite has rolled the whole
    // transaction back (a full disk, say) fails the step, and later statements are not run.
    bool execute(const QString &sql, const char *file, int line);

    // "delete from version" and "insert into version values(<version>)". When either fails, it
    // is logged with file and line, the step's transaction is rolled back and the result is
    // false: a file without its version would be upgraded again from the start.
    bool writeVersion(int version, const char *file, int line);

    // "alter table <table> rename to <newName>" through execute(). When newName is
    // table + "_bak" and exists, the rebuild of a stopped run is undone first: table is dropped
    // and the backup renamed back. A backup that this program did not leave, or a table that
    // took rows since the stop, is left as it is: the step is rolled back and the result false.
    // The indexes and triggers of a table renamed so are created again by copyTable().
    bool renameTable(const QString &table, const QString &newName);

    // Inserts every row of sourceTable into table, without droppedFields and with extraFields
    // set or appended; values keep their SQLite storage class and bytes. False when a row does
    // not fit (the rows before stay) or the rows could not be copied; true otherwise, also when
    // sourceTable does not exist. Copied from table + "_bak", the table gets back the indexes
    // and triggers it had before renameTable().
    bool copyTable(const QString &table, const QString &sourceTable,
                   const QSqlRecord &extraFields, const QStringList &droppedFields);

private:
    Q_DISABLE_COPY(UpdateBase)

    bool tableExists(const QString &table) const;
    bool restoreStoppedRebuild(const QString &table, const QString &backup);
    bool rolledBack() const;
    void abandon();
    void checkTransaction();

    QString m_fileName;
    int m_version = 0;
    bool m_open = false; // opened, and the step's transaction begun
    bool m_inTransaction = false;
    bool m_written = false; // a statement ran in the transaction
    bool m_stopKept = false; // update() stopped early and what it did was committed
    QString m_stoppedTable; // a row copy that stopped: its target, source and rows copied
    QString m_stoppedSource;
    int m_stoppedRows = 0;
    QHash<QString, QVector<SiteObject>> m_siteObjects; // of the tables being rebuilt
};

#endif // UPDATEBASE_H
