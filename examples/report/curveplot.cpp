#include "curveplot.h"

#include <QtGui/qfont.h>
#include <QtGui/qimage.h>
#include <QtGui/qpainter.h>
#include <QtGui/qpainterpath.h>

#include <algorithm>
#include <cmath>

namespace {

struct Range
{
    double min;
    double max;
};

Range xRange(const ClotCurve &curve)
{
    Range r{ 0.0, 1.0 };
    if (curve.size() > 0) {
        r.min = curve.x(0);
        r.max = curve.x(curve.size() - 1);
    }
    if (!(r.max > r.min))
        r.max = r.min + 1.0;
    return r;
}

Range yRange(const ClotCurve &curve)
{
    Range r{ 0.0, 1.0 };
    bool first = true;
    for (int i = 0; i < curve.size(); ++i) {
        const double y = curve.y(i);
        if (!std::isfinite(y))
            continue;
        r.min = first ? y : std::min(r.min, y);
        r.max = first ? y : std::max(r.max, y);
        first = false;
    }
    const double margin = (r.max - r.min) * 0.08;
    r.min -= margin;
    r.max += margin;
    if (!(r.max > r.min)) {
        r.min -= 0.5;
        r.max += 0.5;
    }
    return r;
}

// A step of 1, 2 or 5 times a power of ten that gives about five ticks.
double niceStep(double span)
{
    const double raw = span / 5.0;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    const double f = raw / magnitude;
    return (f < 1.5 ? 1.0 : f < 3.5 ? 2.0 : f < 7.5 ? 5.0 : 10.0) * magnitude;
}

void drawPanel(QPainter &p, const QRectF &area, const ClotCurve &curve, const QString &title,
               const QString &yLabel, const QColor &colour)
{
    const QRectF plot = area.adjusted(80, 36, -24, -52);
    const Range xr = xRange(curve);
    const Range yr = yRange(curve);
    const auto mapX = [&](double x) {
        return plot.left() + (x - xr.min) / (xr.max - xr.min) * plot.width();
    };
    const auto mapY = [&](double y) {
        return plot.bottom() - (y - yr.min) / (yr.max - yr.min) * plot.height();
    };

    QFont font = p.font();
    font.setPixelSize(13);
    font.setBold(false);
    p.setFont(font);

    // Grid and ticks.
    p.setPen(QPen(QColor(225, 225, 225), 1));
    const double xs = niceStep(xr.max - xr.min);
    const double ys = niceStep(yr.max - yr.min);
    for (double x = std::ceil(xr.min / xs) * xs; x <= xr.max + 1e-9; x += xs) {
        p.setPen(QPen(QColor(225, 225, 225), 1));
        p.drawLine(QPointF(mapX(x), plot.top()), QPointF(mapX(x), plot.bottom()));
        p.setPen(Qt::black);
        p.drawText(QRectF(mapX(x) - 30, plot.bottom() + 4, 60, 16), Qt::AlignCenter,
                   QString::number(x, 'g', 4));
    }
    for (double y = std::ceil(yr.min / ys) * ys; y <= yr.max + 1e-12; y += ys) {
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

    // The curve, segment by segment.
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(colour, 2));
    p.setClipRect(plot.adjusted(-1, -1, 1, 1));
    QPainterPath path;
    bool started = false;
    for (int i = 0; i < curve.size(); ++i) {
        const double y = curve.y(i);
        if (!std::isfinite(y)) {
            started = false;
            continue;
        }
        const QPointF point(mapX(curve.x(i)), mapY(y));
        if (started)
            path.lineTo(point);
        else
            path.moveTo(point);
        started = true;
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
    return image.save(fileName, "PNG");
}
