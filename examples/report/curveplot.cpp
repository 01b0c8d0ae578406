#include "curveplot.h"

#include <QtCore/qfileinfo.h>

#include <QtGui/qfont.h>
#include <QtGui/qimage.h>
#include <QtGui/qimagewriter.h>
#include <QtGui/qpainter.h>
#include <QtGui/qpainterpath.h>

#include <algorithm>
#include <cmath>

namespace {

struct Range
{
    double min;
    double max;

    // Where v lies between min and max, from 0 to 1. Halved so that no difference overflows,
    // whatever finite values the curve holds.
    double fraction(double v) const { return (v * 0.5 - min * 0.5) / (max * 0.5 - min * 0.5); }
};

// A range that can be drawn: finite ends, max above min, and wide enough that its ends are
// different numbers even after the margin.
Range drawable(double min, double max)
{
    if (!std::isfinite(min) || !std::isfinite(max))
        return { 0.0, 1.0 };
    if (max > min)
        return { min, max };
    const double pad = std::max(std::abs(min) * 1e-6, 0.5);
    return { min - pad, min + pad };
}

// Calls f(x, y) for each point of the curve in order. Walks the segments once, where x(i) and
// y(i) walk them again for every point.
template<typename F>
void forEachPoint(const ClotCurve &curve, F f)
{
    const QVector<ClotCurve::Segment> segments = curve.segments();
    for (const ClotCurve::Segment &segment : segments) {
        for (int k = 0; k < segment.y.size(); ++k)
            f(segment.x0 + double(k) * segment.dx, segment.y.at(k));
    }
}

// The finite x (or y) values of the curve's points, from the smallest to the largest.
Range valueRange(const ClotCurve &curve, bool ofY)
{
    double min = 0.0, max = 1.0;
    bool first = true;
    forEachPoint(curve, [&](double x, double y) {
        const double v = ofY ? y : x;
        if (!std::isfinite(v))
            return;
        min = first ? v : std::min(min, v);
        max = first ? v : std::max(max, v);
        first = false;
    });
    return { min, max };
}

Range xRange(const ClotCurve &curve)
{
    const Range r = valueRange(curve, false);
    return drawable(r.min, r.max);
}

Range yRange(const ClotCurve &curve)
{
    const Range r = valueRange(curve, true);
    const double margin = (r.max * 0.5 - r.min * 0.5) * 0.16;
    return drawable(r.min - margin, r.max + margin);
}

} // namespace

QVector<double> axisTicks(double min, double max, int most)
{
    QVector<double> ticks;
    if (!std::isfinite(min) || !std::isfinite(max) || !(max > min) || most < 1)
        return ticks;
    // A step of 1, 2 or 5 times a power of ten that gives about five ticks.
    const double raw = (max * 0.5 - min * 0.5) / 2.5;
    if (!(raw > 0.0) || !std::isfinite(raw))
        return ticks;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    if (!(magnitude > 0.0) || !std::isfinite(magnitude))
        return ticks;
    const double f = raw / magnitude;
    const double step = (f < 1.5 ? 1.0 : f < 3.5 ? 2.0 : f < 7.5 ? 5.0 : 10.0) * magnitude;
    // Counted, not stepped: where the ends are so large that adding the step changes nothing, a
    // loop that adds it would never end.
    const double first = std::ceil(min / step);
    for (int i = 0; i < most; ++i) {
        const double tick = (first + i) * step;
        if (tick > max || !std::isfinite(tick))
            break;
        if (tick >= min && (ticks.isEmpty() || tick > ticks.last()))
            ticks.append(tick);
    }
    return ticks;
}

namespace {

void drawPanel(QPainter &p, const QRectF &area, const ClotCurve &curve, const QString &title,
               const QString &yLabel, const QColor &colour)
{
    const QRectF plot = area.adjusted(80, 36, -24, -52);
    const Range xr = xRange(curve);
    const Range yr = yRange(curve);
    const auto mapX = [&](double x) { return plot.left() + xr.fraction(x) * plot.width(); };
    const auto mapY = [&](double y) { return plot.bottom() - yr.fraction(y) * plot.height(); };

    QFont font = p.font();
    font.setPixelSize(13);
    font.setBold(false);
    p.setFont(font);

    // Grid and ticks.
    p.setPen(QPen(QColor(225, 225, 225), 1));
    for (const double x : axisTicks(xr.min, xr.max)) {
        p.setPen(QPen(QColor(225, 225, 225), 1));
        p.drawLine(QPointF(mapX(x), plot.top()), QPointF(mapX(x), plot.bottom()));
        p.setPen(Qt::black);
        p.drawText(QRectF(mapX(x) - 30, plot.bottom() + 4, 60, 16), Qt::AlignCenter,
                   QString::number(x, 'g', 4));
    }
    for (const double y : axisTicks(yr.min, yr.max)) {
        p.setPen(QPen(QColor(225, 225, 225), 1));
        p.drawLine(QPointF(plot.left(), mapY(y)), QPointF(plot.right(), mapY(y)));
        p.setPen(Qt::black);
        p.drawText(QRectF(plot.left() - 76, mapY(y) - 8, 70, 16), Qt::AlignRight | Qt::AlignVCenter,
                   QString::number(y, 'g', 4));
    }

    // Axes and labels.
    p.setPen(QPen(Qt::black, 1.5));
    p.drawLine(plot.bottomLeft(), plot.bottomRight());
    p.drawLine(plot.bottomLeft(), plot.topLeft());
    p.drawText(QRectF(plot.left(), plot.bottom() + 24, plot.width(), 18), Qt::AlignCenter,
               QStringLiteral("time (s)"));
    p.save();
    p.translate(area.left() + 16, plot.center().y());
    p.rotate(-90);
    p.drawText(QRectF(-plot.height() / 2, -10, plot.height(), 20), Qt::AlignCenter, yLabel);
    p.restore();
    font.setPixelSize(15);
    font.setBold(true);
    p.setFont(font);
    p.drawText(QRectF(plot.left(), area.top() + 8, plot.width(), 22), Qt::AlignLeft, title);

    // The curve, reduced to the plot's pixel columns: a long curve costs no more to draw than
    // a short one.
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(colour, 2));
    p.setClipRect(plot.adjusted(-1, -1, 1, 1));
    PolylineReducer reducer(plot.left(), plot.width());
    forEachPoint(curve, [&](double x, double y) { reducer.add(QPointF(mapX(x), mapY(y))); });
    const QVector<QPolygonF> pieces = reducer.pieces();
    QPainterPath path;
    for (const QPolygonF &piece : pieces) {
        path.moveTo(piece.first());
        for (int i = 1; i < piece.size(); ++i)
            path.lineTo(piece.at(i));
    }
    p.drawPath(path);
    p.setClipping(false);
    p.setRenderHint(QPainter::Antialiasing, false);
}

} // namespace

bool plotCurves(const ClotCurve &raw, const ClotCurve &od, const QString &title,
                const QString &fileName)
{
    const int width = 900;
    const int panel = 340;
    QImage image(width, 2 * panel + 40, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    QFont font = p.font();
    font.setPixelSize(17);
    font.setBold(true);
    p.setFont(font);
    p.drawText(QRectF(0, 8, width, 26), Qt::AlignCenter, title);
    drawPanel(p, QRectF(0, 40, width, panel), raw, QStringLiteral("Raw signal"),
              QStringLiteral("signal"), QColor(30, 90, 180));
    drawPanel(p, QRectF(0, 40 + panel, width, panel), od,
              QStringLiteral("Optical density (baseline from the first points)"),
              QStringLiteral("OD"), QColor(190, 40, 40));
    p.end();
    const QByteArray format = pictureFormat(fileName);
    return !format.isEmpty() && image.save(fileName, format.constData());
}

QByteArray pictureFormat(const QString &fileName)
{
    const QByteArray suffix = QFileInfo(fileName).suffix().toLower().toLatin1();
    if (suffix.isEmpty() || !QImageWriter::supportedImageFormats().contains(suffix))
        return QByteArray();
    return suffix;
}

PolylineReducer::PolylineReducer(double left, double width)
    : m_left(left)
{
    // Points lie from left to left + width, both ends included.
    const double columns = std::isfinite(width) ? std::floor(std::max(width, 0.0)) + 1.0 : 1.0;
    m_columns.resize(int(std::min(columns, 1e6)));
}

void PolylineReducer::add(const QPointF &point)
{
    if (!std::isfinite(point.x()) || !std::isfinite(point.y())) {
        m_broken = true;
        return;
    }
    const double offset = std::floor(point.x() - m_left);
    const int index = int(std::min(std::max(offset, 0.0), double(m_columns.size() - 1)));
    Column &column = m_columns[index];
    const qint64 at = m_count++;
    if (column.firstAt < 0) {
        column.top = column.bottom = point;
        column.firstAt = column.topAt = column.bottomAt = at;
        column.joined = !m_broken;
    } else if (point.y() < column.top.y()) {
        column.top = point;
        column.topAt = at;
    } else if (point.y() >= column.bottom.y()) {
        // The later of equal points, so that a column of two keeps both.
        column.bottom = point;
        column.bottomAt = at;
    }
    m_broken = false;
}

QVector<QPolygonF> PolylineReducer::pieces() const
{
    QVector<const Column *> reached;
    for (const Column &column : m_columns) {
        if (column.firstAt >= 0)
            reached.append(&column);
    }
    std::sort(reached.begin(), reached.end(),
              [](const Column *a, const Column *b) { return a->firstAt < b->firstAt; });
    QVector<QPolygonF> pieces;
    for (const Column *column : qAsConst(reached)) {
        if (!column->joined || pieces.isEmpty())
            pieces.append(QPolygonF());
        QPolygonF &piece = pieces.last();
        if (column->topAt == column->bottomAt) {
            piece << column->top;
        } else if (column->topAt < column->bottomAt) {
            piece << column->top << column->bottom;
        } else {
            piece << column->bottom << column->top;
        }
    }
    return pieces;
}
