#include "serial_p.h"

#ifndef NOMINMAX
#  define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#  define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>

namespace {

std::wstring toWide(const std::string &utf8)
{
    if (utf8.empty())
        return std::wstring();
    const int size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                         nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0], size);
    return wide;
}

// ReadFile and WriteFile take a 32-bit count; a larger request becomes a short transfer.
DWORD transferSize(long long size)
{
    return static_cast<DWORD>(std::min<long long>(size, MAXDWORD));
}

} // namespace

SerialEngine::SerialEngine()
    : m_handle(INVALID_HANDLE_VALUE)
{
}

SerialEngine::~SerialEngine()
{
    close();
}

void SerialEngine::setSystemError()
{
    setError(SystemError, static_cast<int>(GetLastError()));
}

bool SerialEngine::open(const std::string &name, bool read, bool write)
{
    clearError();
    if (m_handle != INVALID_HANDLE_VALUE) {
        setError(SystemError, ERROR_BUSY);
        return false;
    }
    if (name.empty() || name.find('\0') != std::string::npos) {
        setError(InvalidName);
        return false;
    }
    DWORD access = 0;
    if (read)
        access |= GENERIC_READ;
    if (write)
        access |= GENERIC_WRITE;
    SECURITY_ATTRIBUTES attributes;
    attributes.nLength = sizeof(attributes);
    attributes.lpSecurityDescriptor = nullptr;
    attributes.bInheritHandle = FALSE;
    const std::wstring path = toWide(devicePath(name));
    m_handle = CreateFileW(path.c_str(), access, 0, &attributes, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (m_handle == INVALID_HANDLE_VALUE) {
        setSystemError();
        return false;
    }
    return true;
}

void SerialEngine::close()
{
    // CloseHandle on INVALID_HANDLE_VALUE raises an exception under a debugger.
    if (m_handle != INVALID_HANDLE_VALUE)
        CloseHandle(m_handle);
    m_handle = INVALID_HANDLE_VALUE;
}

bool SerialEngine::isOpen() const
{
    return m_handle != INVALID_HANDLE_VALUE;
}

void *SerialEngine::handle() const
{
    return m_handle;
}

bool SerialEngine::setSettings(int baudRate, int dataBits, int parity, int stopBits)
{
    clearError();
    // The DCB fields are narrower than int; a value that does not fit must not wrap into a
    // different, valid setting.
    if (baudRate <= 0) {
        setError(UnsupportedBaudRate);
        return false;
    }
    if (dataBits < 0 || dataBits > 255) {
        setError(UnsupportedDataBits);
        return false;
    }
    if (parity < 0 || parity > 255) {
        setError(UnsupportedParity);
        return false;
    }
    if (stopBits < 0 || stopBits > 255) {
        setError(UnsupportedStopBits);
        return false;
    }

    DCB dcb;
    ZeroMemory(&dcb, sizeof(dcb));
    dcb.DCBlength = sizeof(dcb);
    if (!GetCommState(m_handle, &dcb)) {
        setSystemError();
        return false;
    }
    DCB previous = dcb;
    dcb.BaudRate = static_cast<DWORD>(baudRate);
    dcb.ByteSize = static_cast<BYTE>(dataBits);
    dcb.Parity = static_cast<BYTE>(parity);
    dcb.StopBits = static_cast<BYTE>(stopBits);
    dcb.fBinary = 1;
    dcb.fOutxCtsFlow = 0;
    dcb.fOutxDsrFlow = 0;
    dcb.fDsrSensitivity = 0;
    dcb.fOutX = 0;
    if (!SetCommState(m_handle, &dcb)) {
        setSystemError();
        // SetCommState may hand the settings to the driver one after the other (Wine does); one
        // that is refused must not leave the port running with those taken before it.
        SetCommState(m_handle, &previous);
        return false;
    }
    return true;
}

bool SerialEngine::setTimeouts(int readInterval, int readConstant, int writeConstant)
{
    clearError();
    COMMTIMEOUTS timeouts;
    timeouts.ReadIntervalTimeout = static_cast<DWORD>(readInterval);
    timeouts.ReadTotalTimeoutMultiplier = 1;
    timeouts.ReadTotalTimeoutConstant = static_cast<DWORD>(readConstant);
    timeouts.WriteTotalTimeoutMultiplier = 1;
    timeouts.WriteTotalTimeoutConstant = static_cast<DWORD>(writeConstant);
    if (!SetCommTimeouts(m_handle, &timeouts)) {
        setSystemError();
        return false;
    }
    return true;
}

void SerialEngine::clearInput()
{
    PurgeComm(m_handle, PURGE_RXCLEAR);
}

long long SerialEngine::bytesInQueue()
{
    DWORD errors = 0;
    COMSTAT status;
    ZeroMemory(&status, sizeof(status));
    if (!ClearCommError(m_handle, &errors, &status))
        return 0;
    return status.cbInQue;
}

long long SerialEngine::read(char *data, long long maxSize)
{
    clearError();
    if (maxSize <= 0)
        return 0;
    DWORD done = 0;
    if (!ReadFile(m_handle, data, transferSize(maxSize), &done, nullptr))
        setSystemError();
    return done;
}

long long SerialEngine::write(const char *data, long long maxSize)
{
    clearError();
    if (maxSize <= 0)
        return 0;
    DWORD done = 0;
    if (!WriteFile(m_handle, data, transferSize(maxSize), &done, nullptr))
        setSystemError();
    return done;
}
