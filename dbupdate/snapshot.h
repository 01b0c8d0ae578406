#ifndef SNAPSHOT_H
#define SNAPSHOT_H

#include "snapshotstore.h"

#include <QDateTime>
#include <QString>

// The snapshot of one run: the files its steps change, each copied before its step changes it.
// The directory is made with the first copy, so a run that changes nothing leaves none.
class Snapshot
{
public:
    explicit Snapshot(const QDateTime &start);

    // Copies fileName, which the caller holds the write lock of with nothing changed yet,
    // checks the copy and lists it in the manifest. False when no sound copy could be made;
    // one log line then says why and that the file is left unchanged.
    bool add(const QString &fileName, int version);

    // "dbupdate-backup/<stamp>", or empty while no file has been copied.
    QString directory() const;

private:
    bool hasRoomFor(const QString &fileName, QString *error) const;
    bool makeDirectory(QString *error);
    bool copy(const QString &fileName, const QString &target, QString *error);
    bool list(const QString &fileName, int version, QString *error);

    QDateTime m_start;
    QString m_stamp;
    SnapshotManifest m_manifest;
};

#endif // SNAPSHOT_H
