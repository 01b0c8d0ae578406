#include <QtTest>

#include "profile.h"
#include "workstation.h"

#include <QtCore/qtemporarydir.h>

#include <memory>

class tst_TypedSettings : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void firstDefaultWins();
    void staleCopyAfterStoreWrite();
    void setterWithoutSave();
    void integers_data();
    void integers();
    void truthValues_data();
    void truthValues();
    void colours();
    void nullRowGivesEmptyValues();
    void blobRowsReadAsText();
    void everyAccessorUsesItsKey();

private:
    std::unique_ptr<Profile> openProfile(const QStringList &rows = QStringList());
    QVariantList stored(const QString &key);

    std::unique_ptr<QTemporaryDir> m_dir;
};

void tst_TypedSettings::init()
{
    m_dir.reset(new QTemporaryDir);
    QVERIFY(m_dir->isValid());
    QVERIFY(QDir::setCurrent(m_dir->path()));
    QVERIFY(SqlFixture::createDataFiles());
}

void tst_TypedSettings::cleanup()
{
    for (const char *name : { "profile.db", "data.db", "qc.db", "syslog.db" })
        QSqlDatabase::removeDatabase(QLatin1String(name));
    QDir::setCurrent(QDir::tempPath());
    m_dir.reset();
}

std::unique_ptr<Profile> tst_TypedSettings::openProfile(const QStringList &rows)
{
    QStringList statements{ QStringLiteral(
            "create table if not exists profile (name text primary key, value)") };
    statements += rows;
    if (!SqlFixture::exec(QStringLiteral("profile.db"), statements))
        return nullptr;
    return std::unique_ptr<Profile>(new Profile(QStringLiteral("profile.db"), nullptr));
}

QVariantList tst_TypedSettings::stored(const QString &key)
{
    const auto rows = SqlFixture::rows(
            QStringLiteral("profile.db"),
            QStringLiteral("select value, typeof(value) from profile where name = '%1'").arg(key));
    return rows.value(0);
}

void tst_TypedSettings::firstDefaultWins()
{
    auto profile = openProfile();
    QCOMPARE(profile->statim_sample_prefix("S"), QString("S"));
    QCOMPARE(profile->statim_sample_prefix("X"), QString("S"));
    QVERIFY(profile->keys().contains("statim_sample_prefix"));
    QVERIFY(stored("statim_sample_prefix").isEmpty());

    // Only the matching setter refreshes the copy.
    profile->set_statim_sample_prefix("E", false);
    QCOMPARE(profile->statim_sample_prefix("X"), QString("E"));
}

void tst_TypedSettings::staleCopyAfterStoreWrite()
{
    auto profile = openProfile({ "insert into profile values ('hospital', 'North Clinic')" });
    // Before the first call the getter sees what the store holds at that moment.
    profile->setValue("qc_sample_prefix", "Q", false);
    QCOMPARE(profile->qc_sample_prefix("QC"), QString("Q"));

    QCOMPARE(profile->hospital("none"), QString("North Clinic"));
    profile->setValue("hospital", "South Clinic", true);
    QCOMPARE(stored("hospital").value(0), QVariant("South Clinic"));
    QCOMPARE(profile->hospital("none"), QString("North Clinic"));
    profile->remove("hospital");
    QCOMPARE(profile->hospital("none"), QString("North Clinic"));

    profile->set_hospital("West Clinic", true);
    QCOMPARE(profile->hospital("none"), QString("West Clinic"));
    QCOMPARE(stored("hospital").value(0), QVariant("West Clinic"));
}

void tst_TypedSettings::setterWithoutSave()
{
    auto profile = openProfile({ "insert into profile values ('hospital', 'Stored')" });
    profile->set_hospital("Memory", false);
    QCOMPARE(profile->hospital("d"), QString("Memory"));
    QCOMPARE(stored("hospital").value(0), QVariant("Stored"));

    profile.reset();
    profile = openProfile();
    QCOMPARE(profile->hospital("d"), QString("Stored"));
}

void tst_TypedSettings::integers_data()
{
    QTest::addColumn<QString>("row");
    QTest::addColumn<int>("expected");
    QTest::newRow("integer") << "12" << 12;
    QTest::newRow("digits as text") << "'34'" << 34;
    QTest::newRow("text that is no number") << "'many'" << 0;
    QTest::newRow("empty text") << "''" << 0;
}

void tst_TypedSettings::integers()
{
    QFETCH(QString, row);
    QFETCH(int, expected);
    auto profile = openProfile({ QStringLiteral("insert into profile values ('max_qc_file', %1)").arg(row) });
    // A failed conversion gives 0, never the default.
    QCOMPARE(profile->max_qc_file(99), expected);
}

void tst_TypedSettings::truthValues_data()
{
    QTest::addColumn<QString>("row");
    QTest::addColumn<bool>("expected");
    QTest::newRow("true") << "'true'" << true;
    QTest::newRow("false") << "'false'" << false;
    QTest::newRow("FaLsE") << "'FaLsE'" << false;
    QTest::newRow("0 as text") << "'0'" << false;
    QTest::newRow("empty") << "''" << false;
    QTest::newRow("1 as text") << "'1'" << true;
    QTest::newRow("other text") << "'no'" << true;
    QTest::newRow("integer 0") << "0" << false;
    QTest::newRow("integer 2") << "2" << true;
}

void tst_TypedSettings::truthValues()
{
    QFETCH(QString, row);
    QFETCH(bool, expected);
    auto profile = openProfile({ QStringLiteral("insert into profile values ('is_touch_screen', %1)").arg(row) });
    QCOMPARE(profile->is_touch_screen(!expected), expected);
}

void tst_TypedSettings::colours()
{
    auto profile = openProfile({ "insert into profile values ('color_of_analysing', 'not a colour')",
                                 "insert into profile values ('color_of_incubating', '#f00')" });
    profile->set_color_of_waiting(QColor(10, 20, 30, 40), true);
    QCOMPARE(stored("color_of_waiting"), QVariantList({ "#0a141e", "text" }));
    QCOMPARE(profile->color_of_waiting(Qt::black), QColor(10, 20, 30, 40));

    profile->set_is_touch_screen(true, true);
    QCOMPARE(stored("is_touch_screen"), QVariantList({ "true", "text" }));
    profile->set_max_qc_file(31, true);
    QCOMPARE(stored("max_qc_file"), QVariantList({ 31, "integer" }));

    profile.reset();
    profile = openProfile();
    // Back opaque after a restart.
    QCOMPARE(profile->color_of_waiting(Qt::black), QColor(10, 20, 30));
    QCOMPARE(profile->color_of_incubating(Qt::black), QColor(Qt::red));
    QVERIFY(!profile->color_of_analysing(Qt::black).isValid());
    QCOMPARE(profile->color_of_dispensing(Qt::blue), QColor(Qt::blue));
    QCOMPARE(profile->is_touch_screen(false), true);
    QCOMPARE(profile->max_qc_file(0), 31);
}

void tst_TypedSettings::nullRowGivesEmptyValues()
{
    QStringList rows;
    for (const char *key : { "hospital", "qc_method", "is_touch_screen", "color_of_null_result" })
        rows << QStringLiteral("insert into profile values ('%1', null)").arg(QLatin1String(key));
    auto profile = openProfile(rows);
    QCOMPARE(profile->hospital("default"), QString());
    QCOMPARE(profile->qc_method(5), 0);
    QCOMPARE(profile->is_touch_screen(true), false);
    QVERIFY(!profile->color_of_null_result(Qt::green).isValid());
}

// A blob in a text setting reads as its UTF-8 text up to the first zero byte, and an empty blob as
// an empty text (not a null one), whichever Qt the library was built against.
void tst_TypedSettings::blobRowsReadAsText()
{
    auto profile = openProfile({ QStringLiteral("insert into profile values ('hospital', X'e680a5')"),
                                 QStringLiteral("insert into profile values ('qc_sample_prefix', X'61006263')"),
                                 QStringLiteral("insert into profile values ('result_is_preparing', X'')") });
    QCOMPARE(profile->hospital("default"), QStringLiteral("急"));
    QCOMPARE(profile->qc_sample_prefix("default"), QStringLiteral("a"));
    const QString empty = profile->result_is_preparing("default");
    QVERIFY(empty.isEmpty());
    QVERIFY(!empty.isNull());
}

// Every pair reads and writes the row named after its getter, and each has a copy of its own.
void tst_TypedSettings::everyAccessorUsesItsKey()
{
    auto profile = openProfile();
    Profile *p = profile.get();
    int n = 0;
    const auto text = [&](const char *key, auto get, auto set) {
        const QString value = QStringLiteral("value %1").arg(++n);
        (p->*set)(value, true);
        QCOMPARE(stored(QLatin1String(key)).value(0), QVariant(value));
        QCOMPARE((p->*get)(QString()), value);
    };
    text("statim_sample_prefix", &Profile::statim_sample_prefix, &Profile::set_statim_sample_prefix);
    text("qc_sample_prefix", &Profile::qc_sample_prefix, &Profile::set_qc_sample_prefix);
    text("result_is_preparing", &Profile::result_is_preparing, &Profile::set_result_is_preparing);
    text("result_can_not_be_calculated", &Profile::result_can_not_be_calculated,
         &Profile::set_result_can_not_be_calculated);
    text("result_is_incubating", &Profile::result_is_incubating, &Profile::set_result_is_incubating);
    text("result_is_analysing", &Profile::result_is_analysing, &Profile::set_result_is_analysing);
    text("result_not_clotted", &Profile::result_not_clotted, &Profile::set_result_not_clotted);
    text("dilution_result_flag", &Profile::dilution_result_flag, &Profile::set_dilution_result_flag);
    text("lower_report_limit_flag", &Profile::lower_report_limit_flag,
         &Profile::set_lower_report_limit_flag);
    text("upper_report_limit_flag", &Profile::upper_report_limit_flag,
         &Profile::set_upper_report_limit_flag);
    text("lower_mark_limit_flag", &Profile::lower_mark_limit_flag, &Profile::set_lower_mark_limit_flag);
    text("upper_mark_limit_flag", &Profile::upper_mark_limit_flag, &Profile::set_upper_mark_limit_flag);
    text("manual_input_flag", &Profile::manual_input_flag, &Profile::set_manual_input_flag);
    text("analysis_display_assay", &Profile::analysis_display_assay,
         &Profile::set_analysis_display_assay);
    text("patient_display_fields", &Profile::patient_display_fields,
         &Profile::set_patient_display_fields);
    text("hospital", &Profile::hospital, &Profile::set_hospital);

    const auto colour = [&](const char *key, auto get, auto set) {
        ++n;
        const QColor value(n, 2 * n, 3 * n);
        (p->*set)(value, true);
        QCOMPARE(stored(QLatin1String(key)).value(0), QVariant(value.name()));
        QCOMPARE((p->*get)(QColor()), value);
    };
    colour("color_of_waiting", &Profile::color_of_waiting, &Profile::set_color_of_waiting);
    colour("color_of_dispensing", &Profile::color_of_dispensing, &Profile::set_color_of_dispensing);
    colour("color_of_incubating", &Profile::color_of_incubating, &Profile::set_color_of_incubating);
    colour("color_of_analysing", &Profile::color_of_analysing, &Profile::set_color_of_analysing);
    colour("color_of_null_result", &Profile::color_of_null_result, &Profile::set_color_of_null_result);

    p->set_max_qc_file(++n, true);
    QCOMPARE(stored("max_qc_file").value(0), QVariant(n));
    p->set_qc_method(++n, true);
    QCOMPARE(stored("qc_method").value(0), QVariant(n));
    p->set_is_touch_screen(false, true);
    QCOMPARE(stored("is_touch_screen").value(0), QVariant("false"));

    // A restart reads every value back through its own key.
    profile.reset();
    profile = openProfile();
    p = profile.get();
    QCOMPARE(p->hospital(QString()), QString("value 16"));
    QCOMPARE(p->statim_sample_prefix(QString()), QString("value 1"));
    QCOMPARE(p->color_of_null_result(QColor()), QColor(21, 42, 63));
    QCOMPARE(p->max_qc_file(0), 22);
    QCOMPARE(p->qc_method(0), 23);
    QCOMPARE(p->is_touch_screen(true), false);
    QCOMPARE(p->keys().size(), 24);
}

QTEST_MAIN(tst_TypedSettings)
#include "tst_typedsettings.moc"
