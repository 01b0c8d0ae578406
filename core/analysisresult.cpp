#include "analysisresult.h"
