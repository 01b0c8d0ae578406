#include "workstation.h"

#include <QtCore/qdir.h>
#include <QtCore/qfile.h>
#include <QtCore/qfileinfo.h>
#include <QtCore/qprocess.h>
#include <QtTest/qtest.h>

#include <sqlite3.h>

namespace workstation {

namespace {

QVariant columnValue(sqlite3_stmt *stmt, int i)
{
    switch (sqlite3_column_type(stmt, i)) {
    case SQLITE_INTEGER:
        return QVariant(qlonglong(sqlite3_column_int64(stmt, i)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(stmt, i));
    case SQLITE_TEXT:
        return QVariant(QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, i)),
                                          sqlite3_column_bytes(stmt, i)));
    case SQLITE_BLOB:
        return QVariant(QByteArray(static_cast<const char *>(sqlite3_column_blob(stmt, i)),
                                   sqlite3_column_bytes(stmt, i)));
    default:
        return QVariant();
    }
}

// The data files and the table each holds when the test asks for none.
bool createDataFiles(const QStringList &dataStatements)
{
    const QStringList table{QStringLiteral("create table t (x)")};
    return exec(QStringLiteral("data.db"), dataStatements.isEmpty() ? table : dataStatements)
            && exec(QStringLiteral("qc.db"), table) && exec(QStringLiteral("syslog.db"), table);
}

} // namespace

Database::Database(const QString &fileName, OpenMode mode)
{
    const int flags = SQLITE_OPEN_READWRITE | (mode == CreateIfMissing ? SQLITE_OPEN_CREATE : 0);
    if (sqlite3_open_v2(QFile::encodeName(fileName).constData(), &m_db, flags, nullptr) != SQLITE_OK)
        m_error = QString::fromUtf8(sqlite3_errmsg(m_db));
    else
        sqlite3_busy_timeout(m_db, 5000);
}

Database::~Database()
{
    sqlite3_close(m_db);
}

bool Database::exec(const QString &script)
{
    char *message = nullptr;
    if (sqlite3_exec(m_db, script.toUtf8().constData(), nullptr, nullptr, &message) != SQLITE_OK) {
        m_error = message ? QString::fromUtf8(message) : QString::fromUtf8(sqlite3_errmsg(m_db));
        sqlite3_free(message);
        return false;
    }
    return true;
}

QVector<Row> Database::rows(const QString &sql)
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
            row.append(columnValue(stmt, i));
        result.append(row);
    }
    sqlite3_finalize(stmt);
    return result;
}

QVariant Database::value(const QString &sql)
{
    const QVector<Row> result = rows(sql);
    return result.isEmpty() || result.first().isEmpty() ? QVariant() : result.first().first();
}

QStringList Database::strings(const QString &sql)
{
    QStringList result;
    for (const Row &row : rows(sql))
        result.append(row.value(0).toString());
    return result;
}

QStringList Database::dump()
{
    QStringList lines;
    const QVector<Row> objects = rows(QStringLiteral("select type, name, tbl_name, sql from sqlite_master "
                                                     "order by type, name"));
    for (const Row &object : objects) {
        lines.append(QStringList{object[0].toString(), object[1].toString(), object[2].toString(),
                                 object[3].toString()}
                             .join(QLatin1Char('|')));
        if (object[0].toString() != QLatin1String("table"))
            continue;
        const QString table = object[1].toString();
        for (const Row &row : rows(QStringLiteral("select * from \"%1\" order by rowid").arg(table))) {
            QStringList fields;
            for (const QVariant &field : row)
                fields.append(describe(field));
            lines.append(table + QLatin1String(": ") + fields.join(QLatin1Char('|')));
        }
    }
    return lines;
}

QString Database::describe(const QVariant &value)
{
    if (!value.isValid())
        return QStringLiteral("NULL");
    switch (int(value.type())) {
    case QVariant::LongLong:
        return QLatin1String("i:") + value.toString();
    case QVariant::Double:
        return QLatin1String("r:") + QString::number(value.toDouble(), 'g', 17);
    case QVariant::ByteArray:
        return QLatin1String("b:") + QString::fromLatin1(value.toByteArray().toHex());
    default:
        return QLatin1String("t:") + value.toString();
    }
}

bool exec(const QString &fileName, const QStringList &statements)
{
    Database db(fileName, Database::CreateIfMissing);
    if (!db.lastError().isEmpty()) {
        qWarning("fixture: %s: %s", qPrintable(fileName), qPrintable(db.lastError()));
        return false;
    }
    for (const QString &statement : statements) {
        if (!db.exec(statement)) {
            qWarning("fixture: %s: %s", qPrintable(statement), qPrintable(db.lastError()));
            return false;
        }
    }
    return true;
}

bool createDataFiles()
{
    return createDataFiles(QStringList());
}

bool createWorkstation(const QStringList &profileStatements, const QStringList &dataStatements)
{
    QStringList profile{QStringLiteral("create table profile (name text primary key, value)")};
    profile += profileStatements;
    return exec(QStringLiteral("profile.db"), profile) && createDataFiles(dataStatements);
}

QString sampleFile(const QString &name)
{
    return QStringLiteral(SAMPLES_DIR "/") + name;
}

QString buildFromSample(const QString &fileName, const QString &sample)
{
    QFile script(sampleFile(sample));
    if (!script.open(QIODevice::ReadOnly))
        return QStringLiteral("cannot read ") + script.fileName();
    Database db(fileName, Database::CreateIfMissing);
    if (!db.exec(QString::fromUtf8(script.readAll())))
        return sample + QLatin1String(": ") + db.lastError();
    return QString();
}

QList<QVariantList> rows(const QString &fileName, const QString &statement)
{
    Database db(fileName, Database::CreateIfMissing);
    QList<QVariantList> result;
    for (const Row &row : db.rows(statement))
        result.append(row.toList());
    if (!db.lastError().isEmpty())
        qWarning("inspect: %s: %s", qPrintable(statement), qPrintable(db.lastError()));
    return result;
}

QVariant value(const QString &fileName, const QString &statement)
{
    const QList<QVariantList> r = rows(fileName, statement);
    return r.isEmpty() || r.first().isEmpty() ? QVariant() : r.first().first();
}

QString sqlite(const QString &file, const QString &sql)
{
    QProcess process;
    process.start(QStringLiteral(SQLITE3_EXECUTABLE), {QStringLiteral("-batch"), file});
    process.write(sql.toUtf8());
    process.closeWriteChannel();
    if (!process.waitForFinished(60000) || process.exitCode() != 0) {
        const QString error = QString::fromUtf8(process.readAllStandardError());
        QWARN(qPrintable(QStringLiteral("sqlite3 %1 failed: %2").arg(file, error)));
        return QLatin1String("error: ") + error;
    }
    return QString::fromUtf8(process.readAllStandardOutput());
}

QStringList databaseFiles()
{
    return {QStringLiteral("profile.db"), QStringLiteral("data.db"), QStringLiteral("qc.db")};
}

QString dump(const QString &directory, const QStringList &files)
{
    QString text;
    for (const QString &name : files) {
        const QString path = QDir(directory).filePath(name);
        if (!QFileInfo::exists(path)) {
            text += QStringLiteral("-- %1 absent\n").arg(name);
            continue;
        }
        text += QStringLiteral("-- %1\n").arg(name) + sqlite(path, QStringLiteral(".dump\n"));
    }
    return text;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
}

bool copyDirectory(const QString &from, const QString &to)
{
    if (!QDir().mkpath(to))
        return false;
    const QDir source(from);
    for (const QString &name : source.entryList(QDir::Files | QDir::Hidden)) {
        QFile::remove(QDir(to).filePath(name));
        if (!QFile::copy(source.filePath(name), QDir(to).filePath(name)))
            return false;
    }
    // Snapshot directories go along.
    for (const QString &name : source.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden)) {
        if (!copyDirectory(source.filePath(name), QDir(to).filePath(name)))
            return false;
    }
    return true;
}

WorkDirectory::WorkDirectory()
    : m_current(m_dir.isValid() && QDir::setCurrent(m_dir.path()))
{
}

WorkDirectory::~WorkDirectory()
{
    QDir::setCurrent(QDir::tempPath());
}

} // namespace workstation
