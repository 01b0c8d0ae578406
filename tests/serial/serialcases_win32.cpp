// The platform layer's behaviour cases against the Win32 layer. tst_serialwine runs this program
// under Wine and plays the far end of every line; the two talk over standard input and output,
// one line each way:
//
//   request                                   reply
//   cases <name> <name>...                    (none)
//   send <line> <hex>                         ok | error
//   later <line> <ms> <hex>                   ok | error
//   receive <line> <size> <ms>                data <hex>
//   settings <line>                           settings <line settings> | error
//   set <line> <line settings>                ok | error
//   hangup <line>                             ok | error
//   result <name> pass|fail|skip <hex text>   (none)
//
// The arguments are the COM port names of the lines, in the driver's order.

#include "serialcases.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <io.h>
#include <memory>

namespace {

std::string request(const std::string &line)
{
    std::fputs((line + '\n').c_str(), stdout);
    std::fflush(stdout);
    std::string reply;
    int c;
    while ((c = std::fgetc(stdin)) != EOF && c != '\n')
        reply += static_cast<char>(c);
    if (c == EOF) {
        // The driver has gone; nothing more can be checked.
        std::fputs("serialcases_win32: the far end of the lines has gone\n", stderr);
        std::exit(3);
    }
    if (!reply.empty() && reply.back() == '\r')
        reply.pop_back();
    return reply;
}

void announce(const std::string &line)
{
    std::fputs((line + '\n').c_str(), stdout);
    std::fflush(stdout);
}

class RemotePeer : public SerialPeer
{
public:
    explicit RemotePeer(std::size_t index)
        : m_index(std::to_string(index))
    {
    }

    bool send(const std::string &data) override
    {
        return request("send " + m_index + ' ' + toHex(data)) == "ok";
    }
    bool sendLater(int delayMs, const std::string &data) override
    {
        return request("later " + m_index + ' ' + std::to_string(delayMs) + ' ' + toHex(data))
                == "ok";
    }
    std::string receive(std::size_t size, int timeoutMs) override
    {
        const std::string reply = request("receive " + m_index + ' ' + std::to_string(size) + ' '
                                          + std::to_string(timeoutMs));
        std::string data;
        if (reply.compare(0, 4, "data") != 0 || !fromHex(reply.substr(std::min<std::size_t>(reply.size(), 5)), &data))
            return std::string();
        return data;
    }
    bool lineSettings(LineSettings *settings) override
    {
        const std::string reply = request("settings " + m_index);
        return reply.compare(0, 9, "settings ") == 0
                && parseLineSettings(reply.substr(9), settings);
    }
    bool setLineSettings(const LineSettings &settings) override
    {
        return request("set " + m_index + ' ' + formatLineSettings(settings)) == "ok";
    }
    bool hangUp() override { return request("hangup " + m_index) == "ok"; }

private:
    std::string m_index;
};

class RemoteLines : public SerialCaseContext
{
public:
    explicit RemoteLines(const std::vector<std::string> &ports)
    {
        for (std::size_t i = 0; i < ports.size(); ++i) {
            m_peers.emplace_back(new RemotePeer(i));
            SerialLine line;
            // The name, the path with the device prefix, and the same with forward slashes.
            line.names = {ports[i], "\\\\.\\" + ports[i], "//./" + ports[i]};
            line.peer = m_peers.back().get();
            m_lines.push_back(line);
        }
        const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
        m_underWine = ntdll && GetProcAddress(ntdll, "wine_get_version");
    }

    // Every case gets lines of its own, so that none sees what another left on a line.
    SerialLine *newLine() override
    {
        return m_next < m_lines.size() ? &m_lines[m_next++] : nullptr;
    }
    bool underWine() const override { return m_underWine; }

private:
    std::vector<std::unique_ptr<RemotePeer>> m_peers;
    std::vector<SerialLine> m_lines;
    std::size_t m_next = 0;
    bool m_underWine = false;
};

} // namespace

int main(int argc, char *argv[])
{
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);

    RemoteLines lines(std::vector<std::string>(argv + 1, argv + argc));
    const std::vector<SerialCase> &cases = serialCases();
    std::string names = "cases";
    for (const SerialCase &serialCase : cases)
        names += std::string(" ") + serialCase.name;
    announce(names);

    int failures = 0;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const SerialCaseResult result = runSerialCase(i, lines);
        static const char *const outcomes[] = {"pass", "fail", "skip"};
        announce(std::string("result ") + cases[i].name + ' ' + outcomes[result.outcome] + ' '
                 + toHex(result.message));
        if (result.outcome == SerialCaseResult::Fail)
            ++failures;
    }
    return failures == 0 ? 0 : 1;
}
