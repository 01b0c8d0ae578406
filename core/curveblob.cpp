#include "curveblob_p.h"

#include <QtCore/qendian.h>

#include <cstddef>
#include <cstring>
#include <limits>

// Point type (qint32), segment count (quint32), then per segment x0, dx (doubles), value count
// (quint32) and the values, all big-endian: QDataStream's default form. The value arrays are
// converted in bulk.

enum { BlobHeaderSize = 8, SegmentHeaderSize = 20, ValueSize = 8 };

static char *putUInt32(char *p, quint32 v)
{
    qToBigEndian<quint32>(v, p);
    return p + 4;
}

static char *putDouble(char *p, double v)
{
    quint64 bits;
    std::memcpy(&bits, &v, sizeof bits);
    qToBigEndian<quint64>(bits, p);
    return p + 8;
}

QByteArray clotCurveToBlob(const ClotCurve &curve)
{
    const QVector<ClotCurve::Segment> segments = curve.segments();
    qint64 size = BlobHeaderSize;
    for (const ClotCurve::Segment &segment : segments)
        size += SegmentHeaderSize + qint64(ValueSize) * segment.y.size();
    // What a QByteArray can hold at most, with room for its header.
    if (size > std::numeric_limits<int>::max() - 64)
        return QByteArray();

    QByteArray blob(int(size), Qt::Uninitialized);
    char *p = blob.data();
    p = putUInt32(p, quint32(qint32(curve.type())));
    p = putUInt32(p, quint32(segments.size()));
    for (const ClotCurve::Segment &segment : segments) {
        p = putDouble(p, segment.x0);
        p = putDouble(p, segment.dx);
        const int m = segment.y.size();
        p = putUInt32(p, quint32(m));
        qToBigEndian<double>(segment.y.constData(), m, p);
        p += qptrdiff(ValueSize) * m;
    }
    Q_ASSERT(p == blob.constData() + blob.size());
    return blob;
}

namespace {

// Reads numbers as QDataStream does: one that does not fit into what is left reads as 0 and
// uses up the rest, so every number after it reads as 0 as well.
class BlobReader
{
public:
    explicit BlobReader(const QByteArray &buffer)
        : m_pos(buffer.constData())
        , m_end(buffer.constData() + buffer.size())
    {
    }

    quint32 readUInt32() { return read<quint32>(); }

    double readDouble()
    {
        const quint64 bits = read<quint64>();
        double v;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }

    // Fills dest with count values; those missing at the end stay as they are (zeros).
    void readDoubles(double *dest, quint32 count)
    {
        const qptrdiff available = (m_end - m_pos) / ValueSize;
        if (available < qptrdiff(count)) {
            qFromBigEndian<double>(m_pos, available, dest);
            m_pos = m_end;
        } else {
            qFromBigEndian<double>(m_pos, count, dest);
            m_pos += qptrdiff(ValueSize) * count;
        }
    }

private:
    template <typename T>
    T read()
    {
        if (m_end - m_pos < static_cast<std::ptrdiff_t>(sizeof(T))) {
            m_pos = m_end;
            return 0;
        }
        const T v = qFromBigEndian<T>(m_pos);
        m_pos += sizeof(T);
        return v;
    }

    const char *m_pos;
    const char *m_end;
};

} // namespace

ClotCurve ClotCurve::fromBuffer(const QByteArray &buffer)
{
    // A count is believed only as far as the whole buffer could hold its elements; a larger one
    // marks the blob as damaged and decoding stops there. So nothing allocates much more than
    // the buffer itself, and a blob that is merely cut short still reads with zeros at the end.
    const quint32 maxSegments = quint32(buffer.size() / SegmentHeaderSize);
    const quint32 maxValues = quint32(buffer.size() / ValueSize);

    BlobReader reader(buffer);
    ClotCurve curve;
    curve.m_type = PointType(qint32(reader.readUInt32()));
    const quint32 n = reader.readUInt32();
    if (n == 0 || n > maxSegments)
        return curve;

    curve.m_segments.resize(int(n));
    Segment *segments = curve.m_segments.data();
    for (quint32 i = 0; i < n; ++i) {
        Segment &segment = segments[i];
        segment.x0 = reader.readDouble();
        segment.dx = reader.readDouble();
        const quint32 m = reader.readUInt32();
        if (m > maxValues) {
            curve.m_segments.resize(int(i));
            break;
        }
        if (m != 0) {
            segment.y.resize(int(m));
            reader.readDoubles(segment.y.data(), m);
        }
    }
    return curve;
}
