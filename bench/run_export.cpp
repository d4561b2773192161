// zedid_run: the host process that the whole-process benchmark starts. It
// calls the export once, as the command-line host does, but counts message
// lines instead of printing them, so the figures measure the library.
//
//   zedid_run DESIGN OUTPUT
//
// Prints one line to standard output: the seconds the call took, its
// result, the number of message lines and the number of numbered ("[FMT")
// messages; the first numbered message goes to standard error.
#include <chrono>
#include <cstdio>
#include <cstring>

#include "zedid.h"

namespace {

struct Counts {
    long messages = 0;
    long numbered = 0;
};

Counts Seen;

int ZEDID_CALL CountMessage(const char* text) {
    Seen.messages++;
    if (std::strncmp(text, "[FMT", 4) == 0) {
        if (Seen.numbered == 0) std::fprintf(stderr, "zedid_run: %s\n", text);
        Seen.numbered++;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: zedid_run DESIGN OUTPUT\n", stderr);
        return 64;
    }
    auto start = std::chrono::steady_clock::now();
    int result = ZedidDLL90(argv[1], argv[2], nullptr, nullptr, CountMessage, nullptr);
    std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    std::printf("%.9f %d %ld %ld\n", elapsed.count(), result, Seen.messages, Seen.numbered);
    return result;
}
