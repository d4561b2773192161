// The design's carvings as the memory checkers see them: a byte written
// past a record or a text is no one's.
#include <gtest/gtest.h>

#include <cstddef>
#include <vector>

#include "reader/design.h"
#include "reader/design_testing.h"
#include "support.h"

#if defined(__SANITIZE_ADDRESS__)
#define ZEDID_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZEDID_TEST_ASAN 1
#endif
#endif
#if !defined(ZEDID_TEST_ASAN) && defined(__has_include)
#if __has_include(<valgrind/memcheck.h>)
#include <valgrind/memcheck.h>
#define ZEDID_TEST_VALGRIND 1
#endif
#endif

namespace {

class Carving : public LibraryTest {};

struct Carved {
    char* at;
    std::size_t size;  // bytes handed out at AT
};

// One carving of each way, in both arenas.
std::vector<Carved> CarveEachWay() {
    return {
        {static_cast<char*>(CarveRecord(Arena::Design, 20, Fill::Unset)), 20},
        {static_cast<char*>(CarveRecord(Arena::Parts, 40, Fill::Zeroed, CacheLine)), 40},
        {CarveText(Arena::Parts, "U1"), 3},
        {const_cast<char*>(CarveSharedText("Value")), 6},
    };
}

TEST_F(Carving, AByteWrittenPastACarvingIsSeen) {
    if (!CarvingsStandApart) GTEST_SKIP() << "carvings share the arenas' blocks in this build (no ZEDID_CARVE_APART)";
    std::vector<Carved> carvings = CarveEachWay();
    for (const Carved& carved : carvings) ASSERT_NE(carved.at, nullptr);
#if defined(ZEDID_TEST_ASAN)
    for (const Carved& carved : carvings) {
        carved.at[carved.size - 1] = 1;  // its own last byte is the carver's to write
        EXPECT_DEATH(static_cast<volatile char*>(carved.at)[carved.size] = 1, "heap-buffer-overflow") << carved.size;
    }
#elif defined(ZEDID_TEST_VALGRIND)
    if (!RUNNING_ON_VALGRIND) GTEST_SKIP() << "neither AddressSanitizer nor valgrind watches this run";
    // Asked quietly: a write there would be valgrind's error and fail the run.
    for (const Carved& carved : carvings) {
        unsigned char bits = 0;
        EXPECT_EQ(VALGRIND_GET_VBITS(carved.at + carved.size - 1, &bits, 1), 1u) << carved.size;
        EXPECT_EQ(VALGRIND_GET_VBITS(carved.at + carved.size, &bits, 1), 3u) << carved.size;
    }
#else
    GTEST_SKIP() << "neither AddressSanitizer nor valgrind's headers in this build";
#endif
}

}  // namespace
