// The generation driver: walks the design tables and calls the format
// program's hooks, with the current net, connection and part installed.
#pragma once

#include "reader/design.h"

extern Net CurrentNet;
extern NetPin CurrentNetPin;
extern PartInstance CurrentPart;

// Runs the format program over the design; 0 no warning, 1 warnings,
// 2 errors, from the first character of ExitType. Needs at least one net.
int RunFormatProgram();
// Frees what the driver allocated for the run.
void ReleaseDriver();
