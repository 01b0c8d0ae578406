// The transfers of the POSIX serial engine: time-outs as Win32's COMMTIMEOUTS, the input queue,
// reads and writes.

#include "serial_p.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>

#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::milliseconds;

// A transfer count as ReadFile and WriteFile take it.
const long long maxTransfer = UINT32_MAX;

// Waits until fd is ready for events or deadline passes: 1 ready, 0 time-out, -1 error (errno).
int waitFor(int fd, short events, Clock::time_point deadline)
{
    for (;;) {
        const auto left = deadline - Clock::now();
        if (left <= Clock::duration::zero())
            return 0;
        // Round up so that the wait never ends before the deadline.
        long long ms = std::chrono::ceil<Milliseconds>(left).count();
        pollfd p = {fd, events, 0};
        const int r = ::poll(&p, 1, static_cast<int>(std::min<long long>(ms, INT32_MAX)));
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (r == 0)
            continue; // re-checks the clock
        if (p.revents & events)
            return 1;
        if (p.revents & POLLNVAL) {
            errno = EBADF;
            return -1;
        }
        errno = EIO; // hang-up or line error with nothing to transfer
        return -1;
    }
}

} // namespace

bool SerialEngine::setTimeouts(int readInterval, int readConstant, int writeConstant)
{
    clearError();
    if (m_fd < 0) {
        setError(SystemError, EBADF);
        return false;
    }
    m_readInterval = static_cast<unsigned int>(readInterval);
    m_readConstant = static_cast<unsigned int>(readConstant);
    m_writeConstant = static_cast<unsigned int>(writeConstant);
    return true;
}

void SerialEngine::clearInput()
{
    if (m_fd >= 0)
        ::tcflush(m_fd, TCIFLUSH);
}

long long SerialEngine::bytesInQueue()
{
    int count = 0;
    if (m_fd < 0 || ::ioctl(m_fd, FIONREAD, &count) != 0)
        return 0;
    return count;
}

long long SerialEngine::transferSize(long long maxSize)
{
    clearError();
    if (m_fd < 0) {
        setError(SystemError, EBADF);
        return 0;
    }
    return maxSize > 0 ? std::min(maxSize, maxTransfer) : 0;
}

bool SerialEngine::waitReady(short events, std::chrono::steady_clock::time_point deadline)
{
    const int ready = waitFor(m_fd, events, deadline);
    if (ready < 0)
        setSystemError();
    return ready > 0;
}

long long SerialEngine::read(char *data, long long maxSize)
{
    const long long size = transferSize(maxSize);
    if (size == 0)
        return 0;
    // COMMTIMEOUTS: the whole read within size * 1 + constant ms; once bytes arrive, also no
    // more than the interval between two of them.
    const Clock::time_point start = Clock::now();
    const Clock::time_point total = start + Milliseconds(size + m_readConstant);
    Clock::time_point lastArrival = start;
    long long done = 0;
    while (done < size) {
        const ssize_t r = ::read(m_fd, data + done, static_cast<std::size_t>(size - done));
        if (r > 0) {
            done += r;
            lastArrival = Clock::now();
            if (lastArrival >= total)
                break;
            continue;
        }
        if (r == 0) {
            // End of file: the line hung up.
            setError(SystemError, EIO);
            break;
        }
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            setSystemError();
            break;
        }
        Clock::time_point deadline = total;
        if (done > 0 && m_readInterval > 0)
            deadline = std::min(deadline, lastArrival + Milliseconds(m_readInterval));
        if (!waitReady(POLLIN, deadline))
            break;
    }
    return done;
}

long long SerialEngine::write(const char *data, long long maxSize)
{
    const long long size = transferSize(maxSize);
    if (size == 0)
        return 0;
    const Clock::time_point deadline = Clock::now() + Milliseconds(size + m_writeConstant);
    long long done = 0;
    while (done < size) {
        const ssize_t r = ::write(m_fd, data + done, static_cast<std::size_t>(size - done));
        if (r > 0) {
            done += r;
            continue;
        }
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            setSystemError();
            break;
        }
        // A write that runs out of time ends short, without an error, as WriteFile does.
        if (!waitReady(POLLOUT, deadline))
            break;
    }
    return done;
}
