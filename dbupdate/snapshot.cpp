#include "snapshot.h"

#include "progress.h"
#include "sha256.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

namespace {

const char sourceConnection[] = "dbupdate-snapshot-source";
const char copyConnection[] = "dbupdate-snapshot-copy";

// A connection of its own beside the step's, which keeps its write lock meanwhile; removed
// when the scope ends, so that no connection name is ever registered twice.
class Connection
{
public:
    Connection(const char *name, const QString &fileName)
        : m_name(QLatin1String(name))
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setDatabaseName(fileName);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        m_open = db.open();
        if (!m_open)
            m_error = db.lastError().text();
    }
    ~Connection()
    {
        {
            QSqlDatabase db = QSqlDatabase::database(m_name, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(m_name);
    }

    bool isOpen() const { return m_open; }
    QString error() const { return m_error; }
    QSqlDatabase database() const { return QSqlDatabase::database(m_name, false); }

    // The rows of sql as one text, or an empty text with *error set.
    QString rows(const QString &sql, QString *error) const
    {
        QSqlQuery query(database());
        query.setForwardOnly(true);
        if (!query.exec(sql)) {
            *error = query.lastError().text();
            return QString();
        }
        QString text;
        while (query.next()) {
            for (int i = 0; i < query.record().count(); ++i)
                text += query.value(i).toString() + QLatin1Char('\x1f');
            text += QLatin1Char('\n');
        }
        return text;
    }

private:
    Q_DISABLE_COPY(Connection)

    QString m_name;
    QString m_error;
    bool m_open = false;
};

QString schemaOf(const Connection &connection, QString *error)
{
    return connection.rows(QStringLiteral("select type, name, tbl_name, sql from sqlite_master"
                                          " order by type, name"),
                           error);
}

QString versionOf(const Connection &connection, QString *error)
{
    QString ignored;
    if (connection.rows(QStringLiteral("select 1 from sqlite_master where type = 'table'"
                                       " and name = 'version' collate nocase"),
                        &ignored)
                .isEmpty())
        return QStringLiteral("none");
    return connection.rows(QStringLiteral("select version, typeof(version) from version"), error);
}

} // namespace

Snapshot::Snapshot(const QDateTime &start)
    : m_start(start)
{
    m_manifest.program = QStringLiteral("dbupdate");
    m_manifest.version = QStringLiteral(DBUPDATE_VERSION);
}

QString Snapshot::directory() const
{
    return m_stamp.isEmpty() ? QString() : snapshotDirectory(m_stamp);
}

bool Snapshot::add(const QString &fileName, int version)
{
    QString error;
    const bool ok = hasRoomFor(fileName, &error) && makeDirectory(&error)
            && copy(fileName, directory() + QLatin1Char('/') + fileName, &error)
            && list(fileName, version, &error);
    Progress::clear();
    if (ok)
        return true;

    // A run that changed nothing leaves no snapshot directory, and a manifest lists every copy.
    if (!m_stamp.isEmpty()) {
        QFile::remove(directory() + QLatin1Char('/') + fileName);
        if (m_manifest.files.isEmpty()) {
            QDir(directory()).removeRecursively();
            QDir().rmdir(snapshotRoot());
            m_stamp.clear();
        }
    }
    qWarning("%s left unchanged: no snapshot of it could be made: %s"
             " (--no-backup upgrades without one)",
             qUtf8Printable(fileName), qUtf8Printable(error));
    return false;
}

bool Snapshot::list(const QString &fileName, int version, QString *error)
{
    SnapshotFile entry;
    entry.name = fileName;
    entry.sha256 = fileSha256(directory() + QLatin1Char('/') + fileName, &entry.size);
    entry.version = version;
    if (entry.sha256.isEmpty()) {
        *error = QStringLiteral("the copy cannot be read");
        return false;
    }
    m_manifest.time = QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
    m_manifest.files.append(entry);
    if (!writeManifest(m_stamp, m_manifest, error)) {
        m_manifest.files.removeLast();
        return false;
    }
    return true;
}

// Checked before copying: a disk filled by the copy would fail the step after it.
bool Snapshot::hasRoomFor(const QString &fileName, QString *error) const
{
    const QString problem = snapshotSpaceProblem(fileName);
    if (problem.isEmpty())
        return true;
    *error = problem;
    return false;
}

bool Snapshot::makeDirectory(QString *error)
{
    if (!m_stamp.isEmpty())
        return true;
    // A second run in the same second gets a directory of its own, after every other of that
    // second: the newest snapshot must sort first, also after older ones were removed.
    const QString base = snapshotStamp(m_start);
    int n = 1;
    const QStringList stamps = snapshotStamps();
    for (const QString &stamp : stamps) {
        if (stamp == base)
            n = qMax(n, 2);
        else if (stamp.startsWith(base + QLatin1Char('-')))
            n = qMax(n, stamp.mid(base.size() + 1).toInt() + 1);
    }
    for (;; ++n) {
        const QString stamp = n == 1 ? base : base + QLatin1Char('-') + QString::number(n);
        if (QFileInfo::exists(snapshotDirectory(stamp)))
            continue;
        if (!QDir().mkpath(snapshotDirectory(stamp))) {
            *error = QStringLiteral("the directory %1 cannot be created").arg(snapshotDirectory(stamp));
            return false;
        }
        m_stamp = stamp;
        return true;
    }
}

bool Snapshot::copy(const QString &fileName, const QString &target, QString *error)
{
    Progress::show(fileName, QStringLiteral("snapshot"), -1);

    // Copied inside SQLite, which reads the file as one consistent state; the bytes of a file
    // with a journal beside it may not be one. A part left by a killed run is taken over.
    const QString part = target + QLatin1String(".part");
    QFile::remove(part);
    {
        Connection source(sourceConnection, fileName);
        if (!source.isOpen()) {
            *error = source.error();
            return false;
        }
        QSqlQuery query(source.database());
        // The copy is written through to the disk before the step changes the original.
        query.exec(QStringLiteral("pragma synchronous = full"));
        QString quoted = QDir::current().absoluteFilePath(part);
        quoted.replace(QLatin1Char('\''), QLatin1String("''"));
        if (!query.exec(QLatin1String("vacuum into '") + quoted + QLatin1Char('\''))) {
            *error = query.lastError().text();
            QFile::remove(part);
            return false;
        }
        query.finish();

        Progress::show(fileName, QStringLiteral("check"), -1);
        Connection copy(copyConnection, part);
        QString problem;
        const QString check = copy.isOpen()
                ? copy.rows(QStringLiteral("pragma quick_check(1)"), &problem)
                : QString();
        if (!copy.isOpen() || check != QLatin1String("ok\x1f\n")) {
            *error = QStringLiteral("the copy fails its check: %1")
                             .arg(!copy.isOpen() ? copy.error()
                                                 : problem.isEmpty() ? check.simplified() : problem);
        } else if (schemaOf(copy, &problem) != schemaOf(source, &problem) || !problem.isEmpty()) {
            *error = QStringLiteral("the copy's schema differs from the file's %1").arg(problem);
        } else if (versionOf(copy, &problem) != versionOf(source, &problem) || !problem.isEmpty()) {
            *error = QStringLiteral("the copy's version differs from the file's %1").arg(problem);
        }
    }
    if (!error->isEmpty()) {
        QFile::remove(part);
        return false;
    }
    QFile::remove(target);
    if (!QFile::rename(part, target)) {
        *error = QStringLiteral("%1 cannot be renamed to %2").arg(part, target);
        QFile::remove(part);
        return false;
    }
    return true;
}
