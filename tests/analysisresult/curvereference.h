#ifndef CURVEREFERENCE_H
#define CURVEREFERENCE_H

// The curve blob read and written number by number through QDataStream, the slow obvious way, to
// hold the bulk codec of the library against. Shared by the tests and the fuzz target.

#include "analysisresult.h"

#include <QtCore/qdatastream.h>

#include <cstring>

namespace CurveReference {

inline QByteArray encode(const ClotCurve &curve)
{
    QByteArray blob;
    QDataStream out(&blob, QIODevice::WriteOnly);
    const QVector<ClotCurve::Segment> segments = curve.segments();
    out << qint32(curve.type()) << quint32(segments.size());
    for (const ClotCurve::Segment &segment : segments)
        out << segment.x0 << segment.dx << segment.y;
    return blob;
}

// Counts above what the whole buffer could hold (20 bytes a segment, 8 a value) end the decoding
// with the segments read so far; anything merely missing at the end reads as zeros.
inline ClotCurve decode(const QByteArray &blob)
{
    QDataStream in(blob);
    qint32 type = 0;
    quint32 n = 0;
    in >> type >> n;
    ClotCurve curve;
    curve.setType(ClotCurve::PointType(type));
    if (n > quint32(blob.size() / 20))
        return curve;
    for (quint32 i = 0; i < n; ++i) {
        ClotCurve::Segment segment;
        quint32 m = 0;
        in >> segment.x0 >> segment.dx >> m;
        if (m > quint32(blob.size() / 8))
            break;
        for (quint32 k = 0; k < m; ++k) {
            double v = 0.0;
            in >> v;
            segment.y.append(v);
        }
        curve.append(segment);
    }
    return curve;
}

inline bool sameBits(double a, double b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Equal type and segments, every double bit for bit (NaN payloads and -0.0 included).
inline bool sameCurve(const ClotCurve &a, const ClotCurve &b)
{
    if (a.type() != b.type())
        return false;
    const QVector<ClotCurve::Segment> sa = a.segments();
    const QVector<ClotCurve::Segment> sb = b.segments();
    if (sa.size() != sb.size())
        return false;
    for (int i = 0; i < sa.size(); ++i) {
        if (!sameBits(sa[i].x0, sb[i].x0) || !sameBits(sa[i].dx, sb[i].dx)
            || sa[i].y.size() != sb[i].y.size())
            return false;
        if (!sa[i].y.isEmpty()
            && std::memcmp(sa[i].y.constData(), sb[i].y.constData(),
                           sizeof(double) * size_t(sa[i].y.size()))
                != 0)
            return false;
    }
    return true;
}

} // namespace CurveReference

#endif // CURVEREFERENCE_H
