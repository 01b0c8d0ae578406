#ifndef PROGRESS_H
#define PROGRESS_H

#include <QString>

// One line on standard error that rewrites itself while the run works: the file, the phase and
// a percentage where one is known. Shown only when standard error is a terminal; never in the
// log.
namespace Progress {

// percent < 0: not known.
void show(const QString &fileName, const QString &phase, int percent = -1);

// Takes the line away, before a message is written or the run ends.
void clear();

} // namespace Progress

#endif // PROGRESS_H
