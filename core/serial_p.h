#ifndef SERIAL_P_H
#define SERIAL_P_H

#include "serial.h"

#endif // SERIAL_P_H
