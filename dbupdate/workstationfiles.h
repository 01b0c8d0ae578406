#ifndef WORKSTATIONFILES_H
#define WORKSTATIONFILES_H

// The files of a workstation in the order they are upgraded, with the version their step
// writes (the steps' targetVersion()), or -1 for a file whose step writes none.
struct WorkstationFile
{
    const char *name;
    int targetVersion;
};

constexpr WorkstationFile workstationFiles[] = {
    {"profile.db", 3},
    {"data.db", 2},
    {"qc.db", -1},
};

#endif // WORKSTATIONFILES_H
