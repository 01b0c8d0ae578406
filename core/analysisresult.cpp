#include "analysisresult.h"
#include "profile.h"

#include <QtCore/qcoreapplication.h>

struct AnalysisResult::Data
{
    QAtomicInt ref;
    int id;
    double value;
    double od;
    int flags;
    ErrorCode error;
    QString errorText;
    ClotCurve curve;
    int ch;
};

const double AnalysisResult::notClottedValue = 999.9;
const double AnalysisResult::nullValue = 0.0;
const double AnalysisResult::invalidOD = 0.0;

// Holds a reference of its own, so its count never reaches zero and it is never freed.
AnalysisResult::Data AnalysisResult::shared_null
    = {QAtomicInt(1), 0, nullValue, invalidOD, 0, NullResult, QString(), ClotCurve(), 0};

AnalysisResult::AnalysisResult()
    : d(&shared_null)
{
    d->ref.ref();
}

AnalysisResult::AnalysisResult(double value)
    : d(new Data(shared_null))
{
    d->ref.storeRelaxed(1);
    setValue(value);
}

AnalysisResult::AnalysisResult(ErrorCode error)
    : d(new Data(shared_null))
{
    d->ref.storeRelaxed(1);
    d->value = 0.0;
    d->error = error;
}

AnalysisResult::AnalysisResult(const AnalysisResult &other)
    : d(other.d)
{
    d->ref.ref();
}

AnalysisResult &AnalysisResult::operator=(const AnalysisResult &other)
{
    // Reference first: other may be this object, or share our record as its last other owner.
    other.d->ref.ref();
    if (!d->ref.deref())
        delete d;
    d = other.d;
    return *this;
}

AnalysisResult::~AnalysisResult()
{
    if (!d->ref.deref())
        delete d;
}

void AnalysisResult::detach()
{
    if (d->ref.loadRelaxed() == 1)
        return;
    Data *x = new Data(*d);
    x->ref.storeRelaxed(1);
    if (!d->ref.deref())
        delete d;
    d = x;
}

bool AnalysisResult::isCopyOf(const AnalysisResult &other) const
{
    return d == other.d;
}

double AnalysisResult::value() const
{
    return d->value;
}

AnalysisResult::operator double() const
{
    return d->value;
}

double AnalysisResult::od() const
{
    return d->od;
}

ClotCurve AnalysisResult::curve() const
{
    return d->curve;
}

int AnalysisResult::id() const
{
    return d->id;
}

int AnalysisResult::flags() const
{
    return d->flags;
}

AnalysisResult::ErrorCode AnalysisResult::error() const
{
    return d->error;
}

int AnalysisResult::ch() const
{
    return d->ch;
}

bool AnalysisResult::isValid() const
{
    return d->error == NoError;
}

bool AnalysisResult::isNull() const
{
    return d->error == NullResult;
}

bool AnalysisResult::testFlag(tavo::ResultFlag flag) const
{
    return (d->flags & flag) != 0;
}

bool AnalysisResult::isManualTest() const
{
    return (d->flags & tavo::ManualTest) != 0;
}

void AnalysisResult::setValue(double value)
{
    detach();
    d->value = value;
    if (value == nullValue)
        d->error = NullResult;
    else if (value == notClottedValue)
        d->error = NotClotted;
    else
        d->error = NoError; // NaN included: it equals neither
}

void AnalysisResult::setOD(double od)
{
    detach();
    d->od = od;
}

void AnalysisResult::setCurve(const ClotCurve &curve)
{
    detach();
    d->curve = curve;
}

void AnalysisResult::setId(int id)
{
    detach();
    d->id = id;
}

void AnalysisResult::setCh(int ch)
{
    detach();
    d->ch = ch;
}

void AnalysisResult::setFlags(int flags)
{
    detach();
    d->flags = flags;
}

void AnalysisResult::setFlag(tavo::ResultFlag flag, bool on)
{
    detach();
    if (on)
        d->flags |= flag;
    else
        d->flags &= ~int(flag);
}

void AnalysisResult::setManualTest(bool on)
{
    setFlag(tavo::ManualTest, on);
}

void AnalysisResult::setError(ErrorCode error)
{
    detach();
    d->error = error;
    d->errorText.clear();
}

void AnalysisResult::setErrorText(const QString &text)
{
    detach();
    d->errorText = text;
    d->error = OtherError;
}

void AnalysisResult::clearErrorText()
{
    detach();
    d->errorText.clear();
}

static const char *const errorMessages[] = {
    nullptr, // NoError
    QT_TRANSLATE_NOOP("QObject", "无效的值"),
    QT_TRANSLATE_NOOP("QObject", "未知错误"),
    QT_TRANSLATE_NOOP("QObject", "结果为空"),
    QT_TRANSLATE_NOOP("QObject", "无标准曲线"),
    QT_TRANSLATE_NOOP("QObject", "标准曲线无效"),
    QT_TRANSLATE_NOOP("QObject", "标准曲线设置错误"),
    QT_TRANSLATE_NOOP("QObject", "无效的计算方法"),
    QT_TRANSLATE_NOOP("QObject", "计算所需的参数不存在"),
};

QString AnalysisResult::errorText() const
{
    if (!d->errorText.isEmpty())
        return d->errorText;
    const int code = d->error;
    if (code >= InvalidValue && code <= MissingCalculationParameter)
        return QCoreApplication::translate("QObject", errorMessages[code]);
    return QString();
}

QVariant AnalysisResult::toVariant() const
{
    if (d->error == NoError || d->error == NotClotted)
        return QVariant(d->value);
    return QVariant();
}

QString AnalysisResult::prefix() const
{
    QString text;
    const int flags = d->flags;
    if (flags & tavo::ManualInput)
        text += Profile::instance().manual_input_flag(Profile::tr("M"));
    if (flags & tavo::DilutionResult)
        text += Profile::instance().dilution_result_flag(Profile::tr("!"));
    if (flags & tavo::LowerReportLimit)
        text += Profile::instance().lower_report_limit_flag(Profile::tr("<"));
    else if (flags & tavo::UpperReportLimit)
        text += Profile::instance().upper_report_limit_flag(Profile::tr(">"));
    return text;
}

QString AnalysisResult::suffix() const
{
    const int flags = d->flags;
    if (flags & tavo::LowerMarkLimit)
        return Profile::instance().lower_mark_limit_flag(Profile::tr("↓"));
    if (flags & tavo::UpperMarkLimit)
        return Profile::instance().upper_mark_limit_flag(Profile::tr("↑"));
    return QString();
}

QString AnalysisResult::toString(Format format, char numberFormat, int precision) const
{
    if (precision < 0) {
        numberFormat = 'g';
        precision = 6;
    }

    if (d->error == NoError) {
        const bool decorated = format == Decorated;
        QString text;
        if (decorated) {
            text = prefix();
            if (!text.isEmpty())
                text += QLatin1Char(' ');
        }
        text += QString::number(d->value, numberFormat, precision);
        if (decorated) {
            const QString marks = suffix();
            if (!marks.isEmpty()) {
                text += QLatin1Char(' ');
                text += marks;
            }
        }
        return text;
    }
    if (d->error == NotClotted || d->value == notClottedValue)
        return Profile::instance().result_not_clotted(Profile::tr("不凝"));
    if (d->error != NullResult)
        return Profile::instance().result_can_not_be_calculated(Profile::tr("---.-"));
    return QString();
}
