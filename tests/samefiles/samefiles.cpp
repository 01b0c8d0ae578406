// Writes a workstation's settings and a clot curve through the library, or reads them back and
// prints what every reader sees, so that builds against different Qt versions can be held against
// each other over the same files (see same-files.sh).
//
//   samefiles write DIR    lays out empty databases in DIR and writes through every setter
//   samefiles read DIR     prints the values as the getters, Profile::value and ClotCurve::load
//                          give them

#include <analysisresult.h>
#include <profile.h>

#include <QtCore/qdatetime.h>
#include <QtCore/qdir.h>
#include <QtCore/qtextstream.h>
#include <QtGui/qcolor.h>
#include <QtSql/qsqldatabase.h>
#include <QtSql/qsqlquery.h>
#include <QtWidgets/qapplication.h>

#include <cmath>
#include <cstdio>
#include <limits>

// What the typed setters write, handed out in the order of CORE_TYPED_SETTINGS: texts beyond
// Latin-1 and beyond the Basic Multilingual Plane, a null and an empty text, quotes and a line
// break; colours with and without alpha, and an invalid one.
static QString sampleText(int index)
{
    static const QString texts[] = {
        QStringLiteral("急"), QStringLiteral("QC"), QString(), QStringLiteral("---.-"),
        QStringLiteral(""), QStringLiteral("分析中 'a'\n\"b\""), QStringLiteral("不凝"),
        QStringLiteral("!"), QStringLiteral("<"), QStringLiteral(">"), QStringLiteral("↓"),
        QStringLiteral("↑"), QStringLiteral("M"), QStringLiteral("PT,APTT,FIB"),
        QStringLiteral("12"), QStringLiteral("第一检验中心 \U0001F489"),
    };
    return texts[index % (sizeof texts / sizeof *texts)];
}

static QColor sampleColor(int index)
{
    static const QColor colors[] = {
        QColor(0x12, 0xab, 0xef), QColor(255, 0, 0, 17), QColor(Qt::darkGreen),
        QColor::fromHsvF(0.5, 0.25, 0.75), QColor(),
    };
    return colors[index % (sizeof colors / sizeof *colors)];
}

// The typed settings' values, counted by type.
struct TypedSamples
{
    int texts = 0;
    int colors = 0;
    int integers = 0;

    void next(QString *value) { *value = sampleText(texts++); }
    void next(QColor *value) { *value = sampleColor(colors++); }
    void next(int *value) { *value = integers++ == 0 ? 120 : -3; }
    void next(bool *value) { *value = true; }
};

static void writeTypedSettings(Profile &profile)
{
    TypedSamples samples;
#define WRITE_SETTING(Type, name)                                                                \
    {                                                                                            \
        Type value;                                                                              \
        samples.next(&value);                                                                    \
        profile.set_##name(value, true);                                                         \
    }
    CORE_TYPED_SETTINGS(WRITE_SETTING)
#undef WRITE_SETTING
}

// Profile::setValue of one value of every type a caller is likely to hand it.
static QVector<QPair<QString, QVariant>> plainValues()
{
    QByteArray bytes("\x00\x01\xff\x80 z", 6);
    return {
        { QStringLiteral("plain/bool/true"), true },
        { QStringLiteral("plain/bool/false"), false },
        { QStringLiteral("plain/color/opaque"), QColor(0x10, 0x20, 0x30) },
        { QStringLiteral("plain/color/alpha"), QColor(0x10, 0x20, 0x30, 0x40) },
        { QStringLiteral("plain/int"), -123456 },
        { QStringLiteral("plain/longlong"), Q_INT64_C(-9007199254740993) },
        { QStringLiteral("plain/double"), 0.1 },
        { QStringLiteral("plain/double/whole"), 3.0 },
        { QStringLiteral("plain/double/tiny"), 5e-324 },
        { QStringLiteral("plain/string"), QStringLiteral("1/10 稀释") },
        { QStringLiteral("plain/string/empty"), QString(QLatin1String("")) },
        { QStringLiteral("plain/string/null"), QString() },
        { QStringLiteral("plain/bytes"), bytes },
        { QStringLiteral("plain/bytes/empty"), QByteArray("") },
        { QStringLiteral("plain/date"), QDate(2026, 2, 28) },
        { QStringLiteral("plain/date/null"), QDate() },
        { QStringLiteral("plain/datetime"), QDateTime(QDate(2026, 2, 28), QTime(8, 30, 5)) },
        { QStringLiteral("plain/time"), QTime(23, 59, 58) },
        { QStringLiteral("plain/uint"), 4000000000u },
        { QStringLiteral("plain/stringlist"), QStringList{ QStringLiteral("a"), QStringLiteral("b") } },
    };
}

static ClotCurve sampleCurve()
{
    ClotCurve curve;
    curve.setType(ClotCurve::OD);
    curve.append(0.0, 0.1, { 1.0, -0.0, 1e-300, std::numeric_limits<double>::infinity() });
    curve.append(12.5, 0.05, {});
    curve.append(-3.25, 1.0 / 3.0, { 0.1, 0.2, 0.30000000000000004 });
    return curve;
}

static bool exec(QSqlDatabase &db, const char *statement)
{
    QSqlQuery query(db);
    return query.exec(QLatin1String(statement));
}

// Databases with one table each, so that the store opens them without a warning.
static bool layOut()
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("layout"));
    bool ok = true;
    const struct { const char *file; const char *table; } files[] = {
        { "profile.db", "create table profile(name text primary key, value)" },
        { "data.db", "create table curve(patientId integer, item text, curve blob)" },
        { "qc.db", "create table qc(id integer primary key)" },
        { "syslog.db", "create table syslog(id integer primary key)" },
    };
    for (const auto &file : files) {
        db.setDatabaseName(QLatin1String(file.file));
        ok = db.open() && exec(db, file.table) && ok;
        db.close();
    }
    // Rows of every storage class under the typed settings' keys, as other programs may leave them.
    db.setDatabaseName(QStringLiteral("odd.db"));
    ok = db.open() && exec(db, "create table profile(name text primary key, value)")
            && exec(db, "insert into profile values"
                        "('statim_sample_prefix', X'61006263'), ('qc_sample_prefix', X''),"
                        "('result_is_preparing', 12.5), ('result_can_not_be_calculated', NULL),"
                        "('result_is_incubating', 7), ('result_is_analysing', X'e680a5'),"
                        "('color_of_waiting', X'23616263'), ('color_of_dispensing', ' #abc'),"
                        "('color_of_incubating', 'RED'), ('color_of_analysing', 255),"
                        "('color_of_null_result', '#80ff0000'),"
                        "('max_qc_file', X'3132'), ('qc_method', ' 42 '), ('hospital', 3.99e2),"
                        "('is_touch_screen', X'30'), ('patient_display_fields', 'TRUE')")
            && ok;
    db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("layout"));
    return ok;
}

static int write()
{
    if (!layOut())
        return 1;
    Profile &profile = Profile::instance();
    writeTypedSettings(profile);
    for (const auto &entry : plainValues())
        profile.setValue(entry.first, entry.second, true);
    sampleCurve().save(7, QStringLiteral("PT"));
    ClotCurve().save(8, QStringLiteral("空"));
    return 0;
}

static QString describe(const QVariant &value)
{
    // The type as the driver delivered it, the value's text (a blob's text is Qt's business, and
    // Qt 6 makes it differently) and its bytes.
    QString text = QStringLiteral("-");
    if (value.userType() != QMetaType::QByteArray) {
        text = value.toString().isNull() ? QStringLiteral("(null)")
                                         : QString::fromLatin1(value.toString().toUtf8().toHex());
    }
    return QString::fromLatin1(value.typeName() ? value.typeName() : "invalid") + QLatin1Char(' ')
            + text + QLatin1Char(' ') + QString::fromLatin1(value.toByteArray().toHex());
}

static QString describe(double d)
{
    return QString::asprintf("%a", d);
}

// What a getter gives: whether a text is null and its UTF-8 bytes, whether a colour is valid and
// its name with alpha.
static void print(QTextStream &out, const QString &text)
{
    out << text.isNull() << ' ' << text.toUtf8().toHex();
}

static void print(QTextStream &out, const QColor &color)
{
    out << color.isValid() << ' ' << color.name(QColor::HexArgb);
}

static void print(QTextStream &out, int value)
{
    out << value;
}

// Defaults that no setting holds.
static QString readDefault(const QString &) { return QStringLiteral("default"); }
static QColor readDefault(const QColor &) { return Qt::magenta; }
static int readDefault(int) { return -1; }
static bool readDefault(bool) { return false; }

static void printTypedSettings(QTextStream &out, Profile &profile)
{
#define PRINT_SETTING(Type, name)                                                                \
    out << #name << ": ";                                                                        \
    print(out, profile.name(readDefault(Type())));                                               \
    out << '\n';
    CORE_TYPED_SETTINGS(PRINT_SETTING)
#undef PRINT_SETTING
}

static int read()
{
    QTextStream out(stdout);
    Profile &profile = Profile::instance();
    printTypedSettings(out, profile);

    for (const auto &entry : plainValues()) {
        const QVariant value = profile.value(entry.first, QStringLiteral("default"));
        out << entry.first << ": " << describe(value) << " | bool " << value.toBool() << " | colour "
            << qvariant_cast<QColor>(value).name(QColor::HexArgb) << " | int " << value.toInt()
            << " | longlong " << value.toLongLong() << " | double " << describe(value.toDouble())
            << " | date " << value.toDate().toString(Qt::ISODate) << '\n';
    }

    QStringList keys = profile.keys();
    keys.sort();
    out << "keys: " << keys.join(QLatin1Char(',')) << '\n';

    for (int patient : { 7, 8, 9 }) {
        ClotCurve curve;
        curve.load(patient, patient == 7 ? QStringLiteral("PT") : QStringLiteral("空"));
        out << "curve " << patient << ": type " << int(curve.type());
        for (const ClotCurve::Segment &segment : curve.segments()) {
            out << " [" << describe(segment.x0) << ' ' << describe(segment.dx);
            for (double y : segment.y)
                out << ' ' << describe(y);
            out << ']';
        }
        out << '\n';
    }

    out << "odd.db:\n";
    Profile odd(QStringLiteral("odd.db"), nullptr);
    printTypedSettings(out, odd);
    return 0;
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3 || !QDir::setCurrent(args.at(2))) {
        std::fprintf(stderr, "usage: samefiles write|read DIR\n");
        return 2;
    }
    if (args.at(1) == QLatin1String("write"))
        return write();
    if (args.at(1) == QLatin1String("read"))
        return read();
    std::fprintf(stderr, "usage: samefiles write|read DIR\n");
    return 2;
}
