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

    //!@{
    //! Typed settings. Each getter keeps a copy of its setting after its first call and answers from
    //! it: the first default wins, and only the matching setter refreshes the copy.
    QString statim_sample_prefix(const QString &defaultValue);
    void set_statim_sample_prefix(const QString &value, bool save);
    QString qc_sample_prefix(const QString &defaultValue);
    void set_qc_sample_prefix(const QString &value, bool save);
    QString result_is_preparing(const QString &defaultValue);
    void set_result_is_preparing(const QString &value, bool save);
    QString result_can_not_be_calculated(const QString &defaultValue);
    void set_result_can_not_be_calculated(const QString &value, bool save);
    QString result_is_incubating(const QString &defaultValue);
    void set_result_is_incubating(const QString &value, bool save);
    QString result_is_analysing(const QString &defaultValue);
    void set_result_is_analysing(const QString &value, bool save);
    QString result_not_clotted(const QString &defaultValue);
    void set_result_not_clotted(const QString &value, bool save);
    QString dilution_result_flag(const QString &defaultValue);
    void set_dilution_result_flag(const QString &value, bool save);
    QString lower_report_limit_flag(const QString &defaultValue);
    void set_lower_report_limit_flag(const QString &value, bool save);
    QString upper_report_limit_flag(const QString &defaultValue);
    void set_upper_report_limit_flag(const QString &value, bool save);
    QString lower_mark_limit_flag(const QString &defaultValue);
    void set_lower_mark_limit_flag(const QString &value, bool save);
    QString upper_mark_limit_flag(const QString &defaultValue);
    void set_upper_mark_limit_flag(const QString &value, bool save);
    QString manual_input_flag(const QString &defaultValue);
    void set_manual_input_flag(const QString &value, bool save);
    QColor color_of_waiting(const QColor &defaultValue);
    void set_color_of_waiting(const QColor &value, bool save);
    QColor color_of_dispensing(const QColor &defaultValue);
    void set_color_of_dispensing(const QColor &value, bool save);
    QColor color_of_incubating(const QColor &defaultValue);
    void set_color_of_incubating(const QColor &value, bool save);
    QColor color_of_analysing(const QColor &defaultValue);
    void set_color_of_analysing(const QColor &value, bool save);
    QColor color_of_null_result(const QColor &defaultValue);
    void set_color_of_null_result(const QColor &value, bool save);
    QString analysis_display_assay(const QString &defaultValue);
    void set_analysis_display_assay(const QString &value, bool save);
    QString patient_display_fields(const QString &defaultValue);
    void set_patient_display_fields(const QString &value, bool save);
    int max_qc_file(const int &defaultValue);
    void set_max_qc_file(const int &value, bool save);
    int qc_method(const int &defaultValue);
    void set_qc_method(const int &value, bool save);
    QString hospital(const QString &defaultValue);
    void set_hospital(const QString &value, bool save);
    bool is_touch_screen(const bool &defaultValue);
    void set_is_touch_screen(const bool &value, bool save);
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

    // The typed settings' copies, in the order of the accessors above; invalid until first use.
    QVariant m_statim_sample_prefix;
    QVariant m_qc_sample_prefix;
    QVariant m_result_is_preparing;
    QVariant m_result_can_not_be_calculated;
    QVariant m_result_is_incubating;
    QVariant m_result_is_analysing;
    QVariant m_result_not_clotted;
    QVariant m_dilution_result_flag;
    QVariant m_lower_report_limit_flag;
    QVariant m_upper_report_limit_flag;
    QVariant m_lower_mark_limit_flag;
    QVariant m_upper_mark_limit_flag;
    QVariant m_manual_input_flag;
    QVariant m_color_of_waiting;
    QVariant m_color_of_dispensing;
    QVariant m_color_of_incubating;
    QVariant m_color_of_analysing;
    QVariant m_color_of_null_result;
    QVariant m_analysis_display_assay;
    QVariant m_patient_display_fields;
    QVariant m_max_qc_file;
    QVariant m_qc_method;
    QVariant m_hospital;
    QVariant m_is_touch_screen;

    ProfilePrivate *d;
};

#endif // PROFILE_H
