#include <QtTest>

#include "ptypeer.h"
#include "serial.h"

#include <atomic>
#include <chrono>
#include <thread>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

// A pseudo-terminal stands in for a port: Serial opens the slave, the test plays the instrument
// on the master through the serial tests' peer, here in Qt's types.
class PtyPair : public PtyPeer
{
public:
    QString slavePath() const { return QString::fromStdString(PtyPeer::slavePath()); }
    QString slaveName() const { return slavePath().mid(5); } // without "/dev/"
    void closeMaster() { hangUp(); }
    void send(const QByteArray &data) { PtyPeer::send(data.toStdString()); }
    // What the master receives within timeoutMs, up to size bytes.
    QByteArray receive(qint64 size, int timeoutMs = 5000)
    {
        return QByteArray::fromStdString(PtyPeer::receive(std::size_t(size), timeoutMs));
    }
};

static int fdOf(const Serial &serial)
{
    return int(reinterpret_cast<quintptr>(serial.handle()));
}

class tst_Serial : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void closedDevice();
    void openByPathAndName_data();
    void openByPathAndName();
    void secondOpenWarnsAndKeepsPort();
    void openFailures_data();
    void openFailures();
    void exclusiveAccess();
    void settings_data();
    void settings();
    void badSettingsLeavePortUnchanged_data();
    void badSettingsLeavePortUnchanged();
    void transfersAreBinaryBothWays();
    void bytesAvailableCountsDriverAndBuffer();
    void clearInputBuffer();
    void readTimeouts();
    void writeTimeout();
    void hangUpEndsRead();
    void recursiveLockSharedBetweenThreads();

private:
    QTemporaryDir m_dir;
};

void tst_Serial::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir::setCurrent(m_dir.path()));
}

void tst_Serial::closedDevice()
{
    Serial serial;
    QVERIFY(!serial.isOpen());
    QVERIFY(serial.fileName().isNull());
    QVERIFY(serial.isSequential());
    QCOMPARE(serial.handle(), reinterpret_cast<void *>(quintptr(-1)));
    QCOMPARE(serial.qt_metacast("Serial"), static_cast<void *>(&serial));
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    // Qt 6's recursive mutex is no QMutex, and the object does not claim to be one.
    QCOMPARE(serial.qt_metacast("QRecursiveMutex"),
             static_cast<void *>(static_cast<QRecursiveMutex *>(&serial)));
    QCOMPARE(serial.qt_metacast("QMutex"), nullptr);
#else
    QCOMPARE(serial.qt_metacast("QMutex"), static_cast<void *>(static_cast<QMutex *>(&serial)));
#endif
    QCOMPARE(serial.bytesAvailable(), qint64(0));

    QTest::ignoreMessage(QtWarningMsg, "Serial::setSettings: File is not open");
    QVERIFY(!serial.setSettings(9600, 8, Serial::NoParity, Serial::OneStopBit));
    // Like SetCommTimeouts on an invalid handle: the system refuses.
    QVERIFY(!serial.setTimeouts(0, 100, 100));
    QCOMPARE(serial.errorString(), qt_error_string(EBADF));
    serial.close(); // harmless when closed
    QVERIFY(!serial.isOpen());
}

void tst_Serial::openByPathAndName_data()
{
    QTest::addColumn<bool>("fullPath");
    QTest::newRow("full path") << true;
    QTest::newRow("name below /dev") << false;
}

void tst_Serial::openByPathAndName()
{
    QFETCH(bool, fullPath);
    PtyPair pty;
    QVERIFY(pty.isValid());
    const QString name = fullPath ? pty.slavePath() : pty.slaveName();

    Serial serial;
    serial.setFileName(name);
    QVERIFY2(serial.open(), qPrintable(serial.errorString()));
    QCOMPARE(serial.openMode(), QIODevice::ReadWrite | QIODevice::Unbuffered);
    QVERIFY(::isatty(fdOf(serial)));
    QCOMPARE(serial.write("ping"), qint64(4));
    QCOMPARE(pty.receive(4), QByteArray("ping"));

    serial.close();
    QVERIFY(!serial.isOpen());
    QCOMPARE(serial.handle(), reinterpret_cast<void *>(quintptr(-1)));
    QCOMPARE(serial.fileName(), name);
    // The port is released: it opens again, also from a new object after the old one is gone.
    QVERIFY(serial.open(QIODevice::ReadOnly));
    QCOMPARE(serial.openMode(), QIODevice::ReadOnly);
    {
        Serial other;
        other.setFileName(name);
        QVERIFY(!other.open());
    }
    serial.close();
    auto *temporary = new Serial;
    temporary->setFileName(name);
    QVERIFY(temporary->open());
    delete temporary;
    QVERIFY(serial.open());
}

void tst_Serial::secondOpenWarnsAndKeepsPort()
{
    PtyPair pty;
    Serial serial;
    serial.setFileName(pty.slaveName());
    QVERIFY(serial.open());
    const void *handle = serial.handle();

    const QByteArray warning = "Serial::open: Serial (" + pty.slaveName().toUtf8() + ") is already open";
    QTest::ignoreMessage(QtWarningMsg, warning.constData());
    QVERIFY(!serial.open(QIODevice::ReadOnly));
    QVERIFY(serial.isOpen());
    QCOMPARE(serial.openMode(), QIODevice::ReadWrite | QIODevice::Unbuffered);
    QCOMPARE(serial.handle(), handle);
    QVERIFY(serial.setTimeouts(0, 1000, 1000));
    QCOMPARE(serial.write("still here"), qint64(10));
    QCOMPARE(pty.receive(10), QByteArray("still here"));
}

void tst_Serial::openFailures_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("error");

    QTest::newRow("missing path") << "/dev/ttyNoSuchPort9" << qt_error_string(ENOENT);
    QTest::newRow("missing name") << "ttyNoSuchPort9" << qt_error_string(ENOENT);
    QTest::newRow("plain file") << "plain.txt" << "%1 is not a serial port";
    QTest::newRow("empty name") << "" << "Invalid serial port name \"%1\"";
    QTest::newRow("embedded zero") << QString::fromLatin1("tty\0x", 5)
                                   << "Invalid serial port name \"%1\"";
}

void tst_Serial::openFailures()
{
    QFETCH(QString, name);
    QFETCH(QString, error);

    QFile plain(m_dir.filePath("plain.txt"));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    if (name == QLatin1String("plain.txt"))
        name = plain.fileName();

    Serial serial;
    serial.setFileName(name);
    QVERIFY(!serial.open());
    QVERIFY(!serial.isOpen());
    QCOMPARE(serial.handle(), reinterpret_cast<void *>(quintptr(-1)));
    QCOMPARE(serial.errorString(), error.contains("%1") ? error.arg(name) : error);
}

void tst_Serial::exclusiveAccess()
{
    PtyPair pty;
    Serial first;
    first.setFileName(pty.slavePath());
    QVERIFY(first.open());
    QVERIFY(first.setTimeouts(0, 1000, 1000));

    Serial second;
    second.setFileName(pty.slaveName());
    QVERIFY(!second.open());
    QVERIFY(!second.isOpen());
    QCOMPARE(second.errorString(),
             QStringLiteral("Serial port %1 is in use by another program").arg(pty.slaveName()));
    // The failed attempt left the holder's connection alone.
    pty.send("abc");
    QCOMPARE(first.read(3), QByteArray("abc"));

    first.close();
    QVERIFY2(second.open(), qPrintable(second.errorString()));
    second.close();

    // Another program that holds the port the same way.
    const int other = ::open(pty.slavePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    QVERIFY(other >= 0);
    QCOMPARE(::flock(other, LOCK_EX | LOCK_NB), 0);
    QVERIFY(!second.open());
    QVERIFY(second.errorString().contains("in use"));
    ::close(other);
    QVERIFY(second.open());

    // Without an access mode nothing is opened.
    second.close();
    QTest::ignoreMessage(QtWarningMsg, "Serial::open: File access not specified");
    QVERIFY(!second.open(QIODevice::Unbuffered));
    QVERIFY(!second.isOpen());
}

void tst_Serial::settings_data()
{
    QTest::addColumn<int>("baudRate");
    QTest::addColumn<int>("dataBits");
    QTest::addColumn<int>("parity");
    QTest::addColumn<int>("stopBits");
    QTest::addColumn<speed_t>("speed");
    QTest::addColumn<uint>("cflags"); // CSIZE, parity and stop bits

    QTest::newRow("9600 8N1") << 9600 << 8 << int(Serial::NoParity) << int(Serial::OneStopBit)
                              << speed_t(B9600) << uint(CS8);
    QTest::newRow("115200 8N2") << 115200 << 8 << int(Serial::NoParity) << int(Serial::TwoStopBits)
                                << speed_t(B115200) << uint(CS8 | CSTOPB);
    QTest::newRow("50 8N2") << 50 << 8 << int(Serial::NoParity) << int(Serial::TwoStopBits)
                            << speed_t(B50) << uint(CS8 | CSTOPB);
    QTest::newRow("4000000 8N1") << 4000000 << 8 << int(Serial::NoParity) << int(Serial::OneStopBit)
                                 << speed_t(B4000000) << uint(CS8);
}

void tst_Serial::settings()
{
    QFETCH(int, baudRate);
    QFETCH(int, dataBits);
    QFETCH(int, parity);
    QFETCH(int, stopBits);
    QFETCH(speed_t, speed);
    QFETCH(uint, cflags);

    PtyPair pty;
    Serial serial;
    serial.setFileName(pty.slavePath());
    QVERIFY(serial.open());
    // Start from a port with handshakes and a different line set.
    termios t;
    QCOMPARE(::tcgetattr(fdOf(serial), &t), 0);
    t.c_cflag = (t.c_cflag & ~CSIZE) | CS8 | CSTOPB | CRTSCTS | PARENB;
    t.c_iflag |= IXON | IXOFF;
    cfsetspeed(&t, B38400);
    QCOMPARE(::tcsetattr(fdOf(serial), TCSANOW, &t), 0);

    QVERIFY2(serial.setSettings(baudRate, dataBits, Serial::Parity(parity), Serial::StopBits(stopBits)),
             qPrintable(serial.errorString()));
    QCOMPARE(::tcgetattr(fdOf(serial), &t), 0);
    QCOMPARE(cfgetospeed(&t), speed);
    QCOMPARE(cfgetispeed(&t), speed);
    QCOMPARE(uint(t.c_cflag & (CSIZE | PARENB | PARODD | CMSPAR | CSTOPB)), cflags);
    QVERIFY(!(t.c_cflag & CRTSCTS));
    QVERIFY(!(t.c_iflag & IXON));
    QVERIFY(t.c_iflag & IXOFF); // input flow control keeps what the port had
    QVERIFY(!(t.c_lflag & (ICANON | ECHO | ISIG)));
    QVERIFY(!(t.c_oflag & OPOST));
}

void tst_Serial::badSettingsLeavePortUnchanged_data()
{
    QTest::addColumn<int>("baudRate");
    QTest::addColumn<int>("dataBits");
    QTest::addColumn<int>("parity");
    QTest::addColumn<int>("stopBits");
    QTest::addColumn<QString>("error");

    // A pseudo-terminal takes only 8 data bits without parity; what a driver drops is refused
    // as surely as what the system does not know.
    QTest::newRow("7E1 dropped") << 9600 << 7 << 2 << 0 << "7 data bits are not supported";
    QTest::newRow("8O1 dropped") << 9600 << 8 << 1 << 0 << "Parity setting 1 is not supported";
    QTest::newRow("8M1 dropped") << 9600 << 8 << 3 << 0 << "Parity setting 3 is not supported";
    QTest::newRow("8S2 dropped") << 9600 << 8 << 4 << 2 << "Parity setting 4 is not supported";
    QTest::newRow("odd baud rate") << 12345 << 8 << 0 << 0 << "Baud rate 12345 is not supported";
    QTest::newRow("zero baud rate") << 0 << 8 << 0 << 0 << "Baud rate 0 is not supported";
    QTest::newRow("negative baud rate") << -9600 << 8 << 0 << 0 << "Baud rate -9600 is not supported";
    QTest::newRow("4 data bits") << 9600 << 4 << 0 << 0 << "4 data bits are not supported";
    QTest::newRow("264 data bits") << 9600 << 264 << 0 << 0 << "264 data bits are not supported";
    QTest::newRow("parity 5") << 9600 << 8 << 5 << 0 << "Parity setting 5 is not supported";
    QTest::newRow("1.5 stop bits") << 9600 << 5 << 0 << int(Serial::OneAndHalfStopBits)
                                   << "1.5 stop bits are not supported on this system";
    QTest::newRow("stop bits 3") << 9600 << 8 << 0 << 3 << "Stop bits setting 3 is not supported";
}

void tst_Serial::badSettingsLeavePortUnchanged()
{
    QFETCH(int, baudRate);
    QFETCH(int, dataBits);
    QFETCH(int, parity);
    QFETCH(int, stopBits);
    QFETCH(QString, error);

    PtyPair pty;
    Serial serial;
    serial.setFileName(pty.slavePath());
    QVERIFY(serial.open());
    QVERIFY(serial.setSettings(19200, 8, Serial::NoParity, Serial::TwoStopBits));
    termios before;
    QCOMPARE(::tcgetattr(fdOf(serial), &before), 0);

    QVERIFY(!serial.setSettings(baudRate, dataBits, Serial::Parity(parity), Serial::StopBits(stopBits)));
    QCOMPARE(serial.errorString(), error);
    termios after;
    QCOMPARE(::tcgetattr(fdOf(serial), &after), 0);
    QCOMPARE(cfgetospeed(&after), cfgetospeed(&before));
    QCOMPARE(after.c_cflag, before.c_cflag);
    QCOMPARE(after.c_iflag, before.c_iflag);
}

void tst_Serial::transfersAreBinaryBothWays()
{
    PtyPair pty;
    Serial serial;
    serial.setFileName(pty.slavePath());
    QVERIFY(serial.open());
    QVERIFY(serial.setSettings(115200, 8, Serial::NoParity, Serial::OneStopBit));
    QVERIFY(serial.setTimeouts(0, 3000, 3000));

    // Every byte value, control characters included, passes untranslated in both directions.
    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all.append(char(i));
    all += "\r\n\n\r";

    QCOMPARE(serial.write(all), qint64(all.size()));
    QCOMPARE(pty.receive(all.size()), all);

    pty.send(all);
    QCOMPARE(serial.read(all.size()), all);
    QCOMPARE(serial.errorString(), QStringLiteral("Unknown error"));
}

void tst_Serial::bytesAvailableCountsDriverAndBuffer()
{
    PtyPair pty;
    Serial serial;
    serial.setFileName(pty.slavePath());
    QVERIFY(serial.open(QIODevice::ReadWrite)); // buffered
    QVERIFY(serial.setTimeouts(50, 3000, 1000));
    QCOMPARE(serial.bytesAvailable(), qint64(0));

    pty.send("hello");
    QTRY_COMPARE(serial.bytesAvailable(), qint64(5));
    // The buffered read takes all five bytes into the QIODevice buffer, hands out two.
    QCOMPARE(serial.read(2), QByteArray("he"));
    QCOMPARE(serial.bytesAvailable(), qint64(3));
    pty.send("world!");
    QTRY_COMPARE(serial.bytesAvailable(), qint64(9));
    QCOMPARE(serial.read(9), QByteArray("lloworld!"));
    QCOMPARE(serial.bytesAvailable(), qint64(0));
}

void tst_Serial::clearInputBuffer()
{
    PtyPair pty;
    Serial serial;
    serial.setFileName(pty.slavePath());
    QVERIFY(serial.open());
    QVERIFY(serial.setTimeouts(0, 2000, 1000));

    pty.send("stale answer");
    QTRY_COMPARE(serial.bytesAvailable(), qint64(12));
    serial.clearInputBuffer();
    QCOMPARE(serial.bytesAvailable(), qint64(0));
    pty.send("fresh");
    QCOMPARE(serial.read(5), QByteArray("fresh"));
}

void tst_Serial::readTimeouts()
{
    using namespace std::chrono_literals;
    PtyPair pty;
    Serial serial;
    serial.setFileName(pty.slavePath());
    QVERIFY(serial.open());
    QElapsedTimer timer;

    // Before any setTimeouts a read is bounded too (n ms), never blocking for good.
    timer.start();
    QCOMPARE(serial.read(50), QByteArray());
    qint64 elapsed = timer.elapsed();
    QVERIFY2(elapsed >= 50 && elapsed < 5000, QByteArray::number(elapsed));

    // Nothing arrives: 0 bytes after n + constant ms, and no error.
    QVERIFY(serial.setTimeouts(0, 300, 0));
    timer.start();
    QCOMPARE(serial.read(20), QByteArray());
    elapsed = timer.elapsed();
    QVERIFY2(elapsed >= 320 && elapsed < 5000, QByteArray::number(elapsed));
    QCOMPARE(serial.errorString(), QStringLiteral("Unknown error"));

    // A gap longer than the interval ends the read early with what arrived; gaps shorter than
    // the interval do not.
    QVERIFY(serial.setTimeouts(1000, 20000, 0));
    std::thread sender([&pty] {
        pty.send("ab");
        std::this_thread::sleep_for(50ms);
        pty.send("cd");
    });
    timer.start();
    QCOMPARE(serial.read(64), QByteArray("abcd"));
    elapsed = timer.elapsed();
    sender.join();
    QVERIFY2(elapsed >= 1000 && elapsed < 15000, QByteArray::number(elapsed));

    // Interval 0 switches that limit off: the read waits for the total time-out.
    QVERIFY(serial.setTimeouts(0, 400, 0));
    pty.send("xy");
    timer.start();
    QCOMPARE(serial.read(10), QByteArray("xy"));
    elapsed = timer.elapsed();
    QVERIFY2(elapsed >= 300 && elapsed < 5000, QByteArray::number(elapsed));

    // A read that gets all it asked for does not wait.
    QVERIFY(serial.setTimeouts(0, 20000, 0));
    pty.send("1234");
    timer.start();
    QCOMPARE(serial.read(4), QByteArray("1234"));
    QVERIFY(timer.elapsed() < 10000);
}

void tst_Serial::writeTimeout()
{
    PtyPair pty;
    Serial serial;
    serial.setFileName(pty.slavePath());
    QVERIFY(serial.open());
    QVERIFY(serial.setSettings(9600, 8, Serial::NoParity, Serial::OneStopBit));

    // Nobody reads the master: fill the line until it takes nothing more, also after the
    // kernel has moved what it could to the other side.
    const QByteArray block(4096, 'x');
    qint64 queued = 0;
    for (qint64 round = -1; round != 0;) {
        round = 0;
        for (ssize_t r; (r = ::write(fdOf(serial), block.constData(), block.size())) > 0;)
            round += r;
        QCOMPARE(errno, EAGAIN);
        queued += round;
        QTest::qSleep(100);
    }

    QVERIFY(serial.setTimeouts(0, 0, 300));
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(serial.write(QByteArray(100, 'y')), qint64(0));
    const qint64 elapsed = timer.elapsed();
    QVERIFY2(elapsed >= 400 && elapsed < 5000, QByteArray::number(elapsed));
    QCOMPARE(serial.errorString(), QStringLiteral("Unknown error"));

    // Once the other side drains the line, writes go through again.
    QCOMPARE(pty.receive(queued).size(), int(queued));
    QCOMPARE(serial.write("z"), qint64(1));
    QCOMPARE(pty.receive(1), QByteArray("z"));
}

void tst_Serial::hangUpEndsRead()
{
    PtyPair pty;
    Serial serial;
    serial.setFileName(pty.slavePath());
    QVERIFY(serial.open());
    QVERIFY(serial.setTimeouts(0, 20000, 0));
    pty.closeMaster();

    QElapsedTimer timer;
    timer.start();
    QCOMPARE(serial.read(10), QByteArray());
    QVERIFY(timer.elapsed() < 10000);
    QCOMPARE(serial.errorString(), qt_error_string(EIO));
}

void tst_Serial::recursiveLockSharedBetweenThreads()
{
    PtyPair pty;
    Serial serial;
    serial.setFileName(pty.slavePath());
    QVERIFY(serial.open());
    QVERIFY(serial.setTimeouts(0, 5000, 5000));

    // The device's own operations never take the lock: they run while another thread holds it.
    {
        std::atomic<bool> release(false);
        std::atomic<bool> held(false);
        std::thread holder([&] {
            QMutexLocker locker(&serial);
            held = true;
            while (!release)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        });
        while (!held)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        QVERIFY(!serial.tryLock());
        QVERIFY(serial.setTimeouts(0, 5000, 5000));
        QCOMPARE(serial.write("x"), qint64(1));
        QCOMPARE(pty.receive(1), QByteArray("x"));
        serial.clearInputBuffer();
        QCOMPARE(serial.bytesAvailable(), qint64(0));
        release = true;
        holder.join();
    }

    // The instrument answers every line with the same line.
    std::atomic<bool> stop(false);
    std::thread instrument([&] {
        QByteArray pending;
        while (!stop) {
            pending += pty.receive(1, 100);
            const int end = pending.indexOf('\n');
            if (end >= 0) {
                pty.send(pending.left(end + 1));
                pending.remove(0, end + 1);
            }
        }
    });

    // Two threads exchange lines through one port; each exchange is locked, and the nested
    // lock of the same thread must not deadlock.
    const int rounds = 20;
    std::atomic<int> mismatches(0);
    auto exchange = [&](char tag) {
        for (int i = 0; i < rounds; ++i) {
            QMutexLocker outer(&serial);
            const QByteArray line = QByteArray(1, tag) + QByteArray::number(i) + '\n';
            serial.write(line);
            QMutexLocker inner(&serial);
            if (serial.read(line.size()) != line)
                ++mismatches;
        }
    };
    std::thread a(exchange, 'A');
    std::thread b(exchange, 'B');
    a.join();
    b.join();
    stop = true;
    instrument.join();
    QCOMPARE(mismatches.load(), 0);
    QVERIFY(serial.tryLock());
    serial.unlock();
}

QTEST_GUILESS_MAIN(tst_Serial)
#include "tst_serial.moc"
