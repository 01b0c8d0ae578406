#include "propertyitemmodel.h"
