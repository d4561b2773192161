// Test hook of the reader's indexes.
#pragma once

// When indexes are made, for the tests and the benchmark that
// compare the indexes with the plain algorithms. Plain runs only the plain
// algorithms; Long, the load-time mode that every run uses unless a test
// says otherwise, indexes tables and lists that scans found long; Always
// indexes every table and list from its first entry. Gives the mode it
// replaces.
constexpr int IndexPlain = 0;
constexpr int IndexLong = 1;
constexpr int IndexAlways = 2;
int SetIndexMode(int mode);
