// Placeholder until the generation driver lands.
#include "runtime/driver.h"

Net CurrentNet = {};
NetPin CurrentNetPin = {};
PartInstance CurrentPart = {};

int RunFormatProgram() { return 2; }
void ReleaseDriver() {}
