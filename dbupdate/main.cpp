// dbupdate [option...] [log file] [catalogue...]
//
// Brings the database files of the current directory to their current schema, each after a
// verified snapshot of it. Every message of the process goes to the log file named first; every
// argument, the first included, is also offered as a translation catalogue. The modes and exit
// statuses are those of usageText (options.cpp).

#include "catalogue.h"
#include "checkmode.h"
#include "logfile.h"
#include "options.h"
#include "progress.h"
#include "restore.h"
#include "runlock.h"
#include "runsummary.h"
#include "snapshot.h"
#include "snapshotstore.h"
#include "updatedata.h"
#include "updateprofile.h"
#include "updateqc.h"
#include "workstationfiles.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStringList>
#include <QTranslator>

#include <cstdio>

// Where the installed catalogues lie, relative to the program's directory (set by the build).
#ifndef DBUPDATE_CATALOGUE_DIR
#define DBUPDATE_CATALOGUE_DIR "../share/dbupdate/translations"
#endif

namespace {

struct UpgradeRun
{
    const Options &options;
    Snapshot snapshot;
    RunSummary *summary;
};

bool hasVersionTable()
{
    QSqlQuery query;
    return query.exec(QStringLiteral("select count(*) from sqlite_master where type = 'table'"
                                     " and name = 'version' collate nocase"))
            && query.next() && query.value(0).toInt() > 0;
}

// The files upgraded after fileName, as the log names those not run.
QString filesAfter(const char *fileName)
{
    QStringList names;
    bool after = false;
    for (const WorkstationFile &workstationFile : workstationFiles) {
        if (after)
            names.append(QLatin1String(workstationFile.name));
        after = after || qstrcmp(workstationFile.name, fileName) == 0;
    }
    return names.join(QLatin1String(", "));
}

// Opens the step, copies its file when the step will change it, then runs it.
template<typename Step>
bool runStep(const char *fileName, UpgradeRun *run)
{
    FileSummary file;
    file.name = QLatin1String(fileName);
    RunSummary::takeLastWarning();

    Step step(nullptr);
    if (!step.isOpen()) {
        file.status = QStringLiteral("refused");
        file.reason = RunSummary::takeLastWarning();
        run->summary->add(file);
        step.reportStop(filesAfter(fileName));
        return false;
    }
    const int target = step.targetVersion();
    if (target >= 0 || hasVersionTable())
        file.versionBefore = step.version();

    // A file that needs no change gets no copy; its step may still rewrite what it holds.
    const bool due = target >= 0 && step.version() < target;
    if (due && !run->options.backup) {
        qWarning("%s is upgraded without a snapshot (--no-backup)", fileName);
    } else if (due && !run->snapshot.add(file.name, step.version())) {
        file.status = QStringLiteral("refused");
        file.reason = RunSummary::takeLastWarning();
        run->summary->add(file);
        step.reportStop(filesAfter(fileName));
        return false;
    }
    run->summary->setSnapshot(run->snapshot.directory());

    Progress::show(file.name, QStringLiteral("upgrade"));
    const bool ok = step.run();
    Progress::clear();
    if (ok) {
        file.status = due ? QStringLiteral("upgraded") : QStringLiteral("up to date");
        file.versionAfter = target >= 0 ? QJsonValue(target) : file.versionBefore;
    } else {
        file.status = QStringLiteral("refused");
        file.reason = RunSummary::takeLastWarning();
        step.reportStop(filesAfter(fileName));
    }
    run->summary->add(file);
    return ok;
}

int upgrade(const Options &options, RunSummary *summary)
{
    UpgradeRun run{options, Snapshot(QDateTime::currentDateTimeUtc()), summary};
    const bool ok = runStep<UpdateProfile>(workstationFiles[0].name, &run)
            && runStep<UpdateData>(workstationFiles[1].name, &run)
            && runStep<UpdateQc>(workstationFiles[2].name, &run);
    if (!ok) {
        // The files after the one that failed were not opened.
        for (const WorkstationFile &workstationFile : workstationFiles) {
            bool seen = false;
            for (const FileSummary &file : summary->files())
                seen = seen || file.name == QLatin1String(workstationFile.name);
            if (!seen)
                summary->add({QLatin1String(workstationFile.name), QJsonValue(), QJsonValue(),
                              QStringLiteral("not run"), QString()});
        }
        return 1;
    }
    pruneSnapshots(options.keep);
    return 0;
}

void loadCatalogues(QCoreApplication *app, const QList<QByteArray> &arguments)
{
    // The program runs in the data directory; its own catalogues lie beside it in a build tree
    // and under share/ when installed, so those come last, after the places the workstation has
    // always searched.
    const QStringList searchPath = {
        QStringLiteral("."),
        QStringLiteral(".."),
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
        QLibraryInfo::path(QLibraryInfo::TranslationsPath),
#else
        QLibraryInfo::location(QLibraryInfo::TranslationsPath),
#endif
        QCoreApplication::applicationDirPath(),
        QCoreApplication::applicationDirPath() + QStringLiteral("/" DBUPDATE_CATALOGUE_DIR),
    };
    for (const QByteArray &argument : arguments) {
        // Installed last, asked first.
        const QString name = QString::fromLocal8Bit(argument);
        if (QTranslator *translator = loadCatalogue(name, searchPath, app))
            QCoreApplication::installTranslator(translator);
    }
}

void printSummary(const RunSummary &summary, int status)
{
    fputs(summary.toJson(status).constData(), stdout);
    fputc('\n', stdout);
    fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    // Asking for help must not open or upgrade anything.
    Options options;
    QString error;
    if (!parseOptions(argc, argv, &options, &error)) {
        fprintf(stderr, "dbupdate: %s\n\n%s", error.toLocal8Bit().constData(), usageText);
        return 2;
    }
    if (options.help) {
        fputs(usageText, stdout);
        return 0;
    }
    if (options.version) {
        puts("dbupdate " DBUPDATE_VERSION);
        return 0;
    }

    QCoreApplication app(argc, argv);

    // An upgrade or a restore works alone; a second run touches nothing, not even the log.
    const bool writes = options.mode == Options::Upgrade || options.mode == Options::Restore;
    RunSummary summary(Options::modeName(options.mode));
    RunLock lock;
    if (writes && !lock.acquire()) {
        if (options.json)
            printSummary(summary, 1);
        return 1;
    }

    // --check and --list write nothing, no log either: their messages go to standard error.
    if (writes && !options.arguments.isEmpty())
        openLog(options.arguments.first().constData());
    RunSummary::watchMessages(options.mode == Options::Check);

    // Source texts are UTF-8 and need no codec; the log is written in the locale's code page
    // (the message handler of logfile.cpp).
    loadCatalogues(&app, options.arguments);

    int status = 0;
    switch (options.mode) {
    case Options::Upgrade:
        status = upgrade(options, &summary);
        break;
    case Options::Check:
        status = checkWorkstation(options.backup, &summary);
        break;
    case Options::Restore:
        status = restoreSnapshot(options.restoreStamp, &summary);
        break;
    case Options::List:
        status = listSnapshots(&summary);
        break;
    }
    Progress::clear();

    if (options.json)
        printSummary(summary, status);
    if (status == 0 && writes)
        closeLog();
    return status;
}
