// Lists the serial ports, or sends one line to a port and prints the line that comes back.
//
//   serialexample                      list the ports
//   serialexample ttyUSB0 "*IDN?"      send a line at 9600 8N1, print the answer
//
// Two pseudo-terminals joined by socat make a port to try it on:
//   socat pty,raw,echo=0,link=/tmp/ttyA pty,raw,echo=0,link=/tmp/ttyB &
//   cat /tmp/ttyB > /tmp/ttyB &        (an echoing "instrument")
//   serialexample /tmp/ttyA hello

#include "serial.h"

#include <QtCore/QCommandLineParser>
#include <QtCore/QCoreApplication>
#include <QtCore/QTextStream>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("serialexample"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
            QStringLiteral("Lists the serial ports, or sends a line to a port and prints the answer."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("port"),
                                 QStringLiteral("Port to talk to (ttyUSB0, /dev/pts/3). Without it, "
                                                "the ports are listed."),
                                 QStringLiteral("[port"));
    parser.addPositionalArgument(QStringLiteral("line"),
                                 QStringLiteral("Text to send, followed by a line feed (default: PING)."),
                                 QStringLiteral("[line]]"));
    const QCommandLineOption baudOption(
            {QStringLiteral("b"), QStringLiteral("baud")},
            QStringLiteral("Baud rate, 8 data bits, no parity, 1 stop bit (default: 9600)."),
            QStringLiteral("rate"), QStringLiteral("9600"));
    const QCommandLineOption waitOption(
            {QStringLiteral("w"), QStringLiteral("wait")},
            QStringLiteral("Milliseconds to wait for each byte of the answer (default: 2000)."),
            QStringLiteral("ms"), QStringLiteral("2000"));
    parser.addOption(baudOption);
    parser.addOption(waitOption);
    parser.process(app);

    QTextStream out(stdout);
    QTextStream err(stderr);
    const QStringList args = parser.positionalArguments();

    if (args.isEmpty()) {
        const QStringList ports = Serial::EnumDevices();
        if (ports.isEmpty())
            out << "No serial ports found." << Qt::endl;
        for (const QString &port : ports)
            out << port << Qt::endl;
        return 0;
    }

    bool baudOk = false;
    bool waitOk = false;
    const int baudRate = parser.value(baudOption).toInt(&baudOk);
    const int wait = parser.value(waitOption).toInt(&waitOk);
    if (!baudOk || !waitOk || wait < 0 || args.size() > 2) {
        err << "Bad arguments; see --help." << Qt::endl;
        return 2;
    }

    Serial serial;
    serial.setFileName(args.at(0));
    if (!serial.open()) {
        err << "Cannot open " << serial.fileName() << ": " << serial.errorString() << Qt::endl;
        return 1;
    }
    if (!serial.setSettings(baudRate, 8, Serial::NoParity, Serial::OneStopBit)
        || !serial.setTimeouts(0, wait, 1000)) {
        err << "Cannot set up " << serial.fileName() << ": " << serial.errorString() << Qt::endl;
        return 1;
    }

    // One exchange; code that shares the port with other threads holds the lock around it.
    QMutexLocker locker(&serial);
    const QByteArray line = (args.size() > 1 ? args.at(1) : QStringLiteral("PING")).toUtf8() + '\n';
    serial.clearInputBuffer();
    if (serial.write(line) != line.size()) {
        err << "Write to " << serial.fileName() << " timed out or failed: " << serial.errorString()
            << Qt::endl;
        return 1;
    }
    // Unbuffered, readLine takes one byte at a time, each within the wait.
    const QByteArray answer = serial.readLine(4096);
    if (answer.isEmpty()) {
        err << "No answer from " << serial.fileName() << Qt::endl;
        return 1;
    }
    out << QString::fromUtf8(answer).trimmed() << Qt::endl;
    return answer.endsWith('\n') ? 0 : 1;
}
