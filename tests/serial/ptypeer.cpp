#include "ptypeer.h"

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace {

struct Speed
{
    int baudRate;
    speed_t speed;
};

const Speed speeds[] = {
    {50, B50},         {75, B75},         {110, B110},       {134, B134},       {150, B150},
    {200, B200},       {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},     {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600},   {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
};

int baudRateOf(speed_t speed)
{
    for (const Speed &entry : speeds) {
        if (entry.speed == speed)
            return entry.baudRate;
    }
    return -1;
}

bool speedOf(int baudRate, speed_t *speed)
{
    for (const Speed &entry : speeds) {
        if (entry.baudRate == baudRate) {
            *speed = entry.speed;
            return true;
        }
    }
    return false;
}

bool writeAll(int fd, const std::string &data)
{
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t r = ::write(fd, data.data() + done, data.size() - done);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return false;
        done += static_cast<std::size_t>(r);
    }
    return true;
}

} // namespace

PtyPeer::PtyPeer()
{
    int slave = -1;
    char name[256] = {};
    if (::openpty(&m_master, &slave, name, nullptr, nullptr) != 0) {
        m_master = -1;
        return;
    }
    // Processes started later (Wine among them) must not hold the far end.
    ::fcntl(m_master, F_SETFD, FD_CLOEXEC);
    m_slavePath = name;
    // Only the port holds the slave from here on.
    ::close(slave);
}

PtyPeer::~PtyPeer()
{
    stopSender();
    if (m_master >= 0)
        ::close(m_master);
}

bool PtyPeer::send(const std::string &data)
{
    return m_master >= 0 && writeAll(m_master, data);
}

bool PtyPeer::sendLater(int delayMs, const std::string &data)
{
    if (m_master < 0)
        return false;
    std::lock_guard<std::mutex> lock(m_mutex);
    Clock::time_point due = Clock::now() + std::chrono::milliseconds(delayMs);
    if (!m_pending.empty())
        due = std::max(due, m_pending.back().first + std::chrono::milliseconds(delayMs));
    m_pending.emplace_back(due, data);
    if (!m_sender.joinable())
        m_sender = std::thread(&PtyPeer::runSender, this);
    m_wake.notify_one();
    return true;
}

void PtyPeer::runSender()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_stopping) {
        if (m_pending.empty()) {
            m_wake.wait(lock);
            continue;
        }
        const Clock::time_point due = m_pending.front().first;
        if (Clock::now() < due) {
            m_wake.wait_until(lock, due);
            continue;
        }
        const std::string data = m_pending.front().second;
        m_pending.pop_front();
        writeAll(m_master, data);
    }
}

void PtyPeer::stopSender()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
        m_wake.notify_one();
    }
    if (m_sender.joinable())
        m_sender.join();
}

std::string PtyPeer::receive(std::size_t size, int timeoutMs)
{
    std::string data;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (m_master >= 0 && data.size() < size) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            break;
        pollfd p = {m_master, POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), 100)));
        if (ready < 0 && errno != EINTR)
            break;
        if (ready <= 0 || !(p.revents & POLLIN))
            continue;
        char buffer[4096];
        const ssize_t r = ::read(m_master, buffer, std::min(sizeof buffer, size - data.size()));
        if (r <= 0)
            break;
        data.append(buffer, static_cast<std::size_t>(r));
    }
    return data;
}

bool PtyPeer::lineSettings(LineSettings *settings)
{
    termios t;
    if (m_master < 0 || ::tcgetattr(m_master, &t) != 0)
        return false;
    settings->baudRate = baudRateOf(::cfgetospeed(&t));
    switch (t.c_cflag & CSIZE) {
    case CS5: settings->dataBits = 5; break;
    case CS6: settings->dataBits = 6; break;
    case CS7: settings->dataBits = 7; break;
    default: settings->dataBits = 8; break;
    }
    if (!(t.c_cflag & PARENB))
        settings->parity = 'N';
    else if (t.c_cflag & CMSPAR)
        settings->parity = (t.c_cflag & PARODD) ? 'M' : 'S';
    else
        settings->parity = (t.c_cflag & PARODD) ? 'O' : 'E';
    settings->stopBits = (t.c_cflag & CSTOPB) ? 2 : 1;
    settings->rtsCts = t.c_cflag & CRTSCTS;
    settings->xonXoffOutput = t.c_iflag & IXON;
    settings->xonXoffInput = t.c_iflag & IXOFF;
    settings->raw = !(t.c_lflag & (ICANON | ECHO | ECHONL | ISIG)) && !(t.c_oflag & OPOST)
            && !(t.c_iflag & (ISTRIP | INLCR | IGNCR | ICRNL | PARMRK | IUCLC));
    return true;
}

bool PtyPeer::setLineSettings(const LineSettings &settings)
{
    termios t;
    speed_t speed;
    if (m_master < 0 || ::tcgetattr(m_master, &t) != 0 || !speedOf(settings.baudRate, &speed))
        return false;
    if (settings.raw) {
        ::cfmakeraw(&t);
    } else {
        t.c_lflag |= ICANON | ECHO | ISIG;
        t.c_oflag |= OPOST | ONLCR;
        t.c_iflag |= ICRNL;
    }
    ::cfsetispeed(&t, speed);
    ::cfsetospeed(&t, speed);
    const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    t.c_cflag |= sizes[std::min(std::max(settings.dataBits, 5), 8) - 5];
    switch (settings.parity) {
    case 'O': t.c_cflag |= PARENB | PARODD; break;
    case 'E': t.c_cflag |= PARENB; break;
    case 'M': t.c_cflag |= PARENB | PARODD | CMSPAR; break;
    case 'S': t.c_cflag |= PARENB | CMSPAR; break;
    default: break;
    }
    if (settings.stopBits == 2)
        t.c_cflag |= CSTOPB;
    if (settings.rtsCts)
        t.c_cflag |= CRTSCTS;
    t.c_iflag &= ~(IXON | IXOFF);
    if (settings.xonXoffOutput)
        t.c_iflag |= IXON;
    if (settings.xonXoffInput)
        t.c_iflag |= IXOFF;
    return ::tcsetattr(m_master, TCSANOW, &t) == 0;
}

bool PtyPeer::hangUp()
{
    stopSender();
    if (m_master < 0)
        return false;
    ::close(m_master);
    m_master = -1;
    return true;
}
