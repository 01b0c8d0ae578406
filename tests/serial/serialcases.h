#ifndef SERIALCASES_H
#define SERIALCASES_H

// Behaviour cases of the serial platform layer (serial_p.h), written once and run against each
// platform's layer: natively against the POSIX layer, and under Wine against the Win32 layer, with
// a Linux process playing the far end of every line. No Qt here: the Win32 program is built with a
// bare cross compiler.

#include <cstddef>
#include <string>
#include <vector>

// A line's settings as its far end sees them.
struct LineSettings
{
    int baudRate = 0;
    int dataBits = 8;
    char parity = 'N'; // N, O, E, M or S
    int stopBits = 1; // 1 or 2
    bool rtsCts = false; // hardware handshake
    bool xonXoffOutput = false; // the port stops sending on XOFF
    bool xonXoffInput = false; // the port sends XOFF when its input fills
    bool raw = false; // no line editing, echo, signals or character translation
};

std::string formatLineSettings(const LineSettings &settings);
bool parseLineSettings(const std::string &text, LineSettings *settings);
std::string toHex(const std::string &data);
bool fromHex(const std::string &hex, std::string *data);

// The far end of one line: the instrument on the other side of the port.
class SerialPeer
{
public:
    virtual ~SerialPeer();
    virtual bool send(const std::string &data) = 0;
    // Sends data delayMs after the call and after everything scheduled before it; returns at once.
    virtual bool sendLater(int delayMs, const std::string &data) = 0;
    // What arrives within timeoutMs, up to size bytes.
    virtual std::string receive(std::size_t size, int timeoutMs) = 0;
    virtual bool lineSettings(LineSettings *settings) = 0;
    virtual bool setLineSettings(const LineSettings &settings) = 0;
    // Goes away for good, as an unplugged adapter or a closed pseudo-terminal does.
    virtual bool hangUp() = 0;
};

// A port for one case: the names it opens by (the port name first, then the same port as device
// paths) and its far end.
struct SerialLine
{
    std::vector<std::string> names;
    SerialPeer *peer = nullptr;
};

struct SerialCaseResult
{
    enum Outcome { Pass, Fail, Skip };
    Outcome outcome = Pass;
    std::string message;
};

// What a case gets from the platform that runs it.
class SerialCaseContext
{
public:
    virtual ~SerialCaseContext();
    // A line that no other case has used; nullptr when there is none left.
    virtual SerialLine *newLine() = 0;
    // The Win32 layer runs under Wine rather than Windows.
    virtual bool underWine() const { return false; }
    // Called after each case: the lines of that case may go.
    virtual void endCase() {}

    void setRow(const std::string &row) { m_row = row; }
    void fail(const std::string &message, const char *file, int line);
    void skip(const std::string &reason);
    bool finished() const { return m_result.outcome != SerialCaseResult::Pass; }

private:
    friend SerialCaseResult runSerialCase(std::size_t index, SerialCaseContext &context);
    SerialCaseResult m_result;
    std::string m_row;
};

struct SerialCase
{
    const char *name;
    void (*run)(SerialCaseContext &context);
};

const std::vector<SerialCase> &serialCases();
SerialCaseResult runSerialCase(std::size_t index, SerialCaseContext &context);

#endif // SERIALCASES_H
