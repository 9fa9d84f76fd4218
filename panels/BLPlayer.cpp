#include "panels/BLPlayer.h"

BLPlayer* blPlayer = nullptr;
