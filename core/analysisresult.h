#ifndef ANALYSISRESULT_H
#define ANALYSISRESULT_H

#include "core_global.h"

#endif // ANALYSISRESULT_H
