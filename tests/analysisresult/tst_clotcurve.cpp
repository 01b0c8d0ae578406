#include <QtTest>

#include "analysisresult.h"
#include "curvereference.h"

#include <QtCore/qdir.h>
#include <QtCore/qdiriterator.h>
#include <QtCore/qtemporarydir.h>

#include <cmath>
#include <limits>

using CurveReference::sameBits;
using CurveReference::sameCurve;

class tst_ClotCurve : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void globalIndex();
    void remove_data();
    void remove();
    void toTypeWithoutConversion();
    void toTypeWorkedExamples_data();
    void toTypeWorkedExamples();
    void toTypeBaselineEdges();
    void toTypeUnusableStep_data();
    void toTypeUnusableStep();
    void toTypeExtremeSteps_data();
    void toTypeExtremeSteps();

    void fromBufferExamples();
    void fromBufferCutShort();
    void fromBufferHostileCounts_data();
    void fromBufferHostileCounts();
    void fromBufferMatchesStreamReading();
    void corpusReplay();

private:
    QTemporaryDir m_dir;
};

static QVector<double> values(std::initializer_list<double> list)
{
    return QVector<double>(list);
}

static ClotCurve twoSegmentsOfFive()
{
    ClotCurve c;
    c.append(0.0, 1.0, values({ 0, 1, 2, 3, 4 }));
    c.append(10.0, 1.0, values({ 5, 6, 7, 8, 9 }));
    return c;
}

static QVector<int> segmentSizes(const ClotCurve &c)
{
    QVector<int> sizes;
    for (const ClotCurve::Segment &s : c.segments())
        sizes.append(s.y.size());
    return sizes;
}

static QVector<double> allY(const ClotCurve &c)
{
    QVector<double> y;
    for (int i = 0; i < c.size(); ++i)
        y.append(c.y(i));
    return y;
}

void tst_ClotCurve::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir::setCurrent(m_dir.path()));
}

void tst_ClotCurve::globalIndex()
{
    ClotCurve c;
    QVERIFY(c.isEmpty());
    QCOMPARE(c.type(), ClotCurve::Raw);
    QCOMPARE(c.size(), 0);
    QCOMPARE(c.x(0), 0.0);
    QCOMPARE(c.y(0), 0.0);

    c.append(0.0, 0.5, values({ 1, 2 }));
    c.append(ClotCurve::Segment { 7.0, 2.0, QVector<double>() }); // takes no index
    c.append(10.0, 1.0, values({ 3 }));
    QCOMPARE(c.size(), 3);
    QCOMPARE(c.x(1), 0.5);
    QCOMPARE(c.x(2), 10.0);
    QCOMPARE(c.y(2), 3.0);
    QCOMPARE(c.x(3), 0.0);
    QCOMPARE(c.y(3), 0.0);
    QCOMPARE(c.x(-1), 0.0);

    // Segments without values make a curve that is not empty, though it has no points.
    ClotCurve hollow;
    hollow.append(ClotCurve::Segment());
    QVERIFY(!hollow.isEmpty());
    QCOMPARE(hollow.size(), 0);

    // Copies share the values but never see each other's changes.
    ClotCurve copy = c;
    copy.remove(0, 1);
    copy.setType(ClotCurve::OD);
    QCOMPARE(c.size(), 3);
    QCOMPARE(c.y(0), 1.0);
    QCOMPARE(c.type(), ClotCurve::Raw);
    QVERIFY(sameCurve(c.simplified(), c));
}

void tst_ClotCurve::remove_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("count");
    QTest::addColumn<QVector<int>>("sizes");
    QTest::addColumn<QVector<double>>("y");

    QTest::newRow("across the boundary") << 3 << 4 << QVector<int>{ 3, 3 }
                                         << values({ 0, 1, 2, 7, 8, 9 });
    QTest::newRow("first segment whole") << 0 << 5 << QVector<int>{ 5 }
                                         << values({ 5, 6, 7, 8, 9 });
    QTest::newRow("first and part of second") << 0 << 7 << QVector<int>{ 3 }
                                              << values({ 7, 8, 9 });
    QTest::newRow("beyond the end") << 0 << 100 << QVector<int>{} << QVector<double>{};
    QTest::newRow("inside second") << 6 << 2 << QVector<int>{ 5, 3 }
                                   << values({ 0, 1, 2, 3, 4, 5, 8, 9 });
    QTest::newRow("second segment whole") << 5 << 5 << QVector<int>{ 5 }
                                          << values({ 0, 1, 2, 3, 4 });
    QTest::newRow("past the last point") << 10 << 3 << QVector<int>{ 5, 5 }
                                         << values({ 0, 1, 2, 3, 4, 5, 6, 7, 8, 9 });
    QTest::newRow("negative count") << 0 << -1 << QVector<int>{ 5, 5 }
                                    << values({ 0, 1, 2, 3, 4, 5, 6, 7, 8, 9 });
}

void tst_ClotCurve::remove()
{
    QFETCH(int, from);
    QFETCH(int, count);
    QFETCH(QVector<int>, sizes);
    QFETCH(QVector<double>, y);

    ClotCurve c = twoSegmentsOfFive();
    const ClotCurve before = c;
    c.remove(from, count);
    QCOMPARE(segmentSizes(c), sizes);
    QCOMPARE(allY(c), y);
    QCOMPARE(c.isEmpty(), sizes.isEmpty());
    QVERIFY(sameCurve(before, twoSegmentsOfFive()));
}

void tst_ClotCurve::toTypeWithoutConversion()
{
    ClotCurve od;
    od.setType(ClotCurve::OD);
    od.append(0.0, 0.5, values({ 100, 50 }));
    QVERIFY(sameCurve(od.toType(ClotCurve::Raw), od));
    QVERIFY(sameCurve(od.toType(ClotCurve::OD), od));

    ClotCurve raw;
    raw.append(0.0, 0.5, values({ 100, 50 }));
    QVERIFY(sameCurve(raw.toType(ClotCurve::Raw), raw));
    QVERIFY(sameCurve(raw.toType(ClotCurve::PointType(7)), raw));

    const ClotCurve none = ClotCurve().toType(ClotCurve::OD);
    QCOMPARE(none.type(), ClotCurve::OD);
    QVERIFY(none.isEmpty());
}

void tst_ClotCurve::toTypeWorkedExamples_data()
{
    QTest::addColumn<double>("x0");
    QTest::addColumn<double>("dx");
    QTest::addColumn<QVector<double>>("raw");
    QTest::addColumn<QVector<double>>("od");

    QTest::newRow("baseline from x 3") << 0.0 << 0.5
                                       << values({ 100, 100, 100, 100, 100, 100, 100, 100, 50, 10 })
                                       << values({ 0, 0, 0, 0, 0, 0, 0, 0, 0.3010299956639812, 1 });
    QTest::newRow("starts after x 3") << 4.0 << 0.25 << values({ 80, 80, 80, 80, 40, 8 })
                                      << values({ 0, 0, 0, 0, 0.3010299956639812, 1 });
    QTest::newRow("too short for the baseline") << 0.0 << 0.5 << values({ 7, 8, 9 })
                                                << values({ 0, 0, 0 });
    // Zero, negative and tiny values are floored at 2^-52, and the density is capped at 5.0;
    // a value above the baseline gives a negative density.
    QTest::newRow("cap and floor") << 3.0 << 1.0 << values({ 1000, 0, -4, 1e-300, 2000 })
                                   << values({ 0, 5, 5, 5, std::log10(1000.0 / 2000.0) });
}

void tst_ClotCurve::toTypeWorkedExamples()
{
    QFETCH(double, x0);
    QFETCH(double, dx);
    QFETCH(QVector<double>, raw);
    QFETCH(QVector<double>, od);

    ClotCurve c;
    c.append(x0, dx, raw);
    c.append(20.0, 0.5, values({ 100, 0, -1 }));
    const ClotCurve converted = c.toType(ClotCurve::OD);

    QCOMPARE(converted.type(), ClotCurve::OD);
    QCOMPARE(converted.segments().size(), 2);
    const ClotCurve::Segment first = converted.segments().at(0);
    QVERIFY(sameBits(first.x0, x0) && sameBits(first.dx, dx));
    QCOMPARE(first.y.size(), od.size());
    for (int i = 0; i < od.size(); ++i)
        QVERIFY2(sameBits(first.y.at(i), od.at(i)),
                 qPrintable(QString("value %1: %2").arg(i).arg(first.y.at(i), 0, 'g', 17)));
    // Only the first segment is converted, and the source keeps its raw values.
    QCOMPARE(converted.segments().at(1).y, values({ 100, 0, -1 }));
    QCOMPARE(c.type(), ClotCurve::Raw);
    QCOMPARE(c.segments().at(0).y, raw);
}

void tst_ClotCurve::toTypeBaselineEdges()
{
    // The baseline index is rounded with halves upward: (3.0 - 0.0) / 0.4 = 7.5 gives s = 8, and
    // 1 / 0.4 = 2.5 gives w = 3, so base = mean(y[8..10]) and densities start at index 9.
    QVector<double> raw(12, 64.0);
    raw[8] = 10.0;
    raw[9] = 20.0;
    raw[10] = 30.0;
    raw[11] = 2.0;
    ClotCurve c;
    c.append(0.0, 0.4, raw);
    const QVector<double> y = c.toType(ClotCurve::OD).segments().at(0).y;
    for (int i = 0; i < 9; ++i)
        QCOMPARE(y.at(i), 0.0);
    QVERIFY(sameBits(y.at(9), std::log10(20.0 / 20.0)));
    QVERIFY(sameBits(y.at(10), std::log10(20.0 / 30.0)));
    QVERIFY(sameBits(y.at(11), std::log10(20.0 / 2.0)));

    // A negative step: s = 0 and a baseline of one point.
    ClotCurve backwards;
    backwards.append(0.0, -1.0, values({ 50, 25, 5 }));
    const QVector<double> b = backwards.toType(ClotCurve::OD).segments().at(0).y;
    QVERIFY(sameBits(b.at(0), 0.0) && sameBits(b.at(1), std::log10(2.0))
            && sameBits(b.at(2), 1.0));

    // NaN values do not become densities.
    ClotCurve nan;
    nan.append(3.0, 1.0, values({ 10, qQNaN(), 1 }));
    const QVector<double> n = nan.toType(ClotCurve::OD).segments().at(0).y;
    QVERIFY(qIsNaN(n.at(1)));
    QCOMPARE(n.at(2), 1.0);
}

void tst_ClotCurve::toTypeUnusableStep_data()
{
    QTest::addColumn<double>("x0");
    QTest::addColumn<double>("dx");
    const double inf = std::numeric_limits<double>::infinity();
    QTest::newRow("dx 0") << 0.0 << 0.0;
    QTest::newRow("dx -0") << 0.0 << -0.0;
    QTest::newRow("dx NaN") << 0.0 << qQNaN();
    QTest::newRow("dx +inf") << 0.0 << inf;
    QTest::newRow("dx -inf") << 0.0 << -inf;
    QTest::newRow("x0 NaN") << qQNaN() << 0.5;
    QTest::newRow("x0 -inf") << -inf << 0.5;
    QTest::newRow("x0 +inf") << inf << 0.5;
}

void tst_ClotCurve::toTypeUnusableStep()
{
    QFETCH(double, x0);
    QFETCH(double, dx);
    ClotCurve c;
    c.append(x0, dx, values({ 100, 100, 100, 100, 100, 100, 100, 100, 50, 10 }));
    const ClotCurve converted = c.toType(ClotCurve::OD);
    QCOMPARE(converted.type(), ClotCurve::Raw);
    QVERIFY(sameCurve(converted, c));
}

void tst_ClotCurve::toTypeExtremeSteps_data()
{
    QTest::addColumn<double>("x0");
    QTest::addColumn<double>("dx");
    QTest::addColumn<int>("zeros"); // leading values set to 0.0

    const double denormal = std::numeric_limits<double>::denorm_min();
    QTest::newRow("tiny dx, baseline far beyond the end") << 0.0 << 1e-300 << 4;
    QTest::newRow("denormal dx") << 0.0 << denormal << 4;
    QTest::newRow("far negative start") << -1e308 << 1.0 << 4;
    QTest::newRow("huge dx") << 3.0 << 1e308 << 0;
    QTest::newRow("tiny dx from x 3") << 3.0 << 1e-300 << 2; // w = all 4 points
    QTest::newRow("start near the int limit") << 3.0 - 2147483647.6 << 1.0 << 4;
}

void tst_ClotCurve::toTypeExtremeSteps()
{
    // No double may reach an int conversion that overflows: the sanitizer build checks this.
    QFETCH(double, x0);
    QFETCH(double, dx);
    QFETCH(int, zeros);
    ClotCurve c;
    c.append(x0, dx, values({ 40, 40, 20, 4 }));
    const ClotCurve od = c.toType(ClotCurve::OD);
    QCOMPARE(od.type(), ClotCurve::OD);
    const QVector<double> y = od.segments().at(0).y;
    QCOMPARE(y.size(), 4);
    for (int i = 0; i < zeros; ++i)
        QCOMPARE(y.at(i), 0.0);
    if (zeros < 4)
        QVERIFY(y.at(3) > 0.0);
}

void tst_ClotCurve::fromBufferExamples()
{
    ClotCurve curve = ClotCurve::fromBuffer(QByteArray::fromHex(
            "00000000 00000001 00000000 00000000 3fe00000 00000000 00000002 3ff00000 00000000 "
            "40000000 00000000"));
    ClotCurve expected;
    expected.append(0.0, 0.5, values({ 1.0, 2.0 }));
    QVERIFY(sameCurve(curve, expected));

    curve = ClotCurve::fromBuffer(QByteArray::fromHex("00000001 00000000"));
    QCOMPARE(curve.type(), ClotCurve::OD);
    QVERIFY(curve.isEmpty());

    curve = ClotCurve::fromBuffer(QByteArray());
    QCOMPARE(curve.type(), ClotCurve::Raw);
    QVERIFY(curve.isEmpty());

    // A type this build does not know is kept as read.
    QCOMPARE(int(ClotCurve::fromBuffer(QByteArray::fromHex("ffffffff 00000000")).type()), -1);
}

void tst_ClotCurve::fromBufferCutShort()
{
    ClotCurve full;
    full.setType(ClotCurve::OD);
    full.append(1.0, 0.25, values({ 1, 2 }));
    full.append(2.0, 0.5, values({ 3, 4, 5, 6, 7, 8 }));
    const QByteArray blob = CurveReference::encode(full);
    QCOMPARE(blob.size(), 8 + (20 + 16) + (20 + 48));

    // Cut inside the third value of the second segment, in the middle of a double.
    ClotCurve cut = ClotCurve::fromBuffer(blob.left(8 + 36 + 20 + 16 + 3));
    QCOMPARE(cut.type(), ClotCurve::OD);
    QCOMPARE(segmentSizes(cut), (QVector<int>{ 2, 6 }));
    QCOMPARE(cut.segments().at(0).y, values({ 1, 2 }));
    QCOMPARE(cut.segments().at(1).x0, 2.0);
    QCOMPARE(cut.segments().at(1).y, values({ 3, 4, 0, 0, 0, 0 }));

    // Cut after the first segment: the second reads as zeros without values.
    cut = ClotCurve::fromBuffer(blob.left(8 + 36));
    QCOMPARE(segmentSizes(cut), (QVector<int>{ 2, 0 }));
    QCOMPARE(cut.segments().at(1).dx, 0.0);

    // Every cut agrees with reading the stream number by number.
    for (int n = 0; n <= blob.size(); ++n)
        QVERIFY2(sameCurve(ClotCurve::fromBuffer(blob.left(n)),
                           CurveReference::decode(blob.left(n))),
                 qPrintable(QString::number(n)));
}

void tst_ClotCurve::fromBufferHostileCounts_data()
{
    QTest::addColumn<QByteArray>("blob");
    QTest::addColumn<int>("type");
    QTest::addColumn<QVector<int>>("sizes");

    QTest::newRow("4 billion segments in 8 bytes") << QByteArray::fromHex("00000001 ffffffff") << 1
                                                   << QVector<int>{};
    QTest::newRow("2 billion values then two") << QByteArray::fromHex(
            "00000000 00000001 3ff00000 00000000 3ff00000 00000000 7fffffff "
            "3ff00000 00000000 40000000 00000000")
                                               << 0 << QVector<int>{};
    // The first segment is kept; the damaged count of the second ends the curve.
    QTest::newRow("second segment damaged") << QByteArray::fromHex(
            "00000001 00000002 00000000 00000000 3ff00000 00000000 00000001 40000000 00000000 "
            "00000000 00000000 3ff00000 00000000 80000000")
                                            << 1 << QVector<int>{ 1 };
    // Counts the buffer could hold are honoured even when the data is missing.
    QTest::newRow("count within the buffer") << QByteArray::fromHex(
            "00000000 00000001 00000000 00000000 3ff00000 00000000 00000004 "
            "40000000 00000000")
                                             << 0 << QVector<int>{ 4 };
    QTest::newRow("segment count of one in 20 bytes")
            << QByteArray::fromHex("00000000 00000001 00000000 00000000 00000000") << 0
            << QVector<int>{ 0 };
    QTest::newRow("segment count of two in 20 bytes")
            << QByteArray::fromHex("00000000 00000002 00000000 00000000 00000000") << 0
            << QVector<int>{};
}

void tst_ClotCurve::fromBufferHostileCounts()
{
    QFETCH(QByteArray, blob);
    QFETCH(int, type);
    QFETCH(QVector<int>, sizes);
    const ClotCurve curve = ClotCurve::fromBuffer(blob);
    QCOMPARE(int(curve.type()), type);
    QCOMPARE(segmentSizes(curve), sizes);
    QVERIFY(sameCurve(curve, CurveReference::decode(blob)));
}

void tst_ClotCurve::fromBufferMatchesStreamReading()
{
    // Values whose bits must survive: NaN payloads, -0.0, infinities, denormals.
    quint64 payload = Q_UINT64_C(0x7ff4000000000123);
    double signalling;
    std::memcpy(&signalling, &payload, sizeof signalling);
    ClotCurve c;
    c.setType(ClotCurve::PointType(5));
    c.append(-0.0, qQNaN(), values({ signalling, -0.0, qInf(), -qInf(),
                                     std::numeric_limits<double>::denorm_min(), 1e308 }));
    c.append(ClotCurve::Segment());
    QVector<double> ramp(2000);
    for (int i = 0; i < ramp.size(); ++i)
        ramp[i] = 40000.0 - i * 3.25;
    c.append(3.0, 0.1, ramp);

    const QByteArray blob = CurveReference::encode(c);
    const ClotCurve decoded = ClotCurve::fromBuffer(blob);
    QVERIFY(sameCurve(decoded, c));
    QVERIFY(sameCurve(CurveReference::decode(blob), c));
}

void tst_ClotCurve::corpusReplay()
{
    // The fuzzer's saved inputs, replayed under the normal and the sanitizer build.
    QDirIterator it(QStringLiteral(CURVE_CORPUS_DIR), QDir::Files);
    int files = 0;
    while (it.hasNext()) {
        QFile file(it.next());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray blob = file.readAll();
        const ClotCurve curve = ClotCurve::fromBuffer(blob);
        QVERIFY2(sameCurve(curve, CurveReference::decode(blob)), qPrintable(file.fileName()));
        QVERIFY(curve.segments().size() <= blob.size() / 20);
        for (const ClotCurve::Segment &s : curve.segments())
            QVERIFY(s.y.size() <= blob.size() / 8);
        // What was decoded encodes and decodes to itself.
        QVERIFY(sameCurve(ClotCurve::fromBuffer(CurveReference::encode(curve)), curve));
        curve.toType(ClotCurve::OD);
        ++files;
    }
    QVERIFY(files >= 10);
}

QTEST_MAIN(tst_ClotCurve)
#include "tst_clotcurve.moc"
