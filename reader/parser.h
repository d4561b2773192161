// The section parsers: read a whole intermediate file into the design tables.
#pragma once

struct TextFile;

// Starts the tables afresh and reads FILE to its end; 1 when the whole file
// was read, 0 at the first fault (reported with its own message, if any).
// The file is neither rewound nor closed.
int ReadIntermediateFile(TextFile* file);
