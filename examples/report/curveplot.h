#ifndef CURVEPLOT_H
#define CURVEPLOT_H

#include <analysisresult.h>

#include <QtCore/qbytearray.h>
#include <QtCore/qstring.h>
#include <QtCore/qvector.h>
#include <QtGui/qpolygon.h>

// Draws a raw clot curve and its optical-density form one above the other, with axes and labels,
// and saves the picture in the format that the file's suffix names. False when the file cannot
// be written.
bool plotCurves(const ClotCurve &raw, const ClotCurve &od, const QString &title,
                const QString &fileName);

// The picture format that the suffix of fileName names ("png", "jpg", ...), as QImageWriter
// knows it; empty when it names none.
QByteArray pictureFormat(const QString &fileName);

// Reduces a line of any length to what whole pixel columns can show: per column the highest and
// the lowest point, in the order the line reaches them, so at most two points a column. Columns
// run from left, one pixel wide; a column of one or two points keeps them as they are. A point
// that is not finite breaks the line.
class PolylineReducer
{
public:
    PolylineReducer(double left, double width);

    void add(const QPointF &point);

    // The pieces of the reduced line, in the order the line first reached their columns.
    QVector<QPolygonF> pieces() const;

private:
    struct Column
    {
        QPointF top;
        QPointF bottom;
        qint64 firstAt = -1; // -1: no point here yet
        qint64 topAt = 0;
        qint64 bottomAt = 0;
        bool joined = false; // reached from a drawn point, not after a break
    };

    QVector<Column> m_columns;
    double m_left;
    qint64 m_count = 0;
    bool m_broken = true;
};

// Tick values for an axis from min to max: steps of 1, 2 or 5 times a power of ten, about five of
// them and never more than most. Empty when the range has no finite, positive width.
QVector<double> axisTicks(double min, double max, int most = 12);

#endif // CURVEPLOT_H
