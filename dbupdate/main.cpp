// dbupdate [log file] [catalogue...]
//
// Brings the database files of the current directory to their current schema. Every message of
// the process goes to the log file named first; every argument, the first included, is also
// offered as a translation catalogue. The exit status is 0 when all steps succeeded, else 1;
// 2 for an unknown option.

#include "logfile.h"
#include "updatedata.h"
#include "updateprofile.h"
#include "updateqc.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QStringList>
#include <QTranslator>

#include <cstdio>
#include <cstring>

// Where the installed catalogues lie, relative to the program's directory (set by the build).
#ifndef DBUPDATE_CATALOGUE_DIR
#define DBUPDATE_CATALOGUE_DIR "../share/dbupdate/translations"
#endif

static const char usage[] =
        "Usage: dbupdate [LOG [CATALOGUE...]]\n"
        "       dbupdate --help | --version\n"
        "\n"
        "Upgrades the workstation databases profile.db, data.db and qc.db of the current\n"
        "directory, in this order. A file that is missing, cannot be written, is damaged or\n"
        "is newer than this program is left unchanged, and the files after it are not run.\n"
        "\n"
        "  LOG         file the messages of the run are appended to (standard error without it)\n"
        "  CATALOGUE   translation catalogue; every argument, LOG included, is tried as one\n"
        "  -h, --help  show this text\n"
        "  --version   show the program's version\n"
        "\n"
        "Exit status: 0 every file upgraded; 1 a file refused or its upgrade stopped (see the\n"
        "log); 2 an unknown option.\n";

template<typename Step>
static bool runStep()
{
    Step step(nullptr);
    return step.run();
}

int main(int argc, char *argv[])
{
    // An argument that starts with "-" is an option, never a log or a catalogue; asking for help
    // must not open or upgrade anything.
    bool help = false;
    bool version = false;
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] != '-')
            continue;
        if (strcmp(argv[i], "-h") == 0 || strcmp(argv[i], "--help") == 0) {
            help = true;
        } else if (strcmp(argv[i], "--version") == 0) {
            version = true;
        } else {
            fprintf(stderr, "dbupdate: unknown option %s\n\n%s", argv[i], usage);
            return 2;
        }
    }
    if (help) {
        fputs(usage, stdout);
        return 0;
    }
    if (version) {
        puts("dbupdate " DBUPDATE_VERSION);
        return 0;
    }

    if (argc > 1)
        openLog(argv[1]);

    QCoreApplication app(argc, argv);

    // Source texts are UTF-8 and need no codec; the log is written in the locale's code page
    // (the message handler of logfile.cpp).

    // The program runs in the data directory; its own catalogues lie beside it in a build tree and
    // under share/ when installed, so those come last, after the places the workstation has always
    // searched.
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

    closeLog();
    return 0;
}
