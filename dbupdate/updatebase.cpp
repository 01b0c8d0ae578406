#include "updatebase.h"
