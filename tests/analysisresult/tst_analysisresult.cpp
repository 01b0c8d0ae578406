#include <QtTest>

#include "analysisresult.h"
#include "boxcatcher.h"
#include "profile.h"
#include "workstation.h"

#include <QtCore/qtemporarydir.h>

#include <cmath>
#include <cstring>

class tst_AnalysisResult : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void classification_data();
    void classification();
    void errorTexts();
    void sharing();
    // Default marks first: a typed setting keeps the first default it is given.
    void toStringDefaultMarks_data();
    void toStringDefaultMarks();
    void toStringStates();
    void toStringStoredMarks();

private:
    QTemporaryDir m_dir;
};

static QString text(const AnalysisResult &r, int format = AnalysisResult::Decorated)
{
    return r.toString(AnalysisResult::Format(format), 'f', 1);
}

static bool sameBits(double a, double b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

void tst_AnalysisResult::initTestCase()
{
    QVERIFY(m_dir.isValid() && QDir::setCurrent(m_dir.path()));
    QVERIFY(workstation::createWorkstation());
    BoxCatcher boxes;
    Profile::instance();
    QVERIFY(boxes.boxes.isEmpty());
}

void tst_AnalysisResult::classification_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("error");
    QTest::newRow("0.0") << 0.0 << int(AnalysisResult::NullResult);
    QTest::newRow("-0.0") << -0.0 << int(AnalysisResult::NullResult);
    QTest::newRow("999.9") << 999.9 << int(AnalysisResult::NotClotted);
    QTest::newRow("next above 999.9") << std::nextafter(999.9, 1e3) << int(AnalysisResult::NoError);
    QTest::newRow("1.0") << 1.0 << int(AnalysisResult::NoError);
    QTest::newRow("NaN") << qQNaN() << int(AnalysisResult::NoError);
}

void tst_AnalysisResult::classification()
{
    QFETCH(double, value);
    QFETCH(int, error);
    QCOMPARE(int(AnalysisResult(value).error()), error);

    // setValue classifies alike and leaves flags and the custom text alone.
    AnalysisResult r(AnalysisResult::InvalidStandardCurve);
    r.setErrorText("kept");
    r.setFlags(0x48005);
    r.setValue(value);
    QCOMPARE(int(r.error()), error);
    QCOMPARE(r.errorText(), QString("kept"));
    QCOMPARE(r.flags(), 0x48005);
    QVERIFY(sameBits(r.value(), value) && sameBits(double(r), value));
    const QVariant v = r.toVariant();
    QCOMPARE(v.isValid(), error != AnalysisResult::NullResult);
    QVERIFY(!v.isValid() || (v.userType() == QMetaType::Double && sameBits(v.toDouble(), value)));

    // An explicit code is a state of its own: a valid result of 0.0 is not an empty one.
    const AnalysisResult valid(AnalysisResult::NoError);
    QVERIFY(valid.isValid() && !AnalysisResult(0.0).isValid());
    QCOMPARE(valid.toVariant(), QVariant(0.0));
    QCOMPARE(text(valid), QString("0.0"));
    QVERIFY(!AnalysisResult(AnalysisResult::InvalidValue).toVariant().isValid());
}

void tst_AnalysisResult::errorTexts()
{
    const char *const messages[] = {"",
                                    "无效的值",
                                    "未知错误",
                                    "结果为空",
                                    "无标准曲线",
                                    "标准曲线无效",
                                    "标准曲线设置错误",
                                    "无效的计算方法",
                                    "计算所需的参数不存在",
                                    "",
                                    ""};
    for (int code = 0; code <= 10; ++code)
        QCOMPARE(AnalysisResult(AnalysisResult::ErrorCode(code)).errorText(),
                 QString::fromUtf8(messages[code]));
    QCOMPARE(AnalysisResult().errorText(), QString::fromUtf8("结果为空"));

    AnalysisResult r(12.0);
    r.setErrorText("x");
    QCOMPARE(r.error(), AnalysisResult::OtherError);
    r.setValue(5.0);
    QVERIFY(r.isValid());
    QCOMPARE(r.errorText(), QString("x"));
    r.setError(AnalysisResult::NoStandardCurve);
    QCOMPARE(r.errorText(), QString::fromUtf8("无标准曲线"));
    r.setErrorText("y");
    r.clearErrorText();
    QCOMPARE(r.error(), AnalysisResult::OtherError);
    QCOMPARE(r.errorText(), QString::fromUtf8("未知错误"));
}

void tst_AnalysisResult::sharing()
{
    QCOMPARE(sizeof(AnalysisResult), sizeof(void *));
    AnalysisResult a, b;
    QVERIFY(a.isCopyOf(b) && a.isNull() && a.curve().isEmpty());
    b.setId(5);
    QVERIFY(!a.isCopyOf(b));
    QCOMPARE(AnalysisResult().id(), 0);

    ClotCurve curve;
    curve.append(0.0, 1.0, {1.0, 2.0});
    AnalysisResult r(12.5);
    r.setCurve(curve);
    r.setOD(0.25);
    r.setCh(3);
    r.setFlags(0x0104);
    r.setErrorText("text");
    AnalysisResult &self = r;
    r = self;
    const AnalysisResult copy = r;
    QVERIFY(copy.isCopyOf(r));

    // Every setter detaches and leaves the shared record as it was; a detached copy keeps every
    // field it did not write.
    void (*const setters[])(AnalysisResult &) = {
        [](AnalysisResult &x) { x.setValue(1.0); },
        [](AnalysisResult &x) { x.setOD(1.0); },
        [](AnalysisResult &x) { x.setCurve({}); },
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
        QVERIFY(!written.isCopyOf(r) && copy.isCopyOf(r));
        QVERIFY(r.value() == 12.5 && r.od() == 0.25 && r.ch() == 3 && r.id() == 0
                && r.flags() == 0x0104 && r.error() == AnalysisResult::OtherError
                && r.errorText() == "text" && r.curve().size() == 2);
    }
    AnalysisResult detached = r;
    detached.setId(99);
    QVERIFY(detached.ch() == 3 && detached.od() == 0.25 && detached.flags() == 0x0104
            && detached.errorText() == "text" && detached.curve().y(1) == 2.0);

    AnalysisResult flags(1.0);
    flags.setFlags(0x40000 | tavo::DilutionResult);
    flags.setFlag(tavo::ManualInput, true);
    flags.setManualTest(true);
    QVERIFY(flags.isManualTest() && flags.testFlag(tavo::ManualInput));
    flags.setFlag(tavo::DilutionResult, false);
    flags.setManualTest(false);
    QCOMPARE(flags.flags(), 0x40000 | 0x8000);
}

void tst_AnalysisResult::toStringDefaultMarks_data()
{
    QTest::addColumn<int>("flags");
    QTest::addColumn<QString>("decorated");
    const QString down = QString::fromUtf8("↓"), up = QString::fromUtf8("↑");
    QTest::newRow("none") << 0 << QString("12.3");
    QTest::newRow("no marks for other bits") << (0x40100 | tavo::ManualTest) << QString("12.3");
    QTest::newRow("lower report, upper mark")
        << (tavo::LowerReportLimit | tavo::UpperMarkLimit) << "< 12.3 " + up;
    QTest::newRow("prefix order") << (tavo::LowerReportLimit | tavo::DilutionResult
                                      | tavo::ManualInput)
                                  << QString("M!< 12.3");
    QTest::newRow("both report limits")
        << (tavo::LowerReportLimit | tavo::UpperReportLimit) << QString("< 12.3");
    QTest::newRow("upper report") << int(tavo::UpperReportLimit) << QString("> 12.3");
    QTest::newRow("both mark limits")
        << (tavo::LowerMarkLimit | tavo::UpperMarkLimit) << "12.3 " + down;
}

void tst_AnalysisResult::toStringDefaultMarks()
{
    QFETCH(int, flags);
    QFETCH(QString, decorated);
    AnalysisResult r(12.34);
    r.setFlags(flags);
    QCOMPARE(text(r), decorated);
    QCOMPARE(text(r, AnalysisResult::NumberOnly), QString("12.3"));
    QCOMPARE(text(r, 7), QString("12.3"));
    QCOMPARE(r.prefix() + r.suffix(), QString(decorated).remove("12.3").remove(' '));
}

void tst_AnalysisResult::toStringStates()
{
    AnalysisResult r(12.3456789);
    r.setFlags(tavo::UpperReportLimit);
    QCOMPARE(r.toString(AnalysisResult::Decorated, 'f', -1), QString("> 12.3457"));
    QCOMPARE(r.toString(AnalysisResult::NumberOnly, 'e', 2), QString("1.23e+01"));

    const QString notClotted = QString::fromUtf8("不凝");
    QCOMPARE(text(AnalysisResult(999.9)), notClotted);
    QCOMPARE(AnalysisResult(999.9).toVariant(), QVariant(999.9));
    QCOMPARE(text(AnalysisResult(AnalysisResult::NotClotted)), notClotted);
    QCOMPARE(text(AnalysisResult(AnalysisResult::InvalidValue)), QString("---.-"));
    QVERIFY(text(AnalysisResult()).isEmpty());

    // An error whose value is the not-clotted value shows as not clotted, never with marks.
    AnalysisResult error;
    error.setFlags(0xffff);
    error.setValue(999.9);
    error.setError(AnalysisResult::InvalidValue);
    QCOMPARE(text(error), notClotted);
    error.setValue(5.0);
    error.setErrorText("anything");
    QCOMPARE(text(error), QString("---.-"));
    error.setValue(0.0);
    QVERIFY(text(error).isEmpty());
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
    QCOMPARE(workstation::value("profile.db",
                                "select value from profile where name = 'upper_mark_limit_flag'"),
             QVariant(QString::fromUtf8("高")));

    AnalysisResult r(12.34);
    r.setFlags(tavo::LowerReportLimit | tavo::UpperMarkLimit);
    QCOMPARE(text(r), QString::fromUtf8("≤ 12.3 高"));
    r.setFlags(tavo::ManualInput | tavo::DilutionResult);
    QCOMPARE(text(r), QString("D 12.3"));
    // Marks stored empty leave no space behind.
    profile.set_upper_mark_limit_flag(QString(), false);
    r.setFlags(tavo::ManualInput | tavo::UpperMarkLimit);
    QCOMPARE(text(r), QString("12.3"));
    QCOMPARE(text(AnalysisResult(999.9)), QString("NC"));
    QCOMPARE(text(AnalysisResult(AnalysisResult::MissingCalculationParameter)), QString("ERR"));
}

QTEST_MAIN(tst_AnalysisResult)
#include "tst_analysisresult.moc"
