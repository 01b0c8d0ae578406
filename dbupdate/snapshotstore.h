#ifndef SNAPSHOTSTORE_H
#define SNAPSHOTSTORE_H

#include <QDateTime>
#include <QJsonValue>
#include <QList>
#include <QString>
#include <QStringList>

// The snapshots in the data directory: dbupdate-backup/<stamp>/, one per run that changed a
// file, each with the copies of the files as they were before and manifest.json listing them.

struct SnapshotFile
{
    QString name;
    qint64 size = 0;
    QByteArray sha256; // hex
    QJsonValue version; // the schema version, or null
};

struct SnapshotManifest
{
    QString program;
    QString version;
    QString time;
    QList<SnapshotFile> files;
};

QString snapshotRoot(); // "dbupdate-backup"
QString snapshotDirectory(const QString &stamp);
QString snapshotStamp(const QDateTime &start); // YYYYMMDDTHHMMSSZ, in UTC

// The stamps of the snapshot directories, newest first.
QStringList snapshotStamps();

// Reads the manifest of stamp. False, with the reason in *error, when it is missing or does
// not hold together.
bool readManifest(const QString &stamp, SnapshotManifest *manifest, QString *error);
bool writeManifest(const QString &stamp, const SnapshotManifest &manifest, QString *error);

// Why a snapshot of fileName would not fit on the disk, or an empty text.
QString snapshotSpaceProblem(const QString &fileName);

// Removes all but the newest keep snapshot directories. Failures are logged.
void pruneSnapshots(int keep);

class RunSummary;

// Prints the snapshots, newest first, with their files, and gives them to the summary as
// "snapshots"; returns the exit status.
int listSnapshots(RunSummary *summary);

#endif // SNAPSHOTSTORE_H
