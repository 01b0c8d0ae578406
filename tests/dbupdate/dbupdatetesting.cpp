#include "dbupdatetesting.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

namespace DbupdateTesting {

QString programPath()
{
    return QStringLiteral(DBUPDATE_PATH);
}

QString scriptedProgramPath()
{
    return QStringLiteral(DBUPDATE_SCRIPTED_PATH);
}

QString faultShimPath()
{
    return QStringLiteral(DBUPDATE_FAULTSHIM_PATH);
}

namespace {

Result runProgram(const QString &directory, const QStringList &arguments,
                  const QProcessEnvironment &environment, const QString &program)
{
    QProcess process;
    process.setWorkingDirectory(directory);
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start(program, arguments);

    Result result;
    if (!process.waitForStarted(30000) || !process.waitForFinished(120000)) {
        QWARN(qPrintable(QStringLiteral("%1 did not run: %2").arg(program, process.errorString())));
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.crashed = process.exitStatus() == QProcess::CrashExit;
    result.exitCode = result.crashed ? -1 : process.exitCode();
    result.standardError = process.readAllStandardError();
    return result;
}

} // namespace

Result run(const QString &directory, const QStringList &arguments,
           const QStringList &environment, const QString &program)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString &entry : environment)
        env.insert(entry.section(QLatin1Char('='), 0, 0), entry.section(QLatin1Char('='), 1));
    return runProgram(directory, arguments, env, program);
}

Result runUpgrade(const QString &directory, const QStringList &arguments,
                  const QProcessEnvironment &environment)
{
    return runProgram(directory, arguments, environment, programPath());
}

bool makeCatalogue(const QString &qmPath, const QString &context,
                   const QList<QPair<QString, QString>> &messages)
{
    QString ts = QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!DOCTYPE TS>\n"
                                "<TS version=\"2.1\">\n<context>\n<name>%1</name>\n")
                         .arg(context.toHtmlEscaped());
    for (const auto &message : messages) {
        ts += QStringLiteral("<message><source>%1</source><translation>%2</translation></message>\n")
                      .arg(message.first.toHtmlEscaped(), message.second.toHtmlEscaped());
    }
    ts += QLatin1String("</context>\n</TS>\n");

    const QString tsPath = qmPath + QLatin1String(".ts");
    if (!writeFile(tsPath, ts.toUtf8()))
        return false;
    const int status = QProcess::execute(QStringLiteral(LRELEASE_EXECUTABLE),
                                         {QStringLiteral("-silent"), tsPath,
                                          QStringLiteral("-qm"), qmPath});
    QFile::remove(tsPath);
    return status == 0 && QFileInfo::exists(qmPath);
}

namespace {

struct KillPoint
{
    int call;
    bool after;
};

// Calls of the uninterrupted run as the shim traced them: the statement of each call.
QStringList tracedStatements(const QString &traceFile)
{
    QStringList statements;
    const QList<QByteArray> lines = readFile(traceFile).split('\n');
    for (const QByteArray &line : lines) {
        if (!line.isEmpty())
            statements.append(QString::fromUtf8(line.mid(line.indexOf('\t') + 1)));
    }
    return statements;
}

QList<KillPoint> killPoints(const QStringList &statements, int maxPoints)
{
    const int count = statements.size();
    const int stride = qMax(1, count / qMax(1, maxPoints));
    QSet<int> before = {1, count};
    QSet<int> after = {count};
    for (int call = 1; call <= count; ++call) {
        if (call % stride == 0)
            before.insert(call);
        // Around the start and end of a step's transaction every call counts.
        const QString sql = statements.at(call - 1).trimmed().toLower();
        if (sql.startsWith(QLatin1String("begin immediate")) || sql.startsWith(QLatin1String("commit"))
            || sql.startsWith(QLatin1String("rollback"))) {
            before.insert(call);
            before.insert(qMax(1, call - 1));
            before.insert(qMin(count, call + 1));
            after.insert(call);
        }
    }

    QList<KillPoint> points;
    for (int call = 1; call <= count; ++call) {
        if (before.contains(call))
            points.append({call, false});
        if (after.contains(call))
            points.append({call, true});
    }
    return points;
}

QString firstDifference(const QString &expected, const QString &actual)
{
    const QStringList a = expected.split(QLatin1Char('\n'));
    const QStringList b = actual.split(QLatin1Char('\n'));
    for (int i = 0; i < qMax(a.size(), b.size()); ++i) {
        if (a.value(i) != b.value(i)) {
            return QStringLiteral("line %1: expected \"%2\", got \"%3\"")
                    .arg(i + 1)
                    .arg(a.value(i).left(120), b.value(i).left(120));
        }
    }
    return QString();
}

QStringList shimEnvironment(const KillOptions &options, const QStringList &faultSettings)
{
    // The shim is preloaded ahead of a sanitizer runtime the program may carry.
    return options.environment + faultSettings
            + QStringList{QStringLiteral("LD_PRELOAD=") + faultShimPath(),
                          QStringLiteral("ASAN_OPTIONS=verify_asan_link_order=0:")
                                  + qEnvironmentVariable("ASAN_OPTIONS")};
}

} // namespace

KillReport verifyKillRecovery(const QString &fixtureDirectory, const QString &expectedDump,
                              const KillOptions &options)
{
    KillReport report;
    QTemporaryDir work;
    if (!work.isValid()) {
        report.failures.append(QStringLiteral("no temporary directory"));
        return report;
    }

    // The uninterrupted run, traced: how many calls there are and what each one runs.
    const QString countDir = work.filePath(QStringLiteral("count"));
    const QString trace = work.filePath(QStringLiteral("trace"));
    copyDirectory(fixtureDirectory, countDir);
    const Result counted = run(countDir, options.arguments,
                               shimEnvironment(options, {QStringLiteral("DBUPDATE_FAULT_TRACE=") + trace}),
                               options.program);
    const QString countedDump = dump(countDir);
    if (counted.exitCode != options.expectedExitCode || countedDump != expectedDump) {
        report.failures.append(QStringLiteral("uninterrupted run: exit %1, %2")
                                       .arg(counted.exitCode)
                                       .arg(firstDifference(expectedDump, countedDump)));
        return report;
    }
    const QStringList statements = tracedStatements(trace);
    report.stepCalls = statements.size();
    if (statements.isEmpty()) {
        report.failures.append(QStringLiteral("the fault library saw no sqlite3_step call"));
        return report;
    }

    int index = 0;
    for (const KillPoint &point : killPoints(statements, options.maxPoints)) {
        const QString name = QStringLiteral("call %1%2 (%3)")
                                     .arg(point.call)
                                     .arg(point.after ? QStringLiteral(", after") : QString())
                                     .arg(statements.at(point.call - 1).left(60));
        const QString dir = work.filePath(QStringLiteral("kill%1").arg(index++));
        copyDirectory(fixtureDirectory, dir);
        ++report.pointsTried;

        QStringList fault = {QStringLiteral("DBUPDATE_FAULT_STEP=%1").arg(point.call)};
        if (point.after)
            fault.append(QStringLiteral("DBUPDATE_FAULT_AFTER=1"));
        const Result killed = run(dir, options.arguments, shimEnvironment(options, fault),
                                  options.program);
        if (!killed.crashed) {
            report.failures.append(name + QStringLiteral(": the run was not killed (exit %1)")
                                                  .arg(killed.exitCode));
            continue;
        }

        const Result recovered = run(dir, options.arguments, options.environment, options.program);
        const QString recoveredDump = dump(dir);
        const QStringList journals = QDir(dir).entryList({QStringLiteral("*-journal"),
                                                          QStringLiteral("*-wal")}, QDir::Files);
        if (recovered.exitCode != options.expectedExitCode) {
            report.failures.append(name + QStringLiteral(": second run exit %1").arg(recovered.exitCode));
        } else if (recoveredDump != expectedDump) {
            report.failures.append(name + QStringLiteral(": ")
                                   + firstDifference(expectedDump, recoveredDump));
        } else if (!journals.isEmpty()) {
            report.failures.append(name + QStringLiteral(": left ") + journals.join(QLatin1Char(' ')));
        } else {
            QDir(dir).removeRecursively();
        }
    }
    return report;
}

} // namespace DbupdateTesting
