#include "databasefile.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <limits>

namespace {

void reportCantOpen(const QString &fileName, const QString &reason)
{
    qWarning("Can't open %s: %s", qUtf8Printable(fileName), qUtf8Printable(reason));
}

void reportDamaged(const QString &fileName, const QString &problem)
{
    qWarning("%s is damaged: %s", qUtf8Printable(fileName), qUtf8Printable(problem));
}

// SQLite begins even a write transaction on a file it could open for reading only, and a
// journal that cannot be created shows only at the first write. So the header is written once,
// with the value it holds, and taken back at once.
QSqlError writeProbe()
{
    QSqlQuery query;
    if (!query.exec(QStringLiteral("pragma user_version")) || !query.next())
        return query.lastError();
    const QString value = query.value(0).toString();
    query.finish();
    if (!query.exec(QStringLiteral("savepoint writable")))
        return query.lastError();
    if (!query.exec(QStringLiteral("pragma user_version = ") + value))
        return query.lastError();
    query.exec(QStringLiteral("rollback to writable"));
    query.exec(QStringLiteral("release writable"));
    return QSqlError();
}

// A journal that SQLite would roll back into the file before reading it.
bool hotJournal(const QString &fileName)
{
    static const char magic[] = "\xd9\xd5\x05\xf9\x20\xa1\x63\xd7";
    QFile journal(fileName + QLatin1String("-journal"));
    return journal.open(QIODevice::ReadOnly) && journal.read(8) == QByteArray(magic, 8);
}

// The first problem SQLite's quick check names, or an empty text for a sound file.
QString firstProblem()
{
    QSqlQuery query;
    if (!query.exec(QStringLiteral("pragma quick_check(1)")))
        return query.lastError().text();
    if (!query.next())
        return query.lastError().isValid() ? query.lastError().text() : QStringLiteral("no result");
    // One log line: SQLite puts the name of the schema on a line of its own.
    const QString result = query.value(0).toString().simplified();
    return result == QLatin1String("ok") ? QString() : result;
}

// A version is a non-negative integer, stored as such or as its digits.
bool toVersion(const QVariant &value, int *version)
{
    qlonglong number = -1;
    if (value.userType() == QMetaType::LongLong) {
        number = value.toLongLong();
    } else if (value.userType() == QMetaType::QString) {
        const QString text = value.toString();
        bool ok = !text.isEmpty();
        for (const QChar c : text)
            ok = ok && c >= QLatin1Char('0') && c <= QLatin1Char('9');
        number = ok ? text.toLongLong(&ok) : -1;
        if (!ok)
            number = -1;
    }
    if (number < 0 || number > std::numeric_limits<int>::max())
        return false;
    *version = int(number);
    return true;
}

QString describe(const QVariant &value)
{
    if (value.userType() == QMetaType::QString)
        return QLatin1Char('\'') + value.toString() + QLatin1Char('\'');
    if (value.userType() == QMetaType::QByteArray)
        return QStringLiteral("a blob");
    return value.toString();
}

// A version that does not read as one would count as 0, and the whole upgrade would run again
// over current data; such a file is damaged, not old.
bool readVersion(const QString &fileName, int *version)
{
    QSqlQuery query;
    if (!query.exec(
            QStringLiteral("select count(*) from sqlite_master where type in ('table', 'view')"
                           " and name = 'version' collate nocase"))
        || !query.next()) {
        reportDamaged(fileName, query.lastError().text());
        return false;
    }
    if (query.value(0).toInt() == 0)
        return true;

    if (!query.exec(QStringLiteral("select version from version"))) {
        reportDamaged(fileName, query.lastError().text());
        return false;
    }
    bool first = true;
    while (query.next()) {
        const QVariant value = query.value(0);
        int rowVersion = 0;
        if (!value.isNull() && !toVersion(value, &rowVersion)) {
            const bool large = value.userType() == QMetaType::LongLong && value.toLongLong() > 0;
            reportDamaged(fileName,
                          QStringLiteral("version %1 is %2")
                              .arg(describe(value),
                                   large ? QStringLiteral("out of range")
                                         : QStringLiteral("not a non-negative integer")));
            return false;
        }
        if (!first && rowVersion != *version) {
            reportDamaged(fileName,
                          QStringLiteral("the version table holds both %1 and %2")
                              .arg(*version)
                              .arg(rowVersion));
            return false;
        }
        *version = rowVersion;
        first = false;
    }
    if (query.lastError().isValid()) {
        reportDamaged(fileName, query.lastError().text());
        return false;
    }
    return true;
}

// Opens db on fileName only when the file is there and not empty. The driver would create a
// missing file: run in the wrong directory, or through a link into a partition that is not
// mounted, the program must not leave half-made databases behind. SQLite reads an empty file as
// an empty database; a workstation's file never is one.
bool openExisting(QSqlDatabase &db, const QString &fileName)
{
    const QFileInfo info(fileName);
    if (!info.exists() || info.canonicalFilePath().isEmpty()) {
        QFile file(fileName);
        file.open(QIODevice::ReadOnly); // for the system's reason
        reportCantOpen(fileName, file.errorString());
        return false;
    }
    if (info.isFile() && info.size() == 0) {
        reportCantOpen(fileName, QStringLiteral("the file is empty"));
        return false;
    }
    if (!db.open()) {
        reportCantOpen(fileName, db.lastError().text());
        return false;
    }
    return true;
}

// The checks of openDatabaseFile() on a connection that may only read. The write probe becomes
// a look at the permissions of the file and of its directory, where the journal goes.
bool inspect(QSqlDatabase &db, const QString &fileName, int *version)
{
    if (!openExisting(db, fileName))
        return false;
    const QFileInfo info(fileName);

    // A read takes the lock a reader takes, and reads the header.
    QSqlQuery query;
    if (!query.exec(QStringLiteral("begin")) || !query.exec(QStringLiteral("select count(*) from sqlite_master"))
        || !query.next()) {
        reportCantOpen(fileName, query.lastError().text());
        query.exec(QStringLiteral("rollback"));
        return false;
    }
    query.finish();

    const QFileInfo directory(info.absolutePath());
    if (!info.isWritable() || !directory.isWritable()) {
        query.exec(QStringLiteral("rollback"));
        reportCantOpen(fileName, info.isWritable()
                               ? QStringLiteral("its directory cannot be written (no journal)")
                               : QStringLiteral("attempt to write a readonly database"));
        return false;
    }

    const QString problem = firstProblem();
    bool ok = problem.isEmpty();
    if (!ok) {
        reportDamaged(fileName, problem);
    } else if (!query.exec(QStringLiteral("select count(*) from sqlite_master where type = 'table'"))
               || !query.next() || query.value(0).toInt() == 0) {
        reportCantOpen(fileName, QStringLiteral("the file holds no tables"));
        ok = false;
    } else {
        query.finish();
        ok = readVersion(fileName, version);
    }
    query.exec(QStringLiteral("rollback"));
    if (!ok)
        *version = 0;
    return ok;
}

} // namespace

bool openDatabaseFile(const QString &fileName, int *version)
{
    *version = 0;

    // Takes over the default connection, replacing the previous step's.
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"),
                                                QLatin1String(QSqlDatabase::defaultConnection));
    db.setDatabaseName(fileName);

    if (!openExisting(db, fileName))
        return false;

    // The write lock up front: a file that is not a database or is in use by another program
    // fails here, before anything is changed.
    QSqlQuery query;
    if (!query.exec(QStringLiteral("begin immediate"))) {
        reportCantOpen(fileName, query.lastError().text());
        return false;
    }

    const QSqlError writeError = writeProbe();
    if (writeError.isValid()) {
        rollbackDatabaseFile();
        reportCantOpen(fileName, writeError.text());
        return false;
    }

    const QString problem = firstProblem();
    if (!problem.isEmpty()) {
        rollbackDatabaseFile();
        reportDamaged(fileName, problem);
        return false;
    }

    // Nor is a file without tables: a workstation's file that is not there, in disguise.
    if (!query.exec(QStringLiteral("select count(*) from sqlite_master where type = 'table'"))
        || !query.next() || query.value(0).toInt() == 0) {
        const QSqlError error = query.lastError();
        query.finish();
        rollbackDatabaseFile();
        reportCantOpen(fileName, error.isValid() ? error.text()
                                                 : QStringLiteral("the file holds no tables"));
        return false;
    }
    query.finish();

    if (!readVersion(fileName, version)) {
        *version = 0;
        rollbackDatabaseFile();
        return false;
    }
    return true;
}

void rollbackDatabaseFile()
{
    QSqlQuery query;
    query.exec(QStringLiteral("rollback"));
}

bool inspectDatabaseFile(const QString &fileName, int *version)
{
    *version = 0;
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"),
                                                    QLatin1String(QSqlDatabase::defaultConnection));
        db.setDatabaseName(fileName);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        ok = inspect(db, fileName, version);
        db.close();
    }
    QSqlDatabase::removeDatabase(QLatin1String(QSqlDatabase::defaultConnection));
    return ok;
}

void closeDatabaseFile()
{
    const QString connection = QLatin1String(QSqlDatabase::defaultConnection);
    if (!QSqlDatabase::contains(connection))
        return;
    QString fileName;
    {
        QSqlDatabase db = QSqlDatabase::database(connection, false);
        fileName = db.databaseName();
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);

    // The file alone would be broken: whoever deletes the journal to free space, or copies the
    // file without it, would keep half an upgrade.
    const QFileInfo info(fileName);
    if (!info.isFile() || info.size() == 0 || !hotJournal(fileName))
        return;
    const QString recovery = QStringLiteral("dbupdate recovery");
    {
        // The first read on a fresh connection rolls the journal back into the file.
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), recovery);
        db.setDatabaseName(fileName);
        if (db.open()) {
            QSqlQuery query(db);
            query.exec(QStringLiteral("select count(*) from sqlite_master"));
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(recovery);
    if (hotJournal(fileName)) {
        qWarning("%s-journal is left: %s is half-written without it; keep both files together"
                 " until a run of this program or SQLite finishes the rollback",
                 qUtf8Printable(fileName), qUtf8Printable(fileName));
    }
}
