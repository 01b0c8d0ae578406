#include "restore.h"

#include "progress.h"
#include "runsummary.h"
#include "snapshotstore.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

namespace {

const char liveConnection[] = "dbupdate-restore";

// Copies source over target as a whole: written beside it, flushed to the disk, then renamed.
// The bytes are hashed as they are written, so what is put in place is what the manifest lists.
bool replaceFile(const QString &source, const QString &target, const QByteArray &sha256,
                 QSqlDatabase *lockHolder, QString *error)
{
    QFile in(source);
    QSaveFile out(target);
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly)) {
        *error = in.isOpen() ? out.errorString() : in.errorString();
        return false;
    }
    const qint64 total = qMax<qint64>(1, in.size());
    qint64 done = 0;
    QCryptographicHash hash(QCryptographicHash::Sha256);
    QByteArray buffer;
    while (!in.atEnd()) {
        buffer = in.read(1 << 20);
        if (buffer.isEmpty() || out.write(buffer) != buffer.size()) {
            *error = buffer.isEmpty() ? in.errorString() : out.errorString();
            out.cancelWriting();
            return false;
        }
        hash.addData(buffer);
        done += buffer.size();
        Progress::show(target, QStringLiteral("restore"), int(done * 100 / total));
    }
    if (hash.result().toHex() != sha256) {
        *error = QStringLiteral("the copy %1 changed while it was read").arg(source);
        out.cancelWriting();
        return false;
    }
#ifdef Q_OS_WIN
    // Windows renames nothing over a file that is open.
    lockHolder->close();
#else
    Q_UNUSED(lockHolder)
#endif
    if (!out.commit()) {
        *error = out.errorString();
        return false;
    }
    return true;
}

// SQLite's locks tell whether another program has the file open: an exclusive lock is had only
// when no one else reads or writes it. Taking it also rolls a hot journal of the old file back.
bool lockOut(QSqlDatabase &db, const QString &fileName, QString *error)
{
    if (!db.open()) {
        *error = db.lastError().text();
        return false;
    }
    QSqlQuery query(db);
    if (query.exec(QStringLiteral("begin exclusive"))) {
        // A write-ahead log goes into the file, so that no page of the old file lies beside
        // the new one.
        query.exec(QStringLiteral("pragma wal_checkpoint(truncate)"));
        return true;
    }
    const QString code = query.lastError().nativeErrorCode();
    // SQLITE_BUSY, SQLITE_LOCKED: in use. A file too damaged to lock is replaced all the same.
    if (code == QLatin1String("5") || code == QLatin1String("6")) {
        *error = QStringLiteral("%1 is in use by another program (%2)")
                         .arg(fileName, query.lastError().text());
        return false;
    }
    return true;
}

bool restoreFile(const QString &directory, const SnapshotFile &file, QString *error)
{
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"),
                                                    QLatin1String(liveConnection));
        db.setDatabaseName(file.name);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=1000"));
        if (QFileInfo::exists(file.name))
            ok = lockOut(db, file.name, error);
        // Done already by a restore that was stopped after this file?
        const bool inPlace = QFileInfo(file.name).size() == file.size
                && fileSha256(file.name) == file.sha256;
        if (ok && !inPlace) {
            ok = replaceFile(directory + QLatin1Char('/') + file.name, file.name, file.sha256,
                             &db, error);
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QLatin1String(liveConnection));
    if (!ok)
        return false;

    // What belonged to the old file must not be read as the new one's.
    for (const char *suffix : {"-journal", "-wal", "-shm"}) {
        const QString name = file.name + QLatin1String(suffix);
        if (QFileInfo::exists(name) && !QFile::remove(name)) {
            *error = QStringLiteral("%1 cannot be removed").arg(name);
            return false;
        }
    }
    return true;
}

} // namespace

int restoreSnapshot(const QString &requested, RunSummary *summary)
{
    QString stamp = requested;
    SnapshotManifest manifest;
    QString error;
    if (stamp.isEmpty()) {
        // The newest snapshot that holds a file; a run killed while copying may leave none.
        for (const QString &candidate : snapshotStamps()) {
            if (readManifest(candidate, &manifest, &error) && !manifest.files.isEmpty()) {
                stamp = candidate;
                break;
            }
        }
        if (stamp.isEmpty()) {
            qWarning("Nothing restored: there is no snapshot in %s", qUtf8Printable(snapshotRoot()));
            return 1;
        }
    } else if (!readManifest(stamp, &manifest, &error)) {
        qWarning("Nothing restored: %s", qUtf8Printable(error));
        return 1;
    }
    const QString directory = snapshotDirectory(stamp);
    summary->setSnapshot(directory);

    // Every copy is checked before the first file is replaced.
    for (const SnapshotFile &file : manifest.files) {
        Progress::show(file.name, QStringLiteral("check"));
        if (fileSha256(directory + QLatin1Char('/') + file.name) != file.sha256) {
            Progress::clear();
            qWarning("Nothing restored: the copy of %s in %s does not match its SHA-256",
                     qUtf8Printable(file.name), qUtf8Printable(directory));
            return 1;
        }
    }

    int status = 0;
    for (const SnapshotFile &file : manifest.files) {
        FileSummary result;
        result.name = file.name;
        result.versionAfter = file.version;
        if (!restoreFile(directory, file, &error)) {
            Progress::clear();
            qWarning("%s not restored: %s", qUtf8Printable(file.name), qUtf8Printable(error));
            result.status = QStringLiteral("refused");
            result.reason = error;
            result.versionAfter = QJsonValue();
            status = 1;
        } else {
            result.status = QStringLiteral("restored");
        }
        error.clear();
        summary->add(result);
    }
    Progress::clear();
    return status;
}
