#include "profile_p.h"
#include "tavoglobal.h"

#include <QtCore/qalgorithms.h>
#include <QtCore/qvarlengtharray.h>
#include <QtSql/qsqlerror.h>
#include <QtSql/qsqlquery.h>

#include <cstring>

static const char profileConnection[] = "profile.db";

// Reads take no lock that readers share and write nothing that another reader uses. Each thread
// that reads a store keeps its own copy of the snapshot of the cache it last saw, in a slot of
// its own, and the thread's state points at the copy of the store it read last. A read compares
// that copy's snapshot with the store's current one, which every write replaces or republishes,
// and answers from the copy when they are the same; otherwise it first takes the current
// snapshot under the read lock and copies it. A write, under the write lock, changes the current
// snapshot in place while no thread's copy holds it, and otherwise replaces it with a changed
// copy, leaving the old one to the threads that still hold it.

static inline quint64 readWord(const uchar *p)
{
    quint64 word;
    std::memcpy(&word, p, sizeof word);
    return word;
}

static inline quint32 readHalfWord(const uchar *p)
{
    quint32 word;
    std::memcpy(&word, p, sizeof word);
    return word;
}

static inline quint64 rotate(quint64 word, int bits)
{
    return word << bits | word >> (64 - bits);
}

// Two keys of 16 bytes (8 characters) or more are compared in four 16-byte pieces: the first,
// the last, and two between them that overlap the others as far as needed. Up to 64 bytes they
// cover the whole key, so that comparing settings keys takes no loop, and the branches on the
// length go the same way for nearly every key: a mispredicted branch costs as much as the rest
// of the lookup.
struct KeyPieces
{
    Q_ALWAYS_INLINE explicit KeyPieces(size_t length)
        : middle1(length < 32 ? length - 16 : 16),
          middle2(length > 32 ? length - 32 : 0),
          last(length - 16)
    {
    }
    const size_t middle1;
    const size_t middle2;
    const size_t last;
};

// A key shorter than 16 bytes, as two words: overlapping ones from 8 bytes on, overlapping
// halves of the first from 4.
static inline void readShort(const uchar *p, size_t length, quint64 *first, quint64 *second)
{
    if (length >= 8) {
        *first = readWord(p);
        *second = readWord(p + length - 8);
    } else if (length >= 4) {
        *first = readHalfWord(p) | quint64(readHalfWord(p + length - 4)) << 32;
        *second = 0;
    } else {
        *first = length ? quint64(p[0]) | quint64(p[1]) << 8 : 0;
        *second = 0;
    }
}

// Only picks an entry, the keys themselves are compared after it, so it is short: a read waits
// for it. The words are folded with rotations, so that words that coincide in a short key do not
// cancel, and mixed by one multiplication, whose high bits pick the entry.
static Q_ALWAYS_INLINE uint keyHash(const QChar *key, int size)
{
    const uchar *p = reinterpret_cast<const uchar *>(key);
    const size_t length = size_t(size) * sizeof(QChar);
    quint64 x;
    if (Q_LIKELY(length >= 16)) {
        // The first and the last 16 bytes: enough to tell settings keys apart.
        x = (readWord(p) ^ rotate(readWord(p + 8), 13))
                ^ (rotate(readWord(p + length - 16), 29)
                   ^ (rotate(readWord(p + length - 8), 43) + length));
    } else {
        quint64 first, second;
        readShort(p, length, &first, &second);
        x = first ^ (rotate(second, 13) + length);
    }
    return uint((x * Q_UINT64_C(0x9e3779b97f4a7c15)) >> 32);
}

static inline quint64 pieceDifference(const uchar *p, const uchar *q, size_t offset)
{
    return (readWord(p + offset) ^ readWord(q + offset))
            | (readWord(p + offset + 8) ^ readWord(q + offset + 8));
}

// Two keys of the same size. Inline: the keys are short, and a call into the C library costs
// as much as the comparison.
static Q_ALWAYS_INLINE bool sameKey(const QChar *key1, const QChar *key2, int size)
{
    const uchar *p = reinterpret_cast<const uchar *>(key1);
    const uchar *q = reinterpret_cast<const uchar *>(key2);
    const size_t length = size_t(size) * sizeof(QChar);
    if (Q_UNLIKELY(length < 16)) {
        quint64 p1, p2, q1, q2;
        readShort(p, length, &p1, &p2);
        readShort(q, length, &q1, &q2);
        return ((p1 ^ q1) | (p2 ^ q2)) == 0;
    }
    const KeyPieces k(length);
    if (pieceDifference(p, q, 0) | pieceDifference(p, q, k.middle1)
        | pieceDifference(p, q, k.middle2) | pieceDifference(p, q, k.last))
        return false;
    // Beyond 64 bytes the pieces leave a middle part out.
    for (size_t i = 32; Q_UNLIKELY(i + 32 < length); i += 8) {
        if (readWord(p + i) != readWord(q + i))
            return false;
    }
    return true;
}

// The string that value holds, or nullptr when it holds another type or a null string.
static inline const QString *nonNullText(const QVariant &value)
{
    if (value.userType() != QMetaType::QString)
        return nullptr;
    const QString *text = static_cast<const QString *>(value.constData());
    return text->isNull() ? nullptr : text;
}

Q_ALWAYS_INLINE const ProfileIndex::Entry *ProfileIndex::find(const QString &key) const
{
    const int size = key.size();
    const uint h = keyHash(key.constData(), size);
    const Entry *entries = m_entries.data();
    for (uint i = h >> m_shift;; i = (i + 1) & m_mask) {
        const Entry &entry = entries[i];
        if (!entry.value)
            return nullptr;
        if (entry.hash == h && entry.size == size && sameKey(entry.key, key.constData(), size))
            return &entry;
    }
}

void ProfileIndex::rebuild(const QHash<QString, QVariant> &values)
{
    uint capacity = 8;
    while (uint(values.size()) * 2 + 2 > capacity)
        capacity *= 2;
    m_entries.reset(new Entry[capacity]());
    m_mask = capacity - 1;
    m_shift = 32 - qCountTrailingZeroBits(capacity);
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        add(it.key(), &it.value());
}

void ProfileIndex::add(const QString &key, const QVariant *value)
{
    const uint h = keyHash(key.constData(), key.size());
    uint i = h >> m_shift;
    while (m_entries[i].value)
        i = (i + 1) & m_mask;
    m_entries[i] = { h, int(key.size()), key.constData(), value, nullptr };
}

template<typename Function>
void ProfileIndex::copyFrom(const ProfileIndex &other, Function valueOf)
{
    const uint capacity = other.m_mask + 1;
    m_entries.reset(new Entry[capacity]());
    m_mask = other.m_mask;
    m_shift = other.m_shift;
    for (uint i = 0; i < capacity; ++i) {
        Entry &entry = m_entries[i];
        entry = other.m_entries[i];
        if (entry.value) {
            entry.value = valueOf(entry.value);
            entry.text = nonNullText(*entry.value);
        }
    }
}

ProfileSnapshot::ProfileSnapshot(const QHash<QString, QVariant> &values)
    : ref(1), m_values(values)
{
    // Nodes of its own: the index points into them, and a later change in place must not
    // detach the hash from under it.
    m_values.detach();
    m_index.rebuild(m_values);
}

void ProfileSnapshot::insert(const QString &key, const QVariant &value)
{
    // A key that is already there keeps its node, and the index its entry. A new key may move
    // the others (Qt 6's QHash moves its entries when it grows): the index is built again.
    const int count = m_values.size();
    m_values.insert(key, value);
    if (m_values.size() != count)
        m_index.rebuild(m_values);
}

void ProfileSnapshot::remove(const QString &key)
{
    if (m_values.remove(key))
        m_index.rebuild(m_values);
}

// A copy whose text data no other thread shares. A null string stays null (it shares Qt's one
// null string, whose count nobody writes).
static QVariant ownCopy(const QVariant &value)
{
    if (const QString *text = nonNullText(value))
        return QVariant(QString(text->unicode(), text->size()));
    if (value.userType() == QMetaType::QByteArray) {
        const QByteArray *bytes = static_cast<const QByteArray *>(value.constData());
        if (!bytes->isNull())
            return QVariant(QByteArray(bytes->constData(), bytes->size()));
    }
    return value;
}

ProfileThreadCopy::ProfileThreadCopy(ProfileSnapshot *snapshot)
    : snapshot(snapshot)
{
    // Reserved, so that the index can point into the vector.
    m_values.reserve(snapshot->values().size());
    index.copyFrom(snapshot->index(), [this](const QVariant *value) {
        m_values.append(ownCopy(*value));
        return &m_values.constLast();
    });
}

Q_ALWAYS_INLINE const ProfileIndex::Entry *ProfileThreadCopy::find(const QString &key) const
{
    const QChar *characters = key.constData();
    const int size = key.size();
    Recent &recent = m_recent[quint64(quintptr(characters)) * Q_UINT64_C(0x9e3779b97f4a7c15)
                              >> (64 - RecentBits)];
    // Another string may since have taken the place of the one remembered. (A place not yet
    // used holds null, which a string with no characters may have too.)
    if (recent.characters == characters && recent.entry && recent.entry->size == size
        && sameKey(recent.entry->key, characters, size))
        return recent.entry;
    const ProfileIndex::Entry *entry = index.find(key);
    if (entry)
        recent = { characters, entry };
    return entry;
}

ProfileThreadCopy::~ProfileThreadCopy()
{
    if (!snapshot->ref.deref())
        delete snapshot;
}

namespace {

// The calling thread's slots, one per store it has read.
struct ThreadSlots
{
    struct Entry
    {
        quint64 store;
        ProfileThreadSlot *slot;
    };
    QVarLengthArray<Entry, 4> entries;
};

// Plain data, so that a read reaches it without an initialisation guard; the slot of the store
// read last and its copy are at hand. ThreadSlotsCleanup frees the slots when the thread ends.
struct ThreadState
{
    quint64 lastStore;
    ProfileThreadSlot *lastSlot;
    const ProfileThreadCopy *lastCopy; // lastSlot's, which only this thread replaces
    ThreadSlots *own;
    bool ended;
};

} // namespace

#if defined(Q_CC_GNU) && defined(Q_OF_ELF)
// The library is linked, not loaded late: these few bytes fit the static block, and a read then
// reaches them without a call.
static thread_local ThreadState threadState __attribute__((tls_model("initial-exec"))) = {};
#else
static thread_local ThreadState threadState = {};
#endif

static void dropCopy(ProfileThreadSlot *slot)
{
    delete slot->copy.fetchAndStoreOrdered(nullptr);
}

// Lets go of one of the slot's two holders, and of its copy.
static void releaseSlot(ProfileThreadSlot *slot)
{
    dropCopy(slot);
    if (!slot->ref.deref())
        delete slot;
}

namespace {

struct ThreadSlotsCleanup
{
    ~ThreadSlotsCleanup()
    {
        ThreadState &state = threadState;
        ThreadSlots *own = state.own;
        // A store used later on this thread (from another thread-local object's destructor)
        // is read under its lock.
        state = ThreadState();
        state.ended = true;
        if (!own)
            return;
        for (const ThreadSlots::Entry &entry : qAsConst(own->entries))
            releaseSlot(entry.slot);
        delete own;
    }
};

} // namespace

static quint64 nextStoreId()
{
    static QBasicAtomicInteger<quint64> lastId = Q_BASIC_ATOMIC_INITIALIZER(0);
    return lastId.fetchAndAddRelaxed(1) + 1;
}

ProfilePrivate::ProfilePrivate()
    : m_id(nextStoreId()),
      m_current(new ProfileSnapshot(QHash<QString, QVariant>())),
      m_slots(nullptr)
{
}

ProfilePrivate::~ProfilePrivate()
{
    // No thread uses the store any more. Threads that are still running keep their slots until
    // they end or read another store, but the copies go now.
    ProfileThreadSlot *slot = m_slots.loadAcquire();
    while (slot) {
        ProfileThreadSlot *next = slot->next;
        releaseSlot(slot);
        slot = next;
    }
    ProfileSnapshot *current = m_current.loadAcquire();
    if (!current->ref.deref())
        delete current;
}

void ProfilePrivate::setInitialValues(const QHash<QString, QVariant> &values)
{
    delete m_current.fetchAndStoreRelease(new ProfileSnapshot(values));
}

inline ProfileThreadSlot *ProfilePrivate::threadSlot(bool create)
{
    const ThreadState &state = threadState;
    if (Q_LIKELY(state.lastStore == m_id))
        return state.lastSlot;
    return findThreadSlot(create);
}

// Another store than last time, or the first read of this one on this thread. Returns nullptr
// once the thread's storage is gone.
Q_NEVER_INLINE ProfileThreadSlot *ProfilePrivate::findThreadSlot(bool create)
{
    ThreadState &state = threadState;
    if (state.own) {
        for (const ThreadSlots::Entry &entry : qAsConst(state.own->entries)) {
            if (entry.store == m_id) {
                state.lastStore = m_id;
                state.lastSlot = entry.slot;
                state.lastCopy = entry.slot->copy.loadRelaxed();
                return entry.slot;
            }
        }
    }
    if (!create || state.ended)
        return nullptr;

    if (!state.own) {
        static thread_local ThreadSlotsCleanup cleanup;
        Q_UNUSED(cleanup);
        state.own = new ThreadSlots;
    } else {
        // Forget stores that are gone: this thread is the last holder of their slots.
        QVarLengthArray<ThreadSlots::Entry, 4> &entries = state.own->entries;
        for (int i = entries.size() - 1; i >= 0; --i) {
            ProfileThreadSlot *slot = entries.at(i).slot;
            if (slot->ref.loadAcquire() == 1) {
                if (state.lastSlot == slot)
                    state.lastStore = 0; // no store has id 0
                releaseSlot(slot);
                entries.remove(i);
            }
        }
    }

    // Take over the slot of a thread that has ended, so that the list stays as long as the
    // largest number of threads that have read the store at one time.
    ProfileThreadSlot *slot = nullptr;
    for (ProfileThreadSlot *s = m_slots.loadAcquire(); s; s = s->next) {
        if (s->ref.testAndSetAcquire(1, 2)) {
            slot = s;
            break;
        }
    }
    if (!slot) {
        slot = new ProfileThreadSlot;
        ProfileThreadSlot *head = m_slots.loadRelaxed();
        do {
            slot->next = head;
        } while (!m_slots.testAndSetRelease(head, slot, head));
    }
    state.own->entries.append({ m_id, slot });
    state.lastStore = m_id;
    state.lastSlot = slot;
    state.lastCopy = nullptr;
    return slot;
}

Q_NEVER_INLINE ProfileThreadCopy *ProfilePrivate::refresh(ProfileThreadSlot *slot)
{
    ProfileSnapshot *current;
    {
        QReadLocker locker(&m_lock);
        current = m_current.loadAcquire();
        current->ref.ref();
    }
    // A snapshot never changes while a reference is held: copying needs no lock.
    ProfileThreadCopy *copy = new ProfileThreadCopy(current);
    delete slot->copy.fetchAndStoreOrdered(copy);
    threadState.lastCopy = copy;
    return copy;
}

// The read path when this thread's copy is not at hand: first read of the store on this thread,
// another store read since, or a write since. Returns nullptr once the thread's storage is gone.
Q_NEVER_INLINE const ProfileThreadCopy *ProfilePrivate::upToDateCopy()
{
    ProfileThreadSlot *slot = threadSlot(true);
    if (!slot)
        return nullptr;
    const ProfileThreadCopy *copy = slot->copy.loadRelaxed();
    if (!copy || copy->snapshot != m_current.loadAcquire())
        copy = refresh(slot);
    return copy;
}

inline const ProfileThreadCopy *ProfilePrivate::readyCopy() const
{
    const ThreadState &state = threadState;
    const ProfileThreadCopy *copy = state.lastCopy;
    if (Q_LIKELY(state.lastStore == m_id && copy && copy->snapshot == m_current.loadAcquire()))
        return copy;
    return nullptr;
}

inline ProfilePrivate::Reader::Reader(ProfilePrivate *d)
    : m_pinned(nullptr)
{
    const ProfileThreadCopy *copy = d->readyCopy();
    if (Q_UNLIKELY(!copy))
        copy = d->upToDateCopy();
    if (Q_LIKELY(copy)) {
        m_index = &copy->index;
        m_snapshot = copy->snapshot;
    } else {
        QReadLocker locker(&d->m_lock);
        m_pinned = d->m_current.loadAcquire();
        m_pinned->ref.ref();
        m_index = &m_pinned->index();
        m_snapshot = m_pinned;
    }
}

inline ProfilePrivate::Reader::~Reader()
{
    if (Q_UNLIKELY(m_pinned) && !m_pinned->ref.deref())
        delete m_pinned;
}

// Before a write. This thread's copy is out of date after it anyway; letting go of it first
// spares copying the snapshot when no other thread holds it.
void ProfilePrivate::dropOwnCopy()
{
    if (ProfileThreadSlot *slot = threadSlot(false)) {
        dropCopy(slot);
        threadState.lastCopy = nullptr;
    }
}

// Under the write lock: the snapshot to change. The current one is changed in place while no
// thread holds it.
ProfileSnapshot *ProfilePrivate::beginWrite()
{
    ProfileSnapshot *current = m_current.loadAcquire();
    if (current->ref.loadAcquire() == 1)
        return current;
    return new ProfileSnapshot(current->values());
}

void ProfilePrivate::endWrite(ProfileSnapshot *snapshot)
{
    // Published even when changed in place: the next read on every thread compares with it.
    ProfileSnapshot *old = m_current.fetchAndStoreRelease(snapshot);
    if (old != snapshot && !old->ref.deref())
        delete old;
}

void ProfilePrivate::insert(const QString &key, const QVariant &value)
{
    dropOwnCopy();
    QWriteLocker locker(&m_lock);
    ProfileSnapshot *snapshot = beginWrite();
    snapshot->insert(key, value);
    endWrite(snapshot);
}

void ProfilePrivate::insertPlaceholder(const QString &key)
{
    dropOwnCopy();
    QWriteLocker locker(&m_lock);
    if (m_current.loadAcquire()->index().find(key))
        return;
    ProfileSnapshot *snapshot = beginWrite();
    snapshot->insert(key, QVariant());
    endWrite(snapshot);
}

void ProfilePrivate::remove(const QString &key)
{
    dropOwnCopy();
    QWriteLocker locker(&m_lock);
    if (!m_current.loadAcquire()->index().find(key))
        return;
    ProfileSnapshot *snapshot = beginWrite();
    snapshot->remove(key);
    endWrite(snapshot);
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
        QHash<QString, QVariant> values;
        while (query.next())
            values.insert(query.value(0).toString(), query.value(1));
        d->setInitialValues(values);
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

static inline QVariant storedValue(const ProfileIndex::Entry *entry, const QVariant &defaultValue)
{
    if (entry->text)
        return QVariant(*entry->text);
    return entry->value->isValid() ? *entry->value : defaultValue;
}

QVariant ProfilePrivate::value(const QString &key, const QVariant &defaultValue)
{
    {
        const Reader reader(this);
        if (const ProfileIndex::Entry *entry = reader.index().find(key))
            return storedValue(entry, defaultValue);
    }

    // Remember that the key was asked for; another thread may have entered it meanwhile.
    insertPlaceholder(key);
    return defaultValue;
}

// Only the common case here, so that it costs no more than it must: no reader to set up and
// take down, nothing to save for a slower path.
QVariant Profile::value(const QString &key, const QVariant &defaultValue)
{
    if (const ProfileThreadCopy *copy = d->readyCopy()) {
        if (const ProfileIndex::Entry *entry = copy->find(key))
            return storedValue(entry, defaultValue);
    }
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
    const ProfilePrivate::Reader reader(d);
    return reader.values().keys();
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

QVariant profileStorageValue(const QVariant &value)
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
