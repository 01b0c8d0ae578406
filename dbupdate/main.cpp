// dbupdate [log file] [catalogue...]
//
// Brings the database files of the current directory to their current schema. Every message of
// the process goes to the log file named first; every argument, the first included, is also
// offered as a translation catalogue. The exit status is 0 when all steps succeeded, else 1.

#include "updatedata.h"
#include "updateprofile.h"
#include "updateqc.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QStringList>
#include <QTranslator>

#include <cstdio>
#include <cstdlib>

static FILE *logFile = nullptr;

static void messageHandler(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    const QByteArray text = message.toLocal8Bit();
    switch (type) {
    case QtDebugMsg:
        fprintf(logFile, "Debug: %s\n", text.constData());
        break;
    case QtWarningMsg:
        fprintf(logFile, "Warning: %s\n", text.constData());
        break;
    case QtCriticalMsg:
        fprintf(logFile, "Critical: %s\n", text.constData());
        break;
    case QtFatalMsg:
        fprintf(logFile, "Fatal: %s\n", text.constData());
        fflush(logFile); // abort() leaves buffered lines unwritten
        abort();
    default:
        break;
    }
}

template<typename Step>
static bool runStep()
{
    Step step(nullptr);
    return step.run();
}

int main(int argc, char *argv[])
{
    if (argc > 1) {
        logFile = fopen(argv[1], "a");
        if (logFile)
            qInstallMessageHandler(messageHandler);
    }

    QCoreApplication app(argc, argv);

    // Source texts are UTF-8 and need no codec; the log is written in the locale's code page
    // (QString::toLocal8Bit above).

    // The program runs in the data directory; its own catalogues are installed beside it, so that
    // directory comes last, after the places the workstation has always searched.
    const QStringList searchPath = {
        QStringLiteral("."),
        QStringLiteral(".."),
        QLibraryInfo::location(QLibraryInfo::TranslationsPath),
        QCoreApplication::applicationDirPath(),
    };
    for (int i = 1; i < argc; ++i) {
        const QString name = QString::fromLocal8Bit(argv[i]);
        auto *translator = new QTranslator(&app);
        bool loaded = false;
        for (const QString &directory : searchPath) {
            if (translator->load(name, directory)) {
                loaded = true;
                break;
            }
        }
        // Installed last, asked first.
        if (loaded)
            QCoreApplication::installTranslator(translator);
        else
            delete translator;
    }

    if (!runStep<UpdateProfile>() || !runStep<UpdateData>() || !runStep<UpdateQc>())
        return 1;

    if (logFile) {
        qInstallMessageHandler(nullptr);
        fclose(logFile);
        logFile = nullptr;
    }
    return 0;
}
