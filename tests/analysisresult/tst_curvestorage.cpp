#include <QtTest>

#include "analysisresult.h"
#include "boxcatcher.h"
#include "curvereference.h"
#include "profile.h"
#include "sqlfixture.h"

#include <QtCore/qtemporarydir.h>

#include <cstring>

using CurveReference::sameCurve;

class tst_CurveStorage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void exampleBlob();
    void roundTrip();
    void emptyCurveDeletes();
    void loadWithoutStoredCurve();
    void loadTakesFirstRow();
    void missingTable();

private:
    static QList<QByteArray> stored(int patientId, const QString &item);

    QTemporaryDir m_dir;
};

void tst_CurveStorage::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir::setCurrent(m_dir.path()));
    QVERIFY(SqlFixture::exec("profile.db", { "create table profile (name text primary key, value)" }));
    QVERIFY(SqlFixture::exec("qc.db", { "create table t (x)" }));
    QVERIFY(SqlFixture::exec("syslog.db", { "create table t (x)" }));
    QVERIFY(SqlFixture::exec("data.db", { "create table patient (id integer primary key)" }));

    BoxCatcher boxes;
    Profile::instance();
    QVERIFY(boxes.boxes.isEmpty());
}

void tst_CurveStorage::init()
{
    QVERIFY(SqlFixture::exec("data.db", { "drop table if exists curve",
                                          "create table curve (patientId integer, item text, "
                                          "curve blob)" }));
}

QList<QByteArray> tst_CurveStorage::stored(int patientId, const QString &item)
{
    QList<QByteArray> blobs;
    const auto rows = SqlFixture::rows(
            "data.db", QString("select curve, typeof(curve) from curve where patientId = %1 and "
                               "item = '%2' order by rowid")
                               .arg(patientId)
                               .arg(item));
    for (const QVariantList &row : rows) {
        if (row.value(1).toString() != "blob")
            qWarning("stored curve is a %s", qPrintable(row.value(1).toString()));
        blobs.append(row.value(0).toByteArray());
    }
    return blobs;
}

void tst_CurveStorage::exampleBlob()
{
    ClotCurve curve;
    curve.append(0.0, 0.5, { 1.0, 2.0 });
    curve.save(1, "PT");
    QCOMPARE(stored(1, "PT"),
             QList<QByteArray>{ QByteArray::fromHex("00000000 00000001 00000000 00000000 "
                                                    "3fe00000 00000000 00000002 3ff00000 "
                                                    "00000000 40000000 00000000") });

    ClotCurve od;
    od.setType(ClotCurve::OD);
    od.append(ClotCurve::Segment { 1.5, -2.0, {} });
    od.save(1, "TT");
    QCOMPARE(stored(1, "TT"),
             QList<QByteArray>{ QByteArray::fromHex("00000001 00000001 3ff80000 00000000 "
                                                    "c0000000 00000000 00000000") });
}

void tst_CurveStorage::roundTrip()
{
    quint64 payload = Q_UINT64_C(0xfff8000000abcdef);
    double nan;
    std::memcpy(&nan, &payload, sizeof nan);
    QVector<double> measured(2000);
    for (int i = 0; i < measured.size(); ++i)
        measured[i] = 52000.0 / (1.0 + i * 0.013) + (i % 7) * 0.1;

    ClotCurve curve;
    curve.setType(ClotCurve::OD);
    curve.append(0.0, 0.1, measured);
    curve.append(ClotCurve::Segment { -0.0, qInf(), {} });
    curve.append(200.0, 0.5, { nan, -0.0, 1e-310, -qInf() });
    curve.save(42, "APTT");

    const QList<QByteArray> blobs = stored(42, "APTT");
    QCOMPARE(blobs.size(), 1);
    QCOMPARE(blobs.first(), CurveReference::encode(curve));

    ClotCurve loaded;
    loaded.load(42, "APTT");
    QVERIFY(sameCurve(loaded, curve));

    // Loading replaces what the curve held, type included.
    ClotCurve other;
    other.append(1.0, 1.0, { 9.0 });
    other.load(42, "APTT");
    QVERIFY(sameCurve(other, curve));
}

void tst_CurveStorage::emptyCurveDeletes()
{
    ClotCurve curve;
    curve.append(0.0, 1.0, { 5.0 });
    curve.save(7, "FIB");
    curve.save(7, "PT");
    curve.save(8, "FIB");

    ClotCurve().save(7, "FIB");
    QVERIFY(stored(7, "FIB").isEmpty());
    QCOMPARE(stored(7, "PT").size(), 1);
    QCOMPARE(stored(8, "FIB").size(), 1);

    ClotCurve od;
    od.setType(ClotCurve::OD);
    od.append(0.0, 1.0, { 1.0 });
    od.load(7, "FIB");
    QCOMPARE(od.type(), ClotCurve::OD);
    QVERIFY(od.isEmpty());
}

void tst_CurveStorage::loadWithoutStoredCurve()
{
    QVERIFY(SqlFixture::exec("data.db", { "insert into curve values (3, 'TT', x'')",
                                          "insert into curve values (4, 'TT', null)" }));
    for (int patientId : { 2, 3, 4 }) {
        ClotCurve curve;
        curve.setType(ClotCurve::OD);
        curve.append(0.0, 1.0, { 1.0 });
        curve.load(patientId, "TT");
        QCOMPARE(curve.type(), ClotCurve::OD);
        QVERIFY(curve.isEmpty());
    }
}

void tst_CurveStorage::loadTakesFirstRow()
{
    // The insert keeps an older row of the same patient and item; load reads the first one.
    ClotCurve first;
    first.append(0.0, 1.0, { 1.0 });
    ClotCurve second;
    second.append(0.0, 1.0, { 2.0 });
    first.save(5, "DD");
    second.save(5, "DD");
    QCOMPARE(stored(5, "DD").size(), 2);
    ClotCurve loaded;
    loaded.load(5, "DD");
    QVERIFY(sameCurve(loaded, first));
}

void tst_CurveStorage::missingTable()
{
    // Dropped by another connection: the statement still prepares against the schema this
    // connection knows, and fails when it runs.
    QVERIFY(SqlFixture::exec("data.db", { "drop table curve" }));
    ClotCurve curve;
    curve.append(0.0, 1.0, { 1.0 });
    QTest::ignoreMessage(QtWarningMsg, ".\\analysisresult(106): QSqlError(\"1\", \"Unable to "
                                       "fetch row\", \"no such table: curve\")");
    curve.save(1, "PT");

    // From then on preparing fails, and so does executing what did not prepare.
    const char missing[] = " QSqlError(\"1\", \"Unable to execute statement\", \"no such table: "
                           "curve\")";
    auto expect = [&](const char *tag, const char *exec) {
        QTest::ignoreMessage(QtWarningMsg, qPrintable(tag + QString(missing)));
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QRegularExpression::escape(exec)
                                                + QStringLiteral(" QSqlError\\(.*\\)$")));
    };
    expect(".\\analysisresult(94):", ".\\analysisresult(106):");
    curve.save(1, "PT");
    expect(".\\analysisresult(88):", ".\\analysisresult(106):");
    ClotCurve().save(1, "PT");

    curve.setType(ClotCurve::OD);
    expect(".\\analysisresult(113):", ".\\analysisresult(119):");
    curve.load(1, "PT");
    QCOMPARE(curve.type(), ClotCurve::OD);
    QVERIFY(curve.isEmpty());
}

QTEST_MAIN(tst_CurveStorage)
#include "tst_curvestorage.moc"
