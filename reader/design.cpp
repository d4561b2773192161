// The design's storage: the process-wide tables, header and pipetext, and
// the arenas every record of a design is carved from. Knows no lookups.
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/platform.h"
#include "reader/design.h"
#include "reader/design_testing.h"

DesignTables Design = {};
DesignHeader Header = {
#define ZEDID_HEADER_FIELD(field, variable) EmptyText,
#include "reader/header_fields.def"
#undef ZEDID_HEADER_FIELD
};
PipeTextBlock* PipeTextList = nullptr;

namespace {

struct ArenaBlock {
    ArenaBlock* next;  // the block carved before this one; its bytes follow
    std::size_t size;  // bytes of the block, this header included
};

// Memory carved in order from large blocks and given back all at once: the
// records of a design are many, small and all freed together.
struct ArenaState {
    ArenaBlock* blocks;     // every block, latest first
    char* free;             // the unused rest of the current block
    std::size_t left;       // bytes at FREE
    std::size_t nextblock;  // size of the next block; 0 before the first
};

// The blocks of Arena::Design, then of Arena::Parts.
ArenaState Arenas[2] = {};

// Texts of the design arena that CarveSharedText hands out again.
constexpr std::size_t SharedTextSlots = 64;
const char* SharedTexts[SharedTextSlots] = {};

// The block of the pipetext list that words are added to.
constexpr std::size_t FirstPipeTextBlock = 4 * 1024;
constexpr std::size_t LargestPipeTextBlock = 1024 * 1024;
PipeTextBlock* PipeTextEnd = nullptr;

#if defined(ZEDID_CARVE_APART)
// Every carving of either arena, latest first: the link stands right
// before the carving, whose heap block ends where it ends.
struct Carving {
    Carving* next;
};
Carving* Carvings = nullptr;

void* Carve(ArenaState&, std::size_t size, std::size_t alignment) {
    // The link's place keeps the carving's alignment after it.
    if (alignment < alignof(Carving)) alignment = alignof(Carving);
    std::size_t offset = (sizeof(Carving) + alignment - 1) & ~(alignment - 1);
    if (size > SIZE_MAX - offset) return nullptr;
    Carving* carving = static_cast<Carving*>(AllocateAlignedMemory(offset + size, alignment));
    if (carving == nullptr) return nullptr;
    carving->next = Carvings;
    Carvings = carving;
    return reinterpret_cast<char*>(carving) + offset;
}

void ReleaseCarvings() {
    while (Carvings != nullptr) {
        Carving* next = Carvings->next;
        ReleaseAlignedMemory(Carvings);
        Carvings = next;
    }
}
#else
// The first block of an arena; each next one is twice as large, up to the
// largest. A carving larger than half a block gets a block of its own.
// Sizes include the block's header: the system hands out whole pages.
constexpr std::size_t FirstArenaBlock = 64 * 1024;
constexpr std::size_t LargestArenaBlock = 1024 * 1024;

// Carve's way when the current block has no room: a new block. Out of
// line, so that the way nearly every carving takes saves no registers.
#if defined(__GNUC__)
[[gnu::noinline]]
#endif
void* CarveFromNewBlock(ArenaState& arena, std::size_t size, std::size_t alignment) {
    std::size_t blocksize = arena.nextblock == 0 ? FirstArenaBlock : arena.nextblock;
    bool own = size > (blocksize - sizeof(ArenaBlock)) / 2;
    if (own) {
        if (size > SIZE_MAX - sizeof(ArenaBlock) - alignment) return nullptr;
        blocksize = sizeof(ArenaBlock) + alignment - 1 + size;
    }
    ArenaBlock* block = static_cast<ArenaBlock*>(AllocateBlock(blocksize));
    if (block == nullptr) return nullptr;
    block->next = arena.blocks;
    block->size = blocksize;
    arena.blocks = block;
    // A block starts a page: its header keeps a record's alignment after
    // it, but not a cache line's.
    char* at = reinterpret_cast<char*>(block + 1);
    at += (0 - reinterpret_cast<std::uintptr_t>(at)) & (alignment - 1);
    if (own) return at;
    arena.free = at + size;
    arena.left = blocksize - static_cast<std::size_t>(at - reinterpret_cast<char*>(block)) - size;
    arena.nextblock = blocksize < LargestArenaBlock ? blocksize * 2 : blocksize;
    return at;
}

// SIZE bytes at an address that is a multiple of ALIGNMENT, or null when no
// block can be had. Nearly every carving fits the current block: that way
// is kept short enough to be inlined into every carve.
inline void* Carve(ArenaState& arena, std::size_t size, std::size_t alignment) {
    std::size_t skip = (0 - reinterpret_cast<std::uintptr_t>(arena.free)) & (alignment - 1);
    if (arena.free == nullptr || arena.left < skip || arena.left - skip < size)
        return CarveFromNewBlock(arena, size, alignment);
    char* at = arena.free + skip;
    arena.free = at + size;
    arena.left -= skip + size;
    return at;
}

void ReleaseCarvings() {}
#endif

ArenaState& ArenaOf(Arena arena) { return Arenas[static_cast<int>(arena)]; }

void ReleaseArena(ArenaState& arena) {
    while (arena.blocks != nullptr) {
        ArenaBlock* next = arena.blocks->next;
        ReleaseBlock(arena.blocks, arena.blocks->size);
        arena.blocks = next;
    }
    arena = ArenaState{};
}

void ReleaseHeaderText(const char*& field) {
    FreeText(field);
    field = EmptyText;
}

}  // namespace

int32_t PinNumberValue(const char* number) {
    if (number[0] == '\0') return -1;
    int32_t value = 0;
    for (const char* c = number; *c != '\0'; c++) {
        if (*c < '0' || *c > '9') return -1;
        int digit = *c - '0';
        // A number no int32 can hold is treated as a text pin.
        if (value > (INT32_MAX - digit) / 10) return -1;
        value = value * 10 + digit;
    }
    return value;
}

int CompareReferences(const char* a, const char* b) {
    // strcmp compares as unsigned bytes, and a prefix sorts first.
    return std::strcmp(a, b);
}

void* CarveRecord(Arena arena, std::size_t size, Fill fill, std::size_t alignment) {
    void* memory = Carve(ArenaOf(arena), size, alignment);
#if defined(ZEDID_CARVE_APART)
    if (memory != nullptr && fill == Fill::Zeroed) std::memset(memory, 0, size);
#else
    // The blocks come zeroed from the system, and no byte of them is
    // handed out twice.
    (void)fill;
#endif
    return memory;
}

char* CarveText(Arena arena, const char* text) {
    std::size_t length = std::strlen(text) + 1;
    char* copy = static_cast<char*>(Carve(ArenaOf(arena), length, 1));
    if (copy != nullptr) std::memcpy(copy, text, length);
    return copy;
}

const char* CarveSharedText(const char* text) {
    std::size_t length = std::strlen(text);
    // A few names and values make up most of a design's properties: the
    // latest text of each length and ends is kept at hand.
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
    std::size_t at = length == 0 ? 0 : (length * 31 + bytes[0] + bytes[length - 1] * 7u) % SharedTextSlots;
    // Texts of one slot mostly differ within a few bytes: compared here,
    // without a call.
    if (const char* known = SharedTexts[at]) {
        std::size_t same = 0;
        while (known[same] == text[same] && same < length) same++;
        if (same == length && known[length] == '\0') return known;
    }
    char* copy = static_cast<char*>(Carve(ArenaOf(Arena::Design), length + 1, 1));
    if (copy == nullptr) return nullptr;
    std::memcpy(copy, text, length + 1);
    SharedTexts[at] = copy;
    return copy;
}

void ReleaseDesignMemory() {
    for (ArenaState& arena : Arenas) ReleaseArena(arena);
    ReleaseCarvings();
    for (const char*& text : SharedTexts) text = nullptr;
}

namespace {

char* PipeTextBytes(const PipeTextBlock* block) {
    return reinterpret_cast<char*>(const_cast<PipeTextBlock*>(block) + 1);
}

// A block with room for at least NEED bytes after one of SIZE bytes (0: the
// first), or null.
PipeTextBlock* NewPipeTextBlock(std::size_t size, std::size_t need) {
    std::size_t grown = size == 0 ? FirstPipeTextBlock : size < LargestPipeTextBlock ? size * 2 : size;
    if (grown < need) grown = need;
    PipeTextBlock* block = static_cast<PipeTextBlock*>(AllocateMemory(sizeof(PipeTextBlock) + grown));
    if (block == nullptr) return nullptr;
    *block = PipeTextBlock{nullptr, 0, grown};
    return block;
}

void FreePipeTextBlocks(PipeTextBlock* block) {
    while (block != nullptr) {
        PipeTextBlock* next = block->next;
        ReleaseMemory(block);
        block = next;
    }
}

}  // namespace

int AddPipeText(const char* word, bool first) {
    std::size_t length = std::strlen(word) + 1;
    if (first) {
        PipeTextBlock* block = NewPipeTextBlock(0, length);
        if (block == nullptr) return 0;
        FreePipeTextBlocks(PipeTextList);
        PipeTextList = block;
        PipeTextEnd = block;
    } else if (PipeTextEnd->size - PipeTextEnd->used < length) {
        PipeTextBlock* block = NewPipeTextBlock(PipeTextEnd->size, length);
        if (block == nullptr) return 0;
        PipeTextEnd->next = block;
        PipeTextEnd = block;
    }
    std::memcpy(PipeTextBytes(PipeTextEnd) + PipeTextEnd->used, word, length);
    PipeTextEnd->used += length;
    return 1;
}

const char* NextPipeText(PipeTextCursor* cursor) {
    while (cursor->block != nullptr && cursor->at >= cursor->block->used) *cursor = PipeTextCursor{cursor->block->next, 0};
    if (cursor->block == nullptr) return nullptr;
    const char* word = PipeTextBytes(cursor->block) + cursor->at;
    cursor->at += std::strlen(word) + 1;
    return word;
}

void ReleaseDesignHeader() {
#define ZEDID_HEADER_FIELD(field, variable) ReleaseHeaderText(Header.field);
#include "reader/header_fields.def"
#undef ZEDID_HEADER_FIELD
}

void ReleasePipeText() {
    FreePipeTextBlocks(PipeTextList);
    PipeTextList = nullptr;
    PipeTextEnd = nullptr;
}
