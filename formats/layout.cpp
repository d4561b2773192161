// Placeholder until the layout netlist format program lands.
#include "formats/layout.h"
