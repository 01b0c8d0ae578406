// The report draws a stored clot curve; a curve that another tool wrote may hold millions of
// points. These figures put the picture of the reduced curve (two points a pixel column) beside
// the line through every point that a team would otherwise draw, on a plot of the report's size.

#include "curveplot.h"
#include "benchratios.h"

#include <QtCore/qtemporarydir.h>
#include <QtGui/qguiapplication.h>
#include <QtGui/qimage.h>
#include <QtGui/qpainter.h>
#include <QtGui/qpainterpath.h>

#include <cmath>

namespace {

const QRectF plot(80, 76, 796, 252);

// A clot curve of n raw values with some noise, as a sampled signal that drops while it clots.
ClotCurve noisyCurve(int n)
{
    QVector<double> y(n);
    quint32 seed = 1;
    for (int i = 0; i < n; ++i) {
        seed = seed * 1664525u + 1013904223u;
        y[i] = 52000.0 / (1.0 + 4.0 * i / n) + (seed >> 20);
    }
    ClotCurve curve;
    curve.append(0.0, 200.0 / n, y);
    return curve;
}

// The curve's points on the plot.
QVector<QPointF> plotted(int n)
{
    const ClotCurve curve = noisyCurve(n);
    const QVector<double> y = curve.segments().first().y;
    QVector<QPointF> points(n);
    for (int i = 0; i < n; ++i)
        points[i] = QPointF(plot.left() + plot.width() * i / (n - 1),
                            plot.bottom() - plot.height() * (y.at(i) - 10000.0) / 46000.0);
    return points;
}

void draw(QImage *image, const QPainterPath &path)
{
    image->fill(Qt::white);
    QPainter p(image);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(QColor(30, 90, 180), 2));
    p.drawPath(path);
}

void BM_DrawReduced(benchmark::State &state)
{
    const QVector<QPointF> points = plotted(int(state.range(0)));
    QImage image(900, 400, QImage::Format_RGB32);
    for (auto _ : state) {
        PolylineReducer reducer(plot.left(), plot.width());
        for (const QPointF &point : points)
            reducer.add(point);
        QPainterPath path;
        for (const QPolygonF &piece : reducer.pieces())
            path.addPolygon(piece);
        draw(&image, path);
    }
    state.SetItemsProcessed(state.iterations() * points.size());
}
BENCHMARK(BM_DrawReduced)->Arg(2000)->Arg(200000)->Arg(2000000)->Unit(benchmark::kMillisecond);

// The alternative: one path through every point.
void BM_DrawEveryPoint(benchmark::State &state)
{
    const QVector<QPointF> points = plotted(int(state.range(0)));
    QImage image(900, 400, QImage::Format_RGB32);
    for (auto _ : state) {
        QPainterPath path;
        path.addPolygon(QPolygonF(points));
        draw(&image, path);
    }
    state.SetItemsProcessed(state.iterations() * points.size());
}
BENCHMARK(BM_DrawEveryPoint)->Arg(2000)->Arg(200000)->Unit(benchmark::kMillisecond);

// The whole picture as the report saves it: both panels, axes, text and the PNG file.
void BM_PlotCurves(benchmark::State &state)
{
    const ClotCurve raw = noisyCurve(int(state.range(0)));
    const ClotCurve od = raw.toType(ClotCurve::OD);
    QTemporaryDir dir;
    const QString picture = dir.filePath(QStringLiteral("curve.png"));
    for (auto _ : state) {
        if (!plotCurves(raw, od, QStringLiteral("Clot curve"), picture))
            state.SkipWithError("the picture was not written");
    }
    state.SetItemsProcessed(state.iterations() * raw.size());
}
BENCHMARK(BM_PlotCurves)->Arg(2000)->Arg(2000000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    using benchratios::Goal;
    return benchratios::run(argc, argv, {
        { "every point / reduced, 2,000 points", "BM_DrawEveryPoint/2000", "BM_DrawReduced/2000" },
        { "every point / reduced, 200,000 points", "BM_DrawEveryPoint/200000",
          "BM_DrawReduced/200000" },
        { "whole picture, 2,000,000 / 2,000 points", "BM_PlotCurves/2000000",
          "BM_PlotCurves/2000" },
    });
}
