// Test hook of the heap: an allocation that fails.
#pragma once

// The COUNTDOWN-th allocation from now (0 = the next one) and only
// that one fails; -1 turns failures off. Gives how many allocations were made
// since the hook was last set, so a test can sweep every allocation of a run.
long SetAllocationFailure(long countdown);
long AllocationsMade();
// Blocks taken by AllocateBlock and not yet released: the system's blocks
// are outside what leak checkers of the heap see, so the tests count them.
long BlocksHeld();
// Blocks of the heap taken and not yet released: a leak shows in every
// build, not only under a leak checker.
long HeapBlocksHeld();
