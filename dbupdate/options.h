#ifndef OPTIONS_H
#define OPTIONS_H

#include <QByteArray>
#include <QList>
#include <QString>

// The command line: options anywhere, the other arguments the log and the catalogues.
struct Options
{
    enum Mode { Upgrade, Check, Restore, List };

    Mode mode = Upgrade;
    bool help = false;
    bool version = false;
    bool backup = true;  // a snapshot of every file before its step changes it
    int keep = 3;        // snapshot directories left after a successful upgrade
    QString restoreStamp; // empty: the newest snapshot
    bool json = false;
    QList<QByteArray> arguments; // LOG, then CATALOGUE..., as given

    static const char *modeName(Mode mode);
};

// Fills *options from the command line. False for an unknown option or a value out of range;
// *error then says which.
bool parseOptions(int argc, char *argv[], Options *options, QString *error);

// The text of --help.
extern const char usageText[];

#endif // OPTIONS_H
