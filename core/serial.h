#ifndef SERIAL_H
#define SERIAL_H

#include "core_global.h"

#include <QtCore/qiodevice.h>
#include <QtCore/qmutex.h>
#include <QtCore/qscopedpointer.h>
#include <QtCore/qstring.h>
#include <QtCore/qstringlist.h>

class SerialEngine;

//! \file serial.h
//! Serial, a serial port as a Qt I/O device.

//! A serial port as a blocking I/O device. Reads and writes wait at most as long as the time-outs
//! allow. The object is also a recursive mutex for code that shares the port between threads; the
//! device's own operations never lock it.
//!
//! With Qt 5 the mutex is a QMutex built recursive, and qt_metacast() answers "Serial" and "QMutex".
//! Qt 6 has no recursive QMutex: there the base is a QRecursiveMutex, which is not a QMutex, and
//! qt_metacast() answers "Serial" and "QRecursiveMutex". Either way lock(), tryLock(), unlock() and
//! QMutexLocker locker(&serial) compile and behave alike.
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
class CORE_EXPORT Serial : public QIODevice, public QRecursiveMutex
#else
class CORE_EXPORT Serial : public QIODevice, public QMutex
#endif
{
    Q_OBJECT

public:
    //! The parity of a character; the values of the Win32 DCB field, passed through unchanged.
    enum Parity {
        NoParity = 0, //!< no parity bit
        OddParity = 1, //!< odd parity
        EvenParity = 2, //!< even parity
        MarkParity = 3, //!< parity bit always 1
        SpaceParity = 4 //!< parity bit always 0
    };
    //! The stop bits of a character; the values of the Win32 DCB field, passed through unchanged.
    enum StopBits {
        OneStopBit = 0, //!< one stop bit
        OneAndHalfStopBits = 1, //!< one and a half stop bits
        TwoStopBits = 2 //!< two stop bits
    };

    //! A closed port without a name.
    explicit Serial(QObject *parent = nullptr);
    //! Closes the port.
    ~Serial() override;

    //! The names of the system's serial ports as setFileName() takes them, without duplicates.
    static QStringList EnumDevices();

    //! Sets the name of the port that open() opens.
    void setFileName(const QString &name);
    //! The name of the port.
    QString fileName() const;

    //! Opens for reading and writing, unbuffered. Opened without Unbuffered, QIODevice asks the
    //! port for 16 KB at a time; as the total read time-out grows by 1 ms per byte asked, a short
    //! read can then stall for seconds.
    bool open();
    //! Opens the port in mode, which must ask for reading, writing or both; false with a warning
    //! when already open or without an access mode, false with errorString() when the system
    //! refuses.
    bool open(OpenMode mode) override;
    //! Closes the port.
    void close() override;

    //! Sets the line settings of the open port; false with errorString() when the port cannot
    //! take them, false with a warning when it is closed.
    bool setSettings(int baudRate, int dataBits, Parity parity, StopBits stopBits);
    //! Sets the time-outs in milliseconds as the Win32 COMMTIMEOUTS fields do: the read interval,
    //! the read total constant and the write total constant, both multipliers 1; false with
    //! errorString() on failure.
    bool setTimeouts(int readInterval, int readConstant, int writeConstant);
    //! Drops what the port has received and not yet been read.
    void clearInputBuffer();
    //! The system's handle of the port (a HANDLE on Windows, a file descriptor elsewhere).
    void *handle() const;

    //! Always true: a port is a stream.
    bool isSequential() const override;
    //! The bytes waiting in the port and in the device's buffer.
    qint64 bytesAvailable() const override;

protected:
    //! Reads at most maxSize bytes, waiting as the time-outs allow; a failure sets errorString().
    qint64 readData(char *data, qint64 maxSize) override;
    //! Writes at most maxSize bytes, waiting as the time-outs allow; a failure sets errorString().
    qint64 writeData(const char *data, qint64 maxSize) override;

private:
    Q_DISABLE_COPY(Serial)

    void setEngineError(int baudRate = 0, int dataBits = 0, int parity = 0, int stopBits = 0);

    QString m_fileName;
    const QScopedPointer<SerialEngine> m_engine;
};

#endif // SERIAL_H
