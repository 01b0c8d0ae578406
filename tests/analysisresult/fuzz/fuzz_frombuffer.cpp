// libFuzzer target for ClotCurve::fromBuffer, built by build.sh with clang, AddressSanitizer and
// UndefinedBehaviorSanitizer. It holds the bulk decoder against reading the stream number by
// number, checks the allocation bound, and runs what was decoded through encoding and toType.

#include "curveblob_p.h"
#include "curvereference.h"

#include <cstdint>
#include <cstdlib>

// The blob codec is linked into this target (for coverage and the internal encoder) and is also
// in libCore.so, from the same objects: the two copies of its globals are identical.
extern "C" const char *__asan_default_options()
{
    return "detect_odr_violation=0";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 1 << 20)
        return 0;
    const QByteArray blob
        = QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    const ClotCurve curve = ClotCurve::fromBuffer(blob);

    if (!CurveReference::sameCurve(curve, CurveReference::decode(blob)))
        abort();
    const QVector<ClotCurve::Segment> segments = curve.segments();
    if (segments.size() > blob.size() / 20)
        abort();
    for (const ClotCurve::Segment &segment : segments) {
        if (segment.y.size() > blob.size() / 8)
            abort();
    }

    const QByteArray encoded = clotCurveToBlob(curve);
    if (encoded != CurveReference::encode(curve))
        abort();
    if (!CurveReference::sameCurve(ClotCurve::fromBuffer(encoded), curve))
        abort();

    const ClotCurve od = curve.toType(ClotCurve::OD);
    if (od.size() != curve.size())
        abort();
    for (int i = 0; i <= curve.size(); ++i) {
        if (!CurveReference::sameBits(curve.x(i), od.x(i)))
            abort();
    }
    ClotCurve trimmed = curve;
    trimmed.remove(curve.size() / 3, curve.size() / 2 + 1);
    if (trimmed.size()
        != curve.size() - qMin(curve.size() / 2 + 1, curve.size() - curve.size() / 3))
        abort();
    return 0;
}
