#include <QtTest>
#include <QtSql>
#include <QtWidgets/qapplication.h>
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
#include <QtCore/qregexp.h>
#endif
#include <QtWidgets/qmessagebox.h>
#include <QtWidgets/qpushbutton.h>

#include "boxcatcher.h"
#include "profile.h"
#include "tavoglobal.h"
#include "workstation.h"

#include <cmath>
#include <random>
#include <thread>
#include <vector>

// Collects the warnings written while it lives; any thread may write.
class WarningCapture
{
public:
    WarningCapture() { s_current = this; m_previous = qInstallMessageHandler(handler); }
    ~WarningCapture()
    {
        qInstallMessageHandler(m_previous);
        s_current = nullptr;
    }
    QStringList warnings() const
    {
        QMutexLocker locker(&m_mutex);
        return m_warnings;
    }

private:
    static void handler(QtMsgType type, const QMessageLogContext &, const QString &message)
    {
        // The offscreen platform complains about every dialog it shows.
        if (type != QtWarningMsg || !s_current || message.contains(QLatin1String("propagateSizeHints")))
            return;
        QMutexLocker locker(&s_current->m_mutex);
        s_current->m_warnings.append(message);
    }

    static WarningCapture *s_current;
    QtMessageHandler m_previous;
    mutable QMutex m_mutex;
    QStringList m_warnings;
};
WarningCapture *WarningCapture::s_current = nullptr;

// The CRC worked a bit at a time, as the algorithm is defined.
static quint16 bitwiseCrc16(const QByteArray &data)
{
    quint16 crc = 0xffff;
    for (char c : data) {
        crc ^= static_cast<quint16>(static_cast<uchar>(c) << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? static_cast<quint16>((crc << 1) ^ 0x1021)
                                 : static_cast<quint16>(crc << 1);
    }
    return crc;
}

typedef QVector<QPair<QString, QVariant>> SampleRows; // sampleNo, date

class tst_TavoGlobal : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void nextSampleNo_data();
    void nextSampleNo();
    void nextSampleNoWithoutPatientTable();
    void samplePrefixes();
    void setGeneratedValue();

    void fraction_data();
    void fraction();
    void fractionOkAndThreads();
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    void fractionAsQRegExp();
#endif
    void round_data();
    void round();
    void dilutionList();
    void crc16();

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

static void exec(QSqlDatabase db, const QString &statement)
{
    QSqlQuery query(db);
    QVERIFY2(query.exec(statement), qPrintable(query.lastError().text()));
}

void tst_TavoGlobal::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir::setCurrent(m_dir.path()));
    QCoreApplication::setApplicationName(QStringLiteral("tavo"));

    // Every file holds a table, so the store starts without warning boxes. One prefix is stored.
    QVERIFY(workstation::createWorkstation(
            { QStringLiteral("insert into profile values ('qc_sample_prefix', 'Q-')") },
            { QStringLiteral("create table patient (id integer primary key, sampleNo text, date)") }));

    BoxCatcher closer;
    Profile::instance();
    QVERIFY(closer.boxes.isEmpty());
}

void tst_TavoGlobal::nextSampleNo_data()
{
    QTest::addColumn<SampleRows>("rows");
    QTest::addColumn<QDate>("date");
    QTest::addColumn<int>("expected");

    const QDate day(2024, 3, 1);
    const QVariant dayValue(day);
    QTest::newRow("no samples") << SampleRows() << day << 1;
    QTest::newRow("numeric maximum")
            << SampleRows { { "7", dayValue }, { "12", dayValue }, { "3", dayValue } } << day << 13;
    QTest::newRow("leading digits")
            << SampleRows { { "15A", dayValue }, { "9", dayValue } } << day << 16;
    QTest::newRow("no leading digits")
            << SampleRows { { "A99", dayValue }, { "4", dayValue } } << day << 5;
    QTest::newRow("only text") << SampleRows { { "QC", dayValue } } << day << 1;
    QTest::newRow("other dates")
            << SampleRows { { "50", QVariant(day.addDays(1)) }, { "40", QVariant(day.addYears(-1)) },
                            { "4", dayValue } }
            << day << 5;
    QTest::newRow("stored as ISO text")
            << SampleRows { { "8", QStringLiteral("2024-03-01") }, { "9", QStringLiteral("1.3.2024") } }
            << day << 9;
    // Numbers beyond an int never wrap into a negative or an earlier number.
    QTest::newRow("last int")
            << SampleRows { { "2147483646", dayValue }, { "5", dayValue } } << day << 2147483647;
    QTest::newRow("no room after the last int")
            << SampleRows { { "2147483647", dayValue }, { "5", dayValue } } << day << 0;
    QTest::newRow("beyond an int") << SampleRows { { "99999999999", dayValue } } << day << 0;
    QTest::newRow("beyond 64 bits")
            << SampleRows { { "99999999999999999999999", dayValue } } << day << 0;
    QTest::newRow("negative numbers")
            << SampleRows { { "-5", dayValue }, { "-99999999999", dayValue } } << day << 1;
    QTest::newRow("null date")
            << SampleRows { { "6", dayValue }, { "7", QVariant(QVariant::Date) } } << QDate() << 1;
}

void tst_TavoGlobal::nextSampleNo()
{
    QFETCH(SampleRows, rows);
    QFETCH(QDate, date);
    QFETCH(int, expected);

    QSqlDatabase db = Profile::instance().dataDatabase();
    exec(db, QStringLiteral("delete from patient"));
    QSqlQuery insert(db);
    QVERIFY(insert.prepare(QStringLiteral("insert into patient (sampleNo, date) values (?, ?)")));
    for (const auto &row : rows) {
        insert.addBindValue(row.first);
        insert.addBindValue(row.second);
        QVERIFY2(insert.exec(), qPrintable(insert.lastError().text()));
    }

    WarningCapture capture;
    QCOMPARE(::nextSampleNo(date), expected);
    QCOMPARE(capture.warnings(), QStringList());

    QSqlQuery count(db);
    QVERIFY(count.exec(QStringLiteral("select count(*) from patient")) && count.next());
    QCOMPARE(count.value(0).toInt(), rows.size());
}

void tst_TavoGlobal::nextSampleNoWithoutPatientTable()
{
    QSqlDatabase db = Profile::instance().dataDatabase();
    exec(db, QStringLiteral("drop table patient"));

    QStringList warnings;
    int next = 0;
    {
        WarningCapture capture;
        next = ::nextSampleNo(QDate(2024, 3, 1));
        warnings = capture.warnings();
    }
    exec(db, QStringLiteral("create table patient (id integer primary key, sampleNo text, date)"));

    QCOMPARE(next, 1);
    QVERIFY(!warnings.isEmpty());
    const QRegularExpression tag(QStringLiteral("^\\.\\\\tavoglobal\\(\\d+\\): QSqlError\\("));
    for (const QString &warning : warnings)
        QVERIFY2(tag.match(warning).hasMatch(), qPrintable(warning));
    QVERIFY2(warnings.first().contains(QLatin1String("no such table: patient")),
             qPrintable(warnings.first()));
}

void tst_TavoGlobal::samplePrefixes()
{
    // Nothing stored for statim samples; the quality-control prefix is stored as "Q-".
    const QString statim = samplePrefix(tavo::Statim);
    QCOMPARE(statim, QStringLiteral("S"));
    QCOMPARE(samplePrefix(tavo::SampleType(1)), statim);
    QCOMPARE(samplePrefix(tavo::Qc), QStringLiteral("Q-"));

    Profile::instance().set_statim_sample_prefix(QStringLiteral("急"), false);
    Profile::instance().set_qc_sample_prefix(QStringLiteral("QC"), false);
    QCOMPARE(samplePrefix(tavo::Statim), QStringLiteral("急"));
    QCOMPARE(samplePrefix(tavo::Qc), QStringLiteral("QC"));

    for (int other : { 0, 3, -1, 100 }) {
        const QString prefix = samplePrefix(tavo::SampleType(other));
        QVERIFY2(prefix.isNull(), qPrintable(QString::number(other)));
    }
}

void tst_TavoGlobal::setGeneratedValue()
{
    QSqlRecord record;
    record.append(QSqlField(QStringLiteral("sampleNo"), QVariant::String));
    record.append(QSqlField(QStringLiteral("date"), QVariant::Date));
    record.setValue(0, QStringLiteral("1"));
    record.setGenerated(0, false);
    record.setGenerated(1, false);

    const QSqlRecord before = record;
    ::setGeneratedValue(record, QStringLiteral("treatmentRoom"), 5);
    QCOMPARE(record, before);

    const QDate day(2024, 3, 1);
    ::setGeneratedValue(record, QStringLiteral("date"), day);
    QCOMPARE(record.value(1).toDate(), day);
    QVERIFY(record.isGenerated(1));
    QCOMPARE(record.value(0).toString(), QStringLiteral("1"));
    QVERIFY(!record.isGenerated(0));

    // What "generated" is for: an insert built from the record writes exactly that field.
    QSqlDriver *driver = Profile::instance().dataDatabase().driver();
    const QString insert = driver->sqlStatement(QSqlDriver::InsertStatement,
                                                QStringLiteral("patient"), record, true);
    QVERIFY2(insert.contains(QLatin1String("date")), qPrintable(insert));
    QVERIFY2(!insert.contains(QLatin1String("sampleNo")), qPrintable(insert));
}

void tst_TavoGlobal::fraction_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("expected");
    QTest::addColumn<bool>("found");

    const double inf = std::numeric_limits<double>::infinity();
    QTest::newRow("colon") << "1:2" << 0.5 << true;
    QTest::newRow("slash") << "1/10" << 0.1 << true;
    QTest::newRow("spaces and sign") << "-3 / 4" << -0.75 << true;
    QTest::newRow("decimal") << "2.5:5" << 0.5 << true;
    QTest::newRow("point without digits") << "1.:2" << 0.5 << true;
    QTest::newRow("plus signs") << "+1:+4" << 0.25 << true;
    QTest::newRow("negative denominator") << "3/-4" << -0.75 << true;
    QTest::newRow("sign apart from digits") << "- 3/4" << 0.75 << true;
    QTest::newRow("after words") << QStringLiteral("稀释 1/20 倍") << 0.05 << true;
    QTest::newRow("first match") << "1:2:3" << 0.5 << true;
    QTest::newRow("leading point") << ".5:1" << 5.0 << true;
    QTest::newRow("zero denominator") << "1/0" << inf << true;
    QTest::newRow("negative over zero") << "-1/0" << -inf << true;
    QTest::newRow("no ratio") << "undiluted" << 0.0 << false;
    QTest::newRow("separator only") << "1 - 2" << 0.0 << false;
    QTest::newRow("empty") << "" << 0.0 << false;
    QTest::newRow("null") << QString() << 0.0 << false;
    // Digits and spaces beyond ASCII, as QChar sees them.
    QTest::newRow("ideographic space") << QStringLiteral("1\u3000/\u30004") << 0.25 << true;
    QTest::newRow("no-break space") << QStringLiteral("1\u00a0:\u00a02") << 0.5 << true;
    QTest::newRow("full-width digits") << QStringLiteral("\uff11/\uff12")
                                       << std::numeric_limits<double>::quiet_NaN() << true;
    QTest::newRow("format character") << QStringLiteral("1\u180e/2") << 0.0 << false;
    QTest::newRow("digit beyond the BMP") << QStringLiteral("\U0001d7cf/2") << 0.0 << false;
}

#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
void tst_TavoGlobal::fractionAsQRegExp()
{
    // The pattern as QRegExp, the engine the workstation has always read ratios with.
    const QRegExp reference(QStringLiteral("([+-]?\\d+(?:\\.\\d*)?)\\s*[:/]\\s*([+-]?\\d+(?:\\.\\d*)?)"));
    auto expected = [&reference](const QString &text, bool *ok) {
        QRegExp pattern = reference;
        *ok = pattern.indexIn(text) != -1;
        return *ok ? pattern.cap(1).toDouble() / pattern.cap(2).toDouble() : 0.0;
    };
    auto same = [](double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); };

    // Every character of the Basic Multilingual Plane in the places of a digit and of a space;
    // beyond it the digits and spaces and a sample of the rest.
    int differences = 0;
    for (uint c = 0; c <= 0x10ffff; ++c) {
        if ((c >= 0xd800 && c < 0xe000)
            || (c > 0xffff && c % 251 != 0 && !QChar::isDigit(c) && !QChar::isSpace(c)))
            continue;
        const QString ch = QString::fromUcs4(&c, 1);
        for (const QString &text : { QLatin1String("1") + ch + QLatin1String(":2"),
                                     QLatin1String("3/") + ch }) {
            bool ok = false, refOk = false;
            const double value = ::fraction(text, &ok);
            if (!same(value, expected(text, &refOk)) || ok != refOk) {
                if (++differences < 10)
                    qWarning("U+%04X: %g %d", c, value, ok);
            }
        }
    }
    QCOMPARE(differences, 0);

    // Texts of the characters a ratio is made of, where a greedy and a longest match could part.
    std::mt19937 random(15);
    const QString alphabet = QStringLiteral("0123456789.+-:/ x");
    for (int i = 0; i < 5000; ++i) {
        QString text;
        for (int n = random() % 12; n >= 0; --n)
            text += alphabet.at(random() % alphabet.size());
        bool ok = false, refOk = false;
        const double value = ::fraction(text, &ok);
        QVERIFY2(same(value, expected(text, &refOk)) && ok == refOk, qPrintable(text));
    }
}
#endif

void tst_TavoGlobal::fraction()
{
    QFETCH(QString, text);
    QFETCH(double, expected);
    QFETCH(bool, found);

    bool ok = !found;
    const double value = ::fraction(text, &ok);
    QCOMPARE(ok, found);
    QCOMPARE(value, expected);
    QCOMPARE(::fraction(text, nullptr), expected);
}

void tst_TavoGlobal::fractionOkAndThreads()
{
    bool ok = false;
    QVERIFY(std::isnan(::fraction(QStringLiteral("0/0"), &ok)));
    QVERIFY(ok);
    QCOMPARE(::fraction(QStringLiteral("1/2")), 0.5);

    // Each thread's texts must give their own values while the others match theirs.
    const QStringList texts { QStringLiteral("1/2"), QStringLiteral("x 3:4 y"),
                              QStringLiteral("none"), QStringLiteral("-1/8") };
    const double expected[] = { 0.5, 0.75, 0.0, -0.125 };
    std::vector<int> failures(texts.size(), 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < texts.size(); ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 2000; ++i) {
                bool found = false;
                if (::fraction(texts.at(t), &found) != expected[t] || found != (t != 2))
                    ++failures[t];
            }
        });
    }
    for (auto &thread : threads)
        thread.join();
    for (int failed : failures)
        QCOMPARE(failed, 0);
}

void tst_TavoGlobal::round_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("precision");
    QTest::addColumn<char>("format");
    QTest::addColumn<double>("expected");

    QTest::newRow("f") << 1.23456 << 2 << 'f' << 1.23;
    QTest::newRow("f binary below") << 2.675 << 2 << 'f' << 2.67;
    QTest::newRow("f negative") << -0.4567 << 1 << 'f' << -0.5;
    QTest::newRow("e") << 12345.678 << 2 << 'e' << 12300.0;
    QTest::newRow("E") << 0.000123456 << 1 << 'E' << 0.00012;
    QTest::newRow("g") << 12345.678 << 3 << 'g' << 12300.0;
    QTest::newRow("G small") << 0.00123456 << 2 << 'G' << 0.0012;
    QTest::newRow("other format as f") << 1.23456 << 2 << 'x' << 1.23;
    QTest::newRow("infinity") << std::numeric_limits<double>::infinity() << 2 << 'f'
                              << std::numeric_limits<double>::infinity();
}

void tst_TavoGlobal::round()
{
    QFETCH(double, value);
    QFETCH(int, precision);
    QFETCH(char, format);
    QFETCH(double, expected);

    // The nearest double to the rounded text, exactly: no fuzzy comparison.
    const double rounded = ::round(value, precision, format);
    QVERIFY2(rounded == expected, qPrintable(QString::number(rounded, 'g', 17)));
}

void tst_TavoGlobal::dilutionList()
{
    const QStringList expected { "1/1",  "1/2",  "1/4",   "1/5",   "1/8",   "1/10", "1/16",
                                 "1/20", "1/30", "1/40",  "1/50",  "1/80",  "1/100",
                                 "1/160", "1/320", "2/5", "3/4", "3/5", "4/5" };
    QStringList list = ::dilutionList();
    QCOMPARE(list, expected);

    for (const QString &entry : list) {
        bool ok = false;
        const double value = ::fraction(entry, &ok);
        QVERIFY2(ok && value > 0.0 && value <= 1.0, qPrintable(entry));
    }

    list[0] = QStringLiteral("changed");
    QCOMPARE(::dilutionList(), expected);
}

void tst_TavoGlobal::crc16()
{
    QCOMPARE(::crc16("123456789", 9), quint16(0x29b1));
    QCOMPARE(::crc16("A", 1), quint16(0xb915));
    QCOMPARE(::crc16("123456789", 0), quint16(0xffff));
    QCOMPARE(::crc16("123456789", -5), quint16(0xffff));
    QCOMPARE(::crc16(nullptr, 0), quint16(0xffff));

    for (int byte = 0; byte < 256; ++byte) {
        const QByteArray one(1, char(byte));
        QCOMPARE(::crc16(one.constData(), 1), bitwiseCrc16(one));
    }

    std::mt19937 random(20240301);
    for (int length : { 2, 3, 17, 255, 256, 1000, 65536 }) {
        QByteArray data(length, Qt::Uninitialized);
        for (char &c : data)
            c = char(random() & 0xff);
        QCOMPARE(::crc16(data.constData(), data.size()), bitwiseCrc16(data));
    }

    // Appending the CRC, high byte first, leaves a remainder of zero for an unreflected CRC with
    // no final XOR: a check that needs no second implementation.
    QByteArray frame("\x02PT 12.3\x03", 9);
    const quint16 crc = ::crc16(frame.constData(), frame.size());
    frame.append(char(crc >> 8)).append(char(crc & 0xff));
    QCOMPARE(::crc16(frame.constData(), frame.size()), quint16(0));
}

void tst_TavoGlobal::evalValues()
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

void tst_TavoGlobal::evalThrowsQuietly()
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

void tst_TavoGlobal::noStateBetweenCalls()
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

QString tst_TavoGlobal::writeScript(const QString &name, const QByteArray &utf8)
{
    QFile file(m_dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(utf8) != utf8.size())
        return QString();
    return file.fileName();
}

void tst_TavoGlobal::loadScriptText()
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

void tst_TavoGlobal::loadScriptErrors()
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

void tst_TavoGlobal::loadScriptOffTheUserInterfaceThread()
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

QTEST_MAIN(tst_TavoGlobal)
#include "tst_tavoglobal.moc"
