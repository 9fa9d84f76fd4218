#include "panels/BLLoadLinks.h"

BLLoadHost* blLoadHost = nullptr;
