#include "support.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <sstream>

#if defined(_WIN32)
#include <windows.h>
#endif

#include "host/run.h"
#include "platform/report.h"
#include "runtime/channels.h"

namespace fs = std::filesystem;

ScratchDirectory::ScratchDirectory() : previous_(fs::current_path()) {
    static std::atomic<unsigned> counter{0};
    auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    for (;;) {
        std::ostringstream name;
        name << "zedid-test-" << stamp << "-" << counter++;
        path_ = fs::temp_directory_path() / name.str();
        if (fs::create_directory(path_)) break;
    }
    fs::current_path(path_);
}

ScratchDirectory::~ScratchDirectory() {
    std::error_code ignored;
    fs::current_path(previous_, ignored);
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(path_, ignored);
}

std::vector<std::string>& Messages() {
    static std::vector<std::string> lines;
    return lines;
}

int ZEDID_CALL RecordMessage(const char* text) {
    Messages().emplace_back(text);
    return 0;
}

std::vector<std::string> TakeMessages() {
    std::vector<std::string> lines;
    lines.swap(Messages());
    return lines;
}

void WriteBytes(const std::string& name, const std::string& bytes) {
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadBytes(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool FileExists(const std::string& name) {
    std::error_code ignored;
    return fs::exists(name, ignored);
}

namespace {

// The module whose string table holds the message texts, as a host passes
// it: on Windows the test program itself, which carries the table.
void* MessageModule() {
#if defined(_WIN32)
    return GetModuleHandleA(nullptr);
#else
    return nullptr;
#endif
}

}  // namespace

int CallExport(const char* base, const char* output, const char* second) {
    return ZedidDLL90(base, output, second, nullptr, RecordMessage, MessageModule());
}

int FormatDesign(const std::string& text, const std::string& base, const std::string& output) {
    WriteBytes(base + ".ONL", text);
    return CallExport(base.c_str(), output.c_str());
}

void LibraryTest::SetUp() { TakeMessages(); }

void LibraryTest::TearDown() {
    SetAllocationFailure(-1);
    SetWriteFailure(-1);
    CloseChannelFiles();
    ReleaseRun();
    // The design's blocks are the system's, which no heap checker sees.
    EXPECT_EQ(BlocksHeld(), 0) << "blocks of the design left after its release";
    EXPECT_EQ(HeapBlocksHeld(), 0) << "heap blocks left after the release";
    ConnectHost(nullptr, nullptr);
    ClearMessageLine();
    TakeMessages();
}

void ConnectedTest::SetUp() {
    LibraryTest::SetUp();
    ConnectHost(RecordMessage, nullptr);
    ClearMessageLine();
}

void AllocationFailurePoint::Arm() {
    SetAllocationFailure(failing_);
    armed_ = true;
}

bool AllocationFailurePoint::Disarm() {
    hit_ = SetAllocationFailure(-1) > failing_;
    armed_ = false;
    return hit_;
}
