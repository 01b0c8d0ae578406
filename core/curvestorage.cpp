#include "curveblob_p.h"
#include "profile.h"

#include <QtCore/qdebug.h>
#include <QtSql/qsqlerror.h>
#include <QtSql/qsqlquery.h>

// The location tags name the unit as the application's logs have always named it.

void ClotCurve::save(int patientId, const QString &item) const
{
    QSqlQuery query(Profile::instance().dataDatabase());
    if (isEmpty()) {
        if (!query.prepare(
                QStringLiteral("delete from curve where patientId=:patientId and item=:item")))
            qWarning() << ".\\analysisresult(88):" << query.lastError();
    } else {
        if (!query.prepare(QStringLiteral("insert into curve (patientId, item, curve) "
                                          "values(:patientId, :item, :curve)")))
            qWarning() << ".\\analysisresult(94):" << query.lastError();
        const QByteArray blob = clotCurveToBlob(*this);
        if (blob.isEmpty()) {
            // Storing an empty blob would lose the curve without a trace.
            qWarning("ClotCurve::save: the curve of patient %d, item %s is too large to store",
                     patientId, qUtf8Printable(item));
            return;
        }
        query.bindValue(QStringLiteral(":curve"), QVariant(blob));
    }
    query.bindValue(QStringLiteral(":patientId"), QVariant(patientId));
    query.bindValue(QStringLiteral(":item"), QVariant(item));
    if (!query.exec())
        qWarning() << ".\\analysisresult(106):" << query.lastError();
}

void ClotCurve::load(int patientId, const QString &item)
{
    // Whatever happens below, the old segments are gone; the point type stays unless a stored
    // curve replaces it.
    m_segments.clear();

    QSqlQuery query(Profile::instance().dataDatabase());
    query.setForwardOnly(true);
    if (!query.prepare(
            QStringLiteral("select curve from curve where patientId=:patientId and item=:item")))
        qWarning() << ".\\analysisresult(113):" << query.lastError();
    query.bindValue(QStringLiteral(":patientId"), QVariant(patientId));
    query.bindValue(QStringLiteral(":item"), QVariant(item));
    if (!query.exec())
        qWarning() << ".\\analysisresult(119):" << query.lastError();

    if (query.next()) {
        const QByteArray blob = query.value(0).toByteArray();
        if (!blob.isEmpty())
            *this = fromBuffer(blob);
    }
}
