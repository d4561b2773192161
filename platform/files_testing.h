// Test hook of the text files: a write that fails as on a full disk.
#pragma once

// The COUNTDOWN-th write
// operation from now (0 = the next one) and only that one fails as on a full
// disk; -1 turns failures off. A write operation is each hand-over of
// written bytes to the system and each flush and close of a written file.
// Gives how many were made since the hook was last set.
long SetWriteFailure(long countdown);
long WritesMade();
