#ifndef ANALYSISRESULT_H
#define ANALYSISRESULT_H

#include "core_global.h"

#include <QtCore/qbytearray.h>
#include <QtCore/qstring.h>
#include <QtCore/qvariant.h>
#include <QtCore/qvector.h>

namespace tavo {

// Flag bits of a result. They combine by bitwise or; bits without a name here are kept as they are.
enum ResultFlag : int {
    DilutionResult = 0x0002,
    LowerReportLimit = 0x0004,
    UpperReportLimit = 0x0008,
    LowerMarkLimit = 0x0010,
    UpperMarkLimit = 0x0020,
    ManualTest = 0x1000,
    ManualInput = 0x8000
};

} // namespace tavo

// The clot curve of one test: runs of evenly sampled points (segments), seen by callers as one
// sequence of points indexed across all segments.
class CORE_EXPORT ClotCurve
{
public:
    // What the y values mean. Stored curves may carry other values; they are kept as read.
    enum PointType : int {
        Raw = 0, // signal intensity as sampled
        OD = 1 // optical density, see toType()
    };

    // Point k lies at x0 + k * dx.
    struct Segment
    {
        double x0 = 0.0;
        double dx = 0.0;
        QVector<double> y;
    };

    ClotCurve();

    PointType type() const;
    void setType(PointType type);

    QVector<Segment> segments() const;
    void setSegments(const QVector<Segment> &segments);

    void append(const Segment &segment);
    void append(double x0, double dx, const QVector<double> &y);

    // size() counts points; isEmpty() is about segments, so a curve of empty segments is not empty.
    int size() const;
    bool isEmpty() const;

    // Global index i; an index outside the curve gives 0.0.
    double x(int i) const;
    double y(int i) const;

    // Removes count points from global index from on, across segments; emptied segments are
    // dropped. Negative arguments remove nothing.
    void remove(int from, int count);

    ClotCurve simplified() const;

    // Only Raw -> OD converts (the first segment only); anything else returns an unchanged copy.
    ClotCurve toType(PointType type) const;

    // The curve table of data.db; failures are reported with qWarning.
    void save(int patientId, const QString &item) const;
    void load(int patientId, const QString &item);
    static ClotCurve fromBuffer(const QByteArray &buffer);

private:
    PointType m_type;
    QVector<Segment> m_segments;
};

Q_DECLARE_TYPEINFO(ClotCurve::Segment, Q_MOVABLE_TYPE);
Q_DECLARE_TYPEINFO(ClotCurve, Q_MOVABLE_TYPE);

// One test result. Implicitly shared: copies share one record until one of them is written.
class CORE_EXPORT AnalysisResult
{
public:
    enum ErrorCode : int {
        NoError = 0,
        InvalidValue = 1,
        OtherError = 2,
        NullResult = 3,
        NoStandardCurve = 4,
        InvalidStandardCurve = 5,
        StandardCurveSettingError = 6,
        InvalidCalculationMethod = 7,
        MissingCalculationParameter = 8,
        NotClotted = 9
    };

    // Any value other than Decorated prints the number alone.
    enum Format : int {
        Decorated = 0, // prefix marks, number, suffix marks
        NumberOnly = 1
    };

    static const double notClottedValue; // 999.9
    static const double nullValue; // 0.0
    static const double invalidOD; // 0.0

    AnalysisResult();
    AnalysisResult(double value);
    AnalysisResult(ErrorCode error);
    AnalysisResult(const AnalysisResult &other);
    AnalysisResult &operator=(const AnalysisResult &other);
    ~AnalysisResult();

    bool isCopyOf(const AnalysisResult &other) const;

    double value() const;
    operator double() const;
    double od() const;
    ClotCurve curve() const;
    int id() const;
    int flags() const;
    ErrorCode error() const;
    int ch() const;
    bool isValid() const;
    bool isNull() const;
    bool testFlag(tavo::ResultFlag flag) const;
    bool isManualTest() const;

    // 0.0 makes the result empty, notClottedValue not clotted, anything else valid.
    void setValue(double value);
    void setOD(double od);
    void setCurve(const ClotCurve &curve);
    void setId(int id);
    void setCh(int ch);
    void setFlags(int flags);
    void setFlag(tavo::ResultFlag flag, bool on = true);
    void setManualTest(bool on = true);
    void setError(ErrorCode error);
    void setErrorText(const QString &text);
    void clearErrorText();

    QString errorText() const;
    QVariant toVariant() const;
    // A negative precision prints with 'g' and 6 significant digits.
    QString toString(Format format = Decorated, char numberFormat = 'f', int precision = 1) const;
    QString prefix() const;
    QString suffix() const;

private:
    struct Data;

    void detach();

    Data *d;

    static Data shared_null;
};

#endif // ANALYSISRESULT_H
