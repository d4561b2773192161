// The layout netlist format program.
#pragma once
