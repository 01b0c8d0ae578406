#ifndef PROFILE_P_H
#define PROFILE_P_H

//
//  W A R N I N G
//  -------------
//
// This file is not part of the Core API. It may change from version to version without notice.
//

#include "profile.h"

#include <QtCore/qatomic.h>
#include <QtCore/qhash.h>
#include <QtCore/qreadwritelock.h>
#include <QtCore/qscopedpointer.h>
#include <QtCore/qvector.h>

// An open-addressing index from key to value, with the keys' own hash: QHash's lookup costs
// about as much as everything else a read does. It points into the hash it was built over.
class ProfileIndex
{
public:
    struct Entry
    {
        uint hash;
        int size;
        const QChar *key;
        const QVariant *value; // nullptr: an empty entry
        // In a thread's copy, the value's string when it holds one that is not null: handed out
        // as it is, without the type dispatch of Qt 5's QVariant copy.
        const QString *text;
    };

    // At most half full, so that a probe ends soon at an empty entry.
    void rebuild(const QHash<QString, QVariant> &values);
    // The same entries, each value taken through valueOf, with its text when it is a string.
    template<typename Function>
    void copyFrom(const ProfileIndex &other, Function valueOf);
    inline const Entry *find(const QString &key) const;

private:
    void add(const QString &key, const QVariant *value);

    QScopedArrayPointer<Entry> m_entries;
    uint m_mask = 0;
    int m_shift = 0; // the hash's high bits pick the first entry to look at
};

// One state of the cache: key to value. A key that was asked for and not found holds an invalid
// QVariant. Once a reading thread holds a snapshot it never changes again; a write then makes a
// new one.
class ProfileSnapshot
{
public:
    explicit ProfileSnapshot(const QHash<QString, QVariant> &values);

    const QHash<QString, QVariant> &values() const { return m_values; }
    const ProfileIndex &index() const { return m_index; }

    // Changes in place, for a snapshot that no thread holds.
    void insert(const QString &key, const QVariant &value);
    void remove(const QString &key);

    QAtomicInt ref; // the store's current pointer and every thread's copy of it

private:
    QHash<QString, QVariant> m_values;
    ProfileIndex m_index;
};

// A reading thread's own copy of a snapshot: the values again, strings and byte arrays with data
// of their own, so that reads on different threads never write to the same reference counts.
// The keys stay the snapshot's, which it holds.
class ProfileThreadCopy
{
public:
    explicit ProfileThreadCopy(ProfileSnapshot *snapshot); // takes over a reference
    ~ProfileThreadCopy();

    // The entry of key, or nullptr. Looked up first by where the key's characters lie: a
    // caller that asks again with the same string (a literal, a constant, a list of keys) then
    // finds its entry without hashing the key. The characters are still compared.
    inline const ProfileIndex::Entry *find(const QString &key) const;

    ProfileSnapshot *const snapshot;
    ProfileIndex index;

private:
    Q_DISABLE_COPY(ProfileThreadCopy)
    QVector<QVariant> m_values;

    // Keys asked for lately on this thread, by the address of their characters.
    struct Recent
    {
        const QChar *characters;
        const ProfileIndex::Entry *entry;
    };
    // When 68 keys are read in turn, about 8 of them share a place with another.
    enum { RecentBits = 9, RecentCount = 1 << RecentBits };
    mutable Recent m_recent[RecentCount] = {};
};

// One thread's hold on one store. The thread and the store each keep a reference; whichever lets
// go last deletes it. Both let go of the copy first, so a slot whose thread has ended holds none
// and may be taken over by a new thread.
struct ProfileThreadSlot
{
    QAtomicInt ref = 2;
    QAtomicPointer<ProfileThreadCopy> copy = nullptr;
    ProfileThreadSlot *next = nullptr; // in the store's list; fixed once the slot is listed
};

class ProfilePrivate
{
public:
    ProfilePrivate();
    ~ProfilePrivate();

    // Reads: this thread's copy, brought up to date when a write has replaced the snapshot. The
    // common case touches nothing that another thread writes.
    class Reader
    {
    public:
        explicit Reader(ProfilePrivate *d);
        ~Reader();
        const ProfileIndex &index() const { return *m_index; }
        const QHash<QString, QVariant> &values() const { return m_snapshot->values(); }

    private:
        Q_DISABLE_COPY(Reader)
        const ProfileIndex *m_index;
        const ProfileSnapshot *m_snapshot;
        ProfileSnapshot *m_pinned; // held for this read only: the thread's own storage is gone
    };

    // This thread's copy when it is at hand and up to date, as for nearly every read; otherwise
    // nullptr, and a Reader brings it up to date.
    inline const ProfileThreadCopy *readyCopy() const;
    // Profile::value when readyCopy() does not answer it.
    QVariant value(const QString &key, const QVariant &defaultValue);

    // Writes, each under the write lock. Every write publishes a snapshot, so that every read
    // that begins after it returns sees it.
    void insert(const QString &key, const QVariant &value);
    void insertPlaceholder(const QString &key); // only if the key is still absent
    void remove(const QString &key);

    // At construction, before the object is shared.
    void setInitialValues(const QHash<QString, QVariant> &values);

private:
    ProfileThreadSlot *threadSlot(bool create);
    ProfileThreadSlot *findThreadSlot(bool create);
    ProfileThreadCopy *refresh(ProfileThreadSlot *slot);
    const ProfileThreadCopy *upToDateCopy();
    void dropOwnCopy();
    ProfileSnapshot *beginWrite();
    void endWrite(ProfileSnapshot *snapshot);

    const quint64 m_id; // never reused, unlike the object's address
    QReadWriteLock m_lock; // writers against each other and against refreshing readers
    QAtomicPointer<ProfileSnapshot> m_current;
    QAtomicPointer<ProfileThreadSlot> m_slots; // of every thread that has read, pushed only
};

// The form in which a value is written to a settings table: strings, integers, reals and byte
// arrays as they are, a colour as "#rrggbb", a truth value as "true"/"false", anything else as
// its text. Every write of a setting goes through here so that stored files keep one form.
QVariant profileStorageValue(const QVariant &value);

#endif // PROFILE_P_H
