#include "serial_p.h"

#include <algorithm>
#include <cstring>
#include <fstream>

#include <dirent.h>
#include <sys/stat.h>

namespace {

// ttyS2 before ttyS10.
bool naturalLess(const std::string &a, const std::string &b)
{
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        const bool da = a[i] >= '0' && a[i] <= '9';
        const bool db = b[j] >= '0' && b[j] <= '9';
        if (da && db) {
            std::size_t ei = i;
            std::size_t ej = j;
            while (ei < a.size() && a[ei] >= '0' && a[ei] <= '9')
                ++ei;
            while (ej < b.size() && b[ej] >= '0' && b[ej] <= '9')
                ++ej;
            // Compare digit runs by value: strip leading zeros, then the longer run is larger.
            std::size_t zi = i;
            std::size_t zj = j;
            while (zi + 1 < ei && a[zi] == '0')
                ++zi;
            while (zj + 1 < ej && b[zj] == '0')
                ++zj;
            if (ei - zi != ej - zj)
                return ei - zi < ej - zj;
            const int c = a.compare(zi, ei - zi, b, zj, ej - zj);
            if (c != 0)
                return c < 0;
            i = ei;
            j = ej;
        } else {
            if (a[i] != b[j])
                return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
            ++i;
            ++j;
        }
    }
    if ((a.size() - i) != (b.size() - j))
        return a.size() - i < b.size() - j;
    return a < b;
}

bool pathExists(const std::string &path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

// Serial core registers a fixed number of 8250 ports whether or not a UART answers at their
// address; those report the UART type 0 (PORT_UNKNOWN) and cannot transfer anything.
bool isPlaceholderPort(const std::string &dir)
{
    std::ifstream in(dir + "/type");
    long type = -1;
    if (!(in >> type))
        return false;
    return type == 0;
}

// The node below /dev: DEVNAME of the uevent, which may name a subdirectory; else the entry.
std::string deviceName(const std::string &dir, const std::string &entry)
{
    std::ifstream in(dir + "/uevent");
    std::string line;
    const std::string key = "DEVNAME=";
    while (std::getline(in, line)) {
        if (line.compare(0, key.size(), key) == 0 && line.size() > key.size())
            return line.substr(key.size());
    }
    return entry;
}
} // namespace

// The ports as the kernel lists them: terminals with a device behind them.
std::vector<std::string> SerialEngine::enumDevices()
{
    return enumDevices(std::string());
}

std::vector<std::string> SerialEngine::enumDevices(const std::string &sysRoot)
{
    const std::string classDir = sysRoot + "/sys/class/tty";
    std::vector<std::string> entries;
    if (DIR *dir = ::opendir(classDir.c_str())) {
        while (const dirent *entry = ::readdir(dir)) {
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
                entries.emplace_back(entry->d_name);
        }
        ::closedir(dir);
    }
    std::sort(entries.begin(), entries.end(), naturalLess);

    std::vector<std::string> names;
    for (const std::string &entry : entries) {
        const std::string dir = classDir + '/' + entry;
        // Consoles, virtual terminals and pseudo-terminals have no device behind them.
        if (!pathExists(dir + "/device") || isPlaceholderPort(dir))
            continue;
        const std::string name = deviceName(dir, entry);
        if (std::find(names.begin(), names.end(), name) == names.end())
            names.push_back(name);
    }
    return names;
}

std::string SerialEngine::devicePath(const std::string &name)
{
    if (!name.empty() && name[0] == '/')
        return name;
    return "/dev/" + name;
}
