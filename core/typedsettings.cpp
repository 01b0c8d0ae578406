#include "profile.h"

// The typed settings: value type and key. The key in the profile table is the getter's name.
#define CORE_TYPED_SETTINGS(X)                                                                   \
    X(QString, statim_sample_prefix)                                                             \
    X(QString, qc_sample_prefix)                                                                 \
    X(QString, result_is_preparing)                                                              \
    X(QString, result_can_not_be_calculated)                                                     \
    X(QString, result_is_incubating)                                                             \
    X(QString, result_is_analysing)                                                              \
    X(QString, result_not_clotted)                                                               \
    X(QString, dilution_result_flag)                                                             \
    X(QString, lower_report_limit_flag)                                                          \
    X(QString, upper_report_limit_flag)                                                          \
    X(QString, lower_mark_limit_flag)                                                            \
    X(QString, upper_mark_limit_flag)                                                            \
    X(QString, manual_input_flag)                                                                \
    X(QColor, color_of_waiting)                                                                  \
    X(QColor, color_of_dispensing)                                                               \
    X(QColor, color_of_incubating)                                                               \
    X(QColor, color_of_analysing)                                                                \
    X(QColor, color_of_null_result)                                                              \
    X(QString, analysis_display_assay)                                                           \
    X(QString, patient_display_fields)                                                           \
    X(int, max_qc_file)                                                                          \
    X(int, qc_method)                                                                            \
    X(QString, hospital)                                                                         \
    X(bool, is_touch_screen)

template<typename T>
static T convertStored(const QVariant &value)
{
    return qvariant_cast<T>(value);
}

// A blob reads as its UTF-8 text up to the first zero byte, never as a null string: Qt 5 converts
// it so (and Qt 4 did), Qt 6 would take every byte and make an empty blob a null string.
template<>
QString convertStored<QString>(const QVariant &value)
{
    if (value.userType() != QMetaType::QByteArray)
        return value.toString();
    const QByteArray bytes = value.toByteArray();
    const QString text = QString::fromUtf8(bytes.constData(), int(qstrlen(bytes.constData())));
    return text.isNull() ? QString(QLatin1String("")) : text;
}

// The first call of a getter fills its copy, through the store so that an absent key gets its
// placeholder, and converts it with QVariant's own rules: a conversion that fails gives the
// type's empty value, never the default. The copy keeps the converted value, so that every later
// call is a plain copy out of it (the same result as converting the stored value each time,
// without the cost: a stored integer or colour text would otherwise be converted on every call).
// Kept out of line, so that the getters' common path stays a test and a copy.
template<typename T>
static Q_NEVER_INLINE void fillCopy(Profile *profile, QVariant *copy, const QString &key,
                                    const T &defaultValue)
{
    *copy = QVariant::fromValue(
            convertStored<T>(profile->value(key, QVariant::fromValue(defaultValue))));
}

// A filled copy holds its type, and these read it back. Where QVariant has a reader of its own
// for the type, that is one call into QtCore instead of qvariant_cast's two.
template<typename T>
static inline T readCopy(const QVariant &copy)
{
    return qvariant_cast<T>(copy);
}

template<>
inline QString readCopy<QString>(const QVariant &copy)
{
    return copy.toString();
}

template<>
inline int readCopy<int>(const QVariant &copy)
{
    return copy.toInt();
}

template<>
inline bool readCopy<bool>(const QVariant &copy)
{
    return copy.toBool();
}

// The setter replaces the copy before it writes through the store.
#define CORE_DEFINE_TYPED_SETTING(Type, name)                                                    \
    Type Profile::name(const Type &defaultValue)                                                 \
    {                                                                                            \
        if (Q_UNLIKELY(!m_##name.isValid()))                                                     \
            fillCopy(this, &m_##name, QStringLiteral(#name), defaultValue);                      \
        return readCopy<Type>(m_##name);                                                         \
    }                                                                                            \
    void Profile::set_##name(const Type &newValue, bool save)                                    \
    {                                                                                            \
        m_##name = QVariant::fromValue(newValue);                                                \
        setValue(QStringLiteral(#name), m_##name, save);                                         \
    }

CORE_TYPED_SETTINGS(CORE_DEFINE_TYPED_SETTING)
