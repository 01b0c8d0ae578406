#include <QtTest>
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
#include <QtCore/qregexp.h>
#endif

#include "tavoglobal.h"

#include <cmath>
#include <random>
#include <thread>
#include <vector>

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

class tst_Numerics : public QObject
{
    Q_OBJECT

private slots:
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
};

void tst_Numerics::fraction_data()
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
void tst_Numerics::fractionAsQRegExp()
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

void tst_Numerics::fraction()
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

void tst_Numerics::fractionOkAndThreads()
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

void tst_Numerics::round_data()
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

void tst_Numerics::round()
{
    QFETCH(double, value);
    QFETCH(int, precision);
    QFETCH(char, format);
    QFETCH(double, expected);

    // The nearest double to the rounded text, exactly: no fuzzy comparison.
    const double rounded = ::round(value, precision, format);
    QVERIFY2(rounded == expected, qPrintable(QString::number(rounded, 'g', 17)));
}

void tst_Numerics::dilutionList()
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

void tst_Numerics::crc16()
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

QTEST_APPLESS_MAIN(tst_Numerics)
#include "tst_numerics.moc"
