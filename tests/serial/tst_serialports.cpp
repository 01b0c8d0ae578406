#include <QtTest>

#include "ptypeer.h"
#include "serial.h"
#include "serial_p.h"
#include "serialcases.h"

#include <deque>
#include <memory>

static QStringList toStringList(const std::vector<std::string> &names)
{
    QStringList list;
    for (const std::string &name : names)
        list.append(QString::fromStdString(name));
    return list;
}

// Fresh pseudo-terminals for the platform layer's behaviour cases: the port is the slave, named
// below /dev and by its full path.
class PtyLines : public SerialCaseContext
{
public:
    SerialLine *newLine() override
    {
        std::unique_ptr<PtyPeer> peer(new PtyPeer);
        if (!peer->isValid())
            return nullptr;
        const std::string path = peer->slavePath();
        m_lines.push_back({{path.substr(5), path}, peer.get()});
        m_peers.push_back(std::move(peer));
        return &m_lines.back();
    }
    void endCase() override
    {
        m_lines.clear();
        m_peers.clear();
    }

private:
    std::deque<SerialLine> m_lines;
    std::vector<std::unique_ptr<PtyPeer>> m_peers;
};

class tst_SerialPorts : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void sysfsTree();
    void missingTree();
    void devicePath_data();
    void devicePath();
    void systemPorts();
    void platformLayer_data();
    void platformLayer();

private:
    // One class/tty entry; device is "dir", "link", "dangling" or empty for none.
    void addEntry(const QString &entry, const QString &device, const QByteArray &devName = {},
                  const QByteArray &uartType = {});

    QTemporaryDir m_dir;
};

void tst_SerialPorts::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir::setCurrent(m_dir.path()));
}

void tst_SerialPorts::addEntry(const QString &entry, const QString &device,
                               const QByteArray &devName, const QByteArray &uartType)
{
    QDir root(m_dir.path());
    const QString dir = QStringLiteral("sys/class/tty/") + entry;
    QVERIFY(root.mkpath(dir));
    if (device == QLatin1String("dir")) {
        QVERIFY(root.mkpath(dir + "/device"));
    } else if (device == QLatin1String("link")) {
        QVERIFY(root.mkpath("sys/devices/usb1/" + entry));
        QVERIFY(QFile::link(root.filePath("sys/devices/usb1/" + entry), root.filePath(dir + "/device")));
    } else if (device == QLatin1String("dangling")) {
        QVERIFY(QFile::link(root.filePath("sys/devices/gone"), root.filePath(dir + "/device")));
    }
    if (!devName.isEmpty()) {
        QFile uevent(root.filePath(dir + "/uevent"));
        QVERIFY(uevent.open(QIODevice::WriteOnly));
        uevent.write("MAJOR=188\nMINOR=0\nDEVNAME=" + devName + "\n");
    }
    if (!uartType.isEmpty()) {
        QFile type(root.filePath(dir + "/type"));
        QVERIFY(type.open(QIODevice::WriteOnly));
        type.write(uartType + "\n");
    }
}

void tst_SerialPorts::sysfsTree()
{
    // Terminals without a device behind them.
    addEntry("console", QString(), "console");
    addEntry("ptmx", QString(), "ptmx");
    addEntry("tty0", QString(), "tty0");
    // 8250 placeholders (UART type 0) next to ports with a UART.
    addEntry("ttyS0", "dir", "ttyS0", "0");
    addEntry("ttyS3", "dir", "ttyS3", "0");
    addEntry("ttyS1", "dir", "ttyS1", "4");
    addEntry("ttyS10", "dir", "ttyS10", "4");
    addEntry("ttyS2", "dir", QByteArray(), "4"); // no uevent: the entry's name
    // USB adapters, one reachable through a second entry with the same node.
    addEntry("ttyUSB0", "link", "ttyUSB0");
    addEntry("ttyUSB0-alias", "link", "ttyUSB0");
    addEntry("ttyACM0", "link", "ttyACM0");
    // A node in a subdirectory of /dev, and a device that has gone away.
    addEntry("ttymxc0", "dir", "serial/mxc0");
    addEntry("ttyUSB1", "dangling", "ttyUSB1");

    // In the natural order of the entries.
    const QStringList expected = {"ttyACM0", "ttyS1", "ttyS2", "ttyS10", "ttyUSB0", "serial/mxc0"};
    QCOMPARE(toStringList(SerialEngine::enumDevices(m_dir.path().toStdString())), expected);
}

void tst_SerialPorts::missingTree()
{
    QVERIFY(SerialEngine::enumDevices(m_dir.filePath("nothing-here").toStdString()).empty());
}

void tst_SerialPorts::devicePath_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("path");
    QTest::newRow("name") << "ttyUSB0" << "/dev/ttyUSB0";
    QTest::newRow("name in a subdirectory") << "pts/3" << "/dev/pts/3";
    QTest::newRow("absolute path") << "/dev/ttyS0" << "/dev/ttyS0";
    QTest::newRow("path elsewhere") << "/tmp/port" << "/tmp/port";
}

void tst_SerialPorts::devicePath()
{
    QFETCH(QString, name);
    QFETCH(QString, path);
    QCOMPARE(QString::fromStdString(SerialEngine::devicePath(name.toStdString())), path);
}

void tst_SerialPorts::systemPorts()
{
    // The machine's own ports, whatever they are: the public list is the engine's, without
    // duplicates, as names that open() takes below /dev.
    // (Containers may show the host's sysfs without its /dev, so the nodes are not checked.)
    const QStringList ports = Serial::EnumDevices();
    QCOMPARE(ports, toStringList(SerialEngine::enumDevices()));
    QCOMPARE(ports.size(), QSet<QString>(ports.begin(), ports.end()).size());
    for (const QString &port : ports)
        QVERIFY2(!port.isEmpty() && !port.startsWith('/'), qPrintable(port));
}

// The cases that tst_serialwine runs against the Win32 layer under Wine, here against the POSIX
// layer.
void tst_SerialPorts::platformLayer_data()
{
    QTest::addColumn<int>("index");
    for (std::size_t i = 0; i < serialCases().size(); ++i)
        QTest::newRow(serialCases()[i].name) << int(i);
}

void tst_SerialPorts::platformLayer()
{
    QFETCH(int, index);
    PtyLines lines;
    const SerialCaseResult result = runSerialCase(std::size_t(index), lines);
    const QByteArray message = QByteArray::fromStdString(result.message);
    if (result.outcome == SerialCaseResult::Skip)
        QSKIP(message.constData());
    if (result.outcome == SerialCaseResult::Fail)
        QFAIL(message.constData());
}

QTEST_GUILESS_MAIN(tst_SerialPorts)
#include "tst_serialports.moc"
