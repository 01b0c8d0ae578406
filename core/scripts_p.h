#ifndef SCRIPTS_P_H
#define SCRIPTS_P_H

//
//  W A R N I N G
//  -------------
//
// This file is not part of the Core API. It may change from version to version without notice.
//

#include <QtCore/qstring.h>

// What the script engines share (scripts.cpp): reading a script file and showing a script's error.

// The text of a script file, read as UTF-8, and in name the file name to report it under. A file
// that cannot be opened reads as an empty script, which evaluates to undefined; it is not reported.
QString readScriptFile(const QString &fileName, QString *name);

// Shows a script's error in a critical box, or writes it as a warning where no box can be shown.
void reportScriptError(const QString &message);

#endif // SCRIPTS_P_H
