#include "tavoglobal.h"
