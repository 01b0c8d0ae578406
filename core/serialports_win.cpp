#include "serial_p.h"

#include <windows.h>

#include <algorithm>

namespace {

std::string toUtf8(const std::wstring &wide)
{
    if (wide.empty())
        return std::string();
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &utf8[0], size,
                        nullptr, nullptr);
    return utf8;
}

} // namespace

// The ports as Windows lists them: the serial map that the port drivers fill.
std::vector<std::string> SerialEngine::enumDevices()
{
    std::vector<std::string> names;
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key)
        != ERROR_SUCCESS)
        return names;

    DWORD valueCount = 0;
    DWORD maxNameLength = 0; // characters, without the terminating zero
    DWORD maxDataSize = 0; // bytes
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &valueCount,
                         &maxNameLength, &maxDataSize, nullptr, nullptr)
        != ERROR_SUCCESS) {
        RegCloseKey(key);
        return names;
    }

    std::vector<wchar_t> name(maxNameLength + 1);
    // Room for a terminating zero that the stored data may lack.
    std::vector<wchar_t> data(maxDataSize / sizeof(wchar_t) + 2);
    for (DWORD index = 0; index < valueCount; ++index) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD dataSize = maxDataSize;
        DWORD type = 0;
        if (RegEnumValueW(key, index, name.data(), &nameLength, nullptr, &type,
                          reinterpret_cast<BYTE *>(data.data()), &dataSize)
                != ERROR_SUCCESS
            || type != REG_SZ)
            continue;
        const std::size_t chars = std::min<std::size_t>(dataSize / sizeof(wchar_t), data.size() - 1);
        data[chars] = L'\0';
        const std::string port = toUtf8(std::wstring(data.data()));
        if (std::find(names.begin(), names.end(), port) == names.end())
            names.push_back(port);
    }
    RegCloseKey(key);
    return names;
}

std::string SerialEngine::devicePath(const std::string &name)
{
    // Both prefixes are ASCII, so the UTF-8 bytes can be compared as they are.
    if (name.compare(0, 4, "\\\\.\\") == 0 || name.compare(0, 2, "//") == 0)
        return name;
    return "\\\\.\\" + name;
}
