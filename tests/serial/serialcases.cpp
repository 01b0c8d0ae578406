#include "serialcases.h"

#include "serial_p.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <sstream>

#ifdef _WIN32
#  include <windows.h>
#else
#  include <cerrno>
#  include <thread>
#endif

// Checks in the manner of QtTest: a failed check records where and why, and ends the case.
#define VERIFY(condition)                                                                          \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            ctx.fail("'" #condition "' returned false", __FILE__, __LINE__);                       \
            return;                                                                                \
        }                                                                                          \
    } while (false)
#define COMPARE(actual, expected)                                                                  \
    do {                                                                                           \
        if (!compare(ctx, actual, expected, #actual, #expected, __FILE__, __LINE__))               \
            return;                                                                                \
    } while (false)
#define VERIFY_ELAPSED(elapsed, expected)                                                          \
    do {                                                                                           \
        if (!checkElapsed(ctx, elapsed, expected, __FILE__, __LINE__))                             \
            return;                                                                                \
    } while (false)
#define SKIP(reason)                                                                               \
    do {                                                                                           \
        ctx.skip(reason);                                                                          \
        return;                                                                                    \
    } while (false)
// For helpers that report their own failure.
#define REQUIRE(call)                                                                              \
    do {                                                                                           \
        if (!(call))                                                                               \
            return;                                                                                \
    } while (false)

namespace {

#ifdef _WIN32
const int noSuchPortError = ERROR_FILE_NOT_FOUND;
const char missingPortName[] = "COM254";
// Windows keeps the lines of the test in its serial map like any other port.
const bool linesAreListed = true;
#else
const int noSuchPortError = ENOENT;
const char missingPortName[] = "ttyNoSuchPort9";
// Pseudo-terminals have no device behind them: the system's port list leaves them out.
const bool linesAreListed = false;
#endif

// A wait measured here may end up to one tick of the Windows clock early; on a loaded machine it
// may end late by much more.
const long long earlyMs = 16;
const long long lateMs = 3000;

class Stopwatch
{
public:
    Stopwatch() { restart(); }
#ifdef _WIN32
    void restart() { QueryPerformanceCounter(&m_start); }
    long long elapsedMs() const
    {
        LARGE_INTEGER now;
        LARGE_INTEGER frequency;
        QueryPerformanceCounter(&now);
        QueryPerformanceFrequency(&frequency);
        return (now.QuadPart - m_start.QuadPart) * 1000 / frequency.QuadPart;
    }

private:
    LARGE_INTEGER m_start;
#else
    void restart() { m_start = std::chrono::steady_clock::now(); }
    long long elapsedMs() const
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                       std::chrono::steady_clock::now() - m_start)
                .count();
    }

private:
    std::chrono::steady_clock::time_point m_start;
#endif
};

void sleepMs(int ms)
{
#ifdef _WIN32
    Sleep(static_cast<DWORD>(ms));
#else
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
#endif
}

std::string describe(const std::string &data)
{
    std::string text = "\"";
    for (unsigned char c : data) {
        if (c >= 0x20 && c < 0x7f && c != '"' && c != '\\') {
            text += static_cast<char>(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
            text += escaped;
        }
    }
    if (text.size() > 200)
        text = text.substr(0, 200) + "...";
    return text + "\" (" + std::to_string(data.size()) + " bytes)";
}
std::string describe(bool value) { return value ? "true" : "false"; }
std::string describe(char value) { return std::string(1, value); }
template<typename T>
std::string describe(const T &value)
{
    std::ostringstream out;
    out << value;
    return out.str();
}

template<typename T, typename U>
bool compare(SerialCaseContext &ctx, const T &actual, const U &expected, const char *actualText,
             const char *expectedText, const char *file, int line)
{
    if (actual == expected)
        return true;
    ctx.fail(std::string("Compared values are not the same\n   Actual   (") + actualText
                     + "): " + describe(actual) + "\n   Expected (" + expectedText
                     + "): " + describe(expected),
             file, line);
    return false;
}

bool checkElapsed(SerialCaseContext &ctx, long long elapsed, long long expected, const char *file,
                  int line)
{
    if (elapsed >= expected - earlyMs && elapsed <= expected + lateMs)
        return true;
    ctx.fail("took " + std::to_string(elapsed) + " ms where " + std::to_string(expected)
                     + " ms were due",
             file, line);
    return false;
}

std::string engineError(const SerialEngine &engine)
{
    return "error kind " + std::to_string(int(engine.error())) + ", system error "
            + std::to_string(engine.systemError());
}

SerialLine *takeLine(SerialCaseContext &ctx)
{
    SerialLine *line = ctx.newLine();
    if (!line)
        ctx.fail("no line left for this case", __FILE__, __LINE__);
    return line;
}

struct Timeouts
{
    int readInterval;
    int readConstant;
    int writeConstant;
};

// A line of the case's own with its port open for reading and writing; with time-outs, also set
// up as the device's users do (115200 8N1, then the time-outs).
SerialLine *openLine(SerialCaseContext &ctx, SerialEngine &engine, const Timeouts *timeouts = nullptr)
{
    SerialLine *line = takeLine(ctx);
    if (!line)
        return nullptr;
    if (!engine.open(line->names.front(), true, true)) {
        ctx.fail("cannot open " + line->names.front() + ": " + engineError(engine), __FILE__,
                 __LINE__);
        return nullptr;
    }
    if (timeouts
        && (!engine.setSettings(115200, 8, 0, 0)
            || !engine.setTimeouts(timeouts->readInterval, timeouts->readConstant,
                                   timeouts->writeConstant))) {
        ctx.fail("cannot set up " + line->names.front() + ": " + engineError(engine), __FILE__,
                 __LINE__);
        return nullptr;
    }
    return line;
}

SerialLine *openLine(SerialCaseContext &ctx, SerialEngine &engine, Timeouts timeouts)
{
    return openLine(ctx, engine, &timeouts);
}

std::string readAll(SerialEngine &engine, std::size_t size)
{
    std::string data(size, '\0');
    data.resize(static_cast<std::size_t>(engine.read(&data[0], static_cast<long long>(size))));
    return data;
}

long long writeAll(SerialEngine &engine, const std::string &data)
{
    return engine.write(data.data(), static_cast<long long>(data.size()));
}

// The driver's count once it reaches count, or what it holds after timeoutMs.
long long waitForQueue(SerialEngine &engine, long long count, int timeoutMs = 5000)
{
    Stopwatch watch;
    long long queued = engine.bytesInQueue();
    while (queued != count && watch.elapsedMs() < timeoutMs) {
        sleepMs(10);
        queued = engine.bytesInQueue();
    }
    return queued;
}

void *const invalidHandle = reinterpret_cast<void *>(static_cast<std::intptr_t>(-1));

void closedPort(SerialCaseContext &ctx)
{
    // Every operation of a closed port fails or does nothing; none reaches a port.
    SerialEngine engine;
    VERIFY(!engine.isOpen());
    COMPARE(engine.handle(), invalidHandle);
    VERIFY(!engine.setSettings(9600, 8, 0, 0));
    VERIFY(engine.failed());
    VERIFY(!engine.setTimeouts(0, 100, 100));
    COMPARE(engine.error(), SerialEngine::SystemError);
    char buffer[4] = {'a', 'b', 'c', 'd'};
    COMPARE(engine.read(buffer, 4), 0LL);
    VERIFY(engine.failed());
    COMPARE(engine.write(buffer, 4), 0LL);
    VERIFY(engine.failed());
    COMPARE(engine.bytesInQueue(), 0LL);
    engine.clearInput();
    engine.close();
    VERIFY(!engine.isOpen());
}

void openByNameAndPath(SerialCaseContext &ctx)
{
    SerialLine *line = takeLine(ctx);
    REQUIRE(line);
    // The path of a name is the second name; a path is its own path, its prefix not doubled.
    VERIFY(line->names.size() >= 2);
    COMPARE(SerialEngine::devicePath(line->names[0]), line->names[1]);
    for (std::size_t i = 1; i < line->names.size(); ++i)
        COMPARE(SerialEngine::devicePath(line->names[i]), line->names[i]);

    // Each form opens the port; closing releases it for the next.
    for (const std::string &name : line->names) {
        ctx.setRow(name);
        SerialEngine engine;
        VERIFY(engine.open(name, true, true));
        VERIFY(engine.isOpen());
        VERIFY(engine.handle() != invalidHandle);
        VERIFY(!engine.failed());
        VERIFY(engine.setSettings(9600, 8, 0, 0));
        VERIFY(engine.setTimeouts(0, 1000, 1000));
        COMPARE(writeAll(engine, "ping " + name), static_cast<long long>(name.size() + 5));
        COMPARE(line->peer->receive(name.size() + 5, 5000), "ping " + name);
        engine.close();
        VERIFY(!engine.isOpen());
        COMPARE(engine.handle(), invalidHandle);
    }
}

void openForOneDirection(SerialCaseContext &ctx)
{
    SerialLine *line = takeLine(ctx);
    REQUIRE(line);
    {
        // Opened for reading: what arrives is read, nothing is sent.
        SerialEngine engine;
        VERIFY(engine.open(line->names.front(), true, false));
        VERIFY(engine.setSettings(9600, 8, 0, 0));
        VERIFY(engine.setTimeouts(0, 2000, 500));
        VERIFY(line->peer->send("in"));
        COMPARE(readAll(engine, 2), std::string("in"));
        COMPARE(writeAll(engine, "out"), 0LL);
        VERIFY(engine.failed());
        COMPARE(line->peer->receive(1, 200), std::string());
    }
    {
        // Opened for writing: what is written arrives, nothing is read.
        SerialEngine engine;
        VERIFY(engine.open(line->names.front(), false, true));
        if (ctx.underWine())
            SKIP("Wine refuses GetCommState and the other port controls with ERROR_ACCESS_DENIED "
                 "on a port opened for writing only; Windows takes them with any access");
        VERIFY(engine.setSettings(9600, 8, 0, 0));
        VERIFY(engine.setTimeouts(0, 500, 2000));
        COMPARE(writeAll(engine, "out"), 3LL);
        COMPARE(line->peer->receive(3, 5000), std::string("out"));
        VERIFY(line->peer->send("in"));
        COMPARE(readAll(engine, 2), std::string());
        VERIFY(engine.failed());
    }
}

void missingPort(SerialCaseContext &ctx)
{
    for (const std::string &name : {std::string(missingPortName),
                                    SerialEngine::devicePath(missingPortName)}) {
        ctx.setRow(name);
        SerialEngine engine;
        VERIFY(!engine.open(name, true, true));
        VERIFY(!engine.isOpen());
        COMPARE(engine.handle(), invalidHandle);
        COMPARE(engine.error(), SerialEngine::SystemError);
        COMPARE(engine.systemError(), noSuchPortError);
    }
    ctx.setRow(std::string());
    SerialEngine engine;
    VERIFY(!engine.open(std::string(), true, true));
    COMPARE(engine.error(), SerialEngine::InvalidName);
}

void secondOpenRefused(SerialCaseContext &ctx)
{
    SerialEngine first;
    SerialLine *line = openLine(ctx, first, {0, 2000, 2000});
    REQUIRE(line);
    const void *handle = first.handle();

    // Again on the same port object: refused, the connection untouched.
    VERIFY(!first.open(line->names.front(), true, true));
    COMPARE(first.error(), SerialEngine::SystemError);
    VERIFY(first.isOpen());
    COMPARE(first.handle(), handle);
    COMPARE(writeAll(first, "still here"), 10LL);
    COMPARE(line->peer->receive(10, 5000), std::string("still here"));

    // By a second port object: the port is opened for exclusive use.
    if (ctx.underWine())
        SKIP("Wine does not enforce share mode 0 on serial ports: a second CreateFileW succeeds");
    SerialEngine second;
    VERIFY(!second.open(line->names.back(), true, true));
    VERIFY(!second.isOpen());
#ifdef _WIN32
    COMPARE(second.error(), SerialEngine::SystemError);
    COMPARE(second.systemError(), int(ERROR_ACCESS_DENIED));
#else
    COMPARE(second.error(), SerialEngine::PortInUse);
#endif
    VERIFY(line->peer->send("abc"));
    COMPARE(readAll(first, 3), std::string("abc"));
    first.close();
    VERIFY(second.open(line->names.back(), true, true));
}

struct SettingsRow
{
    int baudRate;
    int dataBits;
    int parity; // Serial::Parity
    int stopBits; // Serial::StopBits
};

std::string rowName(const SettingsRow &row)
{
    return std::to_string(row.baudRate) + " " + std::to_string(row.dataBits) + " parity "
            + std::to_string(row.parity) + " stop bits " + std::to_string(row.stopBits);
}

void settingsAppliedAndReadBack(SerialCaseContext &ctx)
{
    SerialEngine engine;
    SerialLine *line = openLine(ctx, engine);
    REQUIRE(line);

    const SettingsRow rows[] = {
        {9600, 8, 0, 0}, {115200, 8, 0, 2}, {1200, 8, 0, 0}, {230400, 8, 0, 2}, {19200, 8, 0, 0},
    };
    for (const SettingsRow &row : rows) {
        ctx.setRow(rowName(row));
        // The line starts elsewhere, with every handshake on.
        LineSettings before;
        before.baudRate = 38400;
        before.stopBits = row.stopBits == 2 ? 1 : 2;
        before.rtsCts = true;
        before.xonXoffOutput = true;
        before.xonXoffInput = true;
        VERIFY(line->peer->setLineSettings(before));

        VERIFY(engine.setSettings(row.baudRate, row.dataBits, row.parity, row.stopBits));
        VERIFY(!engine.failed());
        LineSettings now;
        VERIFY(line->peer->lineSettings(&now));
        COMPARE(now.baudRate, row.baudRate);
        COMPARE(now.dataBits, row.dataBits);
        COMPARE(now.parity, 'N');
        COMPARE(now.stopBits, row.stopBits == 2 ? 2 : 1);
        COMPARE(now.raw, true);
        // No XON/XOFF on output; XON/XOFF on input keeps what the port had.
        COMPARE(now.xonXoffOutput, false);
        COMPARE(now.xonXoffInput, true);
        COMPARE(now.rtsCts, false);
    }
}

void refusedSettingsLeaveLine(SerialCaseContext &ctx)
{
    SerialEngine engine;
    SerialLine *line = openLine(ctx, engine);
    REQUIRE(line);
    VERIFY(engine.setSettings(19200, 8, 0, 2));
    LineSettings before;
    VERIFY(line->peer->lineSettings(&before));

    // Values no port takes, some of them out of range of the DCB fields.
    const SettingsRow rows[] = {
        {0, 8, 0, 0},  {-9600, 8, 0, 0}, {9600, 4, 0, 0},   {9600, 9, 0, 0},
        {9600, 264, 0, 0}, {9600, 8, 5, 0}, {9600, 8, 261, 0}, {9600, 8, 0, 3},
        {9600, 8, 0, 258},
    };
    for (const SettingsRow &row : rows) {
        ctx.setRow(rowName(row));
        VERIFY(!engine.setSettings(row.baudRate, row.dataBits, row.parity, row.stopBits));
        VERIFY(engine.failed());
        LineSettings now;
        VERIFY(line->peer->lineSettings(&now));
        COMPARE(now.baudRate, before.baudRate);
        COMPARE(now.dataBits, before.dataBits);
        COMPARE(now.parity, before.parity);
        COMPARE(now.stopBits, before.stopBits);
        VERIFY(engine.isOpen());
    }
}

void settingsTheLineDrops(SerialCaseContext &ctx)
{
    // A pseudo-terminal runs 8 data bits without parity only; whatever else is asked for must be
    // refused rather than run the line with different settings.
    SerialEngine engine;
    SerialLine *line = openLine(ctx, engine);
    REQUIRE(line);

    const SettingsRow rows[] = {{9600, 7, 2, 0}, {9600, 8, 1, 0}, {9600, 8, 4, 2}};
    bool reportedAsSet = false;
    for (const SettingsRow &row : rows) {
        ctx.setRow(rowName(row));
        VERIFY(engine.setSettings(19200, 8, 0, 2));
        LineSettings before;
        VERIFY(line->peer->lineSettings(&before));
        if (engine.setSettings(row.baudRate, row.dataBits, row.parity, row.stopBits)) {
            if (ctx.underWine()) {
                reportedAsSet = true;
                continue;
            }
            ctx.fail("settings the line dropped were reported as set", __FILE__, __LINE__);
            return;
        }
        VERIFY(engine.failed());
        LineSettings now;
        VERIFY(line->peer->lineSettings(&now));
        COMPARE(now.baudRate, before.baudRate);
        COMPARE(now.stopBits, before.stopBits);
    }
    if (reportedAsSet)
        SKIP("Wine's SetCommState does not read back what the terminal driver kept, so a "
             "setting that a pseudo-terminal drops is reported as set");
}

void allByteValuesBothWays(SerialCaseContext &ctx)
{
    SerialEngine engine;
    SerialLine *line = openLine(ctx, engine, {0, 3000, 3000});
    REQUIRE(line);

    // Every byte value, control and flow-control characters included, passes untranslated.
    std::string all;
    for (int i = 0; i < 256; ++i)
        all += static_cast<char>(i);
    all += "\r\n\n\r\x11\x13\xff\xff";
    for (int i = 255; i >= 0; --i)
        all += static_cast<char>(i);

    COMPARE(writeAll(engine, all), static_cast<long long>(all.size()));
    VERIFY(!engine.failed());
    COMPARE(line->peer->receive(all.size(), 5000), all);

    VERIFY(line->peer->send(all));
    COMPARE(readAll(engine, all.size()), all);
    VERIFY(!engine.failed());
    // Nothing was echoed back either way.
    COMPARE(line->peer->receive(1, 200), std::string());
    COMPARE(engine.bytesInQueue(), 0LL);
}

void totalReadTimeout(SerialCaseContext &ctx)
{
    SerialEngine engine;
    SerialLine *line = openLine(ctx, engine, {0, 300, 0});
    REQUIRE(line);

    // Nothing arrives: no bytes after n + constant ms, and no error.
    Stopwatch watch;
    COMPARE(readAll(engine, 20), std::string());
    VERIFY_ELAPSED(watch.elapsedMs(), 320);
    VERIFY(!engine.failed());

    // Interval 0 switches that limit off: what arrived is returned when the total ends.
    VERIFY(engine.setTimeouts(0, 400, 0));
    VERIFY(line->peer->send("xy"));
    COMPARE(waitForQueue(engine, 2), 2LL);
    watch.restart();
    COMPARE(readAll(engine, 10), std::string("xy"));
    VERIFY_ELAPSED(watch.elapsedMs(), 410);

    // A read that gets all it asked for does not wait.
    VERIFY(engine.setTimeouts(0, 20000, 0));
    VERIFY(line->peer->send("1234"));
    watch.restart();
    COMPARE(readAll(engine, 4), std::string("1234"));
    VERIFY(watch.elapsedMs() < lateMs);
    VERIFY(!engine.failed());
}

void intervalReadTimeout(SerialCaseContext &ctx)
{
    SerialEngine engine;
    SerialLine *line = openLine(ctx, engine, {1000, 20000, 0});
    REQUIRE(line);

    // A gap shorter than the interval does not end the read; the gap after the last byte does,
    // long before the total time-out. (The far end counts its delays from when it is asked, so
    // the watch starts before that.)
    Stopwatch watch;
    VERIFY(line->peer->sendLater(0, "ab"));
    VERIFY(line->peer->sendLater(50, "cd"));
    COMPARE(readAll(engine, 64), std::string("abcd"));
    VERIFY_ELAPSED(watch.elapsedMs(), 1050);
    VERIFY(!engine.failed());

    // Bytes that trickle in keep the read going until the last gap.
    VERIFY(engine.setTimeouts(600, 20000, 0));
    watch.restart();
    for (const char *part : {"1", "2", "3", "4", "5"})
        VERIFY(line->peer->sendLater(100, part));
    COMPARE(readAll(engine, 64), std::string("12345"));
    VERIFY_ELAPSED(watch.elapsedMs(), 1100);
    VERIFY(!engine.failed());
}

void writeTimeout(SerialCaseContext &ctx)
{
    SerialEngine engine;
    SerialLine *line = openLine(ctx, engine, {0, 0, 1});
    REQUIRE(line);

    // Nobody reads the far end: fill the line until it takes nothing more, also after the
    // system has moved what it could towards the other side.
    const std::string block(256, 'x');
    long long queued = 0;
    int rounds = 0;
    for (long long round = -1; round != 0; ++rounds) {
        VERIFY(rounds < 100);
        round = 0;
        for (long long written = 1; written > 0 && round < (1 << 24);) {
            written = writeAll(engine, block);
            VERIFY(!engine.failed());
            round += written;
            if (written < static_cast<long long>(block.size()))
                break;
        }
        queued += round;
        sleepMs(100);
    }

    // A write that cannot go anywhere gives up after n + constant ms, without an error.
    VERIFY(engine.setTimeouts(0, 0, 300));
    Stopwatch watch;
    COMPARE(writeAll(engine, std::string(100, 'y')), 0LL);
    VERIFY_ELAPSED(watch.elapsedMs(), 400);
    VERIFY(!engine.failed());

    // Once the other side drains the line, writes go through again.
    COMPARE(static_cast<long long>(line->peer->receive(static_cast<std::size_t>(queued), 20000).size()),
            queued);
    VERIFY(engine.setTimeouts(0, 0, 2000));
    COMPARE(writeAll(engine, "z"), 1LL);
    COMPARE(line->peer->receive(1, 5000), std::string("z"));
}

void bytesAvailable(SerialCaseContext &ctx)
{
    SerialEngine engine;
    SerialLine *line = openLine(ctx, engine, {0, 1000, 1000});
    REQUIRE(line);
    COMPARE(engine.bytesInQueue(), 0LL);

    VERIFY(line->peer->send("hello"));
    COMPARE(waitForQueue(engine, 5), 5LL);
    COMPARE(readAll(engine, 2), std::string("he"));
    COMPARE(engine.bytesInQueue(), 3LL);
    VERIFY(line->peer->send("world!"));
    COMPARE(waitForQueue(engine, 9), 9LL);
    COMPARE(readAll(engine, 9), std::string("lloworld!"));
    COMPARE(engine.bytesInQueue(), 0LL);
}

void clearingInput(SerialCaseContext &ctx)
{
    SerialEngine engine;
    SerialLine *line = openLine(ctx, engine, {0, 2000, 1000});
    REQUIRE(line);

    VERIFY(line->peer->send("stale answer"));
    COMPARE(waitForQueue(engine, 12), 12LL);
    engine.clearInput();
    COMPARE(engine.bytesInQueue(), 0LL);
    VERIFY(line->peer->send("fresh"));
    COMPARE(readAll(engine, 5), std::string("fresh"));
    // Output is not touched by clearing input.
    COMPARE(writeAll(engine, "out"), 3LL);
    engine.clearInput();
    COMPARE(line->peer->receive(3, 5000), std::string("out"));
}

void hungUpLine(SerialCaseContext &ctx)
{
    SerialEngine engine;
    SerialLine *line = openLine(ctx, engine, {0, 20000, 2000});
    REQUIRE(line);
    VERIFY(line->peer->hangUp());

    // Nothing can be sent any more, and the write says so.
    Stopwatch watch;
    COMPARE(writeAll(engine, "lost"), 0LL);
    VERIFY(watch.elapsedMs() < lateMs);
    COMPARE(engine.error(), SerialEngine::SystemError);
    VERIFY(engine.systemError() != 0);

    // The read ends at once with nothing and says why, rather than waiting out its time-out as if
    // the line were only quiet.
    if (ctx.underWine())
        SKIP("Wine's ReadFile does not see that the terminal behind the port hung up: it waits "
             "out the total time-out and reports success with no bytes");
    watch.restart();
    COMPARE(readAll(engine, 10), std::string());
    VERIFY(watch.elapsedMs() < lateMs);
    COMPARE(engine.error(), SerialEngine::SystemError);
    VERIFY(engine.systemError() != 0);
    // The port stays open until its user closes it.
    VERIFY(engine.isOpen());
    engine.close();
    VERIFY(!engine.isOpen());
}

void portList(SerialCaseContext &ctx)
{
    const std::vector<std::string> ports = SerialEngine::enumDevices();
    for (std::size_t i = 0; i < ports.size(); ++i) {
        ctx.setRow(ports[i]);
        VERIFY(!ports[i].empty());
        COMPARE(std::count(ports.begin(), ports.end(), ports[i]), std::ptrdiff_t(1));
    }
    SerialLine *line = takeLine(ctx);
    REQUIRE(line);
    ctx.setRow(line->names.front());
    COMPARE(std::count(ports.begin(), ports.end(), line->names.front()) == 1, linesAreListed);
}

#ifdef _WIN32
struct RegistryValue
{
    std::wstring name;
    DWORD type;
    std::vector<BYTE> data;
};

bool setValue(HKEY key, const wchar_t *name, DWORD type, const void *data, std::size_t size)
{
    return RegSetValueExW(key, name, 0, type, static_cast<const BYTE *>(data),
                          static_cast<DWORD>(size))
            == ERROR_SUCCESS;
}

std::vector<RegistryValue> readValues(HKEY key)
{
    std::vector<RegistryValue> values;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD nameLength = 256;
        BYTE data[1024];
        DWORD size = sizeof data;
        DWORD type = 0;
        if (RegEnumValueW(key, index, name, &nameLength, nullptr, &type, data, &size)
            != ERROR_SUCCESS)
            break;
        values.push_back({std::wstring(name, nameLength), type, std::vector<BYTE>(data, data + size)});
    }
    return values;
}

const wchar_t serialMapPath[] = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";

// Puts the serial map back as it was, as the volatile key Windows keeps it in.
bool restoreSerialMap(const std::vector<RegistryValue> &values)
{
    HKEY key;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, serialMapPath, 0, nullptr, REG_OPTION_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &key, nullptr)
        != ERROR_SUCCESS)
        return false;
    bool ok = true;
    for (const RegistryValue &value : values)
        ok = setValue(key, value.name.c_str(), value.type, value.data.data(), value.data.size()) && ok;
    RegCloseKey(key);
    return ok;
}

void serialMapValues(SerialCaseContext &ctx)
{
    // What Windows leaves in the serial map is the port drivers' business; this case writes its
    // own values there, which only a throwaway machine may have done to it.
    if (!ctx.underWine())
        SKIP("changes the machine's serial map; runs only in a throwaway Wine prefix");
    const std::vector<std::string> before = SerialEngine::enumDevices();
    SerialLine *line = takeLine(ctx);
    REQUIRE(line);
    const std::string &listed = line->names.front();
    VERIFY(std::count(before.begin(), before.end(), listed) == 1);

    HKEY key;
    VERIFY(RegOpenKeyExW(HKEY_LOCAL_MACHINE, serialMapPath, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS);
    const std::vector<RegistryValue> saved = readValues(key);
    const std::wstring listedWide(listed.begin(), listed.end());
    const std::wstring longName = L"COM" + std::wstring(200, L'9');
    const DWORD number = 7;
    VERIFY(setValue(key, L"\\Device\\TestDuplicate", REG_SZ, listedWide.c_str(),
                    (listedWide.size() + 1) * sizeof(wchar_t)));
    VERIFY(setValue(key, L"\\Device\\TestNumber", REG_DWORD, &number, sizeof number));
    VERIFY(setValue(key, L"\\Device\\TestExpand", REG_EXPAND_SZ, L"COM77", 6 * sizeof(wchar_t)));
    VERIFY(setValue(key, L"\\Device\\TestMulti", REG_MULTI_SZ, L"COM78\0", 7 * sizeof(wchar_t)));
    VERIFY(setValue(key, L"\\Device\\TestUnterminated", REG_SZ, L"COM79", 5 * sizeof(wchar_t)));
    VERIFY(setValue(key, L"\\Device\\TestLong", REG_SZ, longName.c_str(),
                    (longName.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);

    // Strings only, each once, the longest whole, a missing terminator supplied.
    std::vector<std::string> expected = before;
    expected.push_back("COM79");
    expected.push_back("COM" + std::string(200, '9'));
    std::vector<std::string> ports = SerialEngine::enumDevices();
    std::sort(expected.begin(), expected.end());
    std::sort(ports.begin(), ports.end());
    const bool listedAsExpected = ports == expected;

    // Without the key there is no port to list.
    const LONG deleted = RegDeleteKeyW(HKEY_LOCAL_MACHINE, serialMapPath);
    const std::vector<std::string> withoutKey = SerialEngine::enumDevices();
    const bool restored = restoreSerialMap(saved);
    VERIFY(restored);
    VERIFY(listedAsExpected);
    COMPARE(int(deleted), int(ERROR_SUCCESS));
    COMPARE(withoutKey.size(), std::size_t(0));
    COMPARE(SerialEngine::enumDevices() == before, true);
}
#endif

} // namespace

SerialPeer::~SerialPeer() = default;

SerialCaseContext::~SerialCaseContext() = default;

void SerialCaseContext::fail(const std::string &message, const char *file, int line)
{
    if (finished())
        return;
    m_result.outcome = SerialCaseResult::Fail;
    std::string where = file;
    const std::size_t slash = where.find_last_of("/\\");
    if (slash != std::string::npos)
        where = where.substr(slash + 1);
    m_result.message = (m_row.empty() ? std::string() : "(" + m_row + ") ") + message + " at "
            + where + ":" + std::to_string(line);
}

void SerialCaseContext::skip(const std::string &reason)
{
    if (finished())
        return;
    m_result.outcome = SerialCaseResult::Skip;
    m_result.message = reason;
}

const std::vector<SerialCase> &serialCases()
{
    static const std::vector<SerialCase> cases = {
        {"closedPort", closedPort},
        {"openByNameAndPath", openByNameAndPath},
        {"openForOneDirection", openForOneDirection},
        {"missingPort", missingPort},
        {"secondOpenRefused", secondOpenRefused},
        {"settingsAppliedAndReadBack", settingsAppliedAndReadBack},
        {"refusedSettingsLeaveLine", refusedSettingsLeaveLine},
        {"settingsTheLineDrops", settingsTheLineDrops},
        {"allByteValuesBothWays", allByteValuesBothWays},
        {"totalReadTimeout", totalReadTimeout},
        {"intervalReadTimeout", intervalReadTimeout},
        {"writeTimeout", writeTimeout},
        {"bytesAvailable", bytesAvailable},
        {"clearingInput", clearingInput},
        {"hungUpLine", hungUpLine},
        {"portList", portList},
#ifdef _WIN32
        {"serialMapValues", serialMapValues},
#endif
    };
    return cases;
}

SerialCaseResult runSerialCase(std::size_t index, SerialCaseContext &context)
{
    context.m_result = SerialCaseResult();
    context.m_row.clear();
    serialCases().at(index).run(context);
    context.endCase();
    return context.m_result;
}

std::string formatLineSettings(const LineSettings &s)
{
    std::ostringstream out;
    out << s.baudRate << ' ' << s.dataBits << ' ' << s.parity << ' ' << s.stopBits << ' '
        << s.rtsCts << ' ' << s.xonXoffOutput << ' ' << s.xonXoffInput << ' ' << s.raw;
    return out.str();
}

bool parseLineSettings(const std::string &text, LineSettings *s)
{
    std::istringstream in(text);
    return static_cast<bool>(in >> s->baudRate >> s->dataBits >> s->parity >> s->stopBits
                             >> s->rtsCts >> s->xonXoffOutput >> s->xonXoffInput >> s->raw);
}

std::string toHex(const std::string &data)
{
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(data.size() * 2);
    for (unsigned char c : data) {
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return hex;
}

bool fromHex(const std::string &hex, std::string *data)
{
    auto value = [](char c) {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        return -1;
    };
    if (hex.size() % 2 != 0)
        return false;
    data->clear();
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int high = value(hex[i]);
        const int low = value(hex[i + 1]);
        if (high < 0 || low < 0)
            return false;
        *data += static_cast<char>(high * 16 + low);
    }
    return true;
}
