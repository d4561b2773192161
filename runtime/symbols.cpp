// Placeholder until the format runtime lands.
#include "runtime/symbols.h"

void ReleaseSymbols() {}
