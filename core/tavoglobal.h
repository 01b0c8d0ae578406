#ifndef TAVOGLOBAL_H
#define TAVOGLOBAL_H

#include "core_global.h"

#endif // TAVOGLOBAL_H
