#include "restore.h"

#include "progress.h"
#include "runsummary.h"
#include "sha256.h"
#include "snapshotstore.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <memory>
#include <vector>

namespace {

const char liveConnection[] = "dbupdate-restore";

// Writes the copy source beside target, flushed to the disk but not yet in its place. The
// bytes are hashed as they are written: what is put in place is what the manifest lists.
bool writeCopy(const QString &source, QSaveFile *out, const QByteArray &sha256, QString *error)
{
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly) || !out->open(QIODevice::WriteOnly)) {
        *error = in.isOpen() ? out->errorString() : in.errorString();
        return false;
    }
    const qint64 total = qMax<qint64>(1, in.size());
    qint64 done = 0;
    Sha256 hash;
    QByteArray buffer;
    while (!in.atEnd()) {
        buffer = in.read(1 << 20);
        if (buffer.isEmpty() || out->write(buffer) != buffer.size()) {
            *error = buffer.isEmpty() ? in.errorString() : out->errorString();
            return false;
        }
        hash.addData(buffer);
        done += buffer.size();
        Progress::show(out->fileName(), QStringLiteral("check"), int(done * 100 / total));
    }
    if (hash.hexResult() != sha256) {
        *error = QStringLiteral("the copy of %1 in %2 does not match its SHA-256")
                         .arg(out->fileName(), QFileInfo(source).path());
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

// Renames the written copy over the file (none when the file is in place already), while no
// other program has the file open.
bool putInPlace(const SnapshotFile &file, QSaveFile *out, QString *error)
{
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"),
                                                    QLatin1String(liveConnection));
        db.setDatabaseName(file.name);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=1000"));
        if (QFileInfo::exists(file.name))
            ok = lockOut(db, file.name, error);
        if (ok && out) {
#ifdef Q_OS_WIN
            // Windows renames nothing over a file that is open.
            db.close();
#endif
            ok = out->commit();
            if (!ok)
                *error = out->errorString();
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
        const QStringList stamps = snapshotStamps();
        for (const QString &candidate : stamps) {
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

    // Every copy is written beside its file and checked against its SHA-256 before the first
    // file is replaced. A file that matches already was put back by a restore that stopped.
    std::vector<std::unique_ptr<QSaveFile>> copies;
    for (const SnapshotFile &file : qAsConst(manifest.files)) {
        std::unique_ptr<QSaveFile> out;
        if (QFileInfo(file.name).size() != file.size || fileSha256(file.name) != file.sha256) {
            out.reset(new QSaveFile(file.name));
            if (!writeCopy(directory + QLatin1Char('/') + file.name, out.get(), file.sha256,
                           &error)) {
                Progress::clear();
                qWarning("Nothing restored: %s", qUtf8Printable(error));
                return 1;
            }
        }
        copies.push_back(std::move(out));
    }

    int status = 0;
    for (size_t i = 0; i < copies.size(); ++i) {
        const SnapshotFile &file = manifest.files.at(int(i));
        FileSummary result;
        result.name = file.name;
        result.versionAfter = file.version;
        if (!putInPlace(file, copies[i].get(), &error)) {
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
