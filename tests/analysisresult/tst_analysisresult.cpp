#include <QtTest>

#include "analysisresult.h"
#include "boxcatcher.h"
#include "profile.h"
#include "sqlfixture.h"

#include <QtCore/qtemporarydir.h>

#include <cmath>
#include <cstring>
#include <thread>

class tst_AnalysisResult : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void defaultState();
    void classification_data();
    void classification();
    void errorCodeConstructor();
    void errorTextSequence();
    void errorMessages();
    void sharing();
    void sharingAcrossThreads();
    void flags();

    // Marks with the default texts first: a typed setting keeps the first default it is given.
    void toStringDefaultMarks_data();
    void toStringDefaultMarks();
    void toStringStates();
    void toStringStoredMarks();

private:
    QTemporaryDir m_dir;
};

static const QString down = QString::fromUtf8("↓");
static const QString up = QString::fromUtf8("↑");

void tst_AnalysisResult::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir::setCurrent(m_dir.path()));
    QVERIFY(SqlFixture::exec("profile.db", { "create table profile (name text primary key, value)" }));
    for (const char *name : { "data.db", "qc.db", "syslog.db" })
        QVERIFY(SqlFixture::exec(QLatin1String(name), { "create table t (x)" }));
    BoxCatcher boxes;
    Profile::instance();
    QVERIFY(boxes.boxes.isEmpty());
}

void tst_AnalysisResult::defaultState()
{
    const AnalysisResult r;
    QVERIFY(r.isNull());
    QVERIFY(!r.isValid());
    QCOMPARE(r.error(), AnalysisResult::NullResult);
    QCOMPARE(r.value(), 0.0);
    QCOMPARE(double(r), 0.0);
    QCOMPARE(r.od(), 0.0);
    QCOMPARE(r.id(), 0);
    QCOMPARE(r.ch(), 0);
    QCOMPARE(r.flags(), 0);
    QCOMPARE(r.curve().type(), ClotCurve::Raw);
    QVERIFY(r.curve().isEmpty());
    QVERIFY(r.toString(AnalysisResult::Decorated, 'f', 1).isEmpty());
    QVERIFY(!r.toVariant().isValid());
    QCOMPARE(r.errorText(), QString::fromUtf8("结果为空"));
    QCOMPARE(AnalysisResult::nullValue, 0.0);
    QCOMPARE(AnalysisResult::invalidOD, 0.0);
}

void tst_AnalysisResult::classification_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("error");

    QTest::newRow("0.0") << 0.0 << int(AnalysisResult::NullResult);
    QTest::newRow("-0.0") << -0.0 << int(AnalysisResult::NullResult);
    QTest::newRow("999.9") << 999.9 << int(AnalysisResult::NotClotted);
    QTest::newRow("next to 999.9") << std::nextafter(999.9, 1000.0) << int(AnalysisResult::NoError);
    QTest::newRow("999.90001") << 999.90001 << int(AnalysisResult::NoError);
    QTest::newRow("1.0") << 1.0 << int(AnalysisResult::NoError);
    QTest::newRow("smallest denormal") << 5e-324 << int(AnalysisResult::NoError);
    QTest::newRow("NaN") << qQNaN() << int(AnalysisResult::NoError);
    QTest::newRow("-inf") << -qInf() << int(AnalysisResult::NoError);
}

void tst_AnalysisResult::classification()
{
    QFETCH(double, value);
    QFETCH(int, error);

    const AnalysisResult constructed(value);
    QCOMPARE(int(constructed.error()), error);

    // setValue classifies alike and leaves flags and the custom text alone.
    AnalysisResult r(AnalysisResult::InvalidStandardCurve);
    r.setErrorText("kept");
    r.setFlags(0x8005);
    r.setValue(value);
    QCOMPARE(int(r.error()), error);
    QCOMPARE(r.errorText(), QString("kept"));
    QCOMPARE(r.flags(), 0x8005);
    const double held = r.value();
    QVERIFY(std::memcmp(&held, &value, sizeof held) == 0);

    const QVariant v = r.toVariant();
    QCOMPARE(v.isValid(), error != AnalysisResult::NullResult);
    if (v.isValid()) {
        QCOMPARE(v.userType(), int(QMetaType::Double));
        const double variant = v.toDouble();
        QVERIFY(std::memcmp(&variant, &value, sizeof variant) == 0);
    }
}

void tst_AnalysisResult::errorCodeConstructor()
{
    const AnalysisResult valid(AnalysisResult::NoError);
    QVERIFY(valid.isValid());
    QCOMPARE(valid.value(), 0.0);
    QCOMPARE(valid.toVariant(), QVariant(0.0));
    QCOMPARE(valid.toString(AnalysisResult::Decorated, 'f', 1), QString("0.0"));
    QVERIFY(AnalysisResult(0.0).isNull());

    const AnalysisResult invalid(AnalysisResult::InvalidValue);
    QCOMPARE(invalid.value(), 0.0);
    QVERIFY(!invalid.isValid() && !invalid.isNull());
    QVERIFY(!invalid.toVariant().isValid());

    const AnalysisResult notClotted(AnalysisResult::NotClotted);
    QCOMPARE(notClotted.value(), 0.0);
    QCOMPARE(notClotted.toVariant(), QVariant(0.0));
}

void tst_AnalysisResult::errorTextSequence()
{
    AnalysisResult r(12.0);
    r.setErrorText("x");
    QCOMPARE(r.error(), AnalysisResult::OtherError);
    QCOMPARE(r.errorText(), QString("x"));

    r.setValue(5.0);
    QVERIFY(r.isValid());
    QCOMPARE(r.errorText(), QString("x"));
    QCOMPARE(r.toString(AnalysisResult::NumberOnly, 'f', 2), QString("5.00"));

    r.setError(AnalysisResult::NoStandardCurve);
    QCOMPARE(r.errorText(), QString::fromUtf8("无标准曲线"));
    r.setErrorText("y");
    r.clearErrorText();
    QCOMPARE(r.error(), AnalysisResult::OtherError);
    QCOMPARE(r.errorText(), QString::fromUtf8("未知错误"));

    // An empty custom text still makes the result an error of no named kind.
    r.setValue(3.0);
    r.setErrorText(QString());
    QCOMPARE(r.error(), AnalysisResult::OtherError);
}

void tst_AnalysisResult::errorMessages()
{
    const char *const messages[] = { "", "无效的值", "未知错误", "结果为空", "无标准曲线",
                                     "标准曲线无效", "标准曲线设置错误", "无效的计算方法",
                                     "计算所需的参数不存在", "" };
    for (int code = 0; code <= 9; ++code)
        QCOMPARE(AnalysisResult(AnalysisResult::ErrorCode(code)).errorText(),
                 QString::fromUtf8(messages[code]));
    for (int code : { -1, 10, 1000 }) {
        AnalysisResult r;
        r.setError(AnalysisResult::ErrorCode(code));
        QCOMPARE(int(r.error()), code);
        QVERIFY(r.errorText().isEmpty());
        QVERIFY(!r.isValid());
    }
}

void tst_AnalysisResult::sharing()
{
    QCOMPARE(sizeof(AnalysisResult), sizeof(void *));

    AnalysisResult a;
    AnalysisResult b;
    QVERIFY(a.isCopyOf(b));
    b.setId(5);
    QVERIFY(!a.isCopyOf(b));
    QCOMPARE(a.id(), 0);
    QCOMPARE(AnalysisResult().id(), 0);

    ClotCurve curve;
    curve.append(0.0, 1.0, { 1.0, 2.0 });
    AnalysisResult r(12.5);
    r.setCurve(curve);
    r.setOD(0.25);
    r.setCh(3);
    r.setFlags(0x0104);
    r.setErrorText("text");

    const AnalysisResult copy = r;
    QVERIFY(copy.isCopyOf(r));
    AnalysisResult assigned;
    assigned = r;
    QVERIFY(assigned.isCopyOf(r));
    assigned = assigned;
    QVERIFY(assigned.isCopyOf(r));
    QCOMPARE(assigned.od(), 0.25);

    // Every setter detaches; the others keep every field.
    void (*const setters[])(AnalysisResult &) = {
        [](AnalysisResult &x) { x.setValue(1.0); },
        [](AnalysisResult &x) { x.setOD(1.0); },
        [](AnalysisResult &x) { x.setCurve(ClotCurve()); },
        [](AnalysisResult &x) { x.setId(1); },
        [](AnalysisResult &x) { x.setCh(1); },
        [](AnalysisResult &x) { x.setFlags(1); },
        [](AnalysisResult &x) { x.setFlag(tavo::ManualInput, true); },
        [](AnalysisResult &x) { x.setManualTest(true); },
        [](AnalysisResult &x) { x.setError(AnalysisResult::InvalidValue); },
        [](AnalysisResult &x) { x.setErrorText("other"); },
        [](AnalysisResult &x) { x.clearErrorText(); },
    };
    for (auto setter : setters) {
        AnalysisResult written = r;
        setter(written);
        QVERIFY(!written.isCopyOf(r));
        QVERIFY(copy.isCopyOf(r));
        QCOMPARE(r.value(), 12.5);
        QCOMPARE(r.od(), 0.25);
        QCOMPARE(r.ch(), 3);
        QCOMPARE(r.flags(), 0x0104);
        QCOMPARE(r.error(), AnalysisResult::OtherError);
        QCOMPARE(r.errorText(), QString("text"));
        QCOMPARE(r.curve().size(), 2);
    }

    // A detached copy carries every field over.
    AnalysisResult detached = r;
    detached.setId(99);
    QCOMPARE(detached.value(), 12.5);
    QCOMPARE(detached.od(), 0.25);
    QCOMPARE(detached.ch(), 3);
    QCOMPARE(detached.flags(), 0x0104);
    QCOMPARE(detached.errorText(), QString("text"));
    QCOMPARE(detached.curve().y(1), 2.0);

    // Assigning the last other owner of a record to itself through a copy.
    AnalysisResult last(7.0);
    AnalysisResult &alias = last;
    last = AnalysisResult(alias);
    QCOMPARE(last.value(), 7.0);
}

void tst_AnalysisResult::sharingAcrossThreads()
{
    // Copies of one record made and dropped in two threads at once: the count stays right, so
    // the record outlives them all (the sanitizer build would see a use after free).
    AnalysisResult shared(3.5);
    shared.setErrorText("shared");
    auto work = [shared] {
        for (int i = 0; i < 20000; ++i) {
            AnalysisResult copy = shared;
            AnalysisResult other;
            other = copy;
            if (other.value() != 3.5)
                qFatal("lost the shared record");
        }
    };
    std::thread t1(work);
    std::thread t2(work);
    t1.join();
    t2.join();
    QCOMPARE(shared.errorText(), QString("shared"));
    AnalysisResult copy = shared;
    shared.setId(1);
    QCOMPARE(copy.id(), 0);
}

void tst_AnalysisResult::flags()
{
    AnalysisResult r(1.0);
    r.setFlags(0x40000 | tavo::DilutionResult);
    QCOMPARE(r.flags(), 0x40000 | 0x0002);
    QVERIFY(r.testFlag(tavo::DilutionResult));
    QVERIFY(!r.testFlag(tavo::ManualInput));

    r.setFlag(tavo::ManualInput, true);
    r.setManualTest(true);
    QVERIFY(r.isManualTest());
    QCOMPARE(r.flags(), 0x40000 | 0x8000 | 0x1000 | 0x0002);
    r.setFlag(tavo::DilutionResult, false);
    r.setManualTest(false);
    QCOMPARE(r.flags(), 0x40000 | 0x8000);
    QVERIFY(!r.isManualTest());
    r.setFlag(tavo::ResultFlag(0x0004 | 0x0010), true);
    QVERIFY(r.testFlag(tavo::LowerReportLimit) && r.testFlag(tavo::LowerMarkLimit));

    // Flags survive reclassification.
    r.setValue(0.0);
    QCOMPARE(r.flags(), 0x40000 | 0x8000 | 0x0004 | 0x0010);
}

void tst_AnalysisResult::toStringDefaultMarks_data()
{
    QTest::addColumn<int>("flags");
    QTest::addColumn<QString>("decorated");

    QTest::newRow("none") << 0 << QString("12.3");
    QTest::newRow("uninterpreted bits") << 0x40100 << QString("12.3");
    QTest::newRow("manual test has no mark") << 0x1000 << QString("12.3");
    QTest::newRow("lower report, upper mark") << (tavo::LowerReportLimit | tavo::UpperMarkLimit)
                                              << QString("< 12.3 ") + up;
    QTest::newRow("prefix order") << (tavo::LowerReportLimit | tavo::DilutionResult | tavo::ManualInput)
                                  << QString("M!< 12.3");
    QTest::newRow("both report limits") << (tavo::LowerReportLimit | tavo::UpperReportLimit)
                                        << QString("< 12.3");
    QTest::newRow("upper report") << int(tavo::UpperReportLimit) << QString("> 12.3");
    QTest::newRow("both mark limits") << (tavo::LowerMarkLimit | tavo::UpperMarkLimit)
                                      << QString("12.3 " + down);
    QTest::newRow("everything") << 0xffff << QString("M!< 12.3 " + down);
}

void tst_AnalysisResult::toStringDefaultMarks()
{
    QFETCH(int, flags);
    QFETCH(QString, decorated);

    AnalysisResult r(12.34);
    r.setFlags(flags);
    QCOMPARE(r.toString(AnalysisResult::Decorated, 'f', 1), decorated);
    QCOMPARE(r.toString(AnalysisResult::NumberOnly, 'f', 1), QString("12.3"));
    QCOMPARE(r.toString(AnalysisResult::Format(7), 'f', 1), QString("12.3"));
    QCOMPARE(r.prefix() + r.suffix(), QString(decorated).remove("12.3").remove(' '));
}

void tst_AnalysisResult::toStringStates()
{
    AnalysisResult r(12.3456789);
    r.setFlags(tavo::UpperReportLimit);
    QCOMPARE(r.toString(AnalysisResult::Decorated, 'f', -1), QString("> 12.3457"));
    QCOMPARE(r.toString(AnalysisResult::NumberOnly, 'e', -3), QString("12.3457"));
    QCOMPARE(r.toString(AnalysisResult::NumberOnly, 'e', 2), QString("1.23e+01"));

    const QString notClotted = QString::fromUtf8("不凝");
    QCOMPARE(AnalysisResult(999.9).toString(AnalysisResult::Decorated, 'f', 1), notClotted);
    QCOMPARE(AnalysisResult(999.9).toVariant(), QVariant(999.9));
    QCOMPARE(AnalysisResult(AnalysisResult::NotClotted).toString(AnalysisResult::Decorated, 'f', 1),
             notClotted);
    QCOMPARE(AnalysisResult(AnalysisResult::InvalidValue).toString(AnalysisResult::Decorated, 'f', 1),
             QString("---.-"));

    // An error result whose value is the not-clotted value shows as not clotted.
    AnalysisResult error;
    error.setFlags(tavo::ManualInput);
    error.setValue(999.9);
    error.setError(AnalysisResult::InvalidValue);
    QCOMPARE(error.toString(AnalysisResult::NumberOnly, 'f', 1), notClotted);
    error.setValue(5.0);
    error.setErrorText("anything");
    QCOMPARE(error.toString(AnalysisResult::Decorated, 'f', 1), QString("---.-"));

    AnalysisResult empty(1.0);
    empty.setFlags(0xffff);
    empty.setValue(0.0);
    QVERIFY(empty.toString(AnalysisResult::Decorated, 'f', 1).isEmpty());
}

void tst_AnalysisResult::toStringStoredMarks()
{
    Profile &profile = Profile::instance();
    profile.set_lower_report_limit_flag(QString::fromUtf8("≤"), true);
    profile.set_upper_mark_limit_flag(QString::fromUtf8("高"), true);
    profile.set_result_not_clotted("NC", true);
    profile.set_result_can_not_be_calculated("ERR", true);
    profile.set_manual_input_flag(QString(), true);
    profile.set_dilution_result_flag("D", false);
    QCOMPARE(SqlFixture::value("profile.db",
                               "select value from profile where name = 'lower_report_limit_flag'"),
             QVariant(QString::fromUtf8("≤")));

    AnalysisResult r(12.34);
    r.setFlags(tavo::LowerReportLimit | tavo::UpperMarkLimit);
    QCOMPARE(r.toString(AnalysisResult::Decorated, 'f', 1), QString::fromUtf8("≤ 12.3 高"));
    r.setFlags(tavo::ManualInput | tavo::DilutionResult);
    QCOMPARE(r.toString(AnalysisResult::Decorated, 'f', 1), QString("D 12.3"));
    // A mark stored empty leaves no space behind.
    r.setFlags(tavo::ManualInput);
    QCOMPARE(r.toString(AnalysisResult::Decorated, 'f', 1), QString("12.3"));
    profile.set_upper_mark_limit_flag(QString(), false);
    r.setFlags(tavo::UpperMarkLimit);
    QCOMPARE(r.toString(AnalysisResult::Decorated, 'f', 1), QString("12.3"));

    QCOMPARE(AnalysisResult(999.9).toString(AnalysisResult::Decorated, 'f', 1), QString("NC"));
    QCOMPARE(AnalysisResult(AnalysisResult::MissingCalculationParameter)
                     .toString(AnalysisResult::Decorated, 'f', 1),
             QString("ERR"));
}

QTEST_MAIN(tst_AnalysisResult)
#include "tst_analysisresult.moc"
