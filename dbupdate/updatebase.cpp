#include "updatebase.h"

#include "databasefile.h"

#include <QDebug>
#include <QLocale>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVector>

#include <cmath>
#include <limits>

namespace {

// One log line per failed statement: file, line, error and statement, each item followed by
// one space, so "):" is followed by two and the line ends with "] ".
void reportSqlError(const QSqlError &error, const QString &statement, const char *file, int line)
{
    // The unit's name only, also where the build hands the compiler relative paths (ccache).
    QString unit = QString::fromUtf8(file);
    const int slash = qMax(unit.lastIndexOf(QLatin1Char('/')), unit.lastIndexOf(QLatin1Char('\\')));
    unit = unit.mid(slash + 1);
    const QString text = unit + QLatin1String(" ( ") + QString::number(line)
            + QLatin1String(" ):  ") + error.text() + QLatin1String(" : [ ") + statement
            + QLatin1String(" ] ");
    qWarning().noquote().nospace() << text;
}

void reportSqlError(QSqlQuery query, const char *file, int line)
{
    reportSqlError(query.lastError(), query.lastQuery(), file, line);
}

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

// insertStatement() with a placeholder for each value.
QString preparedInsertStatement(const QSqlDriver *driver, const QString &table,
                                const QSqlRecord &record)
{
    QStringList names;
    names.reserve(record.count());
    for (int i = 0; i < record.count(); ++i)
        names.append(identifier(driver, record.fieldName(i), QSqlDriver::FieldName));
    QStringList placeholders;
    placeholders.reserve(record.count());
    for (int i = 0; i < record.count(); ++i)
        placeholders.append(QStringLiteral("?"));
    return QLatin1String("INSERT INTO ") + identifier(driver, table, QSqlDriver::TableName)
            + QLatin1String(" (") + names.join(QLatin1String(", ")) + QLatin1String(") VALUES (")
            + placeholders.join(QLatin1String(", ")) + QLatin1Char(')');
}

} // namespace

UpdateBase::UpdateBase(const QString &fileName, QObject *parent)
    : QObject(parent)
{
    if (!openDatabaseFile(fileName, &m_version))
        return;
    m_open = true;
    m_inTransaction = true;

    // A rebuilt table must keep the references that other tables, views and triggers hold to
    // its name; SQLite would otherwise move them to the "_bak" table that is dropped.
    QSqlQuery query;
    if (!query.exec(QStringLiteral("PRAGMA legacy_alter_table=ON")))
        reportSqlError(query, __FILE__, __LINE__);
}

UpdateBase::~UpdateBase()
{
    if (m_inTransaction)
        rollbackDatabaseFile();
}

int UpdateBase::version() const
{
    return m_version;
}

bool UpdateBase::isOpen() const
{
    return m_open && m_inTransaction;
}

int UpdateBase::targetVersion() const
{
    return -1;
}

bool UpdateBase::run()
{
    if (!m_inTransaction)
        return false;

    // Writing this program's version over a newer one would make a later upgrade run its
    // sections again.
    if (targetVersion() >= 0 && m_version > targetVersion()) {
        qWarning("%s has version %d, newer than this program's %d: left unchanged",
                 qUtf8Printable(QSqlDatabase::database().databaseName()), m_version,
                 targetVersion());
        rollbackDatabaseFile();
        m_inTransaction = false;
        return false;
    }

    const bool ok = update();
    if (!m_inTransaction) // SQLite rolled the step back; the file is as it was before it
        return false;

    QSqlQuery query;
    if (!m_written) {
        // Nothing to keep; a commit would still give a new, empty file its first page.
        query.exec(QStringLiteral("rollback"));
        m_inTransaction = false;
        return ok;
    }

    // Committed also after an early stop, so that the stop state stays for the next run.
    if (!query.exec(QStringLiteral("commit"))) {
        reportSqlError(query, __FILE__, __LINE__);
        query.exec(QStringLiteral("rollback"));
        m_inTransaction = false;
        return false;
    }
    m_inTransaction = false;
    return ok;
}

bool UpdateBase::execute(const QString &sql, const char *file, int line)
{
    // Once SQLite has rolled the step back, further statements would commit one by one.
    if (rolledBack())
        return true;

    m_written = true;
    QSqlQuery query;
    if (!query.exec(sql)) {
        reportSqlError(query, file, line);
        checkTransaction();
    }
    return true;
}

bool UpdateBase::renameTable(const QString &table, const QString &newName)
{
    // A rebuild that stopped left the original rows in the backup and some of them in the new
    // table: start again from the original rows, or the rows copied before would collide.
    if (newName == table + QLatin1String("_bak") && !rolledBack() && tableExists(newName)) {
        qWarning("Restoring %s from %s, left by an upgrade that stopped", qUtf8Printable(table),
                 qUtf8Printable(newName));
        execute(QStringLiteral("drop table if exists %1").arg(table), __FILE__, __LINE__);
        execute(QStringLiteral("alter table %1 rename to %2").arg(newName, table), __FILE__,
                __LINE__);
    }
    return execute(QStringLiteral("alter table %1 rename to %2").arg(table, newName), __FILE__,
                   __LINE__);
}

bool UpdateBase::copyTable(const QString &table, const QString &sourceTable,
                           const QSqlRecord &extraFields, const QStringList &droppedFields)
{
    if (rolledBack())
        return false;

    m_written = true;
    QSqlQuery select;
    select.setForwardOnly(true);
    if (!select.exec(QLatin1String("select * from ") + sourceTable)) {
        reportSqlError(select, __FILE__, __LINE__);
        checkTransaction();
        return !rolledBack();
    }

    // Every row goes into the same columns, so one insert statement, prepared at the first row,
    // takes them all with the row's values bound: a statement parsed per row would cost most of
    // the copy. A failure is logged with the row's values written out, as a statement of its own.
    const QSqlDriver *driver = QSqlDatabase::database().driver();
    QSqlQuery insert;
    QSqlRecord columns; // the inserted columns; the values of extra fields
    QVector<int> sources; // per inserted column, the column of the select, or -1 for an extra field
    bool prepared = false;
    while (select.next()) {
        if (!prepared) {
            columns = select.record();
            sources.resize(columns.count());
            for (int i = 0; i < sources.size(); ++i)
                sources[i] = i;
            for (const QString &name : droppedFields) {
                const int index = columns.indexOf(name);
                if (index >= 0) {
                    columns.remove(index);
                    sources.remove(index);
                }
            }
            for (int i = 0; i < extraFields.count(); ++i) {
                const int index = columns.indexOf(extraFields.fieldName(i));
                if (index >= 0) {
                    columns.setValue(index, extraFields.value(i));
                    sources[index] = -1;
                } else {
                    columns.append(extraFields.field(i));
                    sources.append(-1);
                }
            }
        }

        if (prepared || insert.prepare(preparedInsertStatement(driver, table, columns))) {
            prepared = true;
            for (int i = 0; i < sources.size(); ++i) {
                insert.bindValue(i, sqlValue(sources.at(i) >= 0 ? select.value(sources.at(i))
                                                                : columns.value(i)));
            }
            if (insert.exec())
                continue;
        }

        QSqlRecord row = columns;
        for (int i = 0; i < sources.size(); ++i) {
            if (sources.at(i) >= 0)
                row.setValue(i, select.value(sources.at(i)));
        }
        reportSqlError(insert.lastError(), insertStatement(driver, table, row), __FILE__, __LINE__);
        checkTransaction();
        return false;
    }

    // A read error ends the rows early; the caller would then drop a table not fully copied.
    if (select.lastError().isValid()) {
        reportSqlError(select, __FILE__, __LINE__);
        checkTransaction();
        return false;
    }
    return true;
}

bool UpdateBase::tableExists(const QString &table) const
{
    QSqlQuery query;
    query.prepare(QStringLiteral("select count(*) from sqlite_master where type = 'table'"
                                 " and name = ? collate nocase"));
    query.addBindValue(table);
    return query.exec() && query.next() && query.value(0).toInt() > 0;
}

// The step's transaction has ended before its work was done; nothing may be written any more.
bool UpdateBase::rolledBack() const
{
    return m_open && !m_inTransaction;
}

// SQLite rolls the whole transaction back on some errors (a full disk, an I/O error, a
// conflict resolved by ROLLBACK). A transaction can then be begun again, and that is how this
// finds out; the step is then over and its file as it was before it.
void UpdateBase::checkTransaction()
{
    if (!m_inTransaction)
        return;
    QSqlQuery probe;
    if (probe.exec(QStringLiteral("begin"))) {
        probe.exec(QStringLiteral("rollback"));
        m_inTransaction = false;
    }
}
