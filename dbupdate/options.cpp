#include "options.h"

#include <cstring>

const char usageText[] =
        "Usage: dbupdate [OPTION...] [LOG [CATALOGUE...]]\n"
        "\n"
        "Upgrades the workstation databases profile.db, data.db and qc.db of the current\n"
        "directory, in this order. A file that is missing, cannot be written, is damaged or\n"
        "is newer than this program is left unchanged, and the files after it are not run.\n"
        "Before a file is changed, a verified copy of it is put in\n"
        "dbupdate-backup/<stamp>/ (the run's start in UTC, YYYYMMDDTHHMMSSZ).\n"
        "\n"
        "  LOG              file the messages of the run are appended to (standard error\n"
        "                   without it); --check and --list write none\n"
        "  CATALOGUE        translation catalogue; every argument, LOG included, is tried\n"
        "  --check          read every file, change nothing, and say what an upgrade would do\n"
        "  --list           list the snapshots, newest first\n"
        "  --restore[=STAMP]\n"
        "                   put back the files of snapshot STAMP (default: the newest)\n"
        "  --no-backup      upgrade without a snapshot\n"
        "  --keep=N         keep the newest N snapshots after an upgrade (default 3, N >= 1)\n"
        "  --json           end with a summary of the run as one JSON object on standard output\n"
        "  -h, --help       show this text\n"
        "  --version        show the program's version\n"
        "\n"
        "One upgrade or restore runs at a time in a directory (lock file dbupdate.lock).\n"
        "\n"
        "Exit status:\n"
        "  0  upgrade: every file upgraded or up to date; --check: every file up to date;\n"
        "     --restore: every file of the snapshot in place; --list: listed\n"
        "  1  a file refused or its upgrade stopped (see the log), a snapshot that could not\n"
        "     be made, a restore not finished, or another run holds dbupdate.lock;\n"
        "     --check: a file would be refused\n"
        "  2  an unknown option or a wrong value\n"
        "  3  --check: an upgrade is due and every file would be accepted\n";

const char *Options::modeName(Mode mode)
{
    switch (mode) {
    case Upgrade:
        return "upgrade";
    case Check:
        return "check";
    case Restore:
        return "restore";
    case List:
        return "list";
    }
    return "";
}

namespace {

bool setMode(Options *options, Options::Mode mode, const char *argument, QString *error)
{
    if (options->mode != Options::Upgrade && options->mode != mode) {
        *error = QStringLiteral("%1 cannot be combined with --%2")
                         .arg(QString::fromLocal8Bit(argument),
                              QLatin1String(Options::modeName(options->mode)));
        return false;
    }
    options->mode = mode;
    return true;
}

} // namespace

bool parseOptions(int argc, char *argv[], Options *options, QString *error)
{
    // An argument that starts with "-" is an option, never a log or a catalogue.
    for (int i = 1; i < argc; ++i) {
        const char *argument = argv[i];
        if (argument[0] != '-') {
            options->arguments.append(QByteArray(argument));
        } else if (strcmp(argument, "-h") == 0 || strcmp(argument, "--help") == 0) {
            options->help = true;
        } else if (strcmp(argument, "--version") == 0) {
            options->version = true;
        } else if (strcmp(argument, "--check") == 0) {
            if (!setMode(options, Options::Check, argument, error))
                return false;
        } else if (strcmp(argument, "--list") == 0) {
            if (!setMode(options, Options::List, argument, error))
                return false;
        } else if (strcmp(argument, "--restore") == 0 || strncmp(argument, "--restore=", 10) == 0) {
            if (!setMode(options, Options::Restore, argument, error))
                return false;
            if (argument[9] == '=') {
                options->restoreStamp = QString::fromLocal8Bit(argument + 10);
                // A stamp names a directory of dbupdate-backup and nothing beyond it.
                if (options->restoreStamp.isEmpty()
                    || options->restoreStamp.contains(QLatin1Char('/'))
                    || options->restoreStamp.contains(QLatin1Char('\\'))
                    || options->restoreStamp.startsWith(QLatin1Char('.'))) {
                    *error = QStringLiteral("--restore needs the stamp of a snapshot, as --list shows it");
                    return false;
                }
            }
        } else if (strcmp(argument, "--no-backup") == 0) {
            options->backup = false;
        } else if (strncmp(argument, "--keep=", 7) == 0) {
            bool ok = false;
            const int keep = QByteArray(argument + 7).toInt(&ok);
            if (!ok || keep < 1) {
                *error = QStringLiteral("--keep needs a whole number of at least 1");
                return false;
            }
            options->keep = keep;
        } else if (strcmp(argument, "--json") == 0) {
            options->json = true;
        } else {
            *error = QStringLiteral("unknown option %1").arg(QString::fromLocal8Bit(argument));
            return false;
        }
    }
    return true;
}
