// The one rule for the design's bytes in a netlist: a control byte (below
// 32, or 127) is written as ControlReplacement, so that no text of the
// design can end or break a netlist line. Only the tabs and line feeds that
// a combine template's own escapes put into a text it composed are kept.
#pragma once

#include <cstddef>

constexpr char ControlReplacement = '?';

// Whether byte C of a text is written as ControlReplacement. COMPOSED: the
// text was composed by a template, whose own tabs and line feeds stay (the
// design's bytes in it were replaced as it was composed).
inline bool IsReplacedByte(char c, bool composed) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7F) return false;
    return !(composed && (c == '\t' || c == '\n'));
}

// Copies SIZE bytes of FROM to TO, each byte the rule replaces written as
// ControlReplacement; gives how many were replaced. Inline, as the rule
// is: every byte that a line of the netlist takes from the design goes
// through it.
inline std::size_t CopyReplacingControls(char* to, const char* from, std::size_t size, bool composed) {
    std::size_t replaced = 0;
    for (std::size_t i = 0; i < size; i++) {
        char c = from[i];
        if (IsReplacedByte(c, composed)) {
            c = ControlReplacement;
            replaced++;
        }
        to[i] = c;
    }
    return replaced;
}
