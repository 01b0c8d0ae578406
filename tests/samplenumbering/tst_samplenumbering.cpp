#include <QtTest>
#include <QtSql>

#include "boxcatcher.h"
#include "profile.h"
#include "tavoglobal.h"
#include "warningcapture.h"
#include "workstation.h"

typedef QVector<QPair<QString, QVariant>> SampleRows; // sampleNo, date

class tst_SampleNumbering : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void nextSampleNo_data();
    void nextSampleNo();
    void nextSampleNoWithoutPatientTable();
    void samplePrefixes();
    void setGeneratedValue();

private:
    workstation::WorkDirectory m_dir;
};

static void exec(QSqlDatabase db, const QString &statement)
{
    QSqlQuery query(db);
    QVERIFY2(query.exec(statement), qPrintable(query.lastError().text()));
}

void tst_SampleNumbering::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QCoreApplication::setApplicationName(QStringLiteral("tavo"));

    // Every file holds a table, so the store starts without warning boxes. One prefix is stored.
    QVERIFY(workstation::createWorkstation(
            { QStringLiteral("insert into profile values ('qc_sample_prefix', 'Q-')") },
            { QStringLiteral("create table patient (id integer primary key, sampleNo text, date)") }));

    BoxCatcher closer;
    Profile::instance();
    QVERIFY(closer.boxes.isEmpty());
}

void tst_SampleNumbering::nextSampleNo_data()
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

void tst_SampleNumbering::nextSampleNo()
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

void tst_SampleNumbering::nextSampleNoWithoutPatientTable()
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
    // The tags are the application's log's, whatever the lines of the unit are today.
    QCOMPARE(warnings.size(), 2);
    QVERIFY2(warnings.at(0).startsWith(QLatin1String(".\\tavoglobal(25): QSqlError(")),
             qPrintable(warnings.at(0)));
    QVERIFY2(warnings.at(1).startsWith(QLatin1String(".\\tavoglobal(29): QSqlError(")),
             qPrintable(warnings.at(1)));
    QVERIFY2(warnings.first().contains(QLatin1String("no such table: patient")),
             qPrintable(warnings.first()));
}

void tst_SampleNumbering::samplePrefixes()
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

void tst_SampleNumbering::setGeneratedValue()
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

QTEST_MAIN(tst_SampleNumbering)
#include "tst_samplenumbering.moc"
