// Runs the whole export on arbitrary intermediate-file bytes. Every input
// must end in a clean result: 0 or 1 with a complete netlist, or 2 with a
// numbered message, and no "ZEDID.TMP" left behind. Each input is run twice:
// a second run must give the same result, messages and file, or the first
// (or the input before it) left state behind. The process works in a
// private temporary directory so that parallel fuzzers never share files.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <dirent.h>
#include <unistd.h>

#include "fuzz/fuzz_target.h"
#include "zedid.h"

namespace {

char Directory[] = "/tmp/zedid-fuzz-XXXXXX";
std::string Messages;  // every message of the current run, each ended by a line feed

int ZEDID_CALL NoteMessage(const char* text) {
    Messages += text;
    Messages += '\n';
    return 0;
}

void RemoveDirectory() {
    if (chdir("/") != 0) return;
    if (DIR* folder = opendir(Directory)) {
        while (dirent* entry = readdir(folder)) {
            if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
            std::string path = std::string(Directory) + "/" + entry->d_name;
            unlink(path.c_str());
        }
        closedir(folder);
    }
    rmdir(Directory);
}

std::string ReadWhole(const char* name) {
    std::string bytes;
    if (std::FILE* file = std::fopen(name, "rb")) {
        char block[4096];
        std::size_t count;
        while ((count = std::fread(block, 1, sizeof block, file)) > 0) bytes.append(block, count);
        std::fclose(file);
    }
    return bytes;
}

void Fail(const char* what) {
    std::fprintf(stderr, "export fuzz: %s\n", what);
    std::abort();
}

struct Outcome {
    int result;
    std::string messages;
    std::string netlist;
};

Outcome RunExport() {
    Messages.clear();
    int result = ZedidDLL90("design", "design.asc", nullptr, nullptr, NoteMessage, nullptr);
    if (access("ZEDID.TMP", F_OK) == 0) Fail("ZEDID.TMP left behind");
    Outcome outcome{result, Messages, ReadWhole("design.asc")};
    if (result == ZEDID_RESULT_ERRORS) {
        if (outcome.messages.compare(0, 4, "[FMT") != 0 && outcome.messages.find("\n[FMT") == std::string::npos)
            Fail("result 2 without a numbered message");
    } else if (result == ZEDID_RESULT_OK || result == ZEDID_RESULT_WARNINGS) {
        // A success must have written the whole netlist.
        static const char end[] = "*END*\r\n";
        const std::string& netlist = outcome.netlist;
        if (netlist.size() < sizeof end - 1 || netlist.compare(netlist.size() - (sizeof end - 1), std::string::npos, end) != 0)
            Fail("success without a complete netlist");
    } else {
        Fail("result outside 0 to 2");
    }
    return outcome;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (mkdtemp(Directory) == nullptr || chdir(Directory) != 0) Fail("no private directory");
    std::atexit(RemoveDirectory);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::FILE* file = std::fopen("design.ONL", "wb");
    if (file == nullptr) Fail("cannot write design.ONL");
    std::fwrite(data, 1, size, file);
    std::fclose(file);

    Outcome first = RunExport();
    Outcome second = RunExport();
    if (first.result != second.result || first.messages != second.messages || first.netlist != second.netlist)
        Fail("a second run of the same design differs from the first");
    return 0;
}
