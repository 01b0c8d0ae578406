#include "updateqc.h"
