#ifndef TAVOGLOBAL_H
#define TAVOGLOBAL_H

#include "core_global.h"

#include <QtCore/qnamespace.h>
#include <QtWidgets/qmessagebox.h>

QT_BEGIN_NAMESPACE
class QWidget;
QT_END_NAMESPACE

// The window that a dialog should use as its parent: the active modal widget's window, else the
// active window's, else null.
CORE_EXPORT QWidget *topLevelWidget();

// Modal message boxes titled with the application's name, placed over topLevelWidget(). They show
// an arrow cursor while open and return the button that closed them.
CORE_EXPORT QMessageBox::StandardButton information(const QString &text,
                                                    QMessageBox::StandardButtons buttons,
                                                    QMessageBox::StandardButton defaultButton);
CORE_EXPORT QMessageBox::StandardButton question(const QString &text,
                                                 QMessageBox::StandardButtons buttons,
                                                 QMessageBox::StandardButton defaultButton);
CORE_EXPORT QMessageBox::StandardButton warning(const QString &text,
                                                QMessageBox::StandardButtons buttons,
                                                QMessageBox::StandardButton defaultButton);
CORE_EXPORT QMessageBox::StandardButton critical(const QString &text,
                                                 QMessageBox::StandardButtons buttons,
                                                 QMessageBox::StandardButton defaultButton);

// Blocks the calling thread for ms milliseconds without processing events.
CORE_EXPORT void sleep(int ms);

// Shows an override cursor for the life of the guard. Acts only on the application's thread;
// guards nest through Qt's stack of override cursors.
class CORE_EXPORT WaitCursor
{
public:
    WaitCursor(Qt::CursorShape shape = Qt::WaitCursor);
    ~WaitCursor();
    // A copy would restore a cursor it never set; assigning one guard to another changes nothing.
    WaitCursor(const WaitCursor &) = delete;
    WaitCursor &operator=(const WaitCursor &) { return *this; }
};

// Holds a flag at a value for the life of the guard, then restores what it held before.
class CORE_EXPORT BoolLocker
{
public:
    BoolLocker(bool &flag, bool value);
    ~BoolLocker();

private:
    Q_DISABLE_COPY(BoolLocker)

    bool *m_flag;
    bool m_value;
};

#endif // TAVOGLOBAL_H
