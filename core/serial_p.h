#ifndef SERIAL_P_H
#define SERIAL_P_H

//
//  W A R N I N G
//  -------------
//
// This file is not part of the Core interface. It may change from version to version without
// notice, or even be removed.
//

// The operating-system layer under Serial: one engine per port, one implementation per platform
// (serial_unix.cpp and serialtransfer_unix.cpp, serial_win.cpp), with the port names and the list
// of the system's ports apart (serialports_unix.cpp, serialports_win.cpp). It uses no Qt types,
// so that the Win32 half can be compiled on its own with a bare cross compiler.

#include <chrono>
#include <string>
#include <vector>

class SerialEngine
{
public:
    // Why the last operation failed. System errors carry the code of the system
    // (errno, GetLastError()) in systemError(); the others are input the system cannot take.
    enum Error {
        NoError,
        SystemError,
        InvalidName,
        PortInUse,
        NotSerialPort,
        UnsupportedBaudRate,
        UnsupportedDataBits,
        UnsupportedParity,
        UnsupportedStopBits
    };

    SerialEngine();
    ~SerialEngine();
    SerialEngine(const SerialEngine &) = delete;
    SerialEngine &operator=(const SerialEngine &) = delete;

    // The names of the system's serial ports as open() takes them, without duplicates.
    static std::vector<std::string> enumDevices();
#ifndef _WIN32
    // The same, reading the sysfs tree below sysRoot instead of the system's.
    static std::vector<std::string> enumDevices(const std::string &sysRoot);
#endif
    // The path that open() uses for a port name (UTF-8).
    static std::string devicePath(const std::string &name);

    bool open(const std::string &name, bool read, bool write);
    void close();
    bool isOpen() const;
    void *handle() const;

    // parity and stopBits carry the values of Serial::Parity and Serial::StopBits.
    bool setSettings(int baudRate, int dataBits, int parity, int stopBits);
    // Read interval, read total constant and write total constant in milliseconds, taken as
    // unsigned 32-bit values as the Win32 COMMTIMEOUTS fields are; both multipliers are 1.
    bool setTimeouts(int readInterval, int readConstant, int writeConstant);
    void clearInput();
    long long bytesInQueue();

    // Blocking transfers bounded by the time-outs. They return the count transferred, also when
    // they fail; failed() tells whether they did.
    long long read(char *data, long long maxSize);
    long long write(const char *data, long long maxSize);

    Error error() const { return m_error; }
    int systemError() const { return m_systemError; }
    bool failed() const { return m_error != NoError; }

private:
    void clearError()
    {
        m_error = NoError;
        m_systemError = 0;
    }
    void setError(Error error, int systemError = 0)
    {
        m_error = error;
        m_systemError = systemError;
    }
    void setSystemError();

    Error m_error = NoError;
    int m_systemError = 0;

#ifdef _WIN32
    void *m_handle;
#else
    // Clears the last error and gives how much one transfer may move: 0 when there is nothing to
    // move, or when the port is closed, which it records.
    long long transferSize(long long maxSize);
    // Waits until the port is ready for events; false when the deadline passes first, and on an
    // error, which it records.
    bool waitReady(short events, std::chrono::steady_clock::time_point deadline);

    int m_fd = -1;
    bool m_exclusive = false;
    // COMMTIMEOUTS kept in the object; a port starts as after setTimeouts(0, 0, 0).
    unsigned int m_readInterval = 0;
    unsigned int m_readConstant = 0;
    unsigned int m_writeConstant = 0;
#endif
};

#endif // SERIAL_P_H
