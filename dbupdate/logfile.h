#ifndef LOGFILE_H
#define LOGFILE_H

// The log of a run: one line per message of the process, "Warning: <text>" and the like,
// appended to the file named on the command line.

// Opens path for appending and routes every message there. When it cannot be opened, one line
// on standard error says so and why, and messages keep their default route (standard error).
// When a write to it fails, that line and every later one go to standard error instead, after
// the same one line.
void openLog(const char *path);

// Closes the log after a successful run.
void closeLog();

#endif // LOGFILE_H
