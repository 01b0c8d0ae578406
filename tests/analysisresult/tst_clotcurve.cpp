#include <QtTest>

#include "analysisresult.h"
#include "curvereference.h"

#include <QtCore/qdiriterator.h>
#include <QtCore/qtemporarydir.h>

#include <cmath>
#include <limits>

using CurveReference::sameBits;
using CurveReference::sameCurve;
using Values = QVector<double>;

class tst_ClotCurve : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void globalIndex();
    void remove_data();
    void remove();
    void toTypeWithoutConversion();
    void toType_data();
    void toType();
    void toTypeHostileSteps_data();
    void toTypeHostileSteps();
    void fromBufferExamples();
    void fromBufferCutShort();
    void fromBufferHostileCounts_data();
    void fromBufferHostileCounts();
    void corpusReplay();

private:
    QTemporaryDir m_dir;
};

static QVector<int> segmentSizes(const ClotCurve &c)
{
    QVector<int> sizes;
    for (const ClotCurve::Segment &s : c.segments())
        sizes.append(s.y.size());
    return sizes;
}

static Values allY(const ClotCurve &c)
{
    Values y;
    for (int i = 0; i < c.size(); ++i)
        y.append(c.y(i));
    return y;
}

void tst_ClotCurve::initTestCase()
{
    QVERIFY(m_dir.isValid() && QDir::setCurrent(m_dir.path()));
}

void tst_ClotCurve::globalIndex()
{
    ClotCurve c;
    QVERIFY(c.isEmpty() && c.type() == ClotCurve::Raw && c.size() == 0);
    QVERIFY(c.x(0) == 0.0 && c.y(0) == 0.0);

    c.append(0.0, 0.5, {1, 2});
    c.append(ClotCurve::Segment {7.0, 2.0, {}}); // takes no index
    c.append(10.0, 1.0, {3});
    QCOMPARE(c.size(), 3);
    QVERIFY(c.x(1) == 0.5 && c.x(2) == 10.0 && c.y(2) == 3.0);
    QVERIFY(c.x(3) == 0.0 && c.y(3) == 0.0 && c.x(-1) == 0.0);

    ClotCurve hollow;
    hollow.append(ClotCurve::Segment());
    QVERIFY(!hollow.isEmpty() && hollow.size() == 0);

    // Copies share the values but never see each other's changes.
    ClotCurve copy = c;
    copy.remove(0, 1);
    copy.setType(ClotCurve::OD);
    QVERIFY(c.size() == 3 && c.y(0) == 1.0 && c.type() == ClotCurve::Raw);
    QVERIFY(sameCurve(c.simplified(), c));
}

void tst_ClotCurve::remove_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("count");
    QTest::addColumn<QVector<int>>("sizes");
    QTest::addColumn<Values>("y");
    // Two segments of five: 0..4 and 5..9.
    QTest::newRow("across the boundary")
        << 3 << 4 << QVector<int> {3, 3} << Values {0, 1, 2, 7, 8, 9};
    QTest::newRow("first whole") << 0 << 5 << QVector<int> {5} << Values {5, 6, 7, 8, 9};
    QTest::newRow("first and two more") << 0 << 7 << QVector<int> {3} << Values {7, 8, 9};
    QTest::newRow("beyond the end") << 0 << 100 << QVector<int> {} << Values {};
    QTest::newRow("second whole") << 5 << 5 << QVector<int> {5} << Values {0, 1, 2, 3, 4};
    QTest::newRow("inside second")
        << 6 << 2 << QVector<int> {5, 3} << Values {0, 1, 2, 3, 4, 5, 8, 9};
    QTest::newRow("past the last point")
        << 10 << 3 << QVector<int> {5, 5} << Values {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
}

void tst_ClotCurve::remove()
{
    QFETCH(int, from);
    QFETCH(int, count);
    QFETCH(QVector<int>, sizes);
    QFETCH(Values, y);
    ClotCurve c;
    c.append(0.0, 1.0, {0, 1, 2, 3, 4});
    c.append(10.0, 1.0, {5, 6, 7, 8, 9});
    const ClotCurve before = c;
    c.remove(from, count);
    QCOMPARE(segmentSizes(c), sizes);
    QCOMPARE(allY(c), y);
    QCOMPARE(c.isEmpty(), sizes.isEmpty());
    QCOMPARE(before.size(), 10);
}

void tst_ClotCurve::toTypeWithoutConversion()
{
    ClotCurve od;
    od.setType(ClotCurve::OD);
    od.append(0.0, 0.5, {100, 50});
    QVERIFY(sameCurve(od.toType(ClotCurve::Raw), od));
    QVERIFY(sameCurve(od.toType(ClotCurve::OD), od));
    ClotCurve raw = od;
    raw.setType(ClotCurve::Raw);
    QVERIFY(sameCurve(raw.toType(ClotCurve::PointType(7)), raw));

    const ClotCurve none = ClotCurve().toType(ClotCurve::OD);
    QVERIFY(none.type() == ClotCurve::OD && none.isEmpty());
}

void tst_ClotCurve::toType_data()
{
    QTest::addColumn<double>("x0");
    QTest::addColumn<double>("dx");
    QTest::addColumn<Values>("raw");
    QTest::addColumn<Values>("od");
    const double log2 = 0.3010299956639812;
    QTest::newRow("baseline from x 3")
        << 0.0 << 0.5 << Values {100, 100, 100, 100, 100, 100, 100, 100, 50, 10}
        << Values {0, 0, 0, 0, 0, 0, 0, 0, log2, 1};
    QTest::newRow("starts after x 3")
        << 4.0 << 0.25 << Values {80, 80, 80, 80, 40, 8} << Values {0, 0, 0, 0, log2, 1};
    QTest::newRow("too short for the baseline")
        << 0.0 << 0.5 << Values {7, 8, 9} << Values {0, 0, 0};
    // Zero, negative and tiny values are floored at 2^-52 and capped at 5.0; a value above the
    // baseline gives a negative density.
    QTest::newRow("cap and floor")
        << 3.0 << 1.0 << Values {1000, 0, -4, 1e-300, 2000} << Values {0, 5, 5, 5, std::log10(0.5)};
    // 3.0 / 0.4 = 7.5 rounds up to s = 8, 1 / 0.4 = 2.5 to w = 3: base = mean(y[8..10]), and
    // densities start at the middle baseline point, index 9.
    volatile double base = (10.0 + 25.0 + 30.0) / 3; // computed at run time, as the library does
    QTest::newRow("halves round up")
        << 0.0 << 0.4 << Values {64, 64, 64, 64, 64, 64, 64, 64, 10, 25, 30, 2}
        << Values {0,
                   0,
                   0,
                   0,
                   0,
                   0,
                   0,
                   0,
                   0,
                   std::log10(base / 25),
                   std::log10(base / 30),
                   std::log10(base / 2)};
    QTest::newRow("negative step") << 0.0 << -1.0 << Values {50, 25, 5} << Values {0, log2, 1};
}

void tst_ClotCurve::toType()
{
    QFETCH(double, x0);
    QFETCH(double, dx);
    QFETCH(Values, raw);
    QFETCH(Values, od);
    ClotCurve c;
    c.append(x0, dx, raw);
    c.append(20.0, 0.5, {100, 0, -1});
    const ClotCurve converted = c.toType(ClotCurve::OD);

    QCOMPARE(converted.type(), ClotCurve::OD);
    const ClotCurve::Segment first = converted.segments().at(0);
    QVERIFY(sameBits(first.x0, x0) && sameBits(first.dx, dx));
    QCOMPARE(first.y.size(), od.size());
    for (int i = 0; i < od.size(); ++i)
        QVERIFY2(sameBits(first.y.at(i), od.at(i)),
                 qPrintable(QString("value %1 is %2").arg(i).arg(first.y.at(i), 0, 'g', 17)));
    // Only the first segment converts, and the source keeps its raw values.
    QCOMPARE(converted.segments().at(1).y, (Values {100, 0, -1}));
    QVERIFY(c.type() == ClotCurve::Raw && c.segments().at(0).y == raw);
}

void tst_ClotCurve::toTypeHostileSteps_data()
{
    // No double may reach an int conversion that overflows: the sanitizer build checks this.
    QTest::addColumn<double>("x0");
    QTest::addColumn<double>("dx");
    QTest::addColumn<int>("zeros"); // leading zeros of the result; -1: not converted at all
    const double inf = qInf();
    QTest::newRow("dx 0") << 0.0 << 0.0 << -1;
    QTest::newRow("dx -0") << 0.0 << -0.0 << -1;
    QTest::newRow("dx NaN") << 0.0 << qQNaN() << -1;
    QTest::newRow("dx inf") << 0.0 << inf << -1;
    QTest::newRow("dx -inf") << 0.0 << -inf << -1;
    QTest::newRow("x0 NaN") << qQNaN() << 0.5 << -1;
    QTest::newRow("x0 -inf") << -inf << 0.5 << -1;
    QTest::newRow("tiny dx: baseline beyond the end") << 0.0 << 1e-300 << 4;
    QTest::newRow("denormal dx") << 0.0 << std::numeric_limits<double>::denorm_min() << 4;
    QTest::newRow("far negative start") << -1e308 << 1.0 << 4;
    QTest::newRow("baseline index past int") << 3.0 - 2147483647.6 << 1.0 << 4;
    QTest::newRow("huge dx") << 3.0 << 1e308 << 0;
    QTest::newRow("tiny dx from x 3: all points baseline") << 3.0 << 1e-300 << 2;
}

void tst_ClotCurve::toTypeHostileSteps()
{
    QFETCH(double, x0);
    QFETCH(double, dx);
    QFETCH(int, zeros);
    ClotCurve c;
    c.append(x0, dx, {40, 40, 20, 4});
    const ClotCurve converted = c.toType(ClotCurve::OD);
    if (zeros < 0) {
        QCOMPARE(converted.type(), ClotCurve::Raw);
        QVERIFY(sameCurve(converted, c));
        return;
    }
    QCOMPARE(converted.type(), ClotCurve::OD);
    const Values y = converted.segments().at(0).y;
    QCOMPARE(y.mid(0, zeros), Values(zeros, 0.0));
    QVERIFY(zeros == 4 || y.at(3) > 0.0);
}

void tst_ClotCurve::fromBufferExamples()
{
    ClotCurve expected;
    expected.append(0.0, 0.5, {1.0, 2.0});
    QVERIFY(sameCurve(ClotCurve::fromBuffer(QByteArray::fromHex(
                          "00000000 00000001 00000000 00000000 3fe00000 00000000 00000002 "
                          "3ff00000 00000000 40000000 00000000")),
                      expected));
    ClotCurve curve = ClotCurve::fromBuffer(QByteArray::fromHex("00000001 00000000"));
    QVERIFY(curve.type() == ClotCurve::OD && curve.isEmpty());
    curve = ClotCurve::fromBuffer(QByteArray());
    QVERIFY(curve.type() == ClotCurve::Raw && curve.isEmpty());
    // A type this build does not know is kept as read.
    QCOMPARE(int(ClotCurve::fromBuffer(QByteArray::fromHex("ffffffff 00000000")).type()), -1);
}

void tst_ClotCurve::fromBufferCutShort()
{
    ClotCurve full;
    full.setType(ClotCurve::OD);
    full.append(1.0, 0.25, {1, 2});
    full.append(2.0, 0.5, {3, 4, 5, 6, 7, 8});
    const QByteArray blob = CurveReference::encode(full);
    QCOMPARE(blob.size(), 8 + (20 + 16) + (20 + 48));

    // Cut in the middle of the third value of the second segment.
    ClotCurve cut = ClotCurve::fromBuffer(blob.left(8 + 36 + 20 + 16 + 3));
    QCOMPARE(cut.type(), ClotCurve::OD);
    QCOMPARE(allY(cut), (Values {1, 2, 3, 4, 0, 0, 0, 0}));
    QCOMPARE(cut.x(2), 2.0);
    // Cut after the first segment: the second reads as zeros without values.
    QCOMPARE(segmentSizes(ClotCurve::fromBuffer(blob.left(8 + 36))), (QVector<int> {2, 0}));

    for (int n = 0; n <= blob.size(); ++n)
        QVERIFY2(
            sameCurve(ClotCurve::fromBuffer(blob.left(n)), CurveReference::decode(blob.left(n))),
            qPrintable(QString::number(n)));
}

void tst_ClotCurve::fromBufferHostileCounts_data()
{
    QTest::addColumn<QByteArray>("blob");
    QTest::addColumn<QVector<int>>("sizes");
    QTest::newRow("4 billion segments in 8 bytes")
        << QByteArray::fromHex("00000001 ffffffff") << QVector<int> {};
    QTest::newRow("2 billion values, then two")
        << QByteArray::fromHex("00000001 00000001 3ff00000 00000000 3ff00000 00000000 7fffffff "
                               "3ff00000 00000000 40000000 00000000")
        << QVector<int> {};
    QTest::newRow("second segment damaged, first kept") << QByteArray::fromHex(
        "00000001 00000002 00000000 00000000 3ff00000 00000000 00000001 40000000 00000000 "
        "00000000 00000000 3ff00000 00000000 80000000") << QVector<int> {1};
    QTest::newRow("value count the buffer could hold") << QByteArray::fromHex(
        "00000001 00000001 00000000 00000000 3ff00000 00000000 00000004 40000000 00000000")
                                                       << QVector<int> {4};
    QTest::newRow("two segments in 20 bytes")
        << QByteArray::fromHex("00000001 00000002 00000000 00000000 00000000") << QVector<int> {};
}

void tst_ClotCurve::fromBufferHostileCounts()
{
    QFETCH(QByteArray, blob);
    QFETCH(QVector<int>, sizes);
    const ClotCurve curve = ClotCurve::fromBuffer(blob);
    QCOMPARE(curve.type(), ClotCurve::OD);
    QCOMPARE(segmentSizes(curve), sizes);
    QVERIFY(sameCurve(curve, CurveReference::decode(blob)));
}

void tst_ClotCurve::corpusReplay()
{
    // The fuzzer's saved inputs: the bulk decoder agrees with reading number by number, keeps to
    // the allocation bound, and what it decoded encodes and decodes to itself.
    QDirIterator it(QStringLiteral(CURVE_CORPUS_DIR), QDir::Files);
    int files = 0;
    for (; it.hasNext(); ++files) {
        QFile file(it.next());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray blob = file.readAll();
        const ClotCurve curve = ClotCurve::fromBuffer(blob);
        QVERIFY2(sameCurve(curve, CurveReference::decode(blob)), qPrintable(file.fileName()));
        QVERIFY(curve.segments().size() <= blob.size() / 20);
        for (const ClotCurve::Segment &s : curve.segments())
            QVERIFY(s.y.size() <= blob.size() / 8);
        QVERIFY(sameCurve(ClotCurve::fromBuffer(CurveReference::encode(curve)), curve));
        QCOMPARE(curve.toType(ClotCurve::OD).size(), curve.size());
    }
    QVERIFY(files >= 16);
}

QTEST_MAIN(tst_ClotCurve)
#include "tst_clotcurve.moc"
