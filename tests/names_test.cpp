// The set of written names: every name held finds its first owner again,
// however far the set grew, and names alike only in their hash stay apart.
#include <gtest/gtest.h>

#include <string>

#include "formats/names.h"
#include "support.h"

namespace {

class Names : public LibraryTest {
protected:
    void TearDown() override {
        ReleaseNameSet(&set_);
        LibraryTest::TearDown();
    }
    // The earlier owner NAME reports when ORIGINAL is written as it.
    std::string Note(const std::string& name, const std::string& original) {
        const char* kept = nullptr;
        const char* earlier = nullptr;
        EXPECT_EQ(NoteWrittenName(&set_, name.c_str(), original.c_str(), &kept, &earlier), 1);
        EXPECT_STREQ(kept, original.c_str());
        return earlier != nullptr ? earlier : "";
    }
    NameSet set_ = {};
};

TEST_F(Names, EveryNameFindsItsFirstOwnerAfterTheSetGrew) {
    constexpr int Count = 5000;  // several growths of the slots and the texts
    for (int i = 0; i < Count; i++) ASSERT_EQ(Note("N" + std::to_string(i), "first" + std::to_string(i)), "") << i;
    for (int i = 0; i < Count; i++) ASSERT_EQ(Note("N" + std::to_string(i), "again"), "first" + std::to_string(i)) << i;
}

TEST_F(Names, NamesOfOneHashOrOneLetterCaseApartDoNotMeet) {
    // C0322382 and C0139599 have the same 32-bit FNV-1a hash.
    for (const char* name : {"C0322382", "C0139599", "Z1", "z1", "CONN12", "CONN1"}) EXPECT_EQ(Note(name, name), "") << name;
    EXPECT_EQ(Note("C0139599", "other"), "C0139599");
}

}  // namespace
