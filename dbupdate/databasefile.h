#ifndef DATABASEFILE_H
#define DATABASEFILE_H

#include <QString>

// Opens fileName as the process's default connection and begins the write transaction of its
// upgrade step. A file that would have to be created, cannot be written, is damaged or holds a
// damaged version is refused before anything in it changes: the reason is logged, no transaction
// is left open, and the result is false. Otherwise *version holds the file's schema version: 0
// without a version table, without rows or with NULL.
bool openDatabaseFile(const QString &fileName, int *version);

// Ends the transaction that openDatabaseFile() began without keeping anything.
void rollbackDatabaseFile();

// What openDatabaseFile() would find, with the file opened for reading only: nothing is
// created, written or locked for writing. The reason of a refusal is logged in the same words.
// The connection is closed again before this returns.
bool inspectDatabaseFile(const QString &fileName, int *version);

// Closes and removes the default connection. A rollback that SQLite could not finish (a full
// disk) is finished on a fresh connection, so that the file is whole without its journal; a
// journal that is still left is logged.
void closeDatabaseFile();

#endif // DATABASEFILE_H
