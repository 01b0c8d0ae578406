// The POSIX serial engine: opening a port and setting its line. The transfers are in
// serialtransfer_unix.cpp.

#include "serial_p.h"

#include <cerrno>
#include <cstdint>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

struct SpeedEntry
{
    int baudRate;
    speed_t speed;
};

const SpeedEntry speeds[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},
#ifdef B921600 // Linux and the BSDs
    {460800, B460800},   {921600, B921600},
#endif
#ifdef B4000000 // Linux
    {500000, B500000},   {576000, B576000},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
#endif
};

bool speedFor(int baudRate, speed_t *speed)
{
    for (const SpeedEntry &entry : speeds) {
        if (entry.baudRate == baudRate) {
            *speed = entry.speed;
            return true;
        }
    }
    return false;
}

#ifdef CMSPAR
const tcflag_t markSpaceFlag = CMSPAR;
#else
const tcflag_t markSpaceFlag = 0;
#endif
const tcflag_t parityFlags = PARENB | PARODD | markSpaceFlag;

// Binary transfer as a Win32 port does it: no line editing, echo, signals or character
// translation, breaks kept out of the data. Reads never wait in the driver (O_NONBLOCK); VMIN 1
// makes an empty queue report EAGAIN and a hung-up line end of file.
void makeRaw(termios *t)
{
    t->c_iflag &= ~(BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON);
#ifdef IUCLC
    t->c_iflag &= ~IUCLC;
#endif
    t->c_iflag |= IGNBRK;
    t->c_oflag &= ~OPOST;
    t->c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t->c_cflag |= CREAD | CLOCAL;
    t->c_cc[VMIN] = 1;
    t->c_cc[VTIME] = 0;
}

} // namespace

SerialEngine::SerialEngine() = default;

SerialEngine::~SerialEngine()
{
    close();
}

void SerialEngine::setSystemError()
{
    setError(SystemError, errno);
}

bool SerialEngine::open(const std::string &name, bool read, bool write)
{
    clearError();
    if (m_fd >= 0) {
        setError(SystemError, EBUSY);
        return false;
    }
    if (name.empty() || name.find('\0') != std::string::npos) {
        setError(InvalidName);
        return false;
    }
    int flags = O_NOCTTY | O_NONBLOCK | O_CLOEXEC;
    flags |= read && write ? O_RDWR : (write ? O_WRONLY : O_RDONLY);
    const std::string path = devicePath(name);
    int fd;
    do {
        fd = ::open(path.c_str(), flags);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        // EBUSY: another holder has set TIOCEXCL.
        if (errno == EBUSY)
            setError(PortInUse);
        else
            setSystemError();
        return false;
    }

    termios t;
    if (::tcgetattr(fd, &t) != 0) {
        if (errno == ENOTTY || errno == EINVAL)
            setError(NotSerialPort);
        else
            setSystemError();
        ::close(fd);
        return false;
    }
    // Share mode 0: the lock keeps out every other Serial, here or in another process; TIOCEXCL
    // also keeps out programs that do not lock (except privileged ones).
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        setError(PortInUse);
        ::close(fd);
        return false;
    }
    const bool exclusive = ::ioctl(fd, TIOCEXCL) == 0;

    makeRaw(&t);
    if (::tcsetattr(fd, TCSANOW, &t) != 0) {
        setSystemError();
        if (exclusive)
            ::ioctl(fd, TIOCNXCL);
        ::close(fd);
        return false;
    }

    m_fd = fd;
    m_exclusive = exclusive;
    m_readInterval = 0;
    m_readConstant = 0;
    m_writeConstant = 0;
    return true;
}

void SerialEngine::close()
{
    if (m_fd < 0)
        return;
    if (m_exclusive)
        ::ioctl(m_fd, TIOCNXCL);
    ::close(m_fd);
    m_fd = -1;
    m_exclusive = false;
}

bool SerialEngine::isOpen() const
{
    return m_fd >= 0;
}

void *SerialEngine::handle() const
{
    return reinterpret_cast<void *>(static_cast<std::intptr_t>(m_fd));
}

bool SerialEngine::setSettings(int baudRate, int dataBits, int parity, int stopBits)
{
    clearError();
    termios old;
    if (m_fd < 0 || ::tcgetattr(m_fd, &old) != 0) {
        setError(SystemError, m_fd < 0 ? EBADF : errno);
        return false;
    }

    speed_t speed;
    if (!speedFor(baudRate, &speed)) {
        setError(UnsupportedBaudRate);
        return false;
    }
    tcflag_t size;
    switch (dataBits) {
    case 5: size = CS5; break;
    case 6: size = CS6; break;
    case 7: size = CS7; break;
    case 8: size = CS8; break;
    default:
        setError(UnsupportedDataBits);
        return false;
    }
    tcflag_t parityBits;
    switch (parity) {
    case 0: parityBits = 0; break;
    case 1: parityBits = PARENB | PARODD; break;
    case 2: parityBits = PARENB; break;
    case 3: parityBits = PARENB | PARODD | markSpaceFlag; break;
    case 4: parityBits = PARENB | markSpaceFlag; break;
    default:
        setError(UnsupportedParity);
        return false;
    }
    // Mark and space parity need CMSPAR; without it they would silently become odd and even.
    if (parity >= 3 && markSpaceFlag == 0) {
        setError(UnsupportedParity);
        return false;
    }
    tcflag_t stopBitFlag;
    switch (stopBits) {
    case 0: stopBitFlag = 0; break;
    case 2: stopBitFlag = CSTOPB; break;
    default: // POSIX has no 1.5 stop bits
        setError(UnsupportedStopBits);
        return false;
    }

    termios t = old;
    makeRaw(&t);
    // No hardware handshake and no XON/XOFF on output; input XON/XOFF and parity checking keep
    // what the port had.
    t.c_iflag &= ~IXON;
    t.c_cflag &= ~(CSIZE | parityFlags | CSTOPB | CRTSCTS);
    t.c_cflag |= size | parityBits | stopBitFlag;
    if (::cfsetispeed(&t, speed) != 0 || ::cfsetospeed(&t, speed) != 0) {
        setError(UnsupportedBaudRate);
        return false;
    }
    if (::tcsetattr(m_fd, TCSANOW, &t) != 0) {
        setSystemError();
        ::tcsetattr(m_fd, TCSANOW, &old);
        return false;
    }

    // tcsetattr succeeds when the driver took any part of the request; a driver that dropped a
    // setting must not leave the port running with a different one.
    termios now;
    if (::tcgetattr(m_fd, &now) != 0) {
        setSystemError();
        return false;
    }
    Error mismatch = NoError;
    if (::cfgetispeed(&now) != speed || ::cfgetospeed(&now) != speed)
        mismatch = UnsupportedBaudRate;
    else if ((now.c_cflag & CSIZE) != size)
        mismatch = UnsupportedDataBits;
    else if ((now.c_cflag & parityFlags) != parityBits)
        mismatch = UnsupportedParity;
    else if ((now.c_cflag & CSTOPB) != stopBitFlag)
        mismatch = UnsupportedStopBits;
    if (mismatch != NoError) {
        ::tcsetattr(m_fd, TCSANOW, &old);
        setError(mismatch);
        return false;
    }
    return true;
}
