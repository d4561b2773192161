// The generation driver: walks the design tables and calls the format
// program's hooks, with the current net, connection and part installed.
#pragma once

#include <cstdint>

#include "reader/design.h"

// The six hooks of an output format, called in this order: init, header,
// then per net: net, pin once per connection, netend; last end. Results are
// ignored.
struct FormatProgram {
    int (*init)();
    int (*header)();
    int (*net)();
    int (*pin)();
    int (*netend)();
    int (*end)();
};

// Shallow copies of the records being written; they own nothing. Zeroed
// before anything was made current and after the run's release.
extern Net CurrentNet;
extern NetPin CurrentNetPin;
extern PartInstance CurrentPart;

// Runs the layout netlist format program over the design; 0 no warning,
// 1 warnings, 2 errors, from the first character of ExitType.
int RunFormatProgram();
// Runs PROGRAM the same way: resets the runtime, calls the hooks, maps
// ExitType to the result. A design without nets gets no net hook at all.
int RunFormatProgram(const FormatProgram& program);
// Starts the part walk afresh: the part counter becomes 0; 0.
int ResetPartWalk();
// Makes the next part in reference order current; 1, or 0 once the walk
// has passed the last part (the counter still moves one further).
int NextPart();
// 1-based position of CurrentNet during the net loop; 0 before it.
int32_t CurrentNetNumber();
// Steps the part walk has taken since it was reset.
int32_t CurrentPartCounter();
// The empty text behind built-in variable 20, allocated at run start.
const char* Reserved20Text();
// Frees what the driver allocated for the run and forgets the current
// records, counters included.
void ReleaseDriver();
