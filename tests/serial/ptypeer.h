#ifndef PTYPEER_H
#define PTYPEER_H

#include "serialcases.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

// The far end of a pseudo-terminal: the port opens the slave, the peer holds the master. The
// master's terminal settings are the slave's, so the peer sees the line as the port set it.
class PtyPeer : public SerialPeer
{
public:
    PtyPeer();
    ~PtyPeer() override;
    PtyPeer(const PtyPeer &) = delete;
    PtyPeer &operator=(const PtyPeer &) = delete;

    bool isValid() const { return m_master >= 0; }
    // The slave's device path, such as /dev/pts/3.
    std::string slavePath() const { return m_slavePath; }

    bool send(const std::string &data) override;
    bool sendLater(int delayMs, const std::string &data) override;
    std::string receive(std::size_t size, int timeoutMs) override;
    bool lineSettings(LineSettings *settings) override;
    bool setLineSettings(const LineSettings &settings) override;
    bool hangUp() override;

private:
    using Clock = std::chrono::steady_clock;

    void stopSender();
    void runSender();

    int m_master = -1;
    std::string m_slavePath;

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::pair<Clock::time_point, std::string>> m_pending;
    bool m_stopping = false;
    std::thread m_sender;
};

#endif // PTYPEER_H
