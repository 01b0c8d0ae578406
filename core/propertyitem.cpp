#include "propertyitem.h"
