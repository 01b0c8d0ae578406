#include <QtTest>

#include "analysisresult.h"
#include "boxcatcher.h"
#include "curvereference.h"
#include "profile.h"
#include "workstation.h"

#include <QtCore/qtemporarydir.h>

#include <cstring>

using CurveReference::sameCurve;

class tst_CurveStorage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void blobBytes();
    void roundTrip();
    void deleteAndMissingRows();
    void missingTable();

private:
    QTemporaryDir m_dir;
};

// The blobs stored for a patient and item, in insertion order; each must be stored as a blob.
static QList<QByteArray> stored(int patientId, const QString &item)
{
    QList<QByteArray> blobs;
    for (const QVariantList &row :
         workstation::rows("data.db",
                           QString("select curve, typeof(curve) from curve where patientId = %1 "
                                   "and item = '%2' order by rowid")
                               .arg(patientId)
                               .arg(item)))
        blobs.append(row.value(1) == "blob" ? row.value(0).toByteArray() : "not a blob");
    return blobs;
}

void tst_CurveStorage::initTestCase()
{
    QVERIFY(m_dir.isValid() && QDir::setCurrent(m_dir.path()));
    QVERIFY(workstation::createWorkstation());
    BoxCatcher boxes;
    Profile::instance();
    QVERIFY(boxes.boxes.isEmpty());
}

void tst_CurveStorage::init()
{
    QVERIFY(workstation::exec("data.db",
                              {"drop table if exists curve",
                               "create table curve (patientId integer, item text, curve blob)"}));
}

void tst_CurveStorage::blobBytes()
{
    ClotCurve curve;
    curve.append(0.0, 0.5, {1.0, 2.0});
    curve.save(1, "PT");
    QCOMPARE(stored(1, "PT"),
             QList<QByteArray> {
                 QByteArray::fromHex("00000000 00000001 00000000 00000000 3fe00000 00000000 "
                                     "00000002 3ff00000 00000000 40000000 00000000")});
    ClotCurve od;
    od.setType(ClotCurve::OD);
    od.append(ClotCurve::Segment {1.5, -2.0, {}});
    od.save(1, "TT");
    QCOMPARE(stored(1, "TT"),
             QList<QByteArray> {QByteArray::fromHex(
                 "00000001 00000001 3ff80000 00000000 c0000000 00000000 00000000")});
}

void tst_CurveStorage::roundTrip()
{
    const quint64 payload = Q_UINT64_C(0xfff8000000abcdef);
    double nan;
    std::memcpy(&nan, &payload, sizeof nan);
    QVector<double> measured(2000);
    for (int i = 0; i < measured.size(); ++i)
        measured[i] = 52000.0 / (1.0 + i * 0.013) + (i % 7) * 0.1;

    ClotCurve curve;
    curve.setType(ClotCurve::OD);
    curve.append(0.0, 0.1, measured);
    curve.append(ClotCurve::Segment {-0.0, qInf(), {}});
    curve.append(200.0, 0.5, {nan, -0.0, 1e-310, -qInf()});
    curve.save(42, "APTT");
    QCOMPARE(stored(42, "APTT"), QList<QByteArray> {CurveReference::encode(curve)});

    // Loading replaces what the curve held, type included, bit for bit.
    ClotCurve loaded;
    loaded.append(1.0, 1.0, {9.0});
    loaded.load(42, "APTT");
    QVERIFY(sameCurve(loaded, curve));

    // The insert keeps an older row of the same patient and item; load reads the first one.
    ClotCurve second;
    second.append(0.0, 1.0, {2.0});
    second.save(42, "APTT");
    QCOMPARE(stored(42, "APTT").size(), 2);
    loaded.load(42, "APTT");
    QVERIFY(sameCurve(loaded, curve));
}

void tst_CurveStorage::deleteAndMissingRows()
{
    ClotCurve curve;
    curve.append(0.0, 1.0, {5.0});
    curve.save(7, "FIB");
    curve.save(7, "FIB");
    curve.save(7, "PT");
    curve.save(8, "FIB");
    ClotCurve().save(7, "FIB");
    QVERIFY(stored(7, "FIB").isEmpty());
    QVERIFY(stored(7, "PT").size() == 1 && stored(8, "FIB").size() == 1);

    // No row, an empty blob or NULL: the segments go, the point type stays.
    QVERIFY(workstation::exec(
        "data.db",
        {"insert into curve values (3, 'TT', x'')", "insert into curve values (4, 'TT', null)"}));
    for (const QPair<int, QString> &key :
         QList<QPair<int, QString>> {{7, "FIB"}, {3, "TT"}, {4, "TT"}}) {
        ClotCurve od;
        od.setType(ClotCurve::OD);
        od.append(0.0, 1.0, {1.0});
        od.load(key.first, key.second);
        QVERIFY(od.type() == ClotCurve::OD && od.isEmpty());
    }
}

void tst_CurveStorage::missingTable()
{
    // Dropped by another connection: the statement still prepares against the schema this
    // connection knows, and fails when it runs.
    QVERIFY(workstation::exec("data.db", {"drop table curve"}));
    ClotCurve curve;
    curve.append(0.0, 1.0, {1.0});
    QTest::ignoreMessage(QtWarningMsg,
                         ".\\analysisresult(106): QSqlError(\"1\", \"Unable to "
                         "fetch row\", \"no such table: curve\")");
    curve.save(1, "PT");

    // From then on preparing fails, and so does executing what did not prepare.
    const char missing[]
        = " QSqlError(\"1\", \"Unable to execute statement\", \"no such table: curve\")";
    auto expect = [&](const char *tag, const char *exec) {
        QTest::ignoreMessage(QtWarningMsg, qPrintable(tag + QString(missing)));
        QTest::ignoreMessage(
            QtWarningMsg,
            QRegularExpression(QRegularExpression::escape(exec) + " QSqlError\\(.*\\)$"));
    };
    expect(".\\analysisresult(94):", ".\\analysisresult(106):");
    curve.save(1, "PT");
    expect(".\\analysisresult(88):", ".\\analysisresult(106):");
    ClotCurve().save(1, "PT");
    curve.setType(ClotCurve::OD);
    expect(".\\analysisresult(113):", ".\\analysisresult(119):");
    curve.load(1, "PT");
    QVERIFY(curve.type() == ClotCurve::OD && curve.isEmpty());
}

QTEST_MAIN(tst_CurveStorage)
#include "tst_curvestorage.moc"
