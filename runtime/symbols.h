// The format runtime's values: 41 read-only built-in variables (0 to 40)
// and up to 40 named user symbols (100 to 139), with the text operations a
// format program uses on them.
#pragma once

#include <cstdint>

constexpr int ExitTypeSymbol = 100;
constexpr int LocalSignalSymbol = 101;

// Frees every symbol value and the registered names; the table returns to
// its two preset symbols with empty values.
void ReleaseSymbols();
