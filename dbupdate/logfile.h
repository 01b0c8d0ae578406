#ifndef LOGFILE_H
#define LOGFILE_H

// The log of a run: one line per message of the process, "Warning: <text>" and the like,
// appended to the file named on the command line.

// Opens path for appending and routes every message there, one line per message: line ends
// inside a message are written as \n and \r. A path that is a link, a pipe or a database is
// refused like one that cannot be opened: one line on standard error says so and why, and
// messages go to standard error.
// When a write to it fails, that line and every later one go to standard error instead, after
// the same one line.
void openLog(const char *path);

// Closes the log after a successful run.
void closeLog();

#endif // LOGFILE_H
