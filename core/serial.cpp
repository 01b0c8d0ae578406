#include "serial.h"
#include "serial_p.h"

Serial::Serial(QObject *parent)
    : QIODevice(parent)
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    , QMutex(QMutex::Recursive)
#endif
    , m_engine(new SerialEngine)
{
}

Serial::~Serial()
{
    close();
}

QStringList Serial::EnumDevices()
{
    QStringList names;
    for (const std::string &name : SerialEngine::enumDevices())
        names.append(QString::fromStdString(name));
    return names;
}

void Serial::setFileName(const QString &name)
{
    m_fileName = name;
}

QString Serial::fileName() const
{
    return m_fileName;
}

bool Serial::open()
{
    return open(QIODevice::ReadWrite | QIODevice::Unbuffered);
}

bool Serial::open(OpenMode mode)
{
    if (isOpen()) {
        qWarning("Serial::open: Serial (%s) is already open", qUtf8Printable(m_fileName));
        return false;
    }
    // Without an access mode the port would be opened for nothing (or, on POSIX, read-only).
    if (!(mode & QIODevice::ReadWrite)) {
        qWarning("Serial::open: File access not specified");
        return false;
    }
    if (!m_engine->open(m_fileName.toStdString(), mode & QIODevice::ReadOnly,
                        mode & QIODevice::WriteOnly)) {
        setEngineError();
        return false;
    }
    return QIODevice::open(mode);
}

void Serial::close()
{
    QIODevice::close();
    m_engine->close();
}

bool Serial::setSettings(int baudRate, int dataBits, Parity parity, StopBits stopBits)
{
    if (!isOpen()) {
        qWarning("Serial::setSettings: File is not open");
        return false;
    }
    if (!m_engine->setSettings(baudRate, dataBits, parity, stopBits)) {
        setEngineError(baudRate, dataBits, parity, stopBits);
        return false;
    }
    return true;
}

bool Serial::setTimeouts(int readInterval, int readConstant, int writeConstant)
{
    if (!m_engine->setTimeouts(readInterval, readConstant, writeConstant)) {
        setEngineError();
        return false;
    }
    return true;
}

void Serial::clearInputBuffer()
{
    m_engine->clearInput();
}

void *Serial::handle() const
{
    return m_engine->handle();
}

bool Serial::isSequential() const
{
    return true;
}

qint64 Serial::bytesAvailable() const
{
    return m_engine->bytesInQueue() + QIODevice::bytesAvailable();
}

qint64 Serial::readData(char *data, qint64 maxSize)
{
    const qint64 count = m_engine->read(data, maxSize);
    if (m_engine->failed())
        setEngineError();
    return count;
}

qint64 Serial::writeData(const char *data, qint64 maxSize)
{
    const qint64 count = m_engine->write(data, maxSize);
    if (m_engine->failed())
        setEngineError();
    return count;
}

void Serial::setEngineError(int baudRate, int dataBits, int parity, int stopBits)
{
    switch (m_engine->error()) {
    case SerialEngine::NoError:
        break;
    case SerialEngine::SystemError:
        setErrorString(qt_error_string(m_engine->systemError()));
        break;
    case SerialEngine::InvalidName:
        setErrorString(tr("Invalid serial port name \"%1\"").arg(m_fileName));
        break;
    case SerialEngine::PortInUse:
        setErrorString(tr("Serial port %1 is in use by another program").arg(m_fileName));
        break;
    case SerialEngine::NotSerialPort:
        setErrorString(tr("%1 is not a serial port").arg(m_fileName));
        break;
    case SerialEngine::UnsupportedBaudRate:
        setErrorString(tr("Baud rate %1 is not supported").arg(baudRate));
        break;
    case SerialEngine::UnsupportedDataBits:
        setErrorString(tr("%1 data bits are not supported").arg(dataBits));
        break;
    case SerialEngine::UnsupportedParity:
        setErrorString(tr("Parity setting %1 is not supported").arg(parity));
        break;
    case SerialEngine::UnsupportedStopBits:
        setErrorString(stopBits == OneAndHalfStopBits
                               ? tr("1.5 stop bits are not supported on this system")
                               : tr("Stop bits setting %1 is not supported").arg(stopBits));
        break;
    }
}
