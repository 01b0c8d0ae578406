#ifndef PROPERTYITEM_H
#define PROPERTYITEM_H

#include "core_global.h"

#endif // PROPERTYITEM_H
