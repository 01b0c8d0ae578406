#ifndef CORE_H
#define CORE_H

#include "core_global.h"

//! \file core.h
//! The library's mark.

//! Marks the library; it has no state and no behaviour of its own.
class CORE_EXPORT Core
{
public:
    Core(); //!< Makes the mark.
    Core(const Core &other); //!< Copies the mark.
    ~Core(); //!< Destroys the mark.
    Core &operator=(const Core &other); //!< Assigns the mark.
};

#endif // CORE_H
