// What of the design's storage only the tests read: the pipetext words,
// which nothing in a run reads, and how this build carves.
#pragma once

#include <cstddef>

struct PipeTextBlock;

// A place in the pipetext words; start at {PipeTextList, 0}.
struct PipeTextCursor {
    const PipeTextBlock* block;
    std::size_t at;  // offset of the next word in BLOCK
};

// The word at CURSOR, which moves past it; null after the last.
const char* NextPipeText(PipeTextCursor* cursor);

// Whether this build takes each carving from the heap on its own
// (ZEDID_CARVE_APART), rather than in order from an arena's blocks.
#if defined(ZEDID_CARVE_APART)
constexpr bool CarvingsStandApart = true;
#else
constexpr bool CarvingsStandApart = false;
#endif
