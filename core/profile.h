#ifndef PROFILE_H
#define PROFILE_H

#include "core_global.h"

#include <QtCore/qobject.h>
#include <QtCore/qstringlist.h>
#include <QtCore/qvariant.h>
#include <QtGui/qcolor.h>
#include <QtSql/qsqldatabase.h>

class ProfilePrivate;

//! \file profile.h
//! Profile, the settings store.

//! The typed settings: value type and name. The name is the getter's and the key of the setting
//! in the profile table; set_<name> is the setter.
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

//! The workstation's settings store and the owner of its four database connections.
//!
//! Every row of the profile table is read into a cache when the store is built; reads are answered
//! from the cache and never touch the database. A write with save set reaches the table through
//! valueChanged(), which is connected to saveValue() automatically: it runs inside the call on the
//! thread that owns the store, and through that thread's event loop when called from another one.
class CORE_EXPORT Profile : public QObject
{
    Q_OBJECT

public:
    //! A store of profile.db in the current directory, with the connections to data.db, qc.db and
    //! syslog.db; a file that cannot be opened or holds no table is reported in a message box.
    explicit Profile(QObject *parent = nullptr);
    //! A store of the settings file fileName.
    Profile(const QString &fileName, QObject *parent);
    //! Destroys the store; the database connections stay registered for handles given out.
    virtual ~Profile();

    //! The application's store, built on first use in the current directory.
    static Profile &instance();

#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    //! Qt 5's Q_OBJECT declares trUtf8 (deprecated there); Qt 6 dropped it, as tr reads UTF-8 too.
    //! Kept under the old name, with the same result as tr, so that callers keep compiling.
    QT_DEPRECATED_X("Use tr()")
    static inline QString trUtf8(const char *sourceText, const char *comment = nullptr, int n = -1)
    { return tr(sourceText, comment, n); }
#endif

    QSqlDatabase database() const; //!< The connection to the settings file, profile.db.
    QSqlDatabase qcDatabase() const; //!< The connection to qc.db.
    QSqlDatabase dataDatabase() const; //!< The connection to data.db.
    QSqlDatabase syslogDatabase() const; //!< The connection to syslog.db.

    //! The setting key, or defaultValue when there is none.
    QVariant value(const QString &key, const QVariant &defaultValue = QVariant());
    //! The setting key, else the setting fallbackKey, else defaultValue.
    QVariant value2(const QString &key, const QString &fallbackKey,
                    const QVariant &defaultValue = QVariant());
    //! Sets key to value in the cache; with save, also in the table (see the class notes).
    void setValue(const QString &key, const QVariant &value, bool save = true);
    //! Removes key from the cache and the table.
    void remove(const QString &key);
    //! The keys of all settings.
    QStringList keys() const;

    //! \name Typed settings
    //! A getter and a setter for each entry of CORE_TYPED_SETTINGS. Each getter
    //! keeps a copy of its setting after its first call and answers from it: the first default
    //! wins, and only the matching setter refreshes the copy. The copy is a plain member, not
    //! guarded: each typed setting belongs to one thread at a time (two threads may each read a
    //! setting of their own), while value() and setValue() serve any thread.
    //!@{
    //! \def CORE_DECLARE_TYPED_SETTING(Type, name)
    //! Declares the getter and the setter of one typed setting; undefined after the list.
#define CORE_DECLARE_TYPED_SETTING(Type, name)                                                   \
    Type name(const Type &defaultValue);                                                         \
    void set_##name(const Type &value, bool save);
    CORE_TYPED_SETTINGS(CORE_DECLARE_TYPED_SETTING)
#undef CORE_DECLARE_TYPED_SETTING
    //!@}

Q_SIGNALS:
    //! A setting was written with save set; saveValue() stores it.
    void valueChanged(const QString &key, const QVariant &value);
    //! A setting was removed; its row is deleted.
    void keyRemoved(const QString &key);

private Q_SLOTS:
    void saveValue(const QString &key, const QVariant &value);
    void removeKey(const QString &key);

private:
    Q_DISABLE_COPY(Profile)

    void init(const QString &fileName);

    // The typed settings' copies, in the order of the list; invalid until first use.
    //! \cond
#define CORE_TYPED_SETTING_COPY(Type, name) QVariant m_##name;
    CORE_TYPED_SETTINGS(CORE_TYPED_SETTING_COPY)
#undef CORE_TYPED_SETTING_COPY
    //! \endcond

    ProfilePrivate *d;
};

#endif // PROFILE_H
