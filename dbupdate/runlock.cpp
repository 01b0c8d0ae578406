#include "runlock.h"

#include <QString>

#include <cstdio>

RunLock::RunLock()
    : m_file(QStringLiteral("dbupdate.lock"))
{
    // A lock is stale only when its process is gone: an upgrade of a large workstation may hold
    // it for minutes, and age alone must never hand it to a second run.
    m_file.setStaleLockTime(0);
}

RunLock::~RunLock()
{
    m_file.unlock();
}

bool RunLock::acquire()
{
    if (m_file.tryLock(0))
        return true;
    // Where no lock can be made, no journal can be made either, and a run changes nothing:
    // it goes on and its steps say why each file is refused.
    if (m_file.error() == QLockFile::PermissionError)
        return true;

    qint64 pid = 0;
    QString host;
    QString application;
    if (m_file.error() == QLockFile::LockFailedError && m_file.getLockInfo(&pid, &host, &application)) {
        fprintf(stderr, "dbupdate: another run holds dbupdate.lock: process %lld on %s\n",
                static_cast<long long>(pid), host.toLocal8Bit().constData());
    } else {
        fputs("dbupdate: dbupdate.lock cannot be taken\n", stderr);
    }
    return false;
}
