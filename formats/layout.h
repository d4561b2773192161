// The layout netlist format program: the hooks that write the layout tool's
// ASCII netlist, with its repairs of references and net names and the
// warnings about them.
#pragma once

#include "runtime/driver.h"

// References are written in a column this wide and cut to it.
constexpr int ReferenceWidth = 6;
// The longest net name written as it stands; longer ones become X and the
// net number.
constexpr int NetNameLimit = 47;
// Pin items on one line of a net block.
constexpr int PinItemsPerLine = 8;
// Net numbers are written with this many digits.
constexpr int NetNumberWidth = 5;
// Every character allowed in a reference or net name.
constexpr char LegalNameCharacters[] =
    "~!#$%_-=+|/.:;<>0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
static_assert(sizeof LegalNameCharacters - 1 == 78, "the legal set holds 78 characters");

// The program's six hooks, which the generation driver calls.
extern const FormatProgram LayoutProgram;

// Frees what the program keeps during a run (the names it has written);
// part of the release of every run.
void ReleaseLayout();
