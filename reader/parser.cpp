// Placeholder until the section parsers land.
#include "reader/parser.h"

int ReadIntermediateFile(TextFile*) { return 0; }
