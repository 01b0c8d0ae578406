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
#include <QtCore/qmutex.h>
#include <QtCore/qsharedpointer.h>

// The cache of a store: key to value. A key that was asked for and not found holds an invalid
// QVariant.
//
// Writers change the hash under the mutex. Each thread that reads keeps a copy of its own, with
// strings and byte arrays that no other thread shares, and uses it as long as the store's
// generation is the one the copy was taken at; reads therefore take no lock and write nothing
// that another thread reads. Every write advances the generation, from a counter that all
// stores share, so that a generation names one state of one store only: a copy cannot be taken
// for a store made later at the same address.
class ProfilePrivate
{
public:
    ProfilePrivate();

    QVariant value(const QString &key, const QVariant &defaultValue);
    QStringList keys();

    void insert(const QString &key, const QVariant &value);
    void remove(const QString &key);

    // At construction, before the object is shared: no lock, and no other generation is needed.
    void load(const QString &key, const QVariant &value);

private:
    Q_DISABLE_COPY(ProfilePrivate)

    inline const QHash<QString, QVariant> *threadValues() const;
    const QHash<QString, QVariant> *refreshThreadValues() const;
    void advance();

    mutable QMutex m_mutex; // guards m_values, and orders the writes of m_generation
    QHash<QString, QVariant> m_values;
    QAtomicInteger<quint64> m_generation;
    // Never dereferenced. Threads hold weak references to it, which expire with the store, so
    // that they let go of their copies of stores that are gone.
    const QSharedPointer<int> m_lifetime;
};

#endif // PROFILE_P_H
