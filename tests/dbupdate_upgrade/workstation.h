#ifndef WORKSTATION_H
#define WORKSTATION_H

// Helpers of the upgrade tests: sample workstation files built with SQLite itself, the program
// run as a process, and typed reads of the results.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include <sqlite3.h>

namespace workstation {

using Row = QVector<QVariant>;

// One SQLite file opened for the checks. Values keep their storage class: integer as
// qlonglong, real as double, text as QString, blob as QByteArray, NULL as an invalid QVariant.
class Database
{
public:
    explicit Database(const QString &fileName)
    {
        if (sqlite3_open_v2(QFile::encodeName(fileName).constData(), &m_db, SQLITE_OPEN_READWRITE,
                            nullptr)
            != SQLITE_OK) {
            m_error = QString::fromUtf8(sqlite3_errmsg(m_db));
        }
    }
    ~Database() { sqlite3_close(m_db); }
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    // Runs a script of any number of statements; false and lastError() on the first failure.
    bool exec(const QString &script)
    {
        char *message = nullptr;
        if (sqlite3_exec(m_db, script.toUtf8().constData(), nullptr, nullptr, &message)
            != SQLITE_OK) {
            m_error = QString::fromUtf8(message);
            sqlite3_free(message);
            return false;
        }
        return true;
    }

    QVector<Row> rows(const QString &sql)
    {
        QVector<Row> result;
        sqlite3_stmt *stmt = nullptr;
        if (sqlite3_prepare_v2(m_db, sql.toUtf8().constData(), -1, &stmt, nullptr) != SQLITE_OK) {
            m_error = QString::fromUtf8(sqlite3_errmsg(m_db));
            return result;
        }
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            Row row;
            for (int i = 0; i < sqlite3_column_count(stmt); ++i)
                row.append(value(stmt, i));
            result.append(row);
        }
        sqlite3_finalize(stmt);
        return result;
    }

    // The first column of the first row, or an invalid QVariant.
    QVariant value(const QString &sql)
    {
        const QVector<Row> result = rows(sql);
        return result.isEmpty() || result.first().isEmpty() ? QVariant() : result.first().first();
    }

    QStringList strings(const QString &sql)
    {
        QStringList result;
        for (const Row &row : rows(sql))
            result.append(row.value(0).toString());
        return result;
    }

    // Every schema object and every row of every table, values with their storage class.
    // Two files with the same dump hold the same data under the same definitions.
    QStringList dump()
    {
        QStringList lines;
        const QVector<Row> objects =
                rows(QStringLiteral("select type, name, tbl_name, sql from sqlite_master "
                                    "order by type, name"));
        for (const Row &object : objects) {
            lines.append(QStringList{object[0].toString(), object[1].toString(),
                                     object[2].toString(), object[3].toString()}
                                 .join(QLatin1Char('|')));
            if (object[0].toString() != QLatin1String("table"))
                continue;
            const QString table = object[1].toString();
            for (const Row &row : rows(QStringLiteral("select * from \"%1\" order by rowid")
                                               .arg(table))) {
                QStringList fields;
                for (const QVariant &field : row)
                    fields.append(describe(field));
                lines.append(table + QLatin1String(": ") + fields.join(QLatin1Char('|')));
            }
        }
        return lines;
    }

    QString lastError() const { return m_error; }
    sqlite3 *handle() const { return m_db; }

    static QString describe(const QVariant &v)
    {
        if (!v.isValid())
            return QStringLiteral("NULL");
        switch (int(v.type())) {
        case QVariant::LongLong:
            return QLatin1String("i:") + v.toString();
        case QVariant::Double:
            return QLatin1String("r:") + QString::number(v.toDouble(), 'g', 17);
        case QVariant::ByteArray:
            return QLatin1String("b:") + QString::fromLatin1(v.toByteArray().toHex());
        default:
            return QLatin1String("t:") + v.toString();
        }
    }

private:
    static QVariant value(sqlite3_stmt *stmt, int i)
    {
        switch (sqlite3_column_type(stmt, i)) {
        case SQLITE_INTEGER:
            return QVariant(qlonglong(sqlite3_column_int64(stmt, i)));
        case SQLITE_FLOAT:
            return QVariant(sqlite3_column_double(stmt, i));
        case SQLITE_TEXT:
            return QVariant(QString::fromUtf8(
                    reinterpret_cast<const char *>(sqlite3_column_text(stmt, i)),
                    sqlite3_column_bytes(stmt, i)));
        case SQLITE_BLOB:
            return QVariant(QByteArray(static_cast<const char *>(sqlite3_column_blob(stmt, i)),
                                       sqlite3_column_bytes(stmt, i)));
        default:
            return QVariant();
        }
    }

    sqlite3 *m_db = nullptr;
    QString m_error;
};

inline QString sampleFile(const QString &name)
{
    return QStringLiteral(SAMPLES_DIR "/") + name;
}

// Creates fileName from one of the sample scripts; empty on success, else the error.
inline QString buildFromSample(const QString &fileName, const QString &sample)
{
    QFile script(sampleFile(sample));
    if (!script.open(QIODevice::ReadOnly))
        return QStringLiteral("cannot read ") + script.fileName();
    sqlite3 *db = nullptr;
    sqlite3_open(QFile::encodeName(fileName).constData(), &db);
    char *message = nullptr;
    QString error;
    if (sqlite3_exec(db, script.readAll().constData(), nullptr, nullptr, &message) != SQLITE_OK)
        error = sample + QLatin1String(": ") + QString::fromUtf8(message);
    sqlite3_free(message);
    sqlite3_close(db);
    return error;
}

struct Run
{
    int exitCode = -1;
    bool crashed = false;
    QByteArray standardError;
};

// Runs the upgrade program in dir with the given arguments.
inline Run runUpgrade(const QString &dir, const QStringList &arguments = QStringList(),
                      const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setWorkingDirectory(dir);
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(DBUPDATE_PATH), arguments);
    Run run;
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.crashed = process.exitStatus() != QProcess::NormalExit;
    run.exitCode = process.exitCode();
    run.standardError = process.readAllStandardError();
    return run;
}

inline QByteArray fileContents(const QString &fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace workstation

#endif // WORKSTATION_H
