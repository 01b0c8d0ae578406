#ifndef SERIAL_H
#define SERIAL_H

#include "core_global.h"

#include <QtCore/qiodevice.h>
#include <QtCore/qmutex.h>
#include <QtCore/qscopedpointer.h>
#include <QtCore/qstring.h>
#include <QtCore/qstringlist.h>

class SerialEngine;

// A serial port as a blocking I/O device. Reads and writes wait at most as long as the time-outs
// allow. The object is also a recursive mutex for code that shares the port between threads; the
// device's own operations never lock it.
//
// With Qt 5 the mutex is a QMutex built recursive, and qt_metacast() answers "Serial" and "QMutex".
// Qt 6 has no recursive QMutex: there the base is a QRecursiveMutex, which is not a QMutex, and
// qt_metacast() answers "Serial" and "QRecursiveMutex". Either way lock(), tryLock(), unlock() and
// QMutexLocker locker(&serial) compile and behave alike.
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
class CORE_EXPORT Serial : public QIODevice, public QRecursiveMutex
#else
class CORE_EXPORT Serial : public QIODevice, public QMutex
#endif
{
    Q_OBJECT

public:
    // Values of the Win32 DCB fields, passed through unchanged.
    enum Parity { NoParity = 0, OddParity = 1, EvenParity = 2, MarkParity = 3, SpaceParity = 4 };
    enum StopBits { OneStopBit = 0, OneAndHalfStopBits = 1, TwoStopBits = 2 };

    explicit Serial(QObject *parent = nullptr);
    ~Serial() override;

    static QStringList EnumDevices();

    void setFileName(const QString &name);
    QString fileName() const;

    // open() opens for reading and writing, unbuffered. Opened without Unbuffered, QIODevice
    // asks the port for 16 KB at a time; as the total read time-out grows by 1 ms per byte
    // asked, a short read can then stall for seconds.
    bool open();
    bool open(OpenMode mode) override;
    void close() override;

    bool setSettings(int baudRate, int dataBits, Parity parity, StopBits stopBits);
    bool setTimeouts(int readInterval, int readConstant, int writeConstant);
    void clearInputBuffer();
    void *handle() const;

    bool isSequential() const override;
    qint64 bytesAvailable() const override;

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 maxSize) override;

private:
    Q_DISABLE_COPY(Serial)

    void setEngineError(int baudRate = 0, int dataBits = 0, int parity = 0, int stopBits = 0);

    QString m_fileName;
    const QScopedPointer<SerialEngine> m_engine;
};

#endif // SERIAL_H
