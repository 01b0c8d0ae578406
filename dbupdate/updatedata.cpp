#include "updatedata.h"
