// The network panel, made for the start-up table: it steers the program's
// link and Ableton Link, which the groove controller owns.
#pragma once

class PWPanelClass;

PWPanelClass* BL_NewNetPanel();
