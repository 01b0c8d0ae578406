#ifndef SQLFIXTURE_H
#define SQLFIXTURE_H

// Small helpers for tests that prepare or inspect SQLite files through a connection of their own.

#include <QtCore/qstringlist.h>
#include <QtCore/qvariant.h>
#include <QtSql/qsqldatabase.h>
#include <QtSql/qsqlerror.h>
#include <QtSql/qsqlquery.h>
#include <QtSql/qsqlrecord.h>

namespace SqlFixture {

// Runs the statements on the file (created when missing); false and a warning on the first failure.
inline bool exec(const QString &fileName, const QStringList &statements)
{
    const QString connection = QStringLiteral("fixture-") + fileName;
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(fileName);
        ok = db.open();
        for (const QString &statement : statements) {
            if (!ok)
                break;
            QSqlQuery query(db);
            ok = query.exec(statement);
            if (!ok)
                qWarning("fixture: %s: %s", qPrintable(statement),
                         qPrintable(query.lastError().text()));
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
    return ok;
}

// The rows of a query, each as a list of values.
inline QList<QVariantList> rows(const QString &fileName, const QString &statement)
{
    const QString connection = QStringLiteral("inspect-") + fileName;
    QList<QVariantList> result;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(fileName);
        if (db.open()) {
            QSqlQuery query(db);
            if (query.exec(statement)) {
                while (query.next()) {
                    QVariantList row;
                    for (int i = 0; i < query.record().count(); ++i)
                        row.append(query.value(i));
                    result.append(row);
                }
            } else {
                qWarning("inspect: %s: %s", qPrintable(statement),
                         qPrintable(query.lastError().text()));
            }
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
    return result;
}

// data.db, qc.db and syslog.db in the working directory, each with a table, so that a store
// opens them without a warning box.
inline bool createDataFiles()
{
    for (const char *name : { "data.db", "qc.db", "syslog.db" }) {
        if (!exec(QLatin1String(name), { QStringLiteral("create table t (x)") }))
            return false;
    }
    return true;
}

// A whole workstation: profile.db with its profile table and the given statements, and the
// data files.
inline bool createWorkstation(const QStringList &profileStatements = QStringList())
{
    QStringList profile{ QStringLiteral("create table profile (name text primary key, value)") };
    profile += profileStatements;
    return exec(QStringLiteral("profile.db"), profile) && createDataFiles();
}

inline QVariant value(const QString &fileName, const QString &statement)
{
    const QList<QVariantList> r = rows(fileName, statement);
    return r.isEmpty() || r.first().isEmpty() ? QVariant() : r.first().first();
}

} // namespace SqlFixture

#endif // SQLFIXTURE_H
