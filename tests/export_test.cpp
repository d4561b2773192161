// The run sequence of the export: its failures, teardown and repeat calls.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support.h"
#include "zedid.h"

namespace {

using Lines = std::vector<std::string>;

class Export : public LibraryTest {};

TEST_F(Export, FirstOutputFileThatCannotBeOpened) {
    WriteBytes("design.ONL", "(pcb)");
    EXPECT_EQ(CallExport("design", "no/such/folder/out.asc"), ZEDID_RESULT_ERRORS);
    EXPECT_EQ(TakeMessages(), Lines{"[FMT0012] Can't open first output file"});
    EXPECT_FALSE(FileExists("ZEDID.TMP"));
    EXPECT_EQ(CallExport("design", nullptr), ZEDID_RESULT_ERRORS);
    EXPECT_EQ(TakeMessages(), Lines{"[FMT0012] Can't open first output file"});
}

TEST_F(Export, TemporaryFileThatCannotBeCreated) {
    WriteBytes("design.ONL", "(pcb)");
    std::filesystem::create_directory("ZEDID.TMP");  // a folder takes its name
    EXPECT_EQ(CallExport("design", "out.asc"), ZEDID_RESULT_ERRORS);
    EXPECT_EQ(TakeMessages(), Lines{"[FMT0015] Can't create temporary file"});
    EXPECT_TRUE(FileExists("out.asc"));
    EXPECT_EQ(ReadBytes("out.asc"), "");
    EXPECT_TRUE(std::filesystem::is_directory("ZEDID.TMP"));
}

TEST_F(Export, MissingIntermediateFile) {
    WriteBytes("out.asc", "old contents");
    EXPECT_EQ(CallExport("nothing", "out.asc"), ZEDID_RESULT_ERRORS);
    EXPECT_EQ(TakeMessages(), Lines{"[FMT0016] Internal error - can't open intermediate file"});
    EXPECT_EQ(ReadBytes("out.asc"), "");
    EXPECT_FALSE(FileExists("ZEDID.TMP"));
    EXPECT_EQ(CallExport(nullptr, "out.asc"), ZEDID_RESULT_ERRORS);
    EXPECT_EQ(TakeMessages(), Lines{"[FMT0016] Internal error - can't open intermediate file"});
}

TEST_F(Export, IntermediateFileThatIsAFolder) {
    std::filesystem::create_directory("design.ONL");
    EXPECT_EQ(CallExport("design", "out.asc"), ZEDID_RESULT_ERRORS);
    EXPECT_EQ(TakeMessages(), Lines{"[FMT0016] Internal error - can't open intermediate file"});
    EXPECT_FALSE(FileExists("ZEDID.TMP"));
}

TEST_F(Export, LongBasePathIsHeldWhole) {
    // Longer than any one file name may be, so it takes nested folders.
    std::string folder;
    for (int i = 0; i < 5; i++) {
        folder += std::string(60, static_cast<char>('a' + i)) + "/";
        std::filesystem::create_directory(folder);
    }
    std::string base = folder + "design";
    EXPECT_EQ(CallExport(base.c_str(), "out.asc"), ZEDID_RESULT_ERRORS);
    EXPECT_EQ(TakeMessages(), Lines{"[FMT0016] Internal error - can't open intermediate file"});
    WriteBytes(base + ".ONL", "(pcb)");
    EXPECT_EQ(CallExport(base.c_str(), "out.asc"), ZEDID_RESULT_ERRORS);
    Lines messages = TakeMessages();
    ASSERT_FALSE(messages.empty());
    EXPECT_NE(messages.back(), "[FMT0016] Internal error - can't open intermediate file");
}

TEST_F(Export, SecondFileNameIsNeverLookedAt) {
    EXPECT_EQ(CallExport("nothing", "out.asc", "no/such/folder/second.asc"), ZEDID_RESULT_ERRORS);
    EXPECT_EQ(TakeMessages(), Lines{"[FMT0016] Internal error - can't open intermediate file"});
    EXPECT_FALSE(FileExists("no"));
}

TEST_F(Export, NullCallbackDropsMessages) {
    EXPECT_EQ(ZedidDLL90("nothing", "out.asc", nullptr, nullptr, nullptr, nullptr), ZEDID_RESULT_ERRORS);
    EXPECT_FALSE(FileExists("ZEDID.TMP"));
}

// A callback that calls the export again while a run is in progress.
int ZEDID_CALL Reenter(const char* text) {
    RecordMessage(text);
    RecordMessage(std::to_string(ZedidDLL90("other", "other.asc", nullptr, nullptr, RecordMessage, nullptr)).c_str());
    return 0;
}

TEST_F(Export, CallFromInsideACallbackIsRefused) {
    EXPECT_EQ(ZedidDLL90("nothing", "out.asc", nullptr, nullptr, Reenter, nullptr), ZEDID_RESULT_ERRORS);
    EXPECT_EQ(TakeMessages(), (Lines{"[FMT0016] Internal error - can't open intermediate file", "2"}));
    EXPECT_FALSE(FileExists("other.asc"));
}

}  // namespace
