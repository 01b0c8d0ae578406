/*
 * Preloaded into dbupdate (LD_PRELOAD) to end the process at a chosen sqlite3_step call, as a
 * power loss or a crash would.
 *
 *   DBUPDATE_FAULT_STEP=N     end the process by SIGKILL at the N-th call (1-based)
 *   DBUPDATE_FAULT_AFTER=1    ... after that call has run instead of before it
 *   DBUPDATE_FAULT_RESULT=C   ... or let that call return the result code C without running it
 *                             (SQLITE_IOERR, 10: a disk that fails a read)
 *   DBUPDATE_FAULT_TRACE=path append "N<TAB>statement" for every call to path
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sqlite3.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
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
