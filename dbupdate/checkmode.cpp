#include "checkmode.h"

#include "databasefile.h"
#include "runsummary.h"
#include "snapshotstore.h"
#include "workstationfiles.h"

#include <cstdio>

namespace {

// The line an upgrade would log for a snapshot that does not fit, or an empty text.
QString snapshotProblem(const QString &fileName)
{
    const QString problem = snapshotSpaceProblem(fileName);
    if (problem.isEmpty())
        return problem;
    return QStringLiteral("%1 left unchanged: no snapshot of it could be made: %2"
                          " (--no-backup upgrades without one)")
            .arg(fileName, problem);
}

} // namespace

int checkWorkstation(bool backup, RunSummary *summary)
{
    bool due = false;
    bool refused = false;
    for (const WorkstationFile &workstationFile : workstationFiles) {
        const QString name = QLatin1String(workstationFile.name);
        const int target = workstationFile.targetVersion;
        FileSummary file;
        file.name = name;

        int version = 0;
        RunSummary::takeLastWarning();
        const bool readable = inspectDatabaseFile(name, &version);
        if (readable && (target >= 0 || version > 0))
            file.versionBefore = version;
        if (!readable) {
            file.reason = RunSummary::takeLastWarning();
        } else if (target >= 0 && version > target) {
            file.reason = QStringLiteral("%1 has version %2, newer than this program's %3: left"
                                         " unchanged")
                                  .arg(name)
                                  .arg(version)
                                  .arg(target);
        } else if (target >= 0 && version < target) {
            if (backup)
                file.reason = snapshotProblem(name);
            if (file.reason.isEmpty()) {
                file.status = QStringLiteral("will be upgraded");
                file.versionAfter = target;
                due = true;
            }
        } else {
            file.status = QStringLiteral("up to date");
            file.versionAfter = file.versionBefore;
        }
        if (!file.reason.isEmpty()) {
            file.status = QStringLiteral("would be refused");
            refused = true;
        }

        const QString line = QStringLiteral("%1: version %2, target %3: %4")
                                     .arg(name,
                                          file.versionBefore.isDouble()
                                                  ? QString::number(file.versionBefore.toInt())
                                                  : QStringLiteral("-"),
                                          target >= 0 ? QString::number(target) : QStringLiteral("-"),
                                          file.status
                                                  + (file.reason.isEmpty()
                                                             ? QString()
                                                             : QLatin1String(": ") + file.reason));
        printf("%s\n", line.toLocal8Bit().constData());
        summary->add(file);
    }
    fflush(stdout);
    return refused ? 1 : due ? 3 : 0;
}
