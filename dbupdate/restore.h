#ifndef RESTORE_H
#define RESTORE_H

#include <QString>

class RunSummary;

// Puts back every file of snapshot stamp (the newest when empty) in the current directory and
// returns the exit status: 0 only when every file of the snapshot is in place and matches its
// manifest. Each file is replaced as a whole, so a run killed at any point leaves it as it was
// or restored, and running the restore again finishes.
int restoreSnapshot(const QString &stamp, RunSummary *summary);

#endif // RESTORE_H
