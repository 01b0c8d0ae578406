#include "profile_p.h"
#include "tavoglobal.h"

#include <QtCore/qvector.h>
#include <QtSql/qsqlerror.h>
#include <QtSql/qsqlquery.h>

#include <algorithm>

static const char profileConnection[] = "profile.db";

static quint64 nextGeneration()
{
    static QBasicAtomicInteger<quint64> last = Q_BASIC_ATOMIC_INITIALIZER(0);
    return last.fetchAndAddRelaxed(1) + 1;
}

namespace {

// One store's cache as a thread last copied it.
struct ThreadCopy
{
    const ProfilePrivate *store;
    QWeakPointer<int> lifetime; // the store's
    quint64 generation;
    QHash<QString, QVariant> values;
};

// Plain data, so that a read reaches it without an initialisation guard, and so that it stays
// usable until the thread's very end; ThreadCopiesCleanup frees the copies when the thread ends.
struct ThreadState
{
    QVector<ThreadCopy> *copies;
    bool ended;
};

} // namespace

static thread_local ThreadState threadState = {};

namespace {

struct ThreadCopiesCleanup
{
    ~ThreadCopiesCleanup()
    {
        delete threadState.copies;
        // A store read later on this thread (from another thread-local object's destructor) is
        // read under its mutex.
        threadState = { nullptr, true };
    }
};

} // namespace

// A copy with data of its own, so that reads on different threads never count references to the
// same string. A null string or byte array stays null; it has no data to share.
static QVariant ownCopy(const QVariant &value)
{
    if (value.userType() == QMetaType::QString) {
        const QString *text = static_cast<const QString *>(value.constData());
        if (!text->isNull())
            return QString(text->constData(), text->size());
    } else if (value.userType() == QMetaType::QByteArray) {
        const QByteArray *bytes = static_cast<const QByteArray *>(value.constData());
        if (!bytes->isNull())
            return QByteArray(bytes->constData(), bytes->size());
    }
    return value;
}

ProfilePrivate::ProfilePrivate()
    : m_generation(nextGeneration()), m_lifetime(QSharedPointer<int>::create())
{
}

// Under m_mutex, after every change of m_values.
void ProfilePrivate::advance()
{
    m_generation.storeRelease(nextGeneration());
}

// This thread's copy of the current state; nullptr once the thread's storage is gone.
inline const QHash<QString, QVariant> *ProfilePrivate::threadValues() const
{
    const quint64 generation = m_generation.loadAcquire();
    if (const QVector<ThreadCopy> *copies = threadState.copies) {
        for (const ThreadCopy &copy : *copies) {
            if (copy.generation == generation)
                return &copy.values;
        }
    }
    return refreshThreadValues();
}

// The first read of the store on this thread, or the first since a write.
Q_NEVER_INLINE const QHash<QString, QVariant> *ProfilePrivate::refreshThreadValues() const
{
    ThreadState &state = threadState;
    if (state.ended)
        return nullptr;
    if (!state.copies) {
        static thread_local ThreadCopiesCleanup cleanup;
        Q_UNUSED(cleanup);
        state.copies = new QVector<ThreadCopy>;
    }
    QVector<ThreadCopy> &copies = *state.copies;
    // This store's earlier copy goes, and so do the copies of stores that are gone (a store made
    // since at the same address has another lifetime).
    copies.erase(std::remove_if(copies.begin(), copies.end(),
                                [this](const ThreadCopy &copy) {
                                    return copy.lifetime.isNull() || copy.store == this;
                                }),
                 copies.end());

    ThreadCopy copy = { this, m_lifetime, 0, QHash<QString, QVariant>() };
    {
        QMutexLocker locker(&m_mutex);
        copy.generation = m_generation.loadRelaxed();
        copy.values.reserve(m_values.size());
        for (auto it = m_values.cbegin(); it != m_values.cend(); ++it)
            copy.values.insert(it.key(), ownCopy(it.value()));
    }
    copies.append(std::move(copy));
    return &copies.constLast().values;
}

QVariant ProfilePrivate::value(const QString &key, const QVariant &defaultValue)
{
    if (const QHash<QString, QVariant> *values = threadValues()) {
        const auto it = values->constFind(key);
        if (Q_LIKELY(it != values->cend()))
            return it->isValid() ? *it : defaultValue;
    }
    // Not in this thread's copy: remember that the key was asked for. Another thread may have
    // entered it meanwhile.
    QMutexLocker locker(&m_mutex);
    const auto it = m_values.constFind(key);
    if (it != m_values.cend())
        return it->isValid() ? *it : defaultValue;
    m_values.insert(key, QVariant());
    advance();
    return defaultValue;
}

QStringList ProfilePrivate::keys()
{
    QMutexLocker locker(&m_mutex);
    return m_values.keys();
}

void ProfilePrivate::load(const QString &key, const QVariant &value)
{
    m_values.insert(key, value);
}

void ProfilePrivate::insert(const QString &key, const QVariant &value)
{
    QMutexLocker locker(&m_mutex);
    m_values.insert(key, value);
    advance();
}

void ProfilePrivate::remove(const QString &key)
{
    QMutexLocker locker(&m_mutex);
    if (m_values.remove(key))
        advance();
}

Profile::Profile(QObject *parent)
    : QObject(parent), d(nullptr)
{
    init(QStringLiteral("profile.db"));
}

Profile::Profile(const QString &fileName, QObject *parent)
    : QObject(parent), d(nullptr)
{
    init(fileName);
}

Profile::~Profile()
{
    // The connections stay registered: handles given out earlier must remain usable.
    delete d;
}

Profile &Profile::instance()
{
    static Profile profile;
    return profile;
}

static void warn(const QString &text)
{
    warning(text, QMessageBox::Ok, QMessageBox::NoButton);
}

void Profile::init(const QString &fileName)
{
    d = new ProfilePrivate;

    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"),
                                                QLatin1String(profileConnection));
    db.setDatabaseName(fileName);
    if (!db.open())
        warn(tr("无法加载配置文件 %1\n%2").arg(fileName, db.lastError().text()));
    if (db.tables(QSql::Tables).isEmpty())
        warn(tr("错误的配置文件 %1").arg(fileName));

    // The object is not shared yet, so loading takes no lock. A later row of the same name
    // replaces an earlier one.
    QSqlQuery query(db);
    if (query.exec(QStringLiteral("select name, value from profile"))) {
        while (query.next())
            d->load(query.value(0).toString(), query.value(1));
    }

    static const char *const otherConnections[] = { "data.db", "qc.db", "syslog.db" };
    for (const char *name : otherConnections) {
        const QString connection = QLatin1String(name);
        QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        other.setDatabaseName(connection);
        if (!other.open())
            warn(tr("无法打开数据库文件 %1").arg(connection));
        if (other.tables(QSql::Tables).isEmpty())
            warn(tr("错误的数据库文件 %1").arg(connection));
    }

    connect(this, SIGNAL(valueChanged(QString,QVariant)), this, SLOT(saveValue(QString,QVariant)),
            Qt::AutoConnection);
    connect(this, SIGNAL(keyRemoved(QString)), this, SLOT(removeKey(QString)), Qt::AutoConnection);
}

QSqlDatabase Profile::database() const
{
    return QSqlDatabase::database(QLatin1String(profileConnection), true);
}

QSqlDatabase Profile::qcDatabase() const
{
    return QSqlDatabase::database(QStringLiteral("qc.db"), true);
}

QSqlDatabase Profile::dataDatabase() const
{
    return QSqlDatabase::database(QStringLiteral("data.db"), true);
}

QSqlDatabase Profile::syslogDatabase() const
{
    return QSqlDatabase::database(QStringLiteral("syslog.db"), true);
}

QVariant Profile::value(const QString &key, const QVariant &defaultValue)
{
    return d->value(key, defaultValue);
}

QVariant Profile::value2(const QString &key, const QString &fallbackKey,
                         const QVariant &defaultValue)
{
    const QVariant v = value(key, QVariant());
    if (v.isValid())
        return v;
    return value(fallbackKey, defaultValue);
}

void Profile::setValue(const QString &key, const QVariant &value, bool save)
{
    d->insert(key, value);
    // Emitted outside the lock: a directly connected slot may call back into the store.
    if (save)
        emit valueChanged(key, value);
}

void Profile::remove(const QString &key)
{
    d->remove(key);
    emit keyRemoved(key);
}

QStringList Profile::keys() const
{
    return d->keys();
}

// The form in which a value is written to the table: strings, integers, reals and byte arrays as
// they are, a colour as "#rrggbb", a truth value as "true"/"false", anything else as its text.
static QVariant profileStorageValue(const QVariant &value)
{
    if (value.isNull())
        return value;
    switch (value.userType()) {
    case QMetaType::QString:
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::Double:
    case QMetaType::QByteArray:
        return value;
    case QMetaType::Bool:
        return QString(value.toBool() ? QStringLiteral("true") : QStringLiteral("false"));
    case QMetaType::QColor:
        // Always without alpha: Qt 5 would otherwise write "#aarrggbb".
        return qvariant_cast<QColor>(value).name();
    default:
        return value.toString();
    }
}

void Profile::saveValue(const QString &key, const QVariant &value)
{
    QSqlQuery query(QSqlDatabase::database(QLatin1String(profileConnection), true));
    if (value.isValid()) {
        query.prepare(QStringLiteral("insert or replace into profile (name, value) values(?,?)"));
        query.addBindValue(QVariant(key), QSql::In);
        query.addBindValue(profileStorageValue(value), QSql::In);
    } else {
        query.prepare(QStringLiteral("delete from profile where name = ?"));
        query.addBindValue(QVariant(key), QSql::In);
    }
    query.exec();
}

void Profile::removeKey(const QString &key)
{
    QSqlQuery query(QSqlDatabase::database(QLatin1String(profileConnection), true));
    query.prepare(QStringLiteral("delete from profile where name = ?"));
    query.addBindValue(QVariant(key), QSql::In);
    query.exec();
}
