#ifndef TAVOGLOBAL_H
#define TAVOGLOBAL_H

#include "core_global.h"

#include <QtCore/qnamespace.h>
#include <QtCore/qstring.h>
#include <QtCore/qstringlist.h>
#include <QtCore/qvariant.h>
#include <QtWidgets/qmessagebox.h>

QT_BEGIN_NAMESPACE
class QDate;
class QSqlRecord;
class QWidget;
QT_END_NAMESPACE

//! \file tavoglobal.h
//! Sample numbering, dilution ratios, rounding, CRC-16, scripts, message boxes and guards.

// No unit of this name: each group below says which source file holds it.

// Sample numbering (samplenumbering.cpp)

namespace tavo {

//! The kind of a sample. Any other value, 0 included, is a sample without a prefix.
enum SampleType {
    Statim = 1, //!< a statim (urgent) sample
    Qc = 2 //!< a quality-control sample
};

} // namespace tavo

//! The number proposed for the next sample of the given day: one more than the largest sample
//! number stored for it in data.db, compared as integers; 1 when there is none, when none is above
//! 0, or when the query fails. When the largest stored number leaves no room for a successor in
//! an int (2147483647 or more), no number can be proposed and the result is 0, which is never a
//! sample number: the user must enter one. The result is never negative or an earlier number.
//! Uses the Profile's data.db connection, so it belongs on the Profile's thread.
CORE_EXPORT int nextSampleNo(const QDate &date);

//! The prefix of a statim or quality-control sample number, from the settings ("S" and "QC" when
//! none are stored); a null string for any other kind of sample.
CORE_EXPORT QString samplePrefix(tavo::SampleType type);

//! Sets the named field of the record and marks it generated, so that an insert or update built
//! from the record writes it. A name that is not a field of the record changes nothing.
CORE_EXPORT void setGeneratedValue(QSqlRecord &record, const QString &name, const QVariant &value);

// Numerics (numerics.cpp)

//! The value of the first ratio such as 1/10, 1:2 or -3 / 4 found in the text; 0.0 when there is
//! none. The division is not guarded: 1/0 gives infinity and still counts as found.
CORE_EXPORT double fraction(const QString &text, bool *ok = nullptr);

//! The value rounded as QString::number(value, format, precision) writes it: 'f' to decimals,
//! 'e' and 'E' to precision + 1 significant digits, 'g' and 'G' to precision significant digits,
//! any other format as 'f'. Rounds the exact binary value, so 2.675 to 2 decimals gives 2.67.
CORE_EXPORT double round(double value, int precision, char format);

//! The dilution ratios offered to the user, from 1/1 to 4/5, in a fixed order.
CORE_EXPORT QStringList dilutionList();

//! CRC-16/CCITT-FALSE (polynomial 0x1021, initial value 0xFFFF, no reflection, no final XOR) of
//! length bytes; 0xFFFF when there are none.
CORE_EXPORT unsigned short crc16(const void *data, int length);

// Scripts (scripts.cpp; the engine in scripts_qtscript.cpp with Qt 5, scripts_qjs.cpp with Qt 6)

//! The value of an ECMAScript program, evaluated in an engine of its own. Undefined and null give an
//! invalid QVariant; an uncaught exception gives its thrown value, and nothing is reported.
CORE_EXPORT QVariant eval(const QString &program);

//! The value of a UTF-8 script file, evaluated in an engine of its own. An uncaught exception or a
//! syntax error is shown to the user in a critical message box (written as a warning when called
//! off the user-interface thread) and gives an invalid QVariant; a file that cannot be read
//! evaluates as an empty script.
CORE_EXPORT QVariant load_script(const QString &fileName);

// Message boxes, cursors and guards (uihelpers.cpp)

//! The window that a dialog should use as its parent: the active modal widget's window, else the
//! active window's, else null.
CORE_EXPORT QWidget *topLevelWidget();

//! Shows text in a modal information box titled with the application's name, placed over
//! topLevelWidget(), with buttons and defaultButton. Message boxes show an arrow cursor while open
//! and return the button that closed them.
CORE_EXPORT QMessageBox::StandardButton information(const QString &text,
                                                    QMessageBox::StandardButtons buttons,
                                                    QMessageBox::StandardButton defaultButton);
//! The question box; see information().
CORE_EXPORT QMessageBox::StandardButton question(const QString &text,
                                                 QMessageBox::StandardButtons buttons,
                                                 QMessageBox::StandardButton defaultButton);
//! The warning box; see information().
CORE_EXPORT QMessageBox::StandardButton warning(const QString &text,
                                                QMessageBox::StandardButtons buttons,
                                                QMessageBox::StandardButton defaultButton);
//! The critical box; see information().
CORE_EXPORT QMessageBox::StandardButton critical(const QString &text,
                                                 QMessageBox::StandardButtons buttons,
                                                 QMessageBox::StandardButton defaultButton);

//! Blocks the calling thread for ms milliseconds without processing events.
CORE_EXPORT void sleep(int ms);

//! Shows an override cursor for the life of the guard. Acts only on the application's thread;
//! guards nest through Qt's stack of override cursors.
class CORE_EXPORT WaitCursor
{
public:
    //! Shows shape until the guard is destroyed.
    WaitCursor(Qt::CursorShape shape = Qt::WaitCursor);
    //! Restores the cursor shown before.
    ~WaitCursor();
    //! Not copyable: a copy would restore a cursor it never set.
    WaitCursor(const WaitCursor &) = delete;
    //! Assigning one guard to another changes nothing.
    WaitCursor &operator=(const WaitCursor &) { return *this; }
};

//! Holds a flag at a value for the life of the guard, then restores what it held before.
class CORE_EXPORT BoolLocker
{
public:
    //! Sets flag to value; flag must outlive the guard.
    BoolLocker(bool &flag, bool value);
    //! Gives flag back the value it held before.
    ~BoolLocker();

private:
    Q_DISABLE_COPY(BoolLocker)

    bool *m_flag;
    bool m_value;
};

#endif // TAVOGLOBAL_H
