/*
 * Preloaded into dbupdate (LD_PRELOAD) to write down every statement the program starts, so
 * that the benchmark can replay the program's own statements in the sqlite3 shell.
 *
 *   DBUPDATE_STATEMENT_TRACE=path   append, per statement, the database file's name, a NUL, the
 *                                   statement's text and a NUL to path
 *
 * Statements that triggers run are left out: replaying the statement runs the trigger again.
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <sqlite3.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

typedef int (*OpenFunction)(const char *, sqlite3 **, int, const char *);
typedef int (*TraceFunction)(sqlite3 *, unsigned, int (*)(unsigned, void *, void *, void *),
                             void *);
typedef const char *(*SqlFunction)(sqlite3_stmt *);

static OpenFunction realOpen;
static TraceFunction setTrace;
static SqlFunction statementText;
static int traceFd = -1;

static void setUp(void)
{
    const char *trace = getenv("DBUPDATE_STATEMENT_TRACE");

    /* Qt loads SQLite with its driver plugin, outside the global scope of RTLD_NEXT. */
    void *library = dlopen("libsqlite3.so.0", RTLD_LAZY | RTLD_NOLOAD);
    void *scope = library ? library : RTLD_NEXT;

    realOpen = (OpenFunction)dlsym(scope, "sqlite3_open_v2");
    setTrace = (TraceFunction)dlsym(scope, "sqlite3_trace_v2");
    statementText = (SqlFunction)dlsym(scope, "sqlite3_sql");
    if (!realOpen || !setTrace || !statementText) {
        fprintf(stderr, "statementtrace: SQLite not found\n");
        abort();
    }
    if (trace && *trace)
        traceFd = open(trace, O_WRONLY | O_CREAT | O_APPEND, 0644);
}

static int traceStatement(unsigned type, void *fileName, void *statement, void *text)
{
    /* A trigger's statements are announced by a comment in place of the statement's text. */
    const char *sql = statementText((sqlite3_stmt *)statement);
    size_t nameLength, sqlLength;
    char *record;

    (void)type;
    if (!sql || strcmp(sql, (const char *)text) != 0)
        return 0;
    nameLength = strlen((const char *)fileName) + 1;
    sqlLength = strlen(sql) + 1;
    record = malloc(nameLength + sqlLength);
    if (!record)
        abort();
    memcpy(record, fileName, nameLength);
    memcpy(record + nameLength, sql, sqlLength);
    if (write(traceFd, record, nameLength + sqlLength) < 0)
        abort();
    free(record);
    return 0;
}

int sqlite3_open_v2(const char *fileName, sqlite3 **db, int flags, const char *vfs)
{
    int result;
    const char *baseName;

    if (!realOpen)
        setUp();
    result = realOpen(fileName, db, flags, vfs);
    if (result == SQLITE_OK && traceFd >= 0) {
        /* A few bytes per connection, left to the end of the process. */
        baseName = strrchr(fileName, '/');
        setTrace(*db, SQLITE_TRACE_STMT, traceStatement,
                 strdup(baseName ? baseName + 1 : fileName));
    }
    return result;
}
