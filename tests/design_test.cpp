// The design's carvings as the memory checkers see them, where each is a
// heap block of its own: a byte written past a record or a text is no one's.
#include <gtest/gtest.h>

#include <cstddef>
#include <utility>

#include "reader/design.h"
#include "reader/design_testing.h"
#include "support.h"

#if !defined(__SANITIZE_ADDRESS__) && defined(__has_include)
#if __has_include(<valgrind/memcheck.h>)
#include <valgrind/memcheck.h>
#endif
#endif

namespace {

class Carving : public LibraryTest {};

TEST_F(Carving, AByteWrittenPastACarvingIsSeen) {
    if (!CarvingsStandApart) GTEST_SKIP() << "carvings share the arenas' blocks in this build (no ZEDID_CARVE_APART)";
    // One carving of each way, in both arenas, and the bytes it was given.
    const std::pair<char*, std::size_t> carvings[] = {
        {static_cast<char*>(CarveRecord(Arena::Design, 20, Fill::Unset)), 20},
        {static_cast<char*>(CarveRecord(Arena::Parts, 40, Fill::Zeroed, CacheLine)), 40},
        {CarveText(Arena::Parts, "U1"), 3},
        {const_cast<char*>(CarveSharedText("Value")), 6}};
    for (auto [at, size] : carvings) {
        ASSERT_NE(at, nullptr);
        at[size - 1] = 1;  // its own last byte is the carver's to write
#if defined(__SANITIZE_ADDRESS__)
        EXPECT_DEATH(static_cast<volatile char*>(at)[size] = 1, "heap-buffer-overflow") << size;
#elif defined(RUNNING_ON_VALGRIND)
        if (!RUNNING_ON_VALGRIND) GTEST_SKIP() << "neither AddressSanitizer nor valgrind watches this run";
        // Asked quietly: a write there would be valgrind's error, failing the run.
        unsigned char bits = 0;
        EXPECT_EQ(VALGRIND_GET_VBITS(at + size - 1, &bits, 1), 1u) << size;
        EXPECT_EQ(VALGRIND_GET_VBITS(at + size, &bits, 1), 3u) << size;
#else
        GTEST_SKIP() << "no AddressSanitizer in this build, and no valgrind headers to ask valgrind";
#endif
    }
}

}  // namespace
