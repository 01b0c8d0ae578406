#include <QtTest>

#include "profile.h"
#include "workstation.h"


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

    std::unique_ptr<workstation::WorkDirectory> m_dir;
};

void tst_TypedSettings::init()
{
    m_dir.reset(new workstation::WorkDirectory);
    QVERIFY(m_dir->isValid());
    QVERIFY(workstation::createDataFiles());
}

void tst_TypedSettings::cleanup()
{
    for (const char *name : { "profile.db", "data.db", "qc.db", "syslog.db" })
        QSqlDatabase::removeDatabase(QLatin1String(name));
    m_dir.reset();
}

std::unique_ptr<Profile> tst_TypedSettings::openProfile(const QStringList &rows)
{
    QStringList statements{ QStringLiteral(
            "create table if not exists profile (name text primary key, value)") };
    statements += rows;
    if (!workstation::exec(QStringLiteral("profile.db"), statements))
        return nullptr;
    return std::unique_ptr<Profile>(new Profile(QStringLiteral("profile.db"), nullptr));
}

QVariantList tst_TypedSettings::stored(const QString &key)
{
    const auto rows = workstation::rows(
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

// The n-th setting's value in a test of every accessor, and what its row holds.
static void sample(int n, QString *value, QVariant *row)
{
    *value = QStringLiteral("value %1").arg(n);
    *row = *value;
}

static void sample(int n, QColor *value, QVariant *row)
{
    *value = QColor(n, 2 * n, 3 * n);
    *row = value->name();
}

static void sample(int n, int *value, QVariant *row)
{
    *value = n;
    *row = n;
}

static void sample(int n, bool *value, QVariant *row)
{
    *value = n % 2;
    *row = QLatin1String(*value ? "true" : "false");
}

// A default that differs from the value, so that a getter cannot pass by handing it back.
template<typename T>
static T otherThan(const T &) { return T(); }
static bool otherThan(bool value) { return !value; }

// Every pair reads and writes the row named after its getter, and each has a copy of its own.
void tst_TypedSettings::everyAccessorUsesItsKey()
{
    auto profile = openProfile();
    int n = 0;
#define CHECK_WRITE(Type, name)                                                                  \
    {                                                                                            \
        Type value;                                                                              \
        QVariant row;                                                                            \
        sample(++n, &value, &row);                                                               \
        profile->set_##name(value, true);                                                        \
        QCOMPARE(stored(QStringLiteral(#name)).value(0), row);                                   \
        QCOMPARE(profile->name(otherThan(value)), value);                                        \
    }
    CORE_TYPED_SETTINGS(CHECK_WRITE)
#undef CHECK_WRITE

    // A restart reads every value back through its own key.
    profile.reset();
    profile = openProfile();
    QCOMPARE(profile->keys().size(), n);
    n = 0;
#define CHECK_READ(Type, name)                                                                   \
    {                                                                                            \
        Type value;                                                                              \
        QVariant row;                                                                            \
        sample(++n, &value, &row);                                                               \
        QCOMPARE(profile->name(otherThan(value)), value);                                        \
    }
    CORE_TYPED_SETTINGS(CHECK_READ)
#undef CHECK_READ
    QCOMPARE(n, 24);
}

QTEST_MAIN(tst_TypedSettings)
#include "tst_typedsettings.moc"
