#include "tablecopy.h"

#include "updatebase.h"

#include <QLocale>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>

#include <cmath>
#include <limits>

namespace {

// The literal of a value as SQLite stores it. The driver's own formatting follows the declared
// type of the source column instead of the value, which would turn a blob into a hex text and
// put a text of an integer column into the statement unquoted.
QString sqlLiteral(const QVariant &value)
{
    // The driver reads an empty blob as a null byte array, and NULL as a null string.
    if (value.userType() == QMetaType::QByteArray)
        return QLatin1String("X'") + QString::fromLatin1(value.toByteArray().toHex())
                + QLatin1Char('\'');
    if (value.isNull())
        return QStringLiteral("NULL");

    switch (value.userType()) {
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return value.toString();
    case QMetaType::Float:
    case QMetaType::Double: {
        const double d = value.toDouble();
        if (std::isnan(d))
            return QStringLiteral("NULL"); // what SQLite itself stores for NaN
        if (std::isinf(d))
            return d > 0 ? QStringLiteral("9e999") : QStringLiteral("-9e999");
        QString text = QString::number(d, 'g', QLocale::FloatingPointShortest);
        // Keep a whole number a real: "3" would be stored as an integer.
        if (!text.contains(QLatin1Char('.')) && !text.contains(QLatin1Char('e')))
            text += QLatin1String(".0");
        return text;
    }
    default: {
        QString text = value.toString();
        text.replace(QLatin1Char('\''), QLatin1String("''"));
        return QLatin1Char('\'') + text + QLatin1Char('\'');
    }
    }
}

// The value to bind in place of sqlLiteral(value): the same storage class and content, so that
// a bound row is stored exactly as its literal statement would store it.
QVariant sqlValue(const QVariant &value)
{
    if (value.userType() == QMetaType::QByteArray) {
        // The driver binds a null byte array as NULL; the literal of an empty blob is X''.
        const QByteArray bytes = value.toByteArray();
        return bytes.isNull() ? QVariant(QByteArray("", 0)) : value;
    }
    if (value.isNull())
        return QVariant();

    switch (value.userType()) {
    case QMetaType::Bool:
        return qlonglong(value.toBool() ? 1 : 0);
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
        return value.toLongLong();
    case QMetaType::ULongLong: {
        // A literal beyond the 64-bit integers is read by SQLite as a real.
        const qulonglong u = value.toULongLong();
        if (u <= qulonglong(std::numeric_limits<qlonglong>::max()))
            return qlonglong(u);
        return double(u);
    }
    case QMetaType::Float:
    case QMetaType::Double:
        return value.toDouble(); // SQLite stores NaN as NULL, as the literal does
    case QMetaType::QString:
        return value;
    default:
        return value.toString();
    }
}

QString identifier(const QSqlDriver *driver, const QString &name, QSqlDriver::IdentifierType type)
{
    return driver->isIdentifierEscaped(name, type) ? name : driver->escapeIdentifier(name, type);
}

QString insertStatement(const QSqlDriver *driver, const QString &table, const QSqlRecord &record)
{
    QStringList names;
    QStringList values;
    names.reserve(record.count());
    values.reserve(record.count());
    for (int i = 0; i < record.count(); ++i) {
        names.append(identifier(driver, record.fieldName(i), QSqlDriver::FieldName));
        values.append(sqlLiteral(record.value(i)));
    }
    return QLatin1String("INSERT INTO ") + identifier(driver, table, QSqlDriver::TableName)
            + QLatin1String(" (") + names.join(QLatin1String(", ")) + QLatin1String(") VALUES (")
            + values.join(QLatin1String(", ")) + QLatin1Char(')');
}

QString identifier(const QString &name, QSqlDriver::IdentifierType type = QSqlDriver::FieldName)
{
    return identifier(QSqlDatabase::database().driver(), name, type);
}

// One column of the target: a column of the source, or the value of an extra field.
struct Column
{
    QString name;
    int source; // in the source's record, or -1
    QVariant value; // of the extra field
};

bool fitsRowByRow(const QSqlError &error)
{
    // A constraint, a type the column refuses or a column the target lacks: a row that does not
    // fit, which is found and logged as the statement of that row.
    switch (error.nativeErrorCode().toInt() & 0xff) {
    case 1:  // SQLITE_ERROR
    case 19: // SQLITE_CONSTRAINT
    case 20: // SQLITE_MISMATCH
        return true;
    default:
        return false;
    }
}

// Copies one row at a time to name the row that does not fit; the rows before it stay.
CopyResult copyRowByRow(const QString &table, const QString &sourceTable,
                        const QVector<Column> &columns, const QString &insertSelect,
                        const QSqlError &setError, const char *file, int line)
{
    QSqlQuery rows;
    rows.setForwardOnly(true);
    if (!rows.exec(QLatin1String("select rowid, * from ") + sourceTable)) {
        reportSqlError(setError, insertSelect, file, line);
        return CopyResult::Failed;
    }
    QSqlQuery insert;
    const bool prepared = insert.prepare(insertSelect + QLatin1String(" where rowid = ?"));
    while (rows.next()) {
        if (prepared) {
            int placeholder = 0;
            for (const Column &column : columns) {
                if (column.source < 0)
                    insert.bindValue(placeholder++, sqlValue(column.value));
            }
            insert.bindValue(placeholder, rows.value(0));
            if (insert.exec())
                continue;
        }
        // The row as the statement that would insert it, values written out.
        QSqlRecord row;
        for (const Column &column : columns) {
            QSqlField field(column.name);
            field.setValue(column.source >= 0 ? rows.value(column.source + 1) : column.value);
            row.append(field);
        }
        reportSqlError(insert.lastError(),
                       insertStatement(QSqlDatabase::database().driver(), table, row), file, line);
        return CopyResult::RowRejected;
    }
    if (rows.lastError().isValid()) {
        reportSqlError(rows.lastError(), rows.lastQuery(), file, line);
        return CopyResult::Failed;
    }
    return CopyResult::Copied; // every row went in on its own
}

bool tableExists(const QString &table)
{
    QSqlQuery query;
    query.prepare(QStringLiteral("select count(*) from sqlite_master where type = 'table'"
                                 " and name = ? collate nocase"));
    query.addBindValue(table);
    return query.exec() && query.next() && query.value(0).toInt() > 0;
}

const char stoppedRebuilds[] = "dbupdate_rebuild";

} // namespace

CopyResult copyRows(const QString &table, const QString &sourceTable, const QSqlRecord &extraFields,
                    const QStringList &droppedFields, const char *file, int line)
{
    QSqlQuery select;
    select.setForwardOnly(true);
    if (!select.exec(QLatin1String("select * from ") + sourceTable)) {
        reportSqlError(select.lastError(), select.lastQuery(), file, line);
        return CopyResult::Copied;
    }
    // No rows, nothing to insert: a target that would not take them is not asked.
    if (!select.next()) {
        if (!select.lastError().isValid())
            return CopyResult::Copied;
        reportSqlError(select.lastError(), select.lastQuery(), file, line);
        return CopyResult::Failed;
    }
    const QSqlRecord record = select.record();
    select.finish();

    QVector<Column> columns;
    for (int i = 0; i < record.count(); ++i)
        columns.append({record.fieldName(i), i, QVariant()});
    auto indexOf = [&columns](const QString &name) {
        for (int i = 0; i < columns.size(); ++i) {
            if (columns.at(i).name.compare(name, Qt::CaseInsensitive) == 0)
                return i;
        }
        return -1;
    };
    for (const QString &name : droppedFields) {
        const int index = indexOf(name);
        if (index >= 0)
            columns.remove(index);
    }
    for (int i = 0; i < extraFields.count(); ++i) {
        const int index = indexOf(extraFields.fieldName(i));
        const Column extra = {index < 0 ? extraFields.fieldName(i) : columns.at(index).name, -1,
                              extraFields.value(i)};
        if (index < 0)
            columns.append(extra);
        else
            columns.replace(index, extra);
    }

    // One statement moves the values as SQLite holds them, bytes of any encoding included.
    QStringList names;
    QStringList values;
    for (const Column &column : columns) {
        names.append(identifier(column.name));
        values.append(column.source >= 0 ? identifier(record.fieldName(column.source))
                                         : QStringLiteral("?"));
    }
    const QString insertSelect = QLatin1String("INSERT INTO ")
            + identifier(table, QSqlDriver::TableName) + QLatin1String(" (")
            + names.join(QLatin1String(", ")) + QLatin1String(") SELECT ")
            + values.join(QLatin1String(", ")) + QLatin1String(" FROM ") + sourceTable;

    QSqlQuery savepoint;
    savepoint.exec(QStringLiteral("savepoint copy_rows"));
    QSqlQuery insert;
    if (insert.prepare(insertSelect)) {
        int placeholder = 0;
        for (const Column &column : columns) {
            if (column.source < 0)
                insert.bindValue(placeholder++, sqlValue(column.value));
        }
        if (insert.exec()) {
            savepoint.exec(QStringLiteral("release copy_rows"));
            return CopyResult::Copied;
        }
    }
    const QSqlError error = insert.lastError();
    insert.finish();
    const bool undone = savepoint.exec(QStringLiteral("rollback to copy_rows"));
    if (undone)
        savepoint.exec(QStringLiteral("release copy_rows"));
    if (!undone || !fitsRowByRow(error)) {
        reportSqlError(error, insertSelect, file, line);
        return CopyResult::Failed;
    }
    return copyRowByRow(table, sourceTable, columns, insertSelect, error, file, line);
}

QVector<SiteObject> siteObjects(const QString &table)
{
    QVector<SiteObject> objects;
    QSqlQuery query;
    query.prepare(QStringLiteral("select type, name, sql from sqlite_master"
                                 " where type in ('index', 'trigger') and sql is not null"
                                 " and tbl_name = ? collate nocase order by rowid"));
    query.addBindValue(table);
    if (!query.exec())
        return objects;
    while (query.next())
        objects.append({query.value(0).toString(), query.value(1).toString(),
                        query.value(2).toString()});
    return objects;
}

void recreateSiteObjects(const QString &table, const QVector<SiteObject> &objects)
{
    for (const SiteObject &object : objects) {
        // The old one still stands on the backup, under the same name.
        QSqlQuery query;
        query.exec(QLatin1String("drop ") + object.type + QLatin1String(" if exists ")
                   + identifier(object.name));
        if (!query.exec(object.sql)) {
            qWarning("The %s %s of %s cannot be created again: %s", qUtf8Printable(object.type),
                     qUtf8Printable(object.name), qUtf8Printable(table),
                     qUtf8Printable(query.lastError().databaseText()));
        }
    }
}

bool noteStoppedRebuild(const QString &table, const QString &backup)
{
    QSqlQuery query;
    if (!query.exec(QStringLiteral("create table if not exists %1(name text primary key,"
                                   " backup text)")
                            .arg(QLatin1String(stoppedRebuilds))))
        return false;
    query.prepare(QStringLiteral("insert or replace into %1 values(?, ?)")
                          .arg(QLatin1String(stoppedRebuilds)));
    query.addBindValue(table);
    query.addBindValue(backup);
    return query.exec();
}

bool isStoppedRebuild(const QString &table, const QString &backup)
{
    if (!tableExists(QLatin1String(stoppedRebuilds)))
        return false;
    QSqlQuery query;
    query.prepare(QStringLiteral("select count(*) from %1 where name = ? collate nocase"
                                 " and backup = ? collate nocase")
                          .arg(QLatin1String(stoppedRebuilds)));
    query.addBindValue(table);
    query.addBindValue(backup);
    return query.exec() && query.next() && query.value(0).toInt() > 0;
}

void forgetStoppedRebuild(const QString &table)
{
    if (!tableExists(QLatin1String(stoppedRebuilds)))
        return;
    QSqlQuery query;
    query.prepare(QStringLiteral("delete from %1 where name = ? collate nocase")
                          .arg(QLatin1String(stoppedRebuilds)));
    query.addBindValue(table);
    query.exec();
    if (query.exec(QStringLiteral("select count(*) from %1").arg(QLatin1String(stoppedRebuilds)))
        && query.next() && query.value(0).toInt() == 0) {
        query.finish();
        query.exec(QStringLiteral("drop table %1").arg(QLatin1String(stoppedRebuilds)));
    }
}

int rowsNotIn(const QString &table, const QString &backup, const char *file, int line)
{
    QSqlQuery query;
    if (query.exec(QLatin1String("select count(*) from ") + table) && query.next()
        && query.value(0).toInt() == 0)
        return 0;
    // Compared byte for byte: a changed letter case is a change.
    const QSqlRecord record = QSqlDatabase::database().record(backup);
    QStringList compared;
    QStringList columns;
    for (int i = 0; i < record.count(); ++i) {
        columns.append(identifier(record.fieldName(i)));
        compared.append(columns.last() + QLatin1String(" collate binary"));
    }
    const QString sql = QStringLiteral("select count(*) from"
                                       " (select %1 from %2 except select %3 from %4)")
                                .arg(compared.join(QLatin1String(", ")), table,
                                     columns.join(QLatin1String(", ")), backup);
    if (!query.exec(sql) || !query.next()) {
        reportSqlError(query.lastError(), sql, file, line);
        return -1;
    }
    return query.value(0).toInt();
}
