#include "updateprofile.h"
