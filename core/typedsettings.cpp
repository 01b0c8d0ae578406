#include "profile_p.h"
