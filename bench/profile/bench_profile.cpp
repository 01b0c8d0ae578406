// The settings store against QSettings (INI format) holding the same keys and values: reads
// through Profile::value and the typed getters, on one thread and on two, and saving writes.
// The store is the one the library opens, on the sample workstation's profile table.

#include "benchratios.h"
#include "profile.h"

#include <QtCore/qdir.h>
#include <QtCore/qreadwritelock.h>
#include <QtCore/qfile.h>
#include <QtCore/qsettings.h>
#include <QtCore/qtemporarydir.h>
#include <QtCore/qvector.h>
#include <QtGui/qcolor.h>
#include <QtSql/qsqldatabase.h>
#include <QtSql/qsqlquery.h>
#include <QtWidgets/qapplication.h>

#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

namespace {

QString iniPath;
QStringList keys; // every key of the profile table

bool execScript(const QString &fileName, const QByteArray &script)
{
    sqlite3 *db = nullptr;
    const bool opened = sqlite3_open(QFile::encodeName(fileName).constData(), &db) == SQLITE_OK;
    char *message = nullptr;
    const bool ok = opened
            && sqlite3_exec(db, script.constData(), nullptr, nullptr, &message) == SQLITE_OK;
    if (!ok)
        std::fprintf(stderr, "%s: %s\n", qPrintable(fileName), message ? message : "cannot open");
    sqlite3_free(message);
    sqlite3_close(db);
    return ok;
}

// profile.db of the sample workstation, the three other files with a table each, and an INI file
// with the same settings.
bool createFiles()
{
    QFile sample(QStringLiteral(SAMPLES_DIR "/profile-v2.sql"));
    if (!sample.open(QIODevice::ReadOnly) || !execScript("profile.db", sample.readAll())
        || !execScript("data.db", "create table patient (id integer primary key, sampleNo, date)")
        || !execScript("qc.db", "create table qc (id integer primary key)")
        || !execScript("syslog.db", "create table syslog (id integer primary key)"))
        return false;

    Profile &profile = Profile::instance();
    QSqlQuery query(profile.database());
    if (!query.exec(QStringLiteral("select name, value from profile")))
        return false;
    iniPath = QDir::current().absoluteFilePath(QStringLiteral("profile.ini"));
    QSettings settings(iniPath, QSettings::IniFormat);
    while (query.next()) {
        keys.append(query.value(0).toString());
        settings.setValue(keys.last(), query.value(1));
    }
    settings.sync();
    return settings.status() == QSettings::NoError && !keys.isEmpty();
}

// Reads every key in turn, as a screen that shows many settings does. The store is taken once,
// as the QSettings object below is made once.
void BM_ProfileValue(benchmark::State &state)
{
    Profile &profile = Profile::instance();
    int i = 0;
    for (auto _ : state) {
        QVariant v = profile.value(keys.at(i), QVariant());
        benchmark::DoNotOptimize(v);
        if (++i == keys.size())
            i = 0;
    }
}
BENCHMARK(BM_ProfileValue)->Threads(1)->Threads(2)->UseRealTime();

// Each thread has a QSettings object of its own, as QSettings requires.
void BM_QSettingsValue(benchmark::State &state)
{
    QSettings settings(iniPath, QSettings::IniFormat);
    settings.value(keys.first()); // the file is read at the first access
    int i = 0;
    for (auto _ : state) {
        QVariant v = settings.value(keys.at(i), QVariant());
        benchmark::DoNotOptimize(v);
        if (++i == keys.size())
            i = 0;
    }
}
BENCHMARK(BM_QSettingsValue)->Threads(1)->Threads(2)->UseRealTime();

// The marks that every formatted result asks for. An accessor belongs to one thread at a time,
// so a second thread reads a getter of its own.
void BM_TypedGetterString(benchmark::State &state)
{
    Profile &profile = Profile::instance();
    const QString defaultValue = QStringLiteral("M");
    const bool first = state.thread_index() == 0;
    // The first call fills the copy; what is timed is every call after it.
    first ? profile.manual_input_flag(defaultValue) : profile.dilution_result_flag(defaultValue);
    for (auto _ : state) {
        QString s = first ? profile.manual_input_flag(defaultValue)
                          : profile.dilution_result_flag(defaultValue);
        benchmark::DoNotOptimize(s);
    }
}
BENCHMARK(BM_TypedGetterString)->Threads(1)->Threads(2)->UseRealTime();

void BM_QSettingsString(benchmark::State &state)
{
    QSettings settings(iniPath, QSettings::IniFormat);
    const QString key = state.thread_index() == 0 ? QStringLiteral("manual_input_flag")
                                                  : QStringLiteral("dilution_result_flag");
    const QVariant defaultValue(QStringLiteral("M"));
    settings.value(key);
    for (auto _ : state) {
        QString s = settings.value(key, defaultValue).toString();
        benchmark::DoNotOptimize(s);
    }
}
BENCHMARK(BM_QSettingsString)->Threads(1)->Threads(2)->UseRealTime();

void BM_TypedGetterColor(benchmark::State &state)
{
    Profile &profile = Profile::instance();
    const QColor defaultValue(Qt::gray);
    profile.color_of_waiting(defaultValue);
    for (auto _ : state) {
        QColor c = profile.color_of_waiting(defaultValue);
        benchmark::DoNotOptimize(c);
    }
}
BENCHMARK(BM_TypedGetterColor)->UseRealTime();

void BM_QSettingsColor(benchmark::State &state)
{
    QSettings settings(iniPath, QSettings::IniFormat);
    const QString key = QStringLiteral("color_of_waiting");
    const QVariant defaultValue = QColor(Qt::gray);
    settings.value(key);
    for (auto _ : state) {
        QColor c = settings.value(key, defaultValue).value<QColor>();
        benchmark::DoNotOptimize(c);
    }
}
BENCHMARK(BM_QSettingsColor)->UseRealTime();

void BM_TypedGetterInt(benchmark::State &state)
{
    Profile &profile = Profile::instance();
    profile.max_qc_file(20);
    for (auto _ : state) {
        int n = profile.max_qc_file(20);
        benchmark::DoNotOptimize(n);
    }
}
BENCHMARK(BM_TypedGetterInt)->UseRealTime();

void BM_QSettingsInt(benchmark::State &state)
{
    QSettings settings(iniPath, QSettings::IniFormat);
    const QString key = QStringLiteral("max_qc_file");
    const QVariant defaultValue(20);
    settings.value(key);
    for (auto _ : state) {
        int n = settings.value(key, defaultValue).toInt();
        benchmark::DoNotOptimize(n);
    }
}
BENCHMARK(BM_QSettingsInt)->UseRealTime();

// What stands under the figures above: taking and releasing a read lock (what Profile::value
// took per call before its reads did without), and copying a string out of a member and
// dropping the copy (every getter that returns a QString does both: one atomic increment, one
// decrement).
void BM_ReadLockFloor(benchmark::State &state)
{
    static QReadWriteLock lock;
    for (auto _ : state) {
        QReadLocker locker(&lock);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_ReadLockFloor)->UseRealTime();

void BM_QStringCopyFloor(benchmark::State &state)
{
    const QString member = QString::fromLatin1("M"); // heap data, as a stored value has
    for (auto _ : state) {
        QString s = member;
        benchmark::DoNotOptimize(s);
    }
}
BENCHMARK(BM_QStringCopyFloor)->UseRealTime();

// A getter's floor as the store keeps its copies: a QVariant member that already holds the
// type, read back.
void BM_QVariantToIntFloor(benchmark::State &state)
{
    const QVariant member(30);
    for (auto _ : state) {
        int n = member.toInt();
        benchmark::DoNotOptimize(n);
    }
}
BENCHMARK(BM_QVariantToIntFloor)->UseRealTime();

// The floor of any read that hands out a QVariant: a copy of a stored QVariant made behind a
// call and dropped by the caller, over the same values in the same order as BM_ProfileValue.
Q_NEVER_INLINE QVariant copyOfValue(const QVector<QVariant> &values, int i)
{
    return values.at(i);
}

void BM_QVariantReturnFloor(benchmark::State &state)
{
    QVector<QVariant> values;
    for (const QString &key : qAsConst(keys))
        values.append(Profile::instance().value(key, QVariant()));
    int i = 0;
    for (auto _ : state) {
        QVariant v = copyOfValue(values, i);
        benchmark::DoNotOptimize(v);
        if (++i == values.size())
            i = 0;
    }
}
BENCHMARK(BM_QVariantReturnFloor)->UseRealTime();

// A saving write: one autocommitted statement on profile.db, inside the call (this thread owns
// the store). The value alternates so that every write changes the stored row.
void BM_ProfileSetValueSave(benchmark::State &state)
{
    Profile &profile = Profile::instance();
    const QString key = QStringLiteral("schedule/test/PT");
    int i = 0;
    for (auto _ : state)
        profile.setValue(key, 27 + (++i & 1), true);
    profile.setValue(key, 27, true);
}
BENCHMARK(BM_ProfileSetValueSave)->Unit(benchmark::kMicrosecond)->UseRealTime();

// What QSettings needs to have a value on disk: setValue, then sync (the file is rewritten).
void BM_QSettingsSetValueSync(benchmark::State &state)
{
    QSettings settings(iniPath, QSettings::IniFormat);
    const QString key = QStringLiteral("schedule/test/PT");
    int i = 0;
    for (auto _ : state) {
        settings.setValue(key, 27 + (++i & 1));
        settings.sync();
    }
    if (settings.status() != QSettings::NoError)
        state.SkipWithError("QSettings could not write the file");
    settings.setValue(key, 27);
}
BENCHMARK(BM_QSettingsSetValueSync)->Unit(benchmark::kMicrosecond)->UseRealTime();

// Writes that stay in memory.
void BM_ProfileSetValueNoSave(benchmark::State &state)
{
    Profile &profile = Profile::instance();
    const QString key = QStringLiteral("schedule/test/APTT");
    int i = 0;
    for (auto _ : state)
        profile.setValue(key, 50 + (++i & 1), false);
}
BENCHMARK(BM_ProfileSetValueNoSave)->UseRealTime();

// What reads cost writes. A write changes the store's hash in place, under its mutex; after it,
// the next read on each thread copies the hash for that thread (the first figure below is a
// write and that copy, on one thread). A write that meets another thread taking its copy waits
// for the mutex until the copy is made.
void BM_ProfileSetValueThenValue(benchmark::State &state)
{
    Profile &profile = Profile::instance();
    const QString key = QStringLiteral("schedule/test/APTT");
    int i = 0;
    for (auto _ : state) {
        profile.setValue(key, 50 + (++i & 1), false);
        QVariant v = profile.value(key, QVariant());
        benchmark::DoNotOptimize(v);
    }
}
BENCHMARK(BM_ProfileSetValueThenValue)->UseRealTime();

void BM_ProfileSetValueWhileReading(benchmark::State &state)
{
    Profile &profile = Profile::instance();
    const QString key = QStringLiteral("schedule/test/APTT");
    QAtomicInt stop;
    std::thread reader([&] {
        int i = 0;
        while (!stop.loadAcquire()) {
            QVariant v = profile.value(keys.at(i), QVariant());
            benchmark::DoNotOptimize(v);
            if (++i == keys.size())
                i = 0;
        }
    });
    int i = 0;
    for (auto _ : state)
        profile.setValue(key, 50 + (++i & 1), false);
    stop.storeRelease(1);
    reader.join();
}
BENCHMARK(BM_ProfileSetValueWhileReading)->UseRealTime();

// A write right after another thread has taken its copy of the current state. (Reads that shared
// the store's state made such a write copy it.)
void BM_ProfileSetValueCopying(benchmark::State &state)
{
    Profile &profile = Profile::instance();
    const QString key = QStringLiteral("schedule/test/APTT");
    std::atomic<int> turn(0); // 1: the reader's turn, 2: the end
    std::thread reader([&] {
        for (;;) {
            int t;
            while ((t = turn.load()) == 0)
                std::this_thread::yield();
            if (t == 2)
                return;
            QVariant v = profile.value(key, QVariant());
            benchmark::DoNotOptimize(v);
            turn = 0;
        }
    });
    int i = 0;
    for (auto _ : state) {
        state.PauseTiming();
        turn = 1;
        while (turn.load() == 1)
            std::this_thread::yield();
        state.ResumeTiming();
        profile.setValue(key, 50 + (++i & 1), false);
    }
    turn = 2;
    reader.join();
}
BENCHMARK(BM_ProfileSetValueCopying)->UseRealTime();

void BM_QSettingsSetValue(benchmark::State &state)
{
    QSettings settings(iniPath, QSettings::IniFormat);
    const QString key = QStringLiteral("schedule/test/APTT");
    settings.value(key);
    int i = 0;
    for (auto _ : state)
        settings.setValue(key, 50 + (++i & 1));
    settings.setValue(key, 50);
}
BENCHMARK(BM_QSettingsSetValue)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    // Profile::instance() may show message boxes; none should need a screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid() || !QDir::setCurrent(dir.path()) || !createFiles()) {
        std::fprintf(stderr, "cannot set up the settings files\n");
        return 1;
    }
    std::printf("%d settings in profile.db and in %s\n", int(keys.size()), qPrintable(iniPath));

    // A read takes some twenty nanoseconds, and the speed of a shared machine drifts over
    // seconds: unless told otherwise, the repetitions of all figures are interleaved at random,
    // so that both sides of a ratio are measured over the same stretch of time.
    std::vector<char *> args(argv, argv + argc);
    static char interleave[] = "--benchmark_enable_random_interleaving=true";
    if (std::none_of(args.begin(), args.end(), [](const char *arg) {
            return std::strncmp(arg, interleave, std::strchr(interleave, '=') - interleave) == 0;
        }))
        args.insert(args.begin() + 1, interleave);
    int count = int(args.size());

    using benchratios::Goal;
    const int status = benchratios::run(count, args.data(), {
        { "QSettings::value / Profile::value", "BM_QSettingsValue/threads:1",
          "BM_ProfileValue/threads:1", Goal::AtLeast, 3 },
        { "QSettings::value / Profile::value, 2 threads", "BM_QSettingsValue/threads:2",
          "BM_ProfileValue/threads:2", Goal::AtLeast, 3 },
        // The QString getter's goal is its copy floor (below): that copy is what it returns.
        { "QSettings string / typed getter (QString)", "BM_QSettingsString/threads:1",
          "BM_TypedGetterString/threads:1" },
        { "QSettings string / typed getter (QString), 2 threads", "BM_QSettingsString/threads:2",
          "BM_TypedGetterString/threads:2" },
        { "QSettings colour / typed getter (QColor)", "BM_QSettingsColor", "BM_TypedGetterColor",
          Goal::AtLeast, 20 },
        { "QSettings int / typed getter (int)", "BM_QSettingsInt", "BM_TypedGetterInt",
          Goal::AtLeast, 20 },
        { "Profile::value / QVariant return floor", "BM_ProfileValue/threads:1",
          "BM_QVariantReturnFloor" },
        { "typed getter (QString) / QString copy floor", "BM_TypedGetterString/threads:1",
          "BM_QStringCopyFloor", Goal::AtMost, 1.5 },
        { "typed getter (int) / QVariant::toInt floor", "BM_TypedGetterInt",
          "BM_QVariantToIntFloor" },
        { "QSettings setValue+sync / Profile::setValue(save)", "BM_QSettingsSetValueSync",
          "BM_ProfileSetValueSave" },
        { "QSettings setValue / Profile::setValue(no save)", "BM_QSettingsSetValue",
          "BM_ProfileSetValueNoSave" },
        { "setValue(no save) while another thread reads / alone", "BM_ProfileSetValueWhileReading",
          "BM_ProfileSetValueNoSave" },
        { "setValue(no save) that copies / alone", "BM_ProfileSetValueCopying",
          "BM_ProfileSetValueNoSave" },
        { "setValue(no save) + value / setValue(no save)", "BM_ProfileSetValueThenValue",
          "BM_ProfileSetValueNoSave" },
    });
    QDir::setCurrent(QDir::tempPath());
    return status;
}
