#include "logfile.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace {

FILE *logFile = nullptr;
QByteArray logName;

void reportUnwritable(int error)
{
    fprintf(stderr, "The log %s cannot be written: %s\n", logName.constData(),
            qt_error_string(error).toLocal8Bit().constData());
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
    const QByteArray text = message.toLocal8Bit();
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
    logFile = fopen(path, "a");
    if (!logFile) {
        reportUnwritable(errno);
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
