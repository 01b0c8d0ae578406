#include <QtTest>

#include "boxcatcher.h"
#include "profile.h"
#include "workstation.h"

#include <QtCore/qelapsedtimer.h>
#include <QtCore/qthread.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// Every test function gets a fresh working directory with a complete workstation in it, so that
// no start-up box opens unless the test asks for one.
class tst_Profile : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void placeholders();
    void value2Fallback();
    void trUtf8AsTr();
    void saveAndDelete();
    void removeKeys();
    void removeSeenAfterRead();
    void everySaveWrites();
    void duplicateRowsLastWins();
    void nullRowCountsAsStored();
    void keysAreCaseSensitive();
    void keysThatDifferInOnePlace();
    void keyStringChangedInPlace();
    void valuesKeepTheirForm();
    void storedForms();
    void workerThreadWriteWaitsForEventLoop();
    void profileInAnotherDirectory();
    void missingProfileWarns();
    void unopenableProfileWarnsTwice();
    void dataFilesWithoutTablesWarn();
    void readsNeverTouchTheDatabase();
    void failedSaveKeepsCache();
    void instanceIsOneObject();
    void readsSeeCompletedWrites();
    void storesAndThreadsComeAndGo();

private:
    void makeWorkstation(const QStringList &profileRows = QStringList());
    std::unique_ptr<Profile> openProfile(const QString &fileName = QStringLiteral("profile.db"));
    QList<QVariantList> storedRows(const QString &key);

    std::unique_ptr<workstation::WorkDirectory> m_dir;
};

void tst_Profile::init()
{
    m_dir.reset(new workstation::WorkDirectory);
    QVERIFY(m_dir->isValid());
}

void tst_Profile::cleanup()
{
    // Each store registers the four names again; start the next test without them.
    for (const char *name : { "profile.db", "data.db", "qc.db", "syslog.db" })
        QSqlDatabase::removeDatabase(QLatin1String(name));
    m_dir.reset();
}

void tst_Profile::makeWorkstation(const QStringList &profileRows)
{
    QVERIFY(workstation::createWorkstation(profileRows));
}

std::unique_ptr<Profile> tst_Profile::openProfile(const QString &fileName)
{
    return std::unique_ptr<Profile>(new Profile(fileName, nullptr));
}

QList<QVariantList> tst_Profile::storedRows(const QString &key)
{
    return workstation::rows(QStringLiteral("profile.db"),
                             QStringLiteral("select value, typeof(value) from profile where name = '%1'")
                                     .arg(key));
}

void tst_Profile::placeholders()
{
    makeWorkstation({ QStringLiteral("insert into profile values ('stored', 'x')") });
    auto profile = openProfile();

    QCOMPARE(profile->value("k", 5), QVariant(5));
    QVERIFY(profile->keys().contains("k"));
    // A placeholder is invalid, so every later call answers with its own default.
    QCOMPARE(profile->value("k", 7), QVariant(7));
    QCOMPARE(profile->value("stored", 7), QVariant("x"));

    QStringList keys = profile->keys();
    keys.sort();
    QCOMPARE(keys, QStringList({ "k", "stored" }));
    // Placeholders never reach the table.
    QCOMPARE(workstation::value("profile.db", "select count(*) from profile").toInt(), 1);
}

void tst_Profile::value2Fallback()
{
    makeWorkstation({ QStringLiteral("insert into profile values ('a', 'A')"),
                      QStringLiteral("insert into profile values ('b', 'B')") });
    auto profile = openProfile();

    QCOMPARE(profile->value2("a", "b", 1), QVariant("A"));
    QCOMPARE(profile->value2("none", "b", 1), QVariant("B"));
    QCOMPARE(profile->value2("x", "y", 1), QVariant(1));
    QVERIFY(profile->keys().contains("x"));
    QVERIFY(profile->keys().contains("y"));
    QVERIFY(profile->keys().contains("none"));
}

void tst_Profile::saveAndDelete()
{
    makeWorkstation({ QStringLiteral("insert into profile values ('old', 'kept')") });
    auto profile = openProfile();

    profile->setValue("k", "v", true);
    QCOMPARE(storedRows("k"), QList<QVariantList>({ { "v", "text" } }));

    // Without save only memory changes.
    profile->setValue("old", "changed", false);
    QCOMPARE(profile->value("old", "d"), QVariant("changed"));
    QCOMPARE(storedRows("old"), QList<QVariantList>({ { "kept", "text" } }));

    // An invalid value deletes the row but keeps the key.
    profile->setValue("k", QVariant(), true);
    QVERIFY(storedRows("k").isEmpty());
    QVERIFY(profile->keys().contains("k"));
    QCOMPARE(profile->value("k", "d"), QVariant("d"));

    // After a restart the stored value comes back, the unsaved one is gone.
    profile.reset();
    profile = openProfile();
    QCOMPARE(profile->value("old", "d"), QVariant("kept"));
    QCOMPARE(profile->value("k", "d"), QVariant("d"));
}

void tst_Profile::removeKeys()
{
    makeWorkstation({ QStringLiteral("insert into profile values ('a', 1)") });
    auto profile = openProfile();
    QSignalSpy removed(profile.get(), &Profile::keyRemoved);

    profile->remove("a");
    QVERIFY(!profile->keys().contains("a"));
    QCOMPARE(profile->value("a", 9), QVariant(9));
    QVERIFY(storedRows("a").isEmpty());

    // A key that was never stored is no error and is still announced.
    profile->remove("never");
    QCOMPARE(removed.count(), 2);
    QCOMPARE(removed.at(1).at(0).toString(), QString("never"));
}

void tst_Profile::removeSeenAfterRead()
{
    // The thread's own copy, taken by the first read, must not outlive the removal.
    makeWorkstation({ QStringLiteral("insert into profile values ('a', 1)") });
    auto profile = openProfile();
    QCOMPARE(profile->value("a", 9).toInt(), 1);
    profile->remove("a");
    QCOMPARE(profile->value("a", 9).toInt(), 9);
}

void tst_Profile::everySaveWrites()
{
    makeWorkstation();
    auto profile = openProfile();
    QSignalSpy changed(profile.get(), &Profile::valueChanged);

    profile->setValue("k", 1, true);
    // Change the row behind the store's back: an unchanged value must still be written again.
    QVERIFY(workstation::exec("profile.db", { "update profile set value = 99 where name = 'k'" }));
    profile->setValue("k", 1, true);
    QCOMPARE(changed.count(), 2);
    QCOMPARE(storedRows("k"), QList<QVariantList>({ { 1, "integer" } }));

    profile->setValue("k", 2, false);
    QCOMPARE(changed.count(), 2);
}

void tst_Profile::duplicateRowsLastWins()
{
    QVERIFY(workstation::exec("profile.db",
                              { "create table profile (name text, value)",
                                "insert into profile values ('dup', 'first')",
                                "insert into profile values ('dup', 'second')" }));
    QVERIFY(workstation::createDataFiles());
    auto profile = openProfile();
    QCOMPARE(profile->value("dup", "d"), QVariant("second"));
    QCOMPARE(profile->keys(), QStringList({ "dup" }));
}

void tst_Profile::nullRowCountsAsStored()
{
    makeWorkstation({ QStringLiteral("insert into profile values ('n', null)") });
    auto profile = openProfile();
    const QVariant v = profile->value("n", "default");
    QVERIFY(v.isValid());
    QVERIFY(v.isNull());
    QCOMPARE(v.toString(), QString());
}

void tst_Profile::keysAreCaseSensitive()
{
    makeWorkstation({ QStringLiteral("insert into profile values ('Key', 'upper')") });
    auto profile = openProfile();
    QCOMPARE(profile->value("key", "d"), QVariant("d"));
    QCOMPARE(profile->value("Key", "d"), QVariant("upper"));
    QCOMPARE(profile->value("Key ", "d"), QVariant("d"));

    profile->setValue("key", "lower", true);
    QCOMPARE(storedRows("key"), QList<QVariantList>({ { "lower", "text" } }));
    QCOMPARE(storedRows("Key"), QList<QVariantList>({ { "upper", "text" } }));
}

// Keys are told apart by every character, whatever their length. Each variant differs from
// its base in one byte of one character: anywhere up to 40 characters and around 32, at the
// start, the middle and the end beyond. Variants of one length share all else.
void tst_Profile::keysThatDifferInOnePlace()
{
    makeWorkstation();
    auto profile = openProfile();

    QHash<QString, int> expected;
    for (int length = 1; length <= 80; ++length) {
        QString base(length, Qt::Uninitialized);
        for (int i = 0; i < length; ++i)
            base[i] = QLatin1Char(char('a' + (i * 7 + length) % 26));
        expected.insert(base, expected.size());
        QVector<int> positions = { 0, length / 2, length - 1 };
        if (length <= 40 || qAbs(length - 32) <= 1) {
            positions.clear();
            for (int i = 0; i < length; ++i)
                positions.append(i);
        }
        for (int position : qAsConst(positions)) {
            QString key = base;
            const ushort flip = position % 2 ? 0x0001 : 0x0100;
            key[position] = QChar(ushort(key.at(position).unicode() ^ flip));
            expected.insert(key, expected.size());
        }
    }
    for (auto it = expected.cbegin(); it != expected.cend(); ++it)
        profile->setValue(it.key(), it.value(), false);

    // The second round finds each key again by the same strings.
    for (int round = 0; round < 2; ++round) {
        for (auto it = expected.cbegin(); it != expected.cend(); ++it)
            QCOMPARE(profile->value(it.key(), -1), QVariant(it.value()));
    }
    // Equal text in other strings is the same key; one character more is another.
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        QCOMPARE(profile->value(QString(it.key().constData(), it.key().size()), -1),
                 QVariant(it.value()));
        QCOMPARE(profile->value(it.key() + QLatin1Char('a'), -1), QVariant(-1));
    }
}

// A read remembers where the characters of the keys it was given lie. The same characters
// changed in place since make another key.
void tst_Profile::keyStringChangedInPlace()
{
    makeWorkstation({ QStringLiteral("insert into profile values ('schedule/test/PT', 'PT')"),
                      QStringLiteral("insert into profile values ('schedule/test/TT', 'TT')") });
    auto profile = openProfile();

    QString key = QStringLiteral("schedule/test/PT");
    key[0] = QLatin1Char('s'); // characters of its own, which later changes do not move
    const QChar *characters = key.constData();
    QCOMPARE(profile->value(key, "none"), QVariant("PT"));
    key[14] = QLatin1Char('T');
    QCOMPARE(key.constData(), characters);
    QCOMPARE(profile->value(key, "none"), QVariant("TT"));
    key[14] = QLatin1Char('X');
    QCOMPARE(key.constData(), characters);
    QCOMPARE(profile->value(key, "none"), QVariant("none"));
    key[14] = QLatin1Char('P');
    QCOMPARE(profile->value(key, "none"), QVariant("PT"));
}

// What a read hands out is what was stored, down to a string's being null or empty, and a
// value that changes its type is read in its new one.
void tst_Profile::valuesKeepTheirForm()
{
    makeWorkstation();
    auto profile = openProfile();
    const QList<QVariant> values = { QVariant(QStringLiteral("text")), QVariant(QString("")),
                                     QVariant(QString()), QVariant(QByteArray("\0\1", 2)),
                                     QVariant(QByteArray()), QVariant(5), QVariant(2.5),
                                     QVariant(true) };
    for (int i = 0; i < values.size(); ++i)
        profile->setValue(QString::number(i), values.at(i), false);
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < values.size(); ++i) {
            const QVariant v = profile->value(QString::number(i), QStringLiteral("default"));
            QCOMPARE(v.userType(), values.at(i).userType());
            QCOMPARE(v.isNull(), values.at(i).isNull());
            QCOMPARE(v, values.at(i));
        }
    }

    profile->setValue("0", 7, false);
    QCOMPARE(profile->value("0").userType(), int(QMetaType::Int));
    QCOMPARE(profile->value("0"), QVariant(7));
    profile->setValue("5", QStringLiteral("five"), false);
    QCOMPARE(profile->value("5"), QVariant(QStringLiteral("five")));
}

void tst_Profile::storedForms()
{
    makeWorkstation();
    auto profile = openProfile();

    profile->setValue("bool", true, true);
    profile->setValue("false", false, true);
    profile->setValue("colour", QColor(0x12, 0xab, 0xef, 100), true);
    profile->setValue("int", 42, true);
    profile->setValue("real", 2.5, true);
    profile->setValue("long", Q_INT64_C(1) << 40, true);
    profile->setValue("bytes", QByteArray("\x01\x02", 2), true);
    profile->setValue("text", QString::fromUtf8("不凝"), true);
    profile->setValue("unsigned", 7u, true);
    profile->setValue("list", QStringList({ "one" }), true);

    QCOMPARE(storedRows("bool"), QList<QVariantList>({ { "true", "text" } }));
    QCOMPARE(storedRows("false"), QList<QVariantList>({ { "false", "text" } }));
    QCOMPARE(storedRows("colour"), QList<QVariantList>({ { "#12abef", "text" } }));
    QCOMPARE(storedRows("int"), QList<QVariantList>({ { 42, "integer" } }));
    QCOMPARE(storedRows("real"), QList<QVariantList>({ { 2.5, "real" } }));
    QCOMPARE(storedRows("long"), QList<QVariantList>({ { Q_INT64_C(1) << 40, "integer" } }));
    QCOMPARE(storedRows("bytes"), QList<QVariantList>({ { QByteArray("\x01\x02", 2), "blob" } }));
    QCOMPARE(storedRows("text"), QList<QVariantList>({ { QString::fromUtf8("不凝"), "text" } }));
    // Other types go in as their text.
    QCOMPARE(storedRows("unsigned"), QList<QVariantList>({ { "7", "text" } }));
    QCOMPARE(storedRows("list"), QList<QVariantList>({ { "one", "text" } }));

    // The cache keeps what the caller passed, the table the stored form.
    QCOMPARE(profile->value("colour", QVariant()).value<QColor>().alpha(), 100);
    profile.reset();
    profile = openProfile();
    QCOMPARE(profile->value("bool", QVariant()), QVariant("true"));
    QCOMPARE(profile->value("colour", QVariant()).value<QColor>(), QColor(0x12, 0xab, 0xef));
}

class Writer : public QThread
{
public:
    Writer(Profile *profile)
        : m_profile(profile)
    {
    }

protected:
    void run() override
    {
        m_profile->setValue("fromWorker", "w", true);
        m_profile->remove("gone");
    }

private:
    Profile *m_profile;
};

void tst_Profile::workerThreadWriteWaitsForEventLoop()
{
    makeWorkstation({ QStringLiteral("insert into profile values ('gone', 'here')") });
    auto profile = openProfile();

    Writer writer(profile.get());
    writer.start();
    QVERIFY(writer.wait(10000));

    // The cache changed at once; the statements wait for the owning thread's event loop.
    QCOMPARE(profile->value("fromWorker", "d"), QVariant("w"));
    QVERIFY(!profile->keys().contains("gone"));
    QVERIFY(storedRows("fromWorker").isEmpty());
    QCOMPARE(storedRows("gone").size(), 1);

    QCoreApplication::processEvents();
    QTRY_COMPARE(storedRows("fromWorker"), QList<QVariantList>({ { "w", "text" } }));
    QVERIFY(storedRows("gone").isEmpty());
}

void tst_Profile::profileInAnotherDirectory()
{
    QVERIFY(QDir().mkpath("settings"));
    QVERIFY(workstation::exec("settings/custom.db",
                              { "create table profile (name text primary key, value)",
                                "insert into profile values ('where', 'elsewhere')" }));
    QVERIFY(workstation::createDataFiles());

    auto profile = openProfile(QDir::current().filePath("settings/custom.db"));
    QCOMPARE(profile->value("where", "d"), QVariant("elsewhere"));
    QCOMPARE(profile->database().databaseName(), QDir::current().filePath("settings/custom.db"));
    // The other files stay in the working directory, under their own names.
    QCOMPARE(profile->dataDatabase().databaseName(), QString("data.db"));
    QCOMPARE(profile->qcDatabase().connectionName(), QString("qc.db"));
    QCOMPARE(profile->syslogDatabase().connectionName(), QString("syslog.db"));
    QVERIFY(!QFile::exists("settings/data.db"));

    profile->setValue("saved", 1, true);
    QCOMPARE(workstation::value("settings/custom.db", "select value from profile where name = 'saved'"),
             QVariant(1));
}

void tst_Profile::missingProfileWarns()
{
    QVERIFY(workstation::createDataFiles());
    QCoreApplication::setApplicationName("Coagulation");

    BoxCatcher catcher;
    auto profile = openProfile("missing.db");

    QCOMPARE(catcher.boxes.size(), 1);
    const CaughtBox box = catcher.boxes.first();
    QCOMPARE(box.text, QString::fromUtf8("错误的配置文件 missing.db"));
    QCOMPARE(box.title, QString("Coagulation"));
    QCOMPARE(box.icon, QMessageBox::Warning);
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    // The driver creates the file empty; every setting stays at its default.
    QVERIFY(QFile::exists("missing.db"));
    QCOMPARE(profile->value("anything", 3), QVariant(3));
    profile->setValue("anything", 4, true); // fails silently: there is no table
    QCOMPARE(profile->value("anything", 3), QVariant(4));
}

void tst_Profile::unopenableProfileWarnsTwice()
{
    QVERIFY(workstation::createDataFiles());

    BoxCatcher catcher;
    const QString fileName = QStringLiteral("no/such/dir/profile.db");
    auto profile = openProfile(fileName);

    QCOMPARE(catcher.boxes.size(), 2);
    const QString first = catcher.boxes.at(0).text;
    const QString prefix = QString::fromUtf8("无法加载配置文件 %1\n").arg(fileName);
    QVERIFY2(first.startsWith(prefix), qPrintable(first));
    QVERIFY(first.size() > prefix.size()); // the driver's error text follows
    QCOMPARE(catcher.boxes.at(1).text, QString::fromUtf8("错误的配置文件 %1").arg(fileName));
    QCOMPARE(profile->value("x", 1), QVariant(1));
}

void tst_Profile::dataFilesWithoutTablesWarn()
{
    QVERIFY(workstation::exec("profile.db", { "create table profile (name text primary key, value)" }));
    QVERIFY(workstation::exec("qc.db", { "create table t (x)" }));
    QVERIFY(QDir().mkdir("syslog.db")); // a directory cannot be opened as a database

    BoxCatcher catcher;
    auto profile = openProfile();

    QStringList texts;
    for (const CaughtBox &box : catcher.boxes)
        texts << box.text;
    QCOMPARE(texts, QStringList({ QString::fromUtf8("错误的数据库文件 data.db"),
                                  QString::fromUtf8("无法打开数据库文件 syslog.db"),
                                  QString::fromUtf8("错误的数据库文件 syslog.db") }));
    // The getter still hands out the named connection.
    QCOMPARE(profile->syslogDatabase().connectionName(), QString("syslog.db"));
    QVERIFY(!profile->syslogDatabase().isOpen());
    QVERIFY(profile->qcDatabase().isOpen());
}

void tst_Profile::readsNeverTouchTheDatabase()
{
    makeWorkstation({ QStringLiteral("insert into profile values ('cached', 'yes')") });
    auto profile = openProfile();
    profile->database().close();
    QVERIFY(QFile::remove("profile.db"));

    QCOMPARE(profile->value("cached", "no"), QVariant("yes"));
    QCOMPARE(profile->value2("missing", "cached", "no"), QVariant("yes"));
    QVERIFY(!QFile::exists("profile.db"));
}

void tst_Profile::failedSaveKeepsCache()
{
    makeWorkstation();
    auto profile = openProfile();
    QVERIFY(workstation::exec("profile.db", { "drop table profile" }));

    profile->setValue("k", "v", true);
    QCOMPARE(profile->value("k", "d"), QVariant("v"));
}

void tst_Profile::instanceIsOneObject()
{
    makeWorkstation({ QStringLiteral("insert into profile values ('k', 'instance')") });
    Profile &a = Profile::instance();
    Profile &b = Profile::instance();
    QCOMPARE(&a, &b);
    QCOMPARE(a.value("k", "d"), QVariant("instance"));
    QCOMPARE(QString(a.metaObject()->className()), QString("Profile"));
}

// Readers and writers on several threads at once. A read that begins after a write has returned
// sees that write or a later one, on every thread, while new keys make the cache grow and missing
// keys leave placeholders behind.
void tst_Profile::readsSeeCompletedWrites()
{
    makeWorkstation({ QStringLiteral("insert into profile values ('w0', 0)"),
                      QStringLiteral("insert into profile values ('w1', 0)") });
    auto profile = openProfile();
    enum { Writers = 2, Readers = 3, GrowEvery = 64 };
    const QString writerKeys[Writers] = { QStringLiteral("w0"), QStringLiteral("w1") };

    // Standard threads and atomics, so that a ThreadSanitizer build sees how they synchronise.
    std::atomic<bool> stop(false);
    std::atomic<int> reads(0);
    std::atomic<int> completed[Writers] = {}; // the last value whose setValue has returned
    std::mutex failureMutex;
    QStringList failures;
    auto fail = [&](const QString &text) {
        std::lock_guard<std::mutex> locker(failureMutex);
        if (failures.size() < 5)
            failures.append(text);
    };

    std::vector<std::thread> threads;
    for (int w = 0; w < Writers; ++w) {
        threads.emplace_back([&, w] {
            for (int n = 1; !stop; ++n) {
                profile->setValue(writerKeys[w], n, false);
                if (n % GrowEvery == 0)
                    profile->setValue(QStringLiteral("new/%1/%2").arg(w).arg(n), n, false);
                const int own = profile->value(writerKeys[w], -1).toInt();
                if (own != n)
                    fail(QStringLiteral("writer %1 wrote %2, read back %3").arg(w).arg(n).arg(own));
                completed[w] = n;
            }
        });
    }
    for (int r = 0; r < Readers; ++r) {
        threads.emplace_back([&, r] {
            int seen[Writers] = {};
            for (int i = 0; !stop; ++i) {
                for (int w = 0; w < Writers; ++w) {
                    const int done = completed[w];
                    const int v = profile->value(writerKeys[w], -1).toInt();
                    if (v < done || v < seen[w])
                        fail(QStringLiteral("reader %1: %2 read %3 after write %4 (seen %5)")
                                     .arg(r).arg(writerKeys[w]).arg(v).arg(done).arg(seen[w]));
                    seen[w] = v;
                    const int grown = done / GrowEvery * GrowEvery;
                    const QString newKey = QStringLiteral("new/%1/%2").arg(w).arg(grown);
                    if (grown && profile->value(newKey, -1).toInt() != grown)
                        fail(QStringLiteral("reader %1: %2 missing").arg(r).arg(newKey));
                }
                if (i % 256 == 0) {
                    const QString missing = QStringLiteral("missing/%1/%2").arg(r).arg(i);
                    if (profile->value(missing, 5) != QVariant(5)
                        || profile->value2(missing, writerKeys[0], -1).toInt() < 0
                        || !profile->keys().contains(missing))
                        fail(QStringLiteral("reader %1: placeholder %2").arg(r).arg(missing));
                }
                ++reads;
            }
        });
    }

    // Bounded in time; a sanitizer build simply gets through fewer rounds.
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 1500) {
        QThread::msleep(20);
        std::lock_guard<std::mutex> locker(failureMutex);
        if (!failures.isEmpty())
            break;
    }
    stop = true;
    for (std::thread &thread : threads)
        thread.join();

    QVERIFY2(failures.isEmpty(), qPrintable(failures.join(QLatin1Char('\n'))));
    QVERIFY(completed[0] > GrowEvery);
    QVERIFY(completed[1] > GrowEvery);
    QVERIFY(reads > 100);
    // What the threads left behind is one cache, seen alike from here.
    QCOMPARE(profile->value("w0", -1).toInt(), completed[0].load());
    QVERIFY(profile->keys().contains(QStringLiteral("missing/0/0")));
}

// Each store keeps its own cache on every thread, also a store made after another one is gone
// (it may live at the same address); threads and stores end in either order. The sanitizer
// build checks that nothing of theirs is left at exit.
void tst_Profile::storesAndThreadsComeAndGo()
{
    makeWorkstation({ QStringLiteral("insert into profile values ('k', 'first')") });
    for (const char *name : { "second.db", "third.db" }) {
        QVERIFY(workstation::exec(name, { "create table profile (name text primary key, value)",
                                          QStringLiteral("insert into profile values ('k', '%1')")
                                                  .arg(QString::fromLatin1(name).section('.', 0, 0)) }));
    }
    auto first = openProfile();
    auto second = openProfile("second.db");
    std::unique_ptr<Profile> third;
    QCOMPARE(first->value("k", "d"), QVariant("first"));

    // A handover between this thread and the reader, by standard means (see above).
    std::mutex mutex;
    std::condition_variable changed;
    int phase = 0;
    auto await = [&](int wanted) {
        std::unique_lock<std::mutex> locker(mutex);
        return changed.wait_for(locker, std::chrono::seconds(10), [&] { return phase >= wanted; });
    };
    auto advance = [&] {
        {
            std::lock_guard<std::mutex> locker(mutex);
            ++phase;
        }
        changed.notify_all();
    };

    QStringList seen;
    std::thread reader([&] {
        seen << first->value("k", "d").toString() << second->value("k", "d").toString();
        advance();
        if (!await(2)) // the first store is gone, a third one is there
            return;
        seen << second->value("k", "d").toString() << third->value("k", "d").toString();
        advance();
        if (!await(4)) // the second store has changed
            return;
        seen << second->value("k", "d").toString() << third->value("k", "d").toString();
    });
    const bool handedOver = await(1);
    if (handedOver) {
        first.reset();
        third = openProfile("third.db");
        advance();
    }
    const bool handedOverAgain = handedOver && await(3);
    if (handedOverAgain) {
        second->setValue("k", "changed", false);
        advance();
    }
    reader.join();
    QVERIFY(handedOverAgain);
    QCOMPARE(seen, QStringList({ "first", "second", "second", "third", "changed", "third" }));

    // A new thread after the old one has ended, on the store that outlived it.
    QString later;
    std::thread next([&] { later = second->value("k", "d").toString(); });
    next.join();
    QCOMPARE(later, QString("changed"));
    QCOMPARE(second->value("k", "d"), QVariant("changed"));
    QCOMPARE(third->value("k", "d"), QVariant("third"));
}

// Qt 6 dropped trUtf8 from Q_OBJECT; Profile keeps it for its callers, reading UTF-8 like tr.
void tst_Profile::trUtf8AsTr()
{
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    QCOMPARE(Profile::trUtf8("不凝"), QStringLiteral("不凝"));
    QCOMPARE(Profile::trUtf8("↑", "mark", 2), Profile::tr("↑", "mark", 2));
    QT_WARNING_POP
}

QTEST_MAIN(tst_Profile)
#include "tst_profile.moc"
