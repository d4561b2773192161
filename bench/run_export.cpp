// zedid_run: the host process that the whole-process benchmark starts. It
// calls the export once, as the command-line host does, but counts message
// lines instead of printing them, so the figures measure the library.
//
//   zedid_run DESIGN OUTPUT
//
// Built twice: zedid_run over the library, zedid_model_run over the test
// model's plain algorithms, to show what the library's lookups save.
//
// Prints one line to standard output: the seconds the call took (wall
// clock, then processor time of this process), its result, the number of
// message lines, the number of numbered ("[FMT") messages and the process's
// peak resident memory in kB; the first numbered message goes to standard
// error.
#include <sys/resource.h>

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

// The peak resident memory of this process image alone. The kernel's
// ru_maxrss also keeps the peak of the image that started this one, which
// for a benchmark driver holding a generated design is the larger.
long PeakKilobytes() {
    long peak = -1;
    if (std::FILE* status = std::fopen("/proc/self/status", "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, status) != nullptr)
            if (std::sscanf(line, "VmHWM: %ld kB", &peak) == 1) break;
        std::fclose(status);
    }
    if (peak < 0) {
        struct rusage usage {};
        getrusage(RUSAGE_SELF, &usage);
        peak = usage.ru_maxrss;
    }
    return peak;
}

// User and system processor seconds of this process so far.
double ProcessorSeconds() {
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: zedid_run DESIGN OUTPUT\n", stderr);
        return 64;
    }
    double processor = ProcessorSeconds();
    auto start = std::chrono::steady_clock::now();
    int result = ZedidDLL90(argv[1], argv[2], nullptr, nullptr, CountMessage, nullptr);
    std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    processor = ProcessorSeconds() - processor;
    std::printf("%.9f %.6f %d %ld %ld %ld\n", elapsed.count(), processor, result, Seen.messages, Seen.numbered,
                PeakKilobytes());
    return result;
}
