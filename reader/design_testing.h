// What of the design's storage only the tests read: the pipetext words,
// which nothing in a run reads.
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
