#include "logfile.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QtGlobal>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

FILE *logFile = nullptr;
QByteArray logName;

void reportUnwritable(const QString &reason)
{
    fprintf(stderr, "The log %s cannot be written: %s\n", logName.constData(),
            reason.toLocal8Bit().constData());
}

void reportUnwritable(int error)
{
    reportUnwritable(qt_error_string(error));
}

const char notPlain[] = "not a plain file";

// Opens path for appending. A link is not followed (planted in the data directory, it would
// have the installer append to a file of someone else's choosing) and a pipe is not waited on;
// besides plain files only devices (/dev/null) are taken.
FILE *openAppending(const char *path, QString *problem)
{
#ifdef Q_OS_UNIX
    const int fd = ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                          0666);
    if (fd < 0) {
        *problem = errno == ELOOP || errno == ENXIO ? QString::fromLatin1(notPlain)
                                                     : qt_error_string(errno);
        return nullptr;
    }
    struct stat status;
    if (fstat(fd, &status) != 0 || !(S_ISREG(status.st_mode) || S_ISCHR(status.st_mode))) {
        ::close(fd);
        *problem = QString::fromLatin1(notPlain);
        return nullptr;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    FILE *file = fdopen(fd, "a");
    if (!file) {
        *problem = qt_error_string(errno);
        ::close(fd);
    }
    return file;
#else
    const QFileInfo info(QString::fromLocal8Bit(path));
    if (info.isSymLink() || (info.exists() && !info.isFile())) {
        *problem = QString::fromLatin1(notPlain);
        return nullptr;
    }
    FILE *file = fopen(path, "a");
    if (!file)
        *problem = qt_error_string(errno);
    return file;
#endif
}

// "dbupdate data.db" is an easy slip; the warnings must not go into a database. Asked of a
// plain file only: opening a pipe to read would wait for a writer.
bool isDatabase(const char *path)
{
    QFile file(QString::fromLocal8Bit(path));
    if (!QFileInfo(file).isFile())
        return false;
    return file.open(QIODevice::ReadOnly) && file.read(16) == QByteArray("SQLite format 3", 16);
}

void writeLine(const char *prefix, const QByteArray &text)
{
    if (logFile) {
        // Flushed line by line: a failed write must be seen at the line it loses, not at a
        // later flush that loses a whole buffer.
        if (fprintf(logFile, "%s%s\n", prefix, text.constData()) >= 0 && fflush(logFile) == 0)
            return;
        const int error = errno;
        fclose(logFile);
        logFile = nullptr;
        reportUnwritable(error);
    }
    fprintf(stderr, "%s%s\n", prefix, text.constData());
}

void messageHandler(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    // One message, one line: SQLite's error texts can carry line ends (a trigger's RAISE).
    QString line = message;
    line.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    line.replace(QLatin1Char('\r'), QLatin1String("\\r"));
    const QByteArray text = line.toLocal8Bit();
    switch (type) {
    case QtDebugMsg:
        writeLine("Debug: ", text);
        break;
    case QtWarningMsg:
        writeLine("Warning: ", text);
        break;
    case QtCriticalMsg:
        writeLine("Critical: ", text);
        break;
    case QtFatalMsg:
        writeLine("Fatal: ", text);
        abort();
    default:
        break;
    }
}

} // namespace

void openLog(const char *path)
{
    logName = path;
    QString problem;
    logFile = openAppending(path, &problem);
    if (logFile && isDatabase(path)) {
        fclose(logFile);
        logFile = nullptr;
        problem = QStringLiteral("it is a database");
    }
    if (!logFile) {
        reportUnwritable(problem);
        return;
    }
    qInstallMessageHandler(messageHandler);
}

void closeLog()
{
    if (!logFile)
        return;
    qInstallMessageHandler(nullptr);
    fclose(logFile);
    logFile = nullptr;
}
