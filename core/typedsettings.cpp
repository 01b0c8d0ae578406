#include "profile.h"

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
