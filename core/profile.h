#ifndef PROFILE_H
#define PROFILE_H

#include "core_global.h"

#endif // PROFILE_H
