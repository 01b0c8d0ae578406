#ifndef CORE_H
#define CORE_H

#include "core_global.h"

// Marks the library; it has no state and no behaviour of its own.
class CORE_EXPORT Core
{
public:
    Core();
    Core(const Core &other);
    ~Core();
    Core &operator=(const Core &other);
};

#endif // CORE_H
