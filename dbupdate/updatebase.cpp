#include "updatebase.h"

#include <QDebug>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>

#include <cmath>

namespace {

// One log line per failed statement: file, line, error and statement, each item followed by
// one space, so "):" is followed by two and the line ends with "] ".
void reportSqlError(QSqlQuery query, const char *file, int line)
{
    const QString text = QString::fromUtf8(file) + QLatin1String(" ( ") + QString::number(line)
            + QLatin1String(" ):  ") + query.lastError().text() + QLatin1String(" : [ ")
            + query.lastQuery() + QLatin1String(" ] ");
    qWarning().noquote().nospace() << text;
}

void reportCantOpen(const QString &fileName, const QSqlError &error)
{
    qWarning("Can't open %s: %s", qUtf8Printable(fileName), qUtf8Printable(error.text()));
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

QString insertStatement(const QSqlDriver *driver, const QString &table, const QSqlRecord &record)
{
    const auto identifier = [driver](const QString &name, QSqlDriver::IdentifierType type) {
        return driver->isIdentifierEscaped(name, type) ? name : driver->escapeIdentifier(name, type);
    };

    QStringList names;
    QStringList values;
    names.reserve(record.count());
    values.reserve(record.count());
    for (int i = 0; i < record.count(); ++i) {
        names.append(identifier(record.fieldName(i), QSqlDriver::FieldName));
        values.append(sqlLiteral(record.value(i)));
    }
    return QLatin1String("INSERT INTO ") + identifier(table, QSqlDriver::TableName)
            + QLatin1String(" (") + names.join(QLatin1String(", ")) + QLatin1String(") VALUES (")
            + values.join(QLatin1String(", ")) + QLatin1Char(')');
}

} // namespace

UpdateBase::UpdateBase(const QString &fileName, QObject *parent)
    : QObject(parent)
{
    // Takes over the default connection, replacing the previous step's.
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"),
                                                QLatin1String(QSqlDatabase::defaultConnection));
    db.setDatabaseName(fileName);
    if (!db.open()) {
        reportCantOpen(fileName, db.lastError());
        return;
    }

    QSqlQuery query;
    // A rebuilt table must keep the references that other tables, views and triggers hold to
    // its name; SQLite would otherwise move them to the "_bak" table that is dropped.
    if (!query.exec(QStringLiteral("PRAGMA legacy_alter_table=ON")))
        reportSqlError(query, __FILE__, __LINE__);

    // The write lock up front: a file that is not a database, is read-only or is in use by
    // another program fails here, before anything is changed.
    if (!query.exec(QStringLiteral("begin immediate"))) {
        reportCantOpen(fileName, query.lastError());
        return;
    }
    m_open = true;
    m_inTransaction = true;

    if (query.exec(QStringLiteral("select version from version")) && query.next())
        m_version = query.value(0).toInt();
}

UpdateBase::~UpdateBase()
{
    if (m_inTransaction) {
        QSqlQuery query;
        query.exec(QStringLiteral("rollback"));
    }
}

int UpdateBase::version() const
{
    return m_version;
}

bool UpdateBase::run()
{
    if (!m_inTransaction)
        return false;

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

    const QSqlDriver *driver = QSqlDatabase::database().driver();
    QSqlQuery insert;
    while (select.next()) {
        QSqlRecord record = select.record();
        for (const QString &name : droppedFields) {
            const int index = record.indexOf(name);
            if (index >= 0)
                record.remove(index);
        }
        for (int i = 0; i < extraFields.count(); ++i) {
            const int index = record.indexOf(extraFields.fieldName(i));
            if (index >= 0)
                record.setValue(index, extraFields.value(i));
            else
                record.append(extraFields.field(i));
        }

        if (!insert.exec(insertStatement(driver, table, record))) {
            reportSqlError(insert, __FILE__, __LINE__);
            checkTransaction();
            return false;
        }
    }

    // A read error ends the rows early; the caller would then drop a table not fully copied.
    if (select.lastError().isValid()) {
        reportSqlError(select, __FILE__, __LINE__);
        checkTransaction();
        return false;
    }
    return true;
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
