#include "serial_p.h"
