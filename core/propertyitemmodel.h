#ifndef PROPERTYITEMMODEL_H
#define PROPERTYITEMMODEL_H

#include "core_global.h"

#endif // PROPERTYITEMMODEL_H
