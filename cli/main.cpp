// zedid: formats DESIGN.ONL into a layout netlist by calling the library's
// export exactly as a schematic-capture host does.
//
// A run never costs the user a file: the design file is checked before the
// call, each design runs in a private working folder of its own (where the
// library keeps ZEDID.TMP), and the netlist is written to a new file beside
// its destination that replaces the destination only when the library says
// it was written. With "-o -" the netlist is written in the working folder
// and copied to standard output only then. Several designs in one call run
// one after the other, each into its own DESIGN.asc.
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "zedid.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;

constexpr int UsageExit = 64;  // EX_USAGE: the command line was wrong
constexpr char IntermediateExtension[] = ".ONL";
constexpr char DefaultOutputExtension[] = ".asc";

constexpr char StandardOutputName[] = "-";  // -o -: the netlist goes to standard output

const char Usage[] =
    "usage: zedid [-q] DESIGN[.ONL] [-o OUTPUT]\n"
    "       zedid [-q] DESIGN[.ONL] DESIGN[.ONL]...\n"
    "\n"
    "Formats each intermediate netlist DESIGN.ONL into a layout netlist,\n"
    "DESIGN.asc unless -o names another.\n"
    "\n"
    "  -o, --output OUTPUT  the netlist to write, for one design only; '-o -'\n"
    "                       writes it to standard output\n"
    "  -q, --quiet          show only warnings, numbered messages and zedid's\n"
    "                       own messages\n"
    "  -h, --help           show this text and exit\n"
    "      --version        show the version and exit\n"
    "  --                   end of options: a DESIGN may then begin with '-'\n"
    "\n"
    "Messages go to standard error. Exit status: 0 written, 1 written with\n"
    "warnings, 2 errors, 64 usage error; with several designs the worst of\n"
    "them, and a line names each design that was not written cleanly. The\n"
    "netlist replaces OUTPUT, or goes to standard output, only when it was\n"
    "written (status 0 or 1); otherwise an existing OUTPUT is left as it was\n"
    "and nothing goes to standard output. Each design is formatted in a\n"
    "private folder under the system's temporary folder, where the library\n"
    "keeps its temporary file ZEDID.TMP.\n";

// ---- Message lines ----------------------------------------------------------

struct MessageState {
    bool quiet = false;  // -q: the library's progress lines are dropped
};

MessageState Messages;

// Writes one line on standard error. Control bytes of the design's names
// would act on the terminal, so they are shown as \xHH; a line feed that
// ends the text is its line end.
void WriteLine(const char* text) {
    std::string line;
    std::size_t length = std::strlen(text);
    for (std::size_t i = 0; i < length; i++) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if ((c < 0x20 || c == 0x7F) && !(c == '\n' && i + 1 == length)) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            line += escaped;
        } else {
            line += static_cast<char>(c);
        }
    }
    if (line.empty() || line.back() != '\n') line += '\n';
    // One write per line: standard error is line-buffered.
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

// Skips a run of decimal digits at TEXT; 1 when there was one.
bool SkipNumber(const char*& text) {
    const char* start = text;
    while (*text >= '0' && *text <= '9') text++;
    return text != start;
}

// "N Parts, N Library Parts, N Nets, N Pins", the line that follows reading.
bool IsSummaryLine(const char* text) {
    const char* words[] = {" Parts, ", " Library Parts, ", " Nets, ", " Pins"};
    for (const char* word : words) {
        std::size_t length = std::strlen(word);
        if (!SkipNumber(text) || std::strncmp(text, word, length) != 0) return false;
        text += length;
    }
    return *text == '\0' || std::strcmp(text, "\n") == 0;
}

// The library's lines that only tell how far a run got. Anything else it
// sends is a warning, part of a warning too long for one line, or a
// numbered message, and -q keeps it.
bool IsProgressLine(const char* text) {
    for (const char* line : {"Creating Netlist...", "Done"}) {
        std::size_t length = std::strlen(line);
        if (std::strncmp(text, line, length) == 0 && (text[length] == '\0' || std::strcmp(text + length, "\n") == 0))
            return true;
    }
    return IsSummaryLine(text);
}

// Prints one message line of the library on standard error.
int ZEDID_CALL PrintMessage(const char* text) {
    if (!(Messages.quiet && IsProgressLine(text))) WriteLine(text);
    return 0;
}

// zedid's own lines are shown with -q too.
void Say(const std::string& text) { WriteLine(("zedid: " + text).c_str()); }

int UsageError(const char* problem) {
    std::fprintf(stderr, "zedid: %s\n\n%s", problem, Usage);
    return UsageExit;
}

// ---- Calling the library ----------------------------------------------------

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

// ---- Files that must not be lost ------------------------------------------

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

// A file in the folder of DESIGNFILE whose name differs from it only in the
// letter case of the extension, or "".
std::string NameInOtherCase(const fs::path& designfile) {
    std::string wanted = designfile.filename().string();
    std::string stem = wanted.substr(0, wanted.size() - (sizeof IntermediateExtension - 1));
    std::error_code error;
    for (fs::directory_iterator entry(designfile.parent_path(), error), end; !error && entry != end;
         entry.increment(error)) {
        std::string name = entry->path().filename().string();
        if (name != wanted && name.size() == wanted.size() && name.compare(0, stem.size(), stem) == 0 &&
            EndsWithExtension(name))
            return name;
    }
    return "";
}

// What a signal leaves to clean up, in fixed stores: a handler may not
// allocate. Empty texts name nothing.
struct Cleanup {
    char partial[4096];  // the netlist being written beside its destination
    char folder[4096];   // the private working folder
    char notice[4200];   // what to tell the user when interrupted
};

Cleanup Pending;

// A path too long for its store is not cleaned up after a signal.
void Keep(char* store, std::size_t size, const std::string& text) {
    store[0] = '\0';
    if (text.size() < size) std::memcpy(store, text.c_str(), text.size() + 1);
}

#if !defined(_WIN32)
// An interrupted or terminated run removes its partial netlist and its
// working folder, says so, and ends as the signal would have ended it.
void Interrupted(int signal) {
    if (Pending.partial[0] != '\0') unlink(Pending.partial);
    if (Pending.folder[0] != '\0') rmdir(Pending.folder);
    if (Pending.notice[0] != '\0') {
        ssize_t ignored = write(2, Pending.notice, std::strlen(Pending.notice));
        (void)ignored;
    }
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// A signal ignored when the program started (nohup, a background job) stays
// ignored.
void CatchSignals() {
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
        struct sigaction action = {};
        if (sigaction(signal, nullptr, &action) != 0 || action.sa_handler == SIG_IGN) continue;
        action.sa_handler = Interrupted;
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0;
        sigaction(signal, &action, nullptr);
    }
}
#else
void CatchSignals() {}
#endif

// Creates a new empty file with a name of its own beside TARGET; its path,
// or "" when none can be had.
std::string CreatePartialFile(const fs::path& target) {
    std::string stem = (target.parent_path() / ("." + target.filename().string() + ".zedid-")).string();
#if defined(_WIN32)
    for (unsigned n = 0; n < 1000; n++) {
        std::string name = stem + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(n);
        int descriptor = _open(name.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY, _S_IREAD | _S_IWRITE);
        if (descriptor >= 0) {
            _close(descriptor);
            return name;
        }
        if (errno != EEXIST) break;
    }
    return "";
#else
    std::string name = stem + "XXXXXX";
    int descriptor = mkstemp(&name[0]);
    if (descriptor < 0) return "";
    close(descriptor);
    return name;
#endif
}

// Creates the private working folder under the system's temporary folder;
// its path, or "" when none can be had.
std::string CreateWorkingFolder() {
    std::error_code error;
    fs::path parent = fs::temp_directory_path(error);
    if (error) return "";
#if defined(_WIN32)
    for (unsigned n = 0; n < 1000; n++) {
        fs::path folder = parent / ("zedid-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(n));
        if (CreateDirectoryA(folder.string().c_str(), nullptr)) return folder.string();
        if (GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    return "";
#else
    std::string name = (parent / "zedid-XXXXXX").string();
    return mkdtemp(&name[0]) != nullptr ? name : "";
#endif
}

// Gives the new netlist PARTIAL the permissions of the file it replaces,
// or those a newly created file gets.
void TakePermissions(const std::string& partial, const fs::path& target) {
    std::error_code error;
    fs::file_status old = fs::status(target, error);
    if (!error && fs::exists(old)) {
        fs::permissions(partial, old.permissions(), error);
        return;
    }
#if !defined(_WIN32)
    mode_t mask = umask(0);
    umask(mask);
    fs::permissions(partial, static_cast<fs::perms>(0666 & ~mask), error);
#endif
}

// Puts PARTIAL in the place of TARGET in one step; 1, or 0 with the reason.
bool ReplaceFile(const std::string& partial, const fs::path& target, std::string& reason) {
#if defined(_WIN32)
    if (MoveFileExA(partial.c_str(), target.string().c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    reason = std::system_category().message(static_cast<int>(GetLastError()));
    return false;
#else
    if (std::rename(partial.c_str(), target.c_str()) == 0) return true;
    reason = std::strerror(errno);
    return false;
#endif
}

// Copies the netlist FILE to standard output; 1, or 0 with the reason.
bool CopyToStandardOutput(const std::string& file, std::string& reason) {
    std::FILE* netlist = std::fopen(file.c_str(), "rb");
    if (netlist == nullptr) {
        reason = std::strerror(errno);
        return false;
    }
    char buffer[1 << 16];
    bool copied = true;
    for (;;) {
        std::size_t got = std::fread(buffer, 1, sizeof buffer, netlist);
        if (got > 0 && std::fwrite(buffer, 1, got, stdout) != got) {
            reason = std::strerror(errno);
            copied = false;
            break;
        }
        if (got < sizeof buffer) {
            if (std::ferror(netlist)) {
                reason = std::strerror(errno);
                copied = false;
            }
            break;
        }
    }
    std::fclose(netlist);
    // What is still buffered meets a full device or a closed pipe only here.
    if (std::fflush(stdout) != 0 && copied) {
        reason = std::strerror(errno);
        copied = false;
    }
    return copied;
}

// ---- One design -------------------------------------------------------------

// DESIGN without a trailing .ONL in any letter case.
std::string DesignBase(std::string design) {
    if (EndsWithExtension(design)) design.resize(design.size() - (sizeof IntermediateExtension - 1));
    return design;
}

// Formats DESIGN (a base path, or a path ending in .ONL) into OUTPUT ("" for
// DESIGN.asc, "-" for standard output); gives the exit status.
int RunDesign(const std::string& design, std::string output) {
    bool tostdout = output == StandardOutputName;
    if (output.empty()) output = DesignBase(design) + DefaultOutputExtension;

    // Absolute paths: the library runs in the working folder.
    std::error_code error, outputerror;
    fs::path base = fs::absolute(DesignBase(design), error);
    fs::path target = tostdout ? fs::path() : fs::absolute(output, outputerror);
    if (error || outputerror) {
        Say("can't make an absolute path of " + (error ? DesignBase(design) : output));
        return ZEDID_RESULT_ERRORS;
    }
    fs::path designfile = base.string() + IntermediateExtension;
    if (!fs::exists(designfile, error) || fs::is_directory(designfile, error)) {
        Say("no design file " + designfile.string());
        std::string other = NameInOtherCase(designfile);
        if (!other.empty())
            Say("hint: there is " + other + ", but the design file's name must end in " + IntermediateExtension);
        return ZEDID_RESULT_ERRORS;
    }
    if (!tostdout && fs::equivalent(designfile, target, error)) {
        Say("the output " + output + " is the design file itself; nothing was written");
        return ZEDID_RESULT_ERRORS;
    }

    // A device, pipe or folder is written in place (or refused by the
    // library); a regular file is replaced only by a whole netlist.
    bool inplace = false;
    bool existed = false;
    if (!tostdout) {
        fs::file_status status = fs::status(target, error);
        inplace = fs::exists(status) && !fs::is_regular_file(status);
        if (!inplace && fs::is_symlink(fs::symlink_status(target, error))) {
            fs::path resolved = fs::canonical(target, error);
            if (!error) target = resolved;
        }
        existed = fs::exists(status);
    }
    std::string partial;
    if (!inplace && !tostdout) {
        partial = CreatePartialFile(target);
        if (partial.empty()) {
            Say("can't create a new file beside " + output + ": " + std::strerror(errno));
            return ZEDID_RESULT_ERRORS;
        }
    }
    std::string folder = CreateWorkingFolder();
    if (folder.empty()) {
        Say("can't create a working folder in the system's temporary folder");
        if (!partial.empty()) std::remove(partial.c_str());
        return ZEDID_RESULT_ERRORS;
    }
    // The netlist for standard output is a file of the working folder,
    // created by the library and copied out only when it is whole.
    if (tostdout) partial = (fs::path(folder) / "netlist.asc").string();
    std::string kept = tostdout  ? "nothing was written to standard output"
                       : existed ? output + " was left as it was"
                                 : "no netlist was written";
    Keep(Pending.partial, sizeof Pending.partial, partial);
    Keep(Pending.folder, sizeof Pending.folder, folder);
    Keep(Pending.notice, sizeof Pending.notice, "zedid: interrupted; " + kept + "\n");

    fs::path previous = fs::current_path(error);
    fs::current_path(folder, error);
    int result = ZEDID_RESULT_ERRORS;
    if (error)
        Say("can't enter the working folder " + folder);
    else
        result = CallExport(base.string().c_str(), inplace ? target.string().c_str() : partial.c_str());
    fs::current_path(previous, error);

    std::string reason;
    if (tostdout && result != ZEDID_RESULT_ERRORS) {
        Keep(Pending.notice, sizeof Pending.notice, "zedid: interrupted; the netlist on standard output is incomplete\n");
        if (!CopyToStandardOutput(partial, reason)) {
            Say("can't write the netlist to standard output: " + reason);
            result = ZEDID_RESULT_ERRORS;
        }
    }
    if (!inplace && !tostdout) {
        if (result == ZEDID_RESULT_ERRORS) {
            if (existed) Say(kept);
        } else {
            TakePermissions(partial, target);
            if (!ReplaceFile(partial, target, reason)) {
                Say("can't put the netlist in place as " + output + ": " + reason + "; " + kept);
                result = ZEDID_RESULT_ERRORS;
            }
        }
    }
    if (!partial.empty()) std::remove(partial.c_str());  // gone already when it took the target's place
    Pending.partial[0] = '\0';
    fs::remove_all(folder, error);
    Pending.folder[0] = '\0';
    Pending.notice[0] = '\0';
    return result;
}

// A standard stream that was closed when the program started gets a
// descriptor of its own, so that no file the run opens takes its number:
// messages would otherwise be written into the netlist. Standard output so
// reopened refuses writes, so "-o -" still fails as it should.
void HoldStandardDescriptors() {
#if !defined(_WIN32)
    // Taken in order, each gets the lowest free number: its own.
    const int modes[] = {O_RDONLY, O_RDONLY, O_WRONLY};
    for (int descriptor = 0; descriptor <= 2; descriptor++)
        if (fcntl(descriptor, F_GETFD) == -1 && errno == EBADF) (void)open("/dev/null", modes[descriptor]);
#endif
}

}  // namespace

int main(int argc, char** argv) {
    HoldStandardDescriptors();
    // One system call per message line, however many warnings a design has.
#if defined(_WIN32)
    std::setvbuf(stderr, nullptr, _IOFBF, BUFSIZ);  // lines are flushed one by one
#else
    std::setvbuf(stderr, nullptr, _IOLBF, BUFSIZ);
#endif
    std::vector<std::string> designs;
    std::string output;
    bool haveoutput = false;
    bool options = true;
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        if (options && arg == "--") {
            options = false;
        } else if (options && (arg == "-h" || arg == "--help")) {
            std::fputs(Usage, stdout);
            return 0;
        } else if (options && arg == "--version") {
            std::printf("zedid %s\n", ZEDID_VERSION);
            return 0;
        } else if (options && (arg == "-q" || arg == "--quiet")) {
            Messages.quiet = true;
        } else if (options && (arg == "-o" || arg == "--output")) {
            if (i + 1 >= argc) return UsageError("-o needs a file name");
            if (haveoutput) return UsageError("only one output file can be given");
            output = argv[++i];
            haveoutput = true;
            if (output.empty()) return UsageError("the output file name is empty");
        } else if (options && arg.size() > 1 && arg[0] == '-') {
            return UsageError(("unknown option " + arg).c_str());
        } else {
            designs.push_back(arg);
        }
    }
    if (designs.empty()) return UsageError("no design given");
    for (const std::string& design : designs)
        if (DesignBase(design).empty()) return UsageError("no design given");
    if (haveoutput && designs.size() > 1)
        return UsageError("-o can be used with one design only; several designs each go to DESIGN.asc");
#if defined(_WIN32)
    // The netlist's bytes exactly: no line end may be translated again.
    if (output == StandardOutputName) _setmode(_fileno(stdout), _O_BINARY);
#endif
    CatchSignals();
    if (designs.size() == 1) return RunDesign(designs[0], output);

    // Each design's closing line tells which design the lines above it
    // belong to, where a single run needs no such line.
    int worst = ZEDID_RESULT_OK;
    for (const std::string& design : designs) {
        int result = RunDesign(design, output);
        if (result == ZEDID_RESULT_WARNINGS) Say(design + ": netlist written with warnings (status 1)");
        if (result == ZEDID_RESULT_ERRORS) Say(design + ": failed (status 2)");
        worst = std::max(worst, result);
    }
    return worst;
}
