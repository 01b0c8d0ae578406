#include "analysisresult.h"

#include <QtCore/qnumeric.h>

#include <algorithm>
#include <cmath>
#include <limits>

ClotCurve::ClotCurve()
    : m_type(Raw)
{
}

ClotCurve::PointType ClotCurve::type() const
{
    return m_type;
}

void ClotCurve::setType(PointType type)
{
    m_type = type;
}

QVector<ClotCurve::Segment> ClotCurve::segments() const
{
    return m_segments;
}

void ClotCurve::setSegments(const QVector<Segment> &segments)
{
    m_segments = segments;
}

void ClotCurve::append(const Segment &segment)
{
    m_segments.append(segment);
}

void ClotCurve::append(double x0, double dx, const QVector<double> &y)
{
    m_segments.append(Segment {x0, dx, y});
}

int ClotCurve::size() const
{
    int n = 0;
    for (const Segment &segment : m_segments)
        n += segment.y.size();
    return n;
}

bool ClotCurve::isEmpty() const
{
    return m_segments.isEmpty();
}

// The segment that holds point i, with i turned into the index within it; null when there is none.
static const ClotCurve::Segment *segmentOf(const QVector<ClotCurve::Segment> &segments, int &i)
{
    if (i < 0)
        return nullptr;
    for (const ClotCurve::Segment &segment : segments) {
        const int n = segment.y.size();
        if (i < n)
            return &segment;
        i -= n;
    }
    return nullptr;
}

double ClotCurve::x(int i) const
{
    const Segment *segment = segmentOf(m_segments, i);
    return segment ? segment->x0 + double(i) * segment->dx : 0.0;
}

double ClotCurve::y(int i) const
{
    const Segment *segment = segmentOf(m_segments, i);
    return segment ? segment->y.at(i) : 0.0;
}

void ClotCurve::remove(int from, int count)
{
    if (from < 0 || count <= 0)
        return;
    int k = 0;
    while (k < m_segments.size() && count != 0) {
        const int n = m_segments.at(k).y.size();
        if (from < n) {
            const int m = qMin(count, n - from);
            QVector<double> &y = m_segments[k].y;
            y.remove(from, m);
            count -= m;
            if (y.isEmpty()) {
                // The next segment moves to index k and is visited next; an emptied segment
                // held none of the values before the next one, so from stays (at 0).
                m_segments.remove(k);
                continue;
            }
        }
        from -= m_segments.at(k).y.size();
        ++k;
    }
}

ClotCurve ClotCurve::simplified() const
{
    return *this;
}

// qRound, saturated at the limits of int: no double, however large, overflows the conversion.
static int saturatedRound(double d)
{
    if (qIsNaN(d))
        return 0;
    if (d >= 2147483647.0)
        return std::numeric_limits<int>::max();
    if (d <= -2147483648.0)
        return std::numeric_limits<int>::min();
    return qRound(d);
}

ClotCurve ClotCurve::toType(PointType target) const
{
    if (target == m_type || target != OD || m_type != Raw)
        return *this;

    // Without a finite, non-zero step (and a finite start) the points have no x positions to
    // take a baseline from; such a curve stays raw rather than turning into made-up densities.
    if (!m_segments.isEmpty()) {
        const Segment &first = m_segments.first();
        if (!qIsFinite(first.x0) || !qIsFinite(first.dx) || first.dx == 0.0)
            return *this;
    }

    ClotCurve c = simplified();
    c.m_type = OD;
    if (c.m_segments.isEmpty())
        return c;

    Segment &s = c.m_segments.first();
    const int n = s.y.size();
    double *y = s.y.data();

    // The baseline is the mean over one x unit from x = 3.0 on (or from the first point).
    const double b = qMax(s.x0, 3.0);
    const int start = qMax(saturatedRound((b - s.x0) / s.dx), 0);
    const int w = qMin(n - start, qMax(1, saturatedRound(1.0 / s.dx)));
    if (w <= 0) {
        std::fill(y, y + n, 0.0);
        return c;
    }

    double sum = 0.0;
    for (int i = start; i < start + w; ++i)
        sum += y[i];
    const double base = sum / w;

    const int firstOD = start + w / 2;
    std::fill(y, y + firstOD, 0.0);
    const double floor = std::numeric_limits<double>::epsilon();
    for (int j = firstOD; j < n; ++j)
        y[j] = qMin(5.0, std::log10(base / qMax(y[j], floor)));
    return c;
}
