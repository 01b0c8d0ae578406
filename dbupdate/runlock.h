#ifndef RUNLOCK_H
#define RUNLOCK_H

#include <QLockFile>

// dbupdate.lock in the current directory, held while an upgrade or a restore runs, so that two
// runs never work on the same files. A lock left by a run that was killed is taken over.
class RunLock
{
public:
    RunLock();
    ~RunLock();

    // Takes the lock without waiting. When another process holds it, one line on standard
    // error says which, and the result is false. In a directory that cannot be written the
    // result is true: nothing there can be changed.
    bool acquire();

private:
    Q_DISABLE_COPY(RunLock)

    QLockFile m_file;
};

#endif // RUNLOCK_H
