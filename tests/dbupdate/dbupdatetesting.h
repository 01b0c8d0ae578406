#ifndef DBUPDATETESTING_H
#define DBUPDATETESTING_H

#include "workstation.h"

#include <QByteArray>
#include <QPair>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// Helpers for tests that run dbupdate as a program in a directory of their own and look at
// its exit status, log and database files (the files themselves through the workstation
// fixture, whose names this namespace takes in). Link the target "dbupdate_testing".
namespace DbupdateTesting {

using namespace workstation;

QString programPath();         // the built dbupdate
QString scriptedProgramPath(); // dbupdate with scripted profile.db and data.db steps
QString faultShimPath();       // the LD_PRELOAD library that ends a run at a sqlite3_step call

struct Result
{
    int exitCode = -1;
    bool crashed = false; // ended by a signal: killed, or aborted on a fatal message
    QByteArray standardError;
};

// Runs program in directory. environment holds "NAME=value" entries added to the test's own.
Result run(const QString &directory, const QStringList &arguments = {},
           const QStringList &environment = {}, const QString &program = programPath());

// run() with an environment of its own.
Result runUpgrade(const QString &directory, const QStringList &arguments = {},
                  const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment());

// Compiles a catalogue with lrelease from (source, translation) pairs of one context.
bool makeCatalogue(const QString &qmPath, const QString &context,
                   const QList<QPair<QString, QString>> &messages);

// Kill-and-recover check. A run over a copy of the fixture directory is ended by SIGKILL at a
// sqlite3_step call, then the program is run again normally; the files must then be those of
// expectedDump (see dump()), the second run must end with expectedExitCode, and no journal may
// be left. Every call of an uninterrupted run is a kill point (killed before the call runs;
// transaction statements also after), down-sampled evenly to about maxPoints.
struct KillOptions
{
    QStringList arguments = {QStringLiteral("upgrade.log")};
    QStringList environment;
    QString program = programPath();
    int expectedExitCode = 0;
    int maxPoints = 300;
};

struct KillReport
{
    int stepCalls = 0;   // sqlite3_step calls of an uninterrupted run
    int pointsTried = 0; // kill points run
    QStringList failures; // one line per kill point that did not recover
};

KillReport verifyKillRecovery(const QString &fixtureDirectory, const QString &expectedDump,
                              const KillOptions &options = KillOptions());

} // namespace DbupdateTesting

#endif // DBUPDATETESTING_H
