#include "analysisresult_p.h"
#include "profile.h"

#include <QtCore/qcoreapplication.h>
#include <QtCore/qdebug.h>
#include <QtCore/qendian.h>
#include <QtCore/qnumeric.h>
#include <QtSql/qsqlerror.h>
#include <QtSql/qsqlquery.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

// ---------------------------------------------------------------------------------------------
// ClotCurve
// ---------------------------------------------------------------------------------------------

ClotCurve::ClotCurve()
    : m_type(Raw)
{
}

ClotCurve::PointType ClotCurve::type() const
{
    return m_type;
}

void ClotCurve::setType(PointType type)
{
    m_type = type;
}

QVector<ClotCurve::Segment> ClotCurve::segments() const
{
    return m_segments;
}

void ClotCurve::setSegments(const QVector<Segment> &segments)
{
    m_segments = segments;
}

void ClotCurve::append(const Segment &segment)
{
    m_segments.append(segment);
}

void ClotCurve::append(double x0, double dx, const QVector<double> &y)
{
    m_segments.append(Segment {x0, dx, y});
}

int ClotCurve::size() const
{
    int n = 0;
    for (const Segment &segment : m_segments)
        n += segment.y.size();
    return n;
}

bool ClotCurve::isEmpty() const
{
    return m_segments.isEmpty();
}

double ClotCurve::x(int i) const
{
    if (i < 0)
        return 0.0;
    for (const Segment &segment : m_segments) {
        const int n = segment.y.size();
        if (i < n)
            return segment.x0 + double(i) * segment.dx;
        i -= n;
    }
    return 0.0;
}

double ClotCurve::y(int i) const
{
    if (i < 0)
        return 0.0;
    for (const Segment &segment : m_segments) {
        const int n = segment.y.size();
        if (i < n)
            return segment.y.at(i);
        i -= n;
    }
    return 0.0;
}

void ClotCurve::remove(int from, int count)
{
    if (from < 0 || count <= 0)
        return;
    int k = 0;
    while (k < m_segments.size() && count != 0) {
        const int n = m_segments.at(k).y.size();
        if (from < n) {
            const int m = qMin(count, n - from);
            QVector<double> &y = m_segments[k].y;
            y.remove(from, m);
            count -= m;
            if (y.isEmpty()) {
                // The next segment moves to index k and is visited next; an emptied segment
                // held none of the values before the next one, so from stays (at 0).
                m_segments.remove(k);
                continue;
            }
        }
        from -= m_segments.at(k).y.size();
        ++k;
    }
}

ClotCurve ClotCurve::simplified() const
{
    return *this;
}

// qRound, saturated at the limits of int: no double, however large, overflows the conversion.
static int saturatedRound(double d)
{
    if (qIsNaN(d))
        return 0;
    if (d >= 2147483647.0)
        return std::numeric_limits<int>::max();
    if (d <= -2147483648.0)
        return std::numeric_limits<int>::min();
    return qRound(d);
}

ClotCurve ClotCurve::toType(PointType target) const
{
    if (target == m_type || target != OD || m_type != Raw)
        return *this;

    // Without a finite, non-zero step (and a finite start) the points have no x positions to
    // take a baseline from; such a curve stays raw rather than turning into made-up densities.
    if (!m_segments.isEmpty()) {
        const Segment &first = m_segments.first();
        if (!qIsFinite(first.x0) || !qIsFinite(first.dx) || first.dx == 0.0)
            return *this;
    }

    ClotCurve c = simplified();
    c.m_type = OD;
    if (c.m_segments.isEmpty())
        return c;

    Segment &s = c.m_segments.first();
    const int n = s.y.size();
    double *y = s.y.data();

    // The baseline is the mean over one x unit from x = 3.0 on (or from the first point).
    const double b = qMax(s.x0, 3.0);
    const int start = qMax(saturatedRound((b - s.x0) / s.dx), 0);
    const int w = qMin(n - start, qMax(1, saturatedRound(1.0 / s.dx)));
    if (w <= 0) {
        std::fill(y, y + n, 0.0);
        return c;
    }

    double sum = 0.0;
    for (int i = start; i < start + w; ++i)
        sum += y[i];
    const double base = sum / w;

    const int firstOD = start + w / 2;
    std::fill(y, y + firstOD, 0.0);
    const double floor = std::numeric_limits<double>::epsilon();
    for (int j = firstOD; j < n; ++j)
        y[j] = qMin(5.0, std::log10(base / qMax(y[j], floor)));
    return c;
}

// ---------------------------------------------------------------------------------------------
// The curve blob
//
// Point type (qint32), segment count (quint32), then per segment x0, dx (doubles), value count
// (quint32) and the values, all big-endian: QDataStream's default form. The value arrays are
// converted in bulk.
// ---------------------------------------------------------------------------------------------

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

    quint32 readUInt32()
    {
        if (m_end - m_pos < 4) {
            m_pos = m_end;
            return 0;
        }
        const quint32 v = qFromBigEndian<quint32>(m_pos);
        m_pos += 4;
        return v;
    }

    double readDouble()
    {
        if (m_end - m_pos < 8) {
            m_pos = m_end;
            return 0.0;
        }
        const quint64 bits = qFromBigEndian<quint64>(m_pos);
        m_pos += 8;
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

// ---------------------------------------------------------------------------------------------
// Curve storage
// ---------------------------------------------------------------------------------------------

void ClotCurve::save(int patientId, const QString &item) const
{
    QSqlQuery query(Profile::instance().dataDatabase());
    if (isEmpty()) {
        if (!query.prepare(
                QStringLiteral("delete from curve where patientId=:patientId and item=:item")))
            qWarning() << ".\\analysisresult(88):" << query.lastError();
    } else {
        if (!query.prepare(QStringLiteral("insert into curve (patientId, item, curve) "
                                          "values(:patientId, :item, :curve)")))
            qWarning() << ".\\analysisresult(94):" << query.lastError();
        const QByteArray blob = clotCurveToBlob(*this);
        if (blob.isEmpty()) {
            // Storing an empty blob would lose the curve without a trace.
            qWarning("ClotCurve::save: the curve of patient %d, item %s is too large to store",
                     patientId, qUtf8Printable(item));
            return;
        }
        query.bindValue(QStringLiteral(":curve"), QVariant(blob));
    }
    query.bindValue(QStringLiteral(":patientId"), QVariant(patientId));
    query.bindValue(QStringLiteral(":item"), QVariant(item));
    if (!query.exec())
        qWarning() << ".\\analysisresult(106):" << query.lastError();
}

void ClotCurve::load(int patientId, const QString &item)
{
    // Whatever happens below, the old segments are gone; the point type stays unless a stored
    // curve replaces it.
    m_segments.clear();

    QSqlQuery query(Profile::instance().dataDatabase());
    query.setForwardOnly(true);
    if (!query.prepare(
            QStringLiteral("select curve from curve where patientId=:patientId and item=:item")))
        qWarning() << ".\\analysisresult(113):" << query.lastError();
    query.bindValue(QStringLiteral(":patientId"), QVariant(patientId));
    query.bindValue(QStringLiteral(":item"), QVariant(item));
    if (!query.exec())
        qWarning() << ".\\analysisresult(119):" << query.lastError();

    if (query.next()) {
        const QByteArray blob = query.value(0).toByteArray();
        if (!blob.isEmpty())
            *this = fromBuffer(blob);
    }
}

// ---------------------------------------------------------------------------------------------
// AnalysisResult
// ---------------------------------------------------------------------------------------------

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
        return Profile::instance().lower_mark_limit_flag(Profile::trUtf8("↓"));
    if (flags & tavo::UpperMarkLimit)
        return Profile::instance().upper_mark_limit_flag(Profile::trUtf8("↑"));
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
        return Profile::instance().result_not_clotted(Profile::trUtf8("不凝"));
    if (d->error != NullResult)
        return Profile::instance().result_can_not_be_calculated(Profile::tr("---.-"));
    return QString();
}
