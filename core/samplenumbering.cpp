#include "tavoglobal.h"
#include "profile.h"

#include <QtCore/qdatetime.h>
#include <QtCore/qdebug.h>
#include <QtSql/qsqlerror.h>
#include <QtSql/qsqlquery.h>
#include <QtSql/qsqlrecord.h>

#include <limits>

// The location tags name the unit and lines as the application's logs have always named them.

int nextSampleNo(const QDate &date)
{
    QSqlQuery query(Profile::instance().dataDatabase());
    // sampleNo is text; the cast makes 12 count above 7, and a text without leading digits 0.
    if (!query.prepare(QStringLiteral(
                "select max(cast(sampleNo as integer)) from patient where date=:date")))
        qWarning() << ".\\tavoglobal(25):" << query.lastError();
    // A date binds as ISO 8601 text, the form the column holds; a null date binds as NULL.
    query.bindValue(QStringLiteral(":date"), QVariant(date), QSql::In);
    if (!query.exec())
        qWarning() << ".\\tavoglobal(29):" << query.lastError();
    // No row (a failed statement) or a NULL maximum (no sample that day) both count as 0. The
    // cast gives a 64-bit integer (saturated for longer digit runs): read all of it, since an int
    // would wrap or truncate it into a number that may already be in use.
    const qint64 largest = query.first() ? query.value(0).toLongLong() : 0;
    if (largest >= std::numeric_limits<int>::max())
        return 0;
    // Numbering begins at 1; a day whose numbers are all below 1 has not used it.
    return largest < 1 ? 1 : static_cast<int>(largest) + 1;
}

QString samplePrefix(tavo::SampleType type)
{
    switch (type) {
    case tavo::Statim:
        return Profile::instance().statim_sample_prefix(QStringLiteral("S"));
    case tavo::Qc:
        return Profile::instance().qc_sample_prefix(QStringLiteral("QC"));
    }
    return QString();
}

void setGeneratedValue(QSqlRecord &record, const QString &name, const QVariant &value)
{
    const int index = record.indexOf(name);
    record.setValue(index, value);
    record.setGenerated(index, true);
}
