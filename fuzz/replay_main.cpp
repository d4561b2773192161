// Runs a fuzz target's checks over saved inputs, without libFuzzer: every
// file named on the command line, or every file in a named directory. A
// failed check aborts, so the program's status is the verdict; the normal
// and sanitizer builds use it to replay tests/regressions/.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/fuzz_target.h"


namespace fs = std::filesystem;

int main(int argc, char** argv) {
    // Absolute names: a target may make a directory of its own current.
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; i++) {
        fs::path named = fs::absolute(argv[i]);
        if (fs::is_directory(named)) {
            for (const fs::directory_entry& entry : fs::directory_iterator(named))
                if (entry.is_regular_file() && entry.path().filename().string()[0] != '.')
                    inputs.push_back(entry.path());
        } else {
            inputs.push_back(named);
        }
    }
    // A replay of nothing proves nothing: a moved or emptied folder fails.
    if (inputs.empty()) {
        std::fprintf(stderr, "no inputs to replay\n");
        return 1;
    }
    LLVMFuzzerInitialize(&argc, &argv);
    for (const fs::path& input : inputs) {
        std::ifstream file(input, std::ios::binary);
        if (!file) {
            std::fprintf(stderr, "cannot read %s\n", input.string().c_str());
            return 1;
        }
        std::string bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
        std::fprintf(stderr, "replay %s (%zu bytes)\n", input.string().c_str(), bytes.size());
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    }
    std::fprintf(stderr, "replayed %zu inputs cleanly\n", inputs.size());
    return 0;
}
