#include <QtTest>
#include <QtWidgets/qapplication.h>
#include <QtWidgets/qmessagebox.h>

#include "boxcatcher.h"
#include "tavoglobal.h"
#include "warningcapture.h"

#include <thread>

class tst_Scripts : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void evalValues();
    void evalThrowsQuietly();
    void noStateBetweenCalls();
    void loadScriptText();
    void loadScriptErrors();
    void loadScriptOffTheUserInterfaceThread();

private:
    QString writeScript(const QString &name, const QByteArray &utf8);

    QTemporaryDir m_dir;
};

void tst_Scripts::initTestCase()
{
    QVERIFY(m_dir.isValid());
    // The title of the boxes that show a script's error.
    QCoreApplication::setApplicationName(QStringLiteral("tavo"));
}

void tst_Scripts::evalValues()
{
    const QVariant sum = eval(QStringLiteral("1+2"));
    QVERIFY(sum.canConvert<double>());
    QCOMPARE(sum.toDouble(), 3.0);

    const QVariant text = eval(QStringLiteral("'a' + 'b'"));
    QCOMPARE(text.userType(), int(QMetaType::QString));
    QCOMPARE(text.toString(), QStringLiteral("ab"));
    const QVariant truth = eval(QStringLiteral("1 < 2"));
    QCOMPARE(truth.userType(), int(QMetaType::Bool));
    QCOMPARE(truth.toBool(), true);

    const QVariantList list = eval(QStringLiteral("[1, 'x', false]")).toList();
    QCOMPARE(list.size(), 3);
    QCOMPARE(list.at(1).toString(), QStringLiteral("x"));
    const QVariantMap map = eval(QStringLiteral("({ assay: 'PT', ratio: 0.5 })")).toMap();
    QCOMPARE(map.value(QStringLiteral("assay")).toString(), QStringLiteral("PT"));
    QCOMPARE(map.value(QStringLiteral("ratio")).toDouble(), 0.5);

    // Types both engines give alike: whole numbers that fit an int as int, others as double;
    // holes and null in arrays as invalid entries; nested objects as maps; dates as date-times;
    // errors as maps that carry the message.
    QCOMPARE(eval(QStringLiteral("6 * 7")).userType(), int(QMetaType::Int));
    QCOMPARE(eval(QStringLiteral("2147483648")).userType(), int(QMetaType::Double));
    QCOMPARE(eval(QStringLiteral("0.5")).userType(), int(QMetaType::Double));
    const QVariantList holes = eval(QStringLiteral("[1, , null, [2.5]]")).toList();
    QCOMPARE(holes.size(), 4);
    QVERIFY(!holes.at(1).isValid());
    QVERIFY(!holes.at(2).isValid());
    QCOMPARE(holes.at(3).toList().value(0).toDouble(), 2.5);
    const QVariantMap nested = eval(QStringLiteral("({ a: { b: [1, 'c'] }, n: null })")).toMap();
    QCOMPARE(nested.value(QStringLiteral("a")).toMap().value(QStringLiteral("b")).toList().size(), 2);
    QVERIFY(nested.contains(QStringLiteral("n")));
    QVERIFY(!nested.value(QStringLiteral("n")).isValid());
    const QVariant date = eval(QStringLiteral("new Date(2026, 1, 28, 8, 30)"));
    QCOMPARE(date.userType(), int(QMetaType::QDateTime));
    QCOMPARE(date.toDateTime(), QDateTime(QDate(2026, 2, 28), QTime(8, 30)));
    QCOMPARE(eval(QStringLiteral("new Error('x')")).toMap().value(QStringLiteral("message")).toString(),
             QStringLiteral("x"));
    QCOMPARE(eval(QStringLiteral("(function f() {})")).userType(), int(QMetaType::QVariantMap));

    // The value of a program is that of its last statement.
    QCOMPARE(eval(QStringLiteral("var a = 2;\nvar b = a * 3;\nb + 1")).toInt(), 7);

    for (const char *program : { "", "null", "undefined", "var x = 1;" })
        QVERIFY2(!eval(QLatin1String(program)).isValid(), program);
}

void tst_Scripts::evalThrowsQuietly()
{
    BoxCatcher closer;
    WarningCapture capture;
    QCOMPARE(eval(QStringLiteral("throw 'bad ratio'")).toString(), QStringLiteral("bad ratio"));
    const QVariantMap error = eval(QStringLiteral("throw new RangeError('too high')")).toMap();
    QCOMPARE(error.value(QStringLiteral("message")).toString(), QStringLiteral("too high"));
    const QVariantMap syntax = eval(QStringLiteral("var = ;")).toMap();
    QVERIFY(syntax.contains(QStringLiteral("message")));
    QCoreApplication::processEvents();

    QVERIFY(closer.boxes.isEmpty());
    QCOMPARE(capture.warnings(), QStringList());
}

void tst_Scripts::noStateBetweenCalls()
{
    QCOMPARE(eval(QStringLiteral("var leaked = 42; function helper() { return 1; } leaked")).toInt(),
             42);
    QCOMPARE(eval(QStringLiteral("typeof leaked")).toString(), QStringLiteral("undefined"));
    QCOMPARE(eval(QStringLiteral("typeof helper")).toString(), QStringLiteral("undefined"));

    // Changes to the built-in objects stay in their engine too.
    eval(QStringLiteral("Math.floor = function() { return -1; }; Object.prototype.extra = 1;"));
    QCOMPARE(eval(QStringLiteral("Math.floor(2.5)")).toInt(), 2);
    QCOMPARE(eval(QStringLiteral("typeof ({}).extra")).toString(), QStringLiteral("undefined"));

    const QString script = writeScript(QStringLiteral("define.js"), "var fromFile = 1;\nfromFile");
    QCOMPARE(load_script(script).toInt(), 1);
    QCOMPARE(load_script(writeScript(QStringLiteral("read.js"), "typeof fromFile")).toString(),
             QStringLiteral("undefined"));
    QCOMPARE(eval(QStringLiteral("typeof fromFile")).toString(), QStringLiteral("undefined"));
}

QString tst_Scripts::writeScript(const QString &name, const QByteArray &utf8)
{
    QFile file(m_dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(utf8) != utf8.size())
        return QString();
    return file.fileName();
}

void tst_Scripts::loadScriptText()
{
    BoxCatcher closer;
    const QString expected = QStringLiteral("凝血酶原时间 · Fibrinogen µg");
    const QString path = writeScript(QStringLiteral("text.js"),
                                     "// 试剂\nvar name = '" + expected.toUtf8() + "';\r\nname");
    QCOMPARE(load_script(path).toString(), expected);

    const QString bom = writeScript(QStringLiteral("bom.js"), "\xef\xbb\xbf'" + expected.toUtf8() + "'");
    QCOMPARE(load_script(bom).toString(), expected);

    QVERIFY(!load_script(writeScript(QStringLiteral("empty.js"), "")).isValid());
    QVERIFY(closer.boxes.isEmpty());
}

void tst_Scripts::loadScriptErrors()
{
    WarningCapture capture;

    {
        BoxCatcher closer;
        const QString path = writeScript(QStringLiteral("syntax.js"),
                                         "var a = 1;\nvar b = 2;\nvar c = (a + ;\nc");
        QVERIFY(!load_script(path).isValid());
        const auto boxes = closer.boxes;
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes.first().icon, QMessageBox::Critical);
        QCOMPARE(boxes.first().title, QStringLiteral("tavo"));
        QCOMPARE(boxes.first().buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QVERIFY2(boxes.first().text.startsWith(QLatin1String("SyntaxError")),
                 qPrintable(boxes.first().text));
    }

    {
        // An exception thrown inside a function: its text, then the backtrace naming file and lines.
        BoxCatcher closer;
        const QString path = writeScript(QStringLiteral("throw.js"),
                                         "function check(v) {\n"
                                         "    if (v > 1) throw new Error('ratio above 1');\n"
                                         "    return v;\n"
                                         "}\n"
                                         "check(2);\n");
        QVERIFY(!load_script(path).isValid());
        const auto boxes = closer.boxes;
        QCOMPARE(boxes.size(), 1);
        const QStringList lines = boxes.first().text.split(QLatin1Char('\n'));
        QCOMPARE(lines.value(0), QStringLiteral("Error: ratio above 1"));
        QVERIFY2(lines.size() >= 3, qPrintable(boxes.first().text));
        // The arguments inside the parentheses are the engine's business.
        QVERIFY2(lines.at(1).startsWith(QLatin1String("check("))
                         && lines.at(1).endsWith(QStringLiteral(") at %1:2").arg(path)),
                 qPrintable(lines.at(1)));
        QCOMPARE(lines.at(2), QStringLiteral("<global>() at %1:5").arg(path));
    }

    {
        BoxCatcher closer;
        QVERIFY(!load_script(m_dir.filePath(QStringLiteral("missing.js"))).isValid());
        QVERIFY(!load_script(QString()).isValid());
        QCoreApplication::processEvents();
        QVERIFY(closer.boxes.isEmpty());
    }

    QCOMPARE(capture.warnings(), QStringList());
}

void tst_Scripts::loadScriptOffTheUserInterfaceThread()
{
    // A box cannot be built off the user-interface thread; the error goes to the log instead.
    const QString path = writeScript(QStringLiteral("worker.js"), "throw 'from worker'");
    BoxCatcher closer;
    WarningCapture capture;
    QVariant result = 1;
    std::thread worker([&] { result = load_script(path); });
    worker.join();
    QVERIFY(!result.isValid());
    QVERIFY(closer.boxes.isEmpty());
    QCOMPARE(capture.warnings().size(), 1);
    QVERIFY(capture.warnings().first().startsWith(QLatin1String("from worker\n")));
}

QTEST_MAIN(tst_Scripts)
#include "tst_scripts.moc"
