#ifndef PROFILE_P_H
#define PROFILE_P_H

#include "profile.h"

#endif // PROFILE_P_H
