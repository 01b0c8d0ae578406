#ifndef UPDATEBASE_H
#define UPDATEBASE_H

#include <QObject>
#include <QString>
#include <QStringList>

QT_BEGIN_NAMESPACE
class QSqlRecord;
QT_END_NAMESPACE

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

    // Runs the step's statements; true means success, false that the step stopped early.
    virtual bool update() = 0;

    // The version update() writes, or -1 when it writes none. A file with a newer version is
    // left unchanged and run() fails.
    virtual int targetVersion() const;

    // Runs one statement once; a failure is logged with the caller's file and line and the step
    // carries on. Returns true in every case. A failure after which SQLite has rolled the whole
    // transaction back (a full disk, say) fails the step, and later statements are not run.
    bool execute(const QString &sql, const char *file, int line);

    // "alter table <table> rename to <newName>" through execute(); always true. When newName is
    // table + "_bak" and exists, the rebuild of a stopped run is undone first: table is dropped
    // and the backup renamed back.
    bool renameTable(const QString &table, const QString &newName);

    // Inserts every row of sourceTable into table, without droppedFields and with extraFields
    // set or appended; values keep their SQLite storage class. False when an insert failed or a
    // row could not be read (the rows before stay); true otherwise, also when sourceTable does
    // not exist.
    bool copyTable(const QString &table, const QString &sourceTable,
                   const QSqlRecord &extraFields, const QStringList &droppedFields);

private:
    Q_DISABLE_COPY(UpdateBase)

    bool tableExists(const QString &table) const;
    bool rolledBack() const;
    void checkTransaction();

    int m_version = 0;
    bool m_open = false; // opened, and the step's transaction begun
    bool m_inTransaction = false;
    bool m_written = false; // a statement ran in the transaction
};

#endif // UPDATEBASE_H
