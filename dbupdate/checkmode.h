#ifndef CHECKMODE_H
#define CHECKMODE_H

class RunSummary;

// --check: reads every file of the workstation for reading only and prints what an upgrade
// would do with it, one line per file. Nothing is created, written or touched. Returns 0 when
// every file is up to date, 3 when an upgrade is due and every file would be accepted, 1 when
// a file would be refused.
int checkWorkstation(bool backup, RunSummary *summary);

#endif // CHECKMODE_H
