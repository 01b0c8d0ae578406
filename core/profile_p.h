#ifndef PROFILE_P_H
#define PROFILE_P_H

//
//  W A R N I N G
//  -------------
//
// This file is not part of the Core API. It may change from version to version without notice.
//

#include "profile.h"

#include <QtCore/qhash.h>
#include <QtCore/qreadwritelock.h>

class ProfilePrivate
{
public:
    // Key to value. A key that was asked for and not found holds an invalid QVariant.
    QHash<QString, QVariant> cache;
    mutable QReadWriteLock lock;
};

// The form in which a value is written to a settings table: strings, integers, reals and byte
// arrays as they are, a colour as "#rrggbb", a truth value as "true"/"false", anything else as
// its text. Every write of a setting goes through here so that stored files keep one form.
QVariant profileStorageValue(const QVariant &value);

#endif // PROFILE_P_H
