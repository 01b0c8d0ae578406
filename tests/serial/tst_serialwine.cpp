#include <QtTest>

#include "ptypeer.h"
#include "serialcases.h"

#include <memory>
#include <vector>

// Runs the platform layer's behaviour cases against the Win32 layer under Wine: a fresh Wine prefix
// in which pseudo-terminals are declared as COM ports, the Win32 program (serialcases_win32.cpp)
// running the cases, and this program playing the far end of every line on the terminals' masters.

static const int lineCount = 20;
static const int firstComPort = 200;
// Exit status that CTest takes as a skipped test.
static const int skipStatus = 77;

class tst_SerialWine : public QObject
{
    Q_OBJECT

public:
    ~tst_SerialWine() override;

private slots:
    void initTestCase();
    void cases_data();
    void cases();

private:
    bool runWine(const QString &program, const QStringList &arguments, int timeoutMs);
    QByteArray answer(const QByteArray &request);
    void runCases();

    QTemporaryDir m_dir{QDir::currentPath() + QStringLiteral("/wine-XXXXXX")};
    QProcessEnvironment m_environment;
    std::vector<std::unique_ptr<PtyPeer>> m_lines;
    QStringList m_caseNames;
    QHash<QString, SerialCaseResult> m_results;
    QString m_programEnd;
};

static QString wineServer()
{
    return QFileInfo(QStringLiteral(SERIAL_WINE64)).absolutePath() + QStringLiteral("/wineserver");
}

bool tst_SerialWine::runWine(const QString &program, const QStringList &arguments, int timeoutMs)
{
    QProcess process;
    process.setProcessEnvironment(m_environment);
    process.start(program, arguments);
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(5000);
        qWarning("%s %s did not finish within %d ms", qPrintable(program),
                 qPrintable(arguments.join(' ')), timeoutMs);
        return false;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        qWarning("%s %s failed with %d: %s", qPrintable(program), qPrintable(arguments.join(' ')),
                 process.exitCode(), process.readAllStandardError().constData());
        return false;
    }
    return true;
}

void tst_SerialWine::initTestCase()
{
    QVERIFY2(m_dir.isValid(), qPrintable(m_dir.errorString()));
    m_environment = QProcessEnvironment::systemEnvironment();
    m_environment.insert(QStringLiteral("WINEPREFIX"), m_dir.filePath(QStringLiteral("prefix")));
    m_environment.insert(QStringLiteral("WINEDEBUG"), QStringLiteral("-all"));
    // No .NET, no HTML engine, no desktop menus: a prefix in seconds, with no dialog.
    m_environment.insert(QStringLiteral("WINEDLLOVERRIDES"),
                         QStringLiteral("mscoree,mshtml=;winemenubuilder.exe=d"));
    m_environment.remove(QStringLiteral("DISPLAY"));
    m_environment.remove(QStringLiteral("WAYLAND_DISPLAY"));

    // The lines, declared to Wine as COM ports the way its users declare theirs, so that they
    // also appear in the serial map.
    QByteArray ports = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\r\n";
    for (int i = 0; i < lineCount; ++i) {
        m_lines.emplace_back(new PtyPeer);
        QVERIFY(m_lines.back()->isValid());
        ports += "\"COM" + QByteArray::number(firstComPort + i) + "\"=\""
                + QByteArray::fromStdString(m_lines.back()->slavePath()) + "\"\r\n";
    }
    QFile portsFile(m_dir.filePath(QStringLiteral("ports.reg")));
    QVERIFY(portsFile.open(QIODevice::WriteOnly));
    portsFile.write(ports);
    portsFile.close();

    QElapsedTimer timer;
    timer.start();
    QVERIFY(runWine(QStringLiteral(SERIAL_WINE64), {QStringLiteral("wineboot"), QStringLiteral("-i")},
                    300000));
    // Wine's drive Z: is the root of the Linux file system.
    const QString portsPath = QStringLiteral("Z:") + QString(portsFile.fileName()).replace('/', '\\');
    QVERIFY(runWine(QStringLiteral(SERIAL_WINE64), {QStringLiteral("reg"), QStringLiteral("import"), portsPath},
                    120000));
    // Wine reads its port list when it starts: start it afresh.
    QVERIFY(runWine(wineServer(), {QStringLiteral("-k")}, 60000));
    qInfo("Wine prefix ready in %lld ms", timer.elapsed());

    runCases();
    QVERIFY2(!m_caseNames.isEmpty(), qPrintable(m_programEnd));
}

void tst_SerialWine::runCases()
{
    QStringList arguments = {QStringLiteral(SERIAL_WIN32_PROGRAM)};
    for (int i = 0; i < lineCount; ++i)
        arguments.append(QStringLiteral("COM%1").arg(firstComPort + i));

    QProcess program;
    program.setProcessEnvironment(m_environment);
    program.start(QStringLiteral(SERIAL_WINE64), arguments);
    QElapsedTimer timer;
    timer.start();
    const qint64 timeoutMs = 300000;
    for (;;) {
        while (program.canReadLine()) {
            const QByteArray reply = answer(program.readLine().trimmed());
            if (!reply.isEmpty())
                program.write(reply + '\n');
        }
        if (program.state() == QProcess::NotRunning)
            break;
        if (timer.hasExpired(timeoutMs)) {
            program.kill();
            program.waitForFinished(5000);
            m_programEnd = QStringLiteral("the program did not finish within %1 ms").arg(timeoutMs);
            return;
        }
        program.waitForReadyRead(100);
    }
    m_programEnd = QStringLiteral("the program ended with status %1 after %2 ms: %3")
                           .arg(program.exitCode())
                           .arg(timer.elapsed())
                           .arg(QString::fromLocal8Bit(program.readAllStandardError()));
    qInfo("%s", qPrintable(m_programEnd));
}

QByteArray tst_SerialWine::answer(const QByteArray &request)
{
    const QList<QByteArray> words = request.split(' ');
    const QByteArray command = words.value(0);
    if (command == "cases") {
        for (int i = 1; i < words.size(); ++i)
            m_caseNames.append(QString::fromLatin1(words.at(i)));
        return QByteArray();
    }
    if (command == "result") {
        SerialCaseResult result;
        const QByteArray outcome = words.value(2);
        result.outcome = outcome == "pass" ? SerialCaseResult::Pass
                : outcome == "skip"        ? SerialCaseResult::Skip
                                           : SerialCaseResult::Fail;
        if (!fromHex(words.value(3).toStdString(), &result.message))
            result.message = "unreadable result: " + request.toStdString();
        m_results.insert(QString::fromLatin1(words.value(1)), result);
        return QByteArray();
    }

    static const QByteArrayList requests = {"send", "later", "receive", "settings", "set", "hangup"};
    if (!requests.contains(command)) {
        // Not ours to answer: the program only waits for answers to its requests.
        qWarning("Unexpected output of the program: %s", request.constData());
        return QByteArray();
    }
    bool ok = false;
    const int index = words.value(1).toInt(&ok);
    if (!ok || index < 0 || index >= lineCount)
        return "error no such line";
    PtyPeer &line = *m_lines[size_t(index)];
    std::string data;
    if (command == "send" && fromHex(words.value(2).toStdString(), &data))
        return line.send(data) ? "ok" : "error";
    if (command == "later" && fromHex(words.value(3).toStdString(), &data))
        return line.sendLater(words.value(2).toInt(), data) ? "ok" : "error";
    if (command == "receive")
        return "data " + QByteArray::fromStdString(toHex(line.receive(words.value(2).toULong(),
                                                                      words.value(3).toInt())));
    if (command == "settings") {
        LineSettings settings;
        if (!line.lineSettings(&settings))
            return "error";
        return "settings " + QByteArray::fromStdString(formatLineSettings(settings));
    }
    if (command == "set") {
        LineSettings settings;
        const QByteArray text = request.mid(words.value(0).size() + words.value(1).size() + 2);
        return parseLineSettings(text.toStdString(), &settings) && line.setLineSettings(settings)
                ? "ok"
                : "error";
    }
    if (command == "hangup")
        return line.hangUp() ? "ok" : "error";
    return "error malformed request";
}

tst_SerialWine::~tst_SerialWine()
{
    // Ends the Wine processes of this prefix, and only of this prefix, also after a failure;
    // the prefix goes with the temporary directory.
    if (m_environment.contains(QStringLiteral("WINEPREFIX")))
        runWine(wineServer(), {QStringLiteral("-k")}, 60000);
}

void tst_SerialWine::cases_data()
{
    QTest::addColumn<QString>("name");
    for (const QString &name : qAsConst(m_caseNames))
        QTest::newRow(qPrintable(name)) << name;
}

void tst_SerialWine::cases()
{
    QFETCH(QString, name);
    const auto found = m_results.constFind(name);
    if (found == m_results.constEnd())
        QFAIL(qPrintable(QStringLiteral("no result: ") + m_programEnd));
    const QString message = QString::fromStdString(found->message);
    if (found->outcome == SerialCaseResult::Skip)
        QSKIP(qPrintable(message));
    if (found->outcome == SerialCaseResult::Fail)
        QFAIL(qPrintable(message));
}

int main(int argc, char *argv[])
{
    // Without Wine or the cross compiler there is nothing to run: CTest shows the test as skipped,
    // with the reason.
    const QString wine = QStringLiteral(SERIAL_WINE64);
    const QString program = QStringLiteral(SERIAL_WIN32_PROGRAM);
    QString missing;
    if (wine.isEmpty() || !QFileInfo(wine).isExecutable())
        missing = QStringLiteral("wine64 was not found (Debian: apt-get install wine64)");
    else if (program.isEmpty())
        missing = QStringLiteral("x86_64-w64-mingw32-g++ was not found when the build was configured");
    else if (!QFileInfo::exists(program))
        missing = program + QStringLiteral(" was not built");
    if (!missing.isEmpty()) {
        std::printf("SKIP   : the Win32 serial layer is not tested: %s\n", qPrintable(missing));
        return skipStatus;
    }

    QCoreApplication app(argc, argv);
    tst_SerialWine test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_serialwine.moc"
