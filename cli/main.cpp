// zedid: formats DESIGN.ONL into a layout netlist by calling the library's
// export exactly as a schematic-capture host does.
#include <cstdio>
#include <cstring>
#include <string>

#include "zedid.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace {

constexpr int UsageExit = 64;  // EX_USAGE: the command line was wrong
constexpr char IntermediateExtension[] = ".ONL";
constexpr char DefaultOutputExtension[] = ".asc";

const char Usage[] =
    "usage: zedid DESIGN[.ONL] [-o OUTPUT]\n"
    "\n"
    "Formats the intermediate netlist DESIGN.ONL into a layout netlist.\n"
    "\n"
    "  -o, --output OUTPUT  the netlist to write (default: DESIGN.asc)\n"
    "  -h, --help           show this text and exit\n"
    "      --version        show the version and exit\n"
    "\n"
    "Messages go to standard error. Exit status: 0 written, 1 written with\n"
    "warnings, 2 errors, 64 usage error. The temporary file ZEDID.TMP is\n"
    "created in the current directory while the design is formatted.\n";

int ZEDID_CALL PrintMessage(const char* text) {
    std::size_t length = std::strlen(text);
    std::fputs(text, stderr);
    if (length == 0 || text[length - 1] != '\n') std::fputc('\n', stderr);
    return 0;
}

bool EndsWithExtension(const std::string& path) {
    std::size_t n = sizeof IntermediateExtension - 1;
    if (path.size() < n) return false;
    for (std::size_t i = 0; i < n; i++) {
        char c = path[path.size() - n + i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c != IntermediateExtension[i]) return false;
    }
    return true;
}

int UsageError(const char* problem) {
    std::fprintf(stderr, "zedid: %s\n\n%s", problem, Usage);
    return UsageExit;
}

using ExportFunction = int(ZEDID_CALL*)(const char*, const char*, const char*, const char*, MessageCallback, void*);

#if defined(_WIN32)
// Loads the library by name and finds the export by name, passing the
// module handle it got, as a host does.
int CallExport(const char* base, const char* output) {
    HMODULE module = LoadLibraryA("zedid.dll");
    if (module == nullptr) {
        std::fputs("zedid: cannot load zedid.dll\n", stderr);
        return ZEDID_RESULT_ERRORS;
    }
    FARPROC address = GetProcAddress(module, "ZedidDLL90");
    if (address == nullptr) {
        std::fputs("zedid: zedid.dll has no export ZedidDLL90\n", stderr);
        FreeLibrary(module);
        return ZEDID_RESULT_ERRORS;
    }
    ExportFunction run = reinterpret_cast<ExportFunction>(reinterpret_cast<void*>(address));
    int result = run(base, output, nullptr, nullptr, PrintMessage, module);
    FreeLibrary(module);
    return result;
}
#else
int CallExport(const char* base, const char* output) {
    ExportFunction run = ZedidDLL90;
    return run(base, output, nullptr, nullptr, PrintMessage, nullptr);
}
#endif

}  // namespace

int main(int argc, char** argv) {
    std::string design;
    std::string output;
    bool havedesign = false;
    bool haveoutput = false;
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            std::fputs(Usage, stdout);
            return 0;
        }
        if (arg == "--version") {
            std::printf("zedid %s\n", ZEDID_VERSION);
            return 0;
        }
        if (arg == "-o" || arg == "--output") {
            if (i + 1 >= argc) return UsageError("-o needs a file name");
            if (haveoutput) return UsageError("only one output file can be given");
            output = argv[++i];
            haveoutput = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return UsageError(("unknown option " + arg).c_str());
        } else {
            if (havedesign) return UsageError("only one design can be given");
            design = arg;
            havedesign = true;
        }
    }
    if (!havedesign || design.empty()) return UsageError("no design given");
    if (EndsWithExtension(design)) design.resize(design.size() - (sizeof IntermediateExtension - 1));
    if (!haveoutput) output = design + DefaultOutputExtension;
    if (output.empty()) return UsageError("the output file name is empty");
    return CallExport(design.c_str(), output.c_str());
}
