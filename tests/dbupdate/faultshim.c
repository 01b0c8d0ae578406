/*
 * Preloaded into dbupdate (LD_PRELOAD) to end the process at a chosen sqlite3_step call, as a
 * power loss or a crash would.
 *
 *   DBUPDATE_FAULT_STEP=N     end the process by SIGKILL at the N-th call (1-based)
 *   DBUPDATE_FAULT_AFTER=1    ... after that call has run instead of before it
 *   DBUPDATE_FAULT_RESULT=C   ... or let that call return the result code C without running it
 *                             (SQLITE_IOERR, 10: a disk that fails a read)
 *   DBUPDATE_FAULT_TRACE=path append "N<TAB>statement" for every call to path
 *
 * and to end it at a file replacement, or make its disk look full:
 *
 *   DBUPDATE_FAULT_RENAME=N   end the process by SIGKILL at the N-th rename() call
 *                             (after it with DBUPDATE_FAULT_AFTER=1)
 *   DBUPDATE_FAULT_FREE=B     statvfs() reports B bytes free to the program
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sqlite3.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/statvfs.h>
#include <unistd.h>

typedef int (*StepFunction)(sqlite3_stmt *);
typedef const char *(*SqlFunction)(sqlite3_stmt *);

static StepFunction realStep;
static SqlFunction statementText;
static long callCount;
static long faultStep = -1;
static int faultAfter;
static int faultResult = -1;
static int traceFd = -1;

static void setUp(void)
{
    const char *step = getenv("DBUPDATE_FAULT_STEP");
    const char *after = getenv("DBUPDATE_FAULT_AFTER");
    const char *trace = getenv("DBUPDATE_FAULT_TRACE");
    const char *code = getenv("DBUPDATE_FAULT_RESULT");

    /* Qt loads SQLite with its driver plugin, outside the global scope of RTLD_NEXT. */
    void *library = dlopen("libsqlite3.so.0", RTLD_LAZY | RTLD_NOLOAD);
    void *scope = library ? library : RTLD_NEXT;

    realStep = (StepFunction)dlsym(scope, "sqlite3_step");
    statementText = (SqlFunction)dlsym(scope, "sqlite3_sql");
    if (!realStep || !statementText) {
        fprintf(stderr, "faultshim: sqlite3_step not found\n");
        abort();
    }
    if (step && *step)
        faultStep = strtol(step, NULL, 10);
    faultAfter = after && strcmp(after, "1") == 0;
    if (code && *code)
        faultResult = (int)strtol(code, NULL, 10);
    if (trace && *trace)
        traceFd = open(trace, O_WRONLY | O_CREAT | O_APPEND, 0644);
}

/* One line per call, written at once so that it survives the kill. */
static void traceCall(sqlite3_stmt *statement)
{
    char line[160];
    const char *sql = statementText(statement);
    int length = snprintf(line, sizeof line - 1, "%ld\t", callCount);
    if (!sql || !*sql)
        sql = "(inside SQLite)";
    for (; *sql && length < (int)sizeof line - 2; ++sql)
        line[length++] = (*sql == '\n' || *sql == '\t') ? ' ' : *sql;
    line[length++] = '\n';
    if (write(traceFd, line, (size_t)length) < 0)
        abort();
}

int sqlite3_step(sqlite3_stmt *statement)
{
    int result;

    if (!realStep)
        setUp();
    ++callCount;
    if (traceFd >= 0)
        traceCall(statement);
    if (callCount == faultStep && faultResult >= 0)
        return faultResult;
    if (callCount == faultStep && !faultAfter)
        kill(getpid(), SIGKILL);
    result = realStep(statement);
    if (callCount == faultStep && faultAfter)
        kill(getpid(), SIGKILL);
    return result;
}

static long renameCount;

int rename(const char *from, const char *to)
{
    typedef int (*RenameFunction)(const char *, const char *);
    static RenameFunction realRename;
    const char *fault = getenv("DBUPDATE_FAULT_RENAME");
    const char *after = getenv("DBUPDATE_FAULT_AFTER");
    const int killNow = fault && *fault && ++renameCount == strtol(fault, NULL, 10);
    int result;

    if (!realRename)
        realRename = (RenameFunction)dlsym(RTLD_NEXT, "rename");
    if (killNow && !(after && strcmp(after, "1") == 0))
        kill(getpid(), SIGKILL);
    result = realRename(from, to);
    if (killNow)
        kill(getpid(), SIGKILL);
    return result;
}

static void limitFree(unsigned long blockSize, fsblkcnt_t *available, fsblkcnt_t *free)
{
    const char *bytes = getenv("DBUPDATE_FAULT_FREE");
    if (!bytes || !*bytes || blockSize == 0)
        return;
    *available = (fsblkcnt_t)(strtoull(bytes, NULL, 10) / blockSize);
    *free = *available;
}

int statvfs(const char *path, struct statvfs *buffer)
{
    typedef int (*StatFunction)(const char *, struct statvfs *);
    static StatFunction realStat;
    int result;

    if (!realStat)
        realStat = (StatFunction)dlsym(RTLD_NEXT, "statvfs");
    result = realStat(path, buffer);
    if (result == 0)
        limitFree(buffer->f_frsize, &buffer->f_bavail, &buffer->f_bfree);
    return result;
}

#ifdef __GLIBC__
int statvfs64(const char *path, struct statvfs64 *buffer)
{
    typedef int (*StatFunction)(const char *, struct statvfs64 *);
    static StatFunction realStat;
    int result;

    if (!realStat)
        realStat = (StatFunction)dlsym(RTLD_NEXT, "statvfs64");
    result = realStat(path, buffer);
    if (result == 0) {
        fsblkcnt_t available = (fsblkcnt_t)buffer->f_bavail;
        fsblkcnt_t free = (fsblkcnt_t)buffer->f_bfree;
        limitFree(buffer->f_frsize, &available, &free);
        buffer->f_bavail = available;
        buffer->f_bfree = free;
    }
    return result;
}
#endif
