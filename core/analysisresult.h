#ifndef ANALYSISRESULT_H
#define ANALYSISRESULT_H

#include "core_global.h"

#include <QtCore/qbytearray.h>
#include <QtCore/qstring.h>
#include <QtCore/qvariant.h>
#include <QtCore/qvector.h>

//! \file analysisresult.h
//! Test results (AnalysisResult) and their clot curves (ClotCurve).

//! The workstation's enumerations.
namespace tavo {

//! Flag bits of a result. They combine by bitwise or; bits without a name here are kept as they are.
enum ResultFlag : int {
    DilutionResult = 0x0002, //!< measured on a diluted sample
    LowerReportLimit = 0x0004, //!< below the lower report limit
    UpperReportLimit = 0x0008, //!< above the upper report limit
    LowerMarkLimit = 0x0010, //!< below the lower mark limit
    UpperMarkLimit = 0x0020, //!< above the upper mark limit
    ManualTest = 0x1000, //!< a manual test
    ManualInput = 0x8000 //!< entered by hand
};

} // namespace tavo

//! The clot curve of one test: runs of evenly sampled points (segments), seen by callers as one
//! sequence of points indexed across all segments.
class CORE_EXPORT ClotCurve
{
public:
    //! What the y values mean. Stored curves may carry other values; they are kept as read.
    enum PointType : int {
        Raw = 0, //!< signal intensity as sampled
        OD = 1 //!< optical density, see toType()
    };

    //! A run of evenly sampled points: point k lies at x0 + k * dx.
    struct Segment
    {
        double x0 = 0.0; //!< x of the first point
        double dx = 0.0; //!< step between two points
        QVector<double> y; //!< the sampled values
    };

    //! An empty Raw curve.
    ClotCurve();

    //! What the y values mean.
    PointType type() const;
    //! Sets what the y values mean; the values are not converted (see toType()).
    void setType(PointType type);

    //! The segments, in order.
    QVector<Segment> segments() const;
    //! Replaces all segments.
    void setSegments(const QVector<Segment> &segments);

    //! Appends a segment after the last one.
    void append(const Segment &segment);
    //! Appends the segment of the points y, the first at x0 and each next one dx further.
    void append(double x0, double dx, const QVector<double> &y);

    //! The number of points across all segments.
    int size() const;
    //! Whether the curve has no segments; a curve of empty segments is not empty.
    bool isEmpty() const;

    //! The x of the point at global index i; an index outside the curve gives 0.0.
    double x(int i) const;
    //! The y of the point at global index i; an index outside the curve gives 0.0.
    double y(int i) const;

    //! Removes count points from global index from on, across segments; emptied segments are
    //! dropped. Negative arguments remove nothing.
    void remove(int from, int count);

    //! A copy of the curve.
    ClotCurve simplified() const;

    //! The curve converted to type. Only Raw -> OD converts (the first segment only); anything
    //! else returns an unchanged copy.
    ClotCurve toType(PointType type) const;

    //! Stores the curve in the curve table of data.db for the patient and item; an empty curve
    //! deletes the stored one. Failures are reported with qWarning.
    void save(int patientId, const QString &item) const;
    //! Replaces the segments with the curve stored for the patient and item in data.db; without
    //! one the curve is left empty. Failures are reported with qWarning.
    void load(int patientId, const QString &item);
    //! The curve of a blob as the curve table stores it.
    static ClotCurve fromBuffer(const QByteArray &buffer);

private:
    PointType m_type;
    QVector<Segment> m_segments;
};

Q_DECLARE_TYPEINFO(ClotCurve::Segment, Q_MOVABLE_TYPE);
Q_DECLARE_TYPEINFO(ClotCurve, Q_MOVABLE_TYPE);

//! One test result. Implicitly shared: copies share one record until one of them is written.
class CORE_EXPORT AnalysisResult
{
public:
    //! Why a result has no valid value.
    enum ErrorCode : int {
        NoError = 0, //!< a valid value
        InvalidValue = 1, //!< the value is not valid
        OtherError = 2, //!< an error described by errorText()
        NullResult = 3, //!< no result (empty)
        NoStandardCurve = 4, //!< no standard curve to calculate with
        InvalidStandardCurve = 5, //!< the standard curve is not valid
        StandardCurveSettingError = 6, //!< the standard curve's settings are wrong
        InvalidCalculationMethod = 7, //!< the calculation method is not valid
        MissingCalculationParameter = 8, //!< a parameter of the calculation is missing
        NotClotted = 9 //!< the sample did not clot
    };

    //! How toString() prints. Any value other than Decorated prints the number alone.
    enum Format : int {
        Decorated = 0, //!< prefix marks, number, suffix marks
        NumberOnly = 1 //!< the number alone
    };

    static const double notClottedValue; //!< the value of a result that did not clot, 999.9
    static const double nullValue; //!< the value of an empty result, 0.0
    static const double invalidOD; //!< the optical density of a result without one, 0.0

    //! An empty result (NullResult); all empty results share one record.
    AnalysisResult();
    //! A result of the value, as setValue() makes it.
    AnalysisResult(double value);
    //! A result without a value, failed with error.
    AnalysisResult(ErrorCode error);
    //! A copy that shares the record of other.
    AnalysisResult(const AnalysisResult &other);
    //! Shares the record of other.
    AnalysisResult &operator=(const AnalysisResult &other);
    //! Releases the record; the last owner frees it.
    ~AnalysisResult();

    //! Whether this result and other share one record.
    bool isCopyOf(const AnalysisResult &other) const;

    //! The value.
    double value() const;
    //! The value.
    operator double() const;
    //! The optical density.
    double od() const;
    //! The clot curve.
    ClotCurve curve() const;
    //! The record's id.
    int id() const;
    //! The flag bits (tavo::ResultFlag).
    int flags() const;
    //! The error code; NoError for a valid result.
    ErrorCode error() const;
    //! The channel the test ran on.
    int ch() const;
    //! Whether error() is NoError.
    bool isValid() const;
    //! Whether error() is NullResult.
    bool isNull() const;
    //! Whether the flag is set.
    bool testFlag(tavo::ResultFlag flag) const;
    //! Whether tavo::ManualTest is set.
    bool isManualTest() const;

    //! Sets the value: 0.0 makes the result empty, notClottedValue not clotted, anything else valid.
    void setValue(double value);
    //! Sets the optical density.
    void setOD(double od);
    //! Sets the clot curve.
    void setCurve(const ClotCurve &curve);
    //! Sets the record's id.
    void setId(int id);
    //! Sets the channel.
    void setCh(int ch);
    //! Sets all flag bits.
    void setFlags(int flags);
    //! Sets the flag, or clears it when on is false.
    void setFlag(tavo::ResultFlag flag, bool on = true);
    //! Sets or clears tavo::ManualTest.
    void setManualTest(bool on = true);
    //! Sets the error code and clears the error text.
    void setError(ErrorCode error);
    //! Sets the error text; the error becomes OtherError.
    void setErrorText(const QString &text);
    //! Clears the error text; the error code stays.
    void clearErrorText();

    //! The error text: the one set, else the translated text of the error code; empty for
    //! NoError and NotClotted.
    QString errorText() const;
    //! The value for a valid or not clotted result, else an invalid QVariant.
    QVariant toVariant() const;
    //! The result as the result screens show it. A negative precision prints with 'g' and 6
    //! significant digits.
    QString toString(Format format = Decorated, char numberFormat = 'f', int precision = 1) const;
    //! The marks printed before the number, from the flags and the settings' flag texts.
    QString prefix() const;
    //! The mark printed after the number, from the mark limit flags and the settings.
    QString suffix() const;

private:
    struct Data;

    void detach();

    Data *d;

    static Data shared_null;
};

#endif // ANALYSISRESULT_H
