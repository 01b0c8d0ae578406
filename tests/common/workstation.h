#ifndef WORKSTATION_H
#define WORKSTATION_H

// The workstation files of a test: profile.db, data.db, qc.db and syslog.db laid out in the
// test's directory, from statements or from the sample scripts, then read back with their storage
// classes, dumped and compared. The files are reached through SQLite itself (and its shell for
// text dumps), never through the Qt SQL code under test. Link the target "workstation_fixture".

#include <QtCore/qbytearray.h>
#include <QtCore/qlist.h>
#include <QtCore/qstring.h>
#include <QtCore/qstringlist.h>
#include <QtCore/qtemporarydir.h>
#include <QtCore/qvariant.h>
#include <QtCore/qvector.h>

struct sqlite3;

namespace workstation {

using Row = QVector<QVariant>;

// One SQLite file opened for set-up and checks. Values keep their storage class: integer as
// qlonglong, real as double, text as QString, blob as QByteArray, NULL as an invalid QVariant.
// Like the workstation's own connections it waits up to 5 s for a lock another one holds.
class Database
{
public:
    enum OpenMode { OpenExisting, CreateIfMissing };

    explicit Database(const QString &fileName, OpenMode mode = OpenExisting);
    ~Database();
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    // Runs a script of any number of statements; false and lastError() on the first failure.
    bool exec(const QString &script);

    QVector<Row> rows(const QString &sql);
    // The first column of the first row, or an invalid QVariant.
    QVariant value(const QString &sql);
    // The first column of every row, as text.
    QStringList strings(const QString &sql);

    // Every schema object and every row of every table, values with their storage class.
    // Two files with the same dump hold the same data under the same definitions.
    QStringList dump();

    QString lastError() const { return m_error; }
    sqlite3 *handle() const { return m_db; }

    // "i:3", "r:0.5", "t:text", "b:0102" (hex) or "NULL".
    static QString describe(const QVariant &value);

private:
    sqlite3 *m_db = nullptr;
    QString m_error;
};

// Laying out files in the current directory (or at any path).

// Runs the statements on the file, creating it when missing; false and a warning on the first
// failure.
bool exec(const QString &fileName, const QStringList &statements);

// data.db, qc.db and syslog.db, each with a table, so that the settings store opens them
// without a warning box.
bool createDataFiles();

// A whole workstation: profile.db with its profile table and profileStatements, data.db made by
// dataStatements (a table of its own when there are none), qc.db and syslog.db.
bool createWorkstation(const QStringList &profileStatements = QStringList(),
                       const QStringList &dataStatements = QStringList());

// samples/<name>: SQL scripts that build the files of a real workstation at each schema version.
QString sampleFile(const QString &name);

// Creates fileName from one of the sample scripts; empty on success, else the error.
QString buildFromSample(const QString &fileName, const QString &sample);

// Reading back, with the storage classes of Database.

// The rows of a query, each as a list of values.
QList<QVariantList> rows(const QString &fileName, const QString &statement);
QVariant value(const QString &fileName, const QString &statement);

// Through the sqlite3 shell.

// Runs sqlite3 on file with sql (statements or dot-commands) on standard input; returns its
// output, rows as "a|b". A failure of the shell fails the calling test through QWARN and an
// output that starts with "error:".
QString sqlite(const QString &file, const QString &sql);

// "profile.db", "data.db", "qc.db": the files that dbupdate upgrades, in that order.
QStringList databaseFiles();

// The database files of directory as SQL text (sqlite3 ".dump"), a missing file as
// "-- <name> absent", so that two directories compare with ==.
QString dump(const QString &directory, const QStringList &files = databaseFiles());

// Files and directories.

QByteArray readFile(const QString &path);
bool writeFile(const QString &path, const QByteArray &content);
// Copies the files (not the subdirectories) of from into to, which is created when missing.
bool copyDirectory(const QString &from, const QString &to);

// A temporary directory that is the current directory while it lives: the workstation software
// opens its files by relative name. Leaving it makes the system's temporary directory current.
class WorkDirectory
{
public:
    WorkDirectory();
    ~WorkDirectory();
    WorkDirectory(const WorkDirectory &) = delete;
    WorkDirectory &operator=(const WorkDirectory &) = delete;

    // Created and made current.
    bool isValid() const { return m_current; }
    QString path() const { return m_dir.path(); }
    QString filePath(const QString &fileName) const { return m_dir.filePath(fileName); }

private:
    QTemporaryDir m_dir;
    bool m_current = false;
};

} // namespace workstation

#endif // WORKSTATION_H
