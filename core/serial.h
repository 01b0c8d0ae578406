#ifndef SERIAL_H
#define SERIAL_H

#include "core_global.h"

#endif // SERIAL_H
