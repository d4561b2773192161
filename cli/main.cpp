// zedid: formats DESIGN.ONL into a layout netlist by calling the library's
// export exactly as a schematic-capture host does.
//
// A run never costs the user a file: the design file is checked before the
// call, each design runs in a private working folder of its own (where the
// library keeps ZEDID.TMP), and the netlist reaches its destination only
// when the library says it was written: a new file beside the destination
// takes its place, or, where replacing would lose what the destination is
// (a link, a file with other names, another user's file), the netlist is
// copied into it. With "-o -" the netlist is written in the working folder
// and copied to standard output only then. Several designs in one call run
// one after the other, each into its own DESIGN.asc (or DIR/DESIGN.asc with
// -d DIR), each line they print marked with its design. A design of "-" is
// standard input, copied into the working folder first, since the library
// reads a named file.
//
// Whatever fails, the run ends with a "zedid:" line or a numbered message
// and status 2, and leaves nothing of its own behind: memory running out
// included, so what a run must undo is held in fixed stores, and the steps
// after the netlist took its place allocate nothing.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <initializer_list>
#include <new>
#include <string>
#include <system_error>
#include <vector>

#include "zedid.h"

// getopt_long parses the command line wherever the C runtime has it
// (glibc, mingw-w64); ZEDID_OWN_OPTIONS builds the small parser below
// instead, as a runtime without it (MSVC's) does, so that it is tested.
#if __has_include(<getopt.h>) && !defined(ZEDID_OWN_OPTIONS)
#include <getopt.h>
#else
#define ZEDID_PARSES_OPTIONS 1
#endif

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
constexpr char StandardInputName[] = "-";   // the design "-" is read from standard input
// Standard input's design in the working folder: the name given to the
// library, and its file.
constexpr char InputBase[] = "input";
constexpr char InputCopy[] = "input.ONL";
#if defined(_WIN32)
constexpr char Separators[] = "/\\:";  // what ends a folder's part of a path
#else
constexpr char Separators[] = "/";
#endif
// The netlist in the working folder, for standard output or a destination
// written in place, and the library's own file there.
constexpr char WorkingNetlist[] = "netlist.asc";
constexpr char TemporaryFileName[] = "ZEDID.TMP";
constexpr char PartialMark[] = ".zedid-";   // .NAME.zedid-XXXXXX beside the destination
constexpr char FolderPrefix[] = "zedid-";   // zedid-XXXXXX in the temporary folder
constexpr int UniqueLetters = 6;            // the XXXXXX
constexpr int UniqueAttempts = 100;         // names tried before giving up
constexpr std::size_t NameLimit = 255;      // longest entry name where the system does not say
constexpr std::size_t NameStore = 1024;     // an entry name, with room for a system allowing more
constexpr std::size_t NoticeStore = 8192;   // what is told when a run stops early

const char Usage[] =
    "usage: zedid [-q] DESIGN[.ONL] [-o OUTPUT]\n"
    "       zedid [-q] [-d DIR] DESIGN[.ONL] DESIGN[.ONL]...\n"
    "       zedid [-q] - [-o OUTPUT]\n"
    "\n"
    "Formats each intermediate netlist DESIGN.ONL into a layout netlist,\n"
    "DESIGN.asc unless -o or -d says otherwise. The DESIGN '-' is read from\n"
    "standard input, alone, and its netlist goes to standard output unless\n"
    "-o names a file.\n"
    "\n"
    "  -o, --output=OUTPUT    the netlist to write, for one design only;\n"
    "                         '-o -' writes it to standard output\n"
    "  -d, --output-dir=DIR   write each netlist into the folder DIR, as\n"
    "                         DIR/DESIGN.asc with DESIGN's folders left out\n"
    "  -q, --quiet            show only warnings, numbered messages and\n"
    "                         zedid's own messages\n"
    "  -h, --help             show this text and exit\n"
    "      --version          show the version and exit\n"
    "  --                     end of options: a DESIGN may then begin with '-'\n"
    "\n"
    "Options may come before or after the designs; short ones may be grouped\n"
    "(-qo OUTPUT) and take their value joined (-oOUTPUT, --output=OUTPUT).\n"
    "\n"
    "Messages go to standard error; with several designs each line begins\n"
    "with its design as given. Exit status: 0 written, 1 written with\n"
    "warnings, 2 errors, 64 usage error; with several designs the worst of\n"
    "them, and a line names each design that was not written cleanly. The\n"
    "netlist replaces OUTPUT, or goes to standard output, only when it was\n"
    "written (status 0 or 1); otherwise an existing OUTPUT is left as it was\n"
    "and nothing goes to standard output. Each design is formatted in a\n"
    "private folder under the system's temporary folder, where the library\n"
    "keeps its temporary file ZEDID.TMP.\n";

// What follows the problem on a usage error: enough to see the mistake.
const char ShortUsage[] =
    "usage: zedid [-q] [-o OUTPUT | -d DIR] DESIGN[.ONL]...\n"
    "Try 'zedid --help' for more information.\n";

// ---- Message lines ----------------------------------------------------------

struct MessageState {
    bool quiet = false;  // -q: the library's progress lines are dropped
    long lines = 0;      // lines the library sent in the current design's run
    // With several designs, the one whose lines these are, as given, since
    // runs in parallel write into one stream; "" with one.
    const char* design = "";
};

MessageState Messages;

// What follows the design at the start of a line: nothing with one design.
const char* DesignMark() { return Messages.design[0] != '\0' ? ": " : ""; }

// Writes one line on standard error from its PIECES, without allocating:
// it serves the library's callback and the report that memory ran out.
// Control bytes of the design's names would act on the terminal, so they
// are shown as \xHH; a line feed that ends the last piece is its line end.
void WriteLine(std::initializer_list<const char*> pieces) {
    char line[1024];
    std::size_t used = 0;
    auto put = [&](const char* bytes, std::size_t length) {
        if (used + length > sizeof line) {
            std::fwrite(line, 1, used, stderr);
            used = 0;
        }
        std::memcpy(line + used, bytes, length);
        used += length;
    };
    std::size_t left = pieces.size();
    for (const char* text : pieces) {
        left--;
        std::size_t length = std::strlen(text);
        for (std::size_t i = 0; i < length; i++) {
            unsigned char c = static_cast<unsigned char>(text[i]);
            if (c == '\n' && i + 1 == length && left == 0) break;
            if (c < 0x20 || c == 0x7F) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
                put(escaped, 4);
            } else {
                put(text + i, 1);
            }
        }
    }
    put("\n", 1);
    // One write per line: standard error is line-buffered.
    std::fwrite(line, 1, used, stderr);
    std::fflush(stderr);
}

const char* Text(const std::string& text) { return text.c_str(); }
const char* Text(const char* text) { return text; }

// zedid's own lines, shown with -q too.
template <typename... Texts>
void Say(const Texts&... texts) {
    WriteLine({"zedid: ", Messages.design, DesignMark(), Text(texts)...});
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
// numbered message, and -q keeps it. The summary is the first line of a
// run: a piece of a long warning may read like it later on.
bool IsProgressLine(const char* text, bool first) {
    for (const char* line : {"Creating Netlist...", "Done"}) {
        std::size_t length = std::strlen(line);
        if (std::strncmp(text, line, length) == 0 && (text[length] == '\0' || std::strcmp(text + length, "\n") == 0))
            return true;
    }
    return first && IsSummaryLine(text);
}

// Prints one message line of the library on standard error.
int ZEDID_CALL PrintMessage(const char* text) {
    bool first = Messages.lines++ == 0;
    if (!(Messages.quiet && IsProgressLine(text, first))) WriteLine({Messages.design, DesignMark(), text});
    return 0;
}

int UsageError(const std::string& problem) {
    WriteLine({"zedid: ", problem.c_str()});
    std::fputs(ShortUsage, stderr);
    std::fflush(stderr);
    return UsageExit;
}

// The reason the last system call failed, in a store that needs no memory.
const char* SystemReason() {
#if defined(_WIN32)
    static char reason[512];
    DWORD error = GetLastError();
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                                  reason, sizeof reason, nullptr);
    while (length > 0 && (reason[length - 1] == '\n' || reason[length - 1] == '\r' || reason[length - 1] == '.'))
        length--;
    if (length == 0) length = static_cast<DWORD>(std::snprintf(reason, sizeof reason, "error %lu", error));
    reason[length] = '\0';
    return reason;
#else
    return std::strerror(errno);
#endif
}

// ---- Calling the library ----------------------------------------------------

using ExportFunction = int(ZEDID_CALL*)(const char*, const char*, const char*, const char*, MessageCallback, void*);

#if defined(_WIN32)
// Loads the library by name and finds the export by name, passing the
// module handle it got, as a host does.
int CallExport(const char* base, const char* output) {
    HMODULE module = LoadLibraryA("zedid.dll");
    if (module == nullptr) {
        Say("cannot load zedid.dll");
        return ZEDID_RESULT_ERRORS;
    }
    FARPROC address = GetProcAddress(module, "ZedidDLL90");
    if (address == nullptr) {
        Say("zedid.dll has no export ZedidDLL90");
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

// ---- Names ------------------------------------------------------------------

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

// DESIGN without a trailing .ONL in any letter case.
std::string DesignBase(std::string design) {
    if (EndsWithExtension(design)) design.resize(design.size() - (sizeof IntermediateExtension - 1));
    return design;
}

// A file in FOLDER whose name differs from WANTED only in the letter case
// of the extension, or "".
std::string NameInOtherCase(const std::string& folder, const std::string& wanted) {
    std::string stem = wanted.substr(0, wanted.size() - (sizeof IntermediateExtension - 1));
    std::error_code error;
    for (fs::directory_iterator entry(folder, error), end; !error && entry != end; entry.increment(error)) {
        std::string name = entry->path().filename().string();
        if (name != wanted && name.size() == wanted.size() && name.compare(0, stem.size(), stem) == 0 &&
            EndsWithExtension(name))
            return name;
    }
    return "";
}

// Letters for the XXXXXX of a new name: the process, the clock and a count
// mixed, so that names are hard to guess; creation is exclusive anyway.
void FillUnique(char* letters) {
    static const char alphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    static unsigned long long count = 0;
#if defined(_WIN32)
    unsigned long long seed = GetCurrentProcessId();
#else
    unsigned long long seed = static_cast<unsigned long long>(getpid());
#endif
    seed = seed * 0x9E3779B97F4A7C15ull ^ static_cast<unsigned long long>(
                                              std::chrono::steady_clock::now().time_since_epoch().count()) ^
           (++count * 0xBF58476D1CE4E5B9ull);
    for (int i = 0; i < UniqueLetters; i++) {
        seed ^= seed >> 31;
        seed *= 0x94D049BB133111EBull;
        letters[i] = alphabet[seed % (sizeof alphabet - 1)];
    }
    letters[UniqueLetters] = '\0';
}

// The name of the new file beside LEAF, ".LEAF.zedid-XXXXXX" in NAME, with
// LEAF cut where the whole would be longer than an entry name may be.
void PartialName(const std::string& leaf, std::size_t limit, char* name) {
    std::size_t room = limit - 1 - (sizeof PartialMark - 1) - UniqueLetters;
    std::size_t kept = std::min(leaf.size(), room);
    name[0] = '.';
    std::memcpy(name + 1, leaf.data(), kept);
    std::memcpy(name + 1 + kept, PartialMark, sizeof PartialMark - 1);
    FillUnique(name + 1 + kept + sizeof PartialMark - 1);
}

// What a run leaves to tell when it stops early: "OUTPUT was left as it
// was" and the like; "" tells nothing.
char Kept[NoticeStore];

void Keep(const std::string& text) {
    std::size_t length = std::min(text.size(), sizeof Kept - 1);
    std::memcpy(Kept, text.data(), length);
    Kept[length] = '\0';
}

// Writes "zedid: WHY; " and what the run left, in one write and without
// allocating: a signal handler calls it.
void TellStopped(const char* why) {
    if (Kept[0] == '\0') return;
    char line[sizeof Kept + 64];
    std::size_t used = 0;
    const char* kept = Kept;
    for (const char* piece : {"zedid: ", Messages.design, DesignMark(), why, "; ", kept, "\n"}) {
        std::size_t length = std::min(std::strlen(piece), sizeof line - used);
        std::memcpy(line + used, piece, length);
        used += length;
    }
#if defined(_WIN32)
    std::fwrite(line, 1, used, stderr);
    std::fflush(stderr);
#else
    ssize_t ignored = write(2, line, used);
    (void)ignored;
#endif
}

// How the netlist reaches a destination that is not standard output.
enum class Placing {
    Replace,  // a new file beside the destination takes its place
    InPlace,  // the netlist is copied into the destination, which stays the file it was
    Direct,   // not a regular file (a device, a FIFO): the library writes it, or refuses it
};

// ---- Files on POSIX systems ---------------------------------------------------

#if !defined(_WIN32)

#if defined(O_PATH)
constexpr int FolderOnly = O_PATH;  // a folder to name files in, not to read
#else
constexpr int FolderOnly = O_RDONLY;
#endif

// A file the user named, held as its folder, open, and its name there:
// every later step names the file relative to the folder, so that a path
// works as long as the user could give it, wherever the run then is.
struct Place {
    std::string given;   // the path as the user gave it
    std::string folder;  // its folder as given, "." when it has none
    std::string leaf;    // its name in the folder
    int descriptor = -1;
};

// Opens the folder of PATH; 0 with errno set when it cannot be had.
bool OpenPlace(const std::string& path, Place& place) {
    std::size_t slash = path.find_last_of('/');
    place.given = path;
    place.folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    place.leaf = slash == std::string::npos ? path : path.substr(slash + 1);
    if (place.leaf.empty()) place.leaf = ".";
    place.descriptor = open(place.folder.c_str(), FolderOnly | O_DIRECTORY | O_CLOEXEC);
    return place.descriptor >= 0;
}

void ClosePlace(Place& place) {
    if (place.descriptor >= 0) close(place.descriptor);
    place.descriptor = -1;
}

// A name by which the library, running in the working folder, reaches
// LEAF of the folder of PLACE: the system's own name for the open folder
// where it has one, which stays short however deep the folder lies, else
// the absolute path; "" when neither can be had.
std::string LibraryName(const Place& place, const std::string& leaf) {
    char own[64];
    std::snprintf(own, sizeof own, "/proc/self/fd/%d", place.descriptor);
    struct stat named, held;
    if (stat(own, &named) == 0 && fstat(place.descriptor, &held) == 0 && named.st_dev == held.st_dev &&
        named.st_ino == held.st_ino)
        return std::string(own) + "/" + leaf;
    std::error_code error;
    fs::path folder = fs::absolute(place.folder, error);
    return error ? "" : (folder / leaf).string();
}

// What a run has made that must not outlive it, in fixed stores and open
// folders, so that a signal handler and the report that memory ran out
// undo it without allocating. A descriptor of -1 or an empty name holds
// nothing.
struct Leftovers {
    volatile int partialfolder = -1;  // the destination's folder
    char partial[NameStore];          // the new netlist in it
    volatile int temporary = -1;      // the system's temporary folder
    char folder[NameStore];           // the working folder's name in it
    volatile int working = -1;        // the working folder
    int partialfile = -1;             // the new netlist, open
};

Leftovers Pending;
int Home = -1;  // the folder the program started in

// Removes what the run made. Safe in a signal handler.
void Undo() {
    if (Pending.partialfolder >= 0 && Pending.partial[0] != '\0') unlinkat(Pending.partialfolder, Pending.partial, 0);
    if (Pending.working >= 0) {
        unlinkat(Pending.working, WorkingNetlist, 0);
        unlinkat(Pending.working, TemporaryFileName, 0);  // already gone, unless a signal came while it was made
        unlinkat(Pending.working, InputCopy, 0);
    }
    if (Pending.temporary >= 0 && Pending.folder[0] != '\0') unlinkat(Pending.temporary, Pending.folder, AT_REMOVEDIR);
}

// Closes what the run held and forgets it.
void Forget() {
    Pending.partial[0] = '\0';
    Pending.folder[0] = '\0';
    for (volatile int* descriptor : {&Pending.working, &Pending.temporary}) {
        if (*descriptor >= 0) close(*descriptor);
        *descriptor = -1;
    }
    Pending.partialfolder = -1;  // the destination's Place owns it
    if (Pending.partialfile >= 0) close(Pending.partialfile);
    Pending.partialfile = -1;
    Kept[0] = '\0';
}

// Signals that end a process: each undoes the run first. SIGXFSZ is not
// among them: it is ignored, so that a write beyond the size limit fails
// and is reported as the write error it is.
const int EndingSignals[] = {SIGINT,  SIGTERM, SIGHUP,    SIGPIPE, SIGQUIT, SIGALRM,
                             SIGUSR1, SIGUSR2, SIGVTALRM, SIGPROF, SIGXCPU};

sigset_t EndingSet() {
    sigset_t set;
    sigemptyset(&set);
    for (int signal : EndingSignals) sigaddset(&set, signal);
    return set;
}

// An interrupted or terminated run removes what it made, says so, and
// ends as the signal would have ended it.
void Interrupted(int signal) {
    Undo();
    TellStopped("interrupted");
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// A signal ignored when the program started (nohup, a background job) stays
// ignored.
void CatchSignals() {
    for (int signal : EndingSignals) {
        struct sigaction action = {};
        if (sigaction(signal, nullptr, &action) != 0 || action.sa_handler == SIG_IGN) continue;
        action.sa_handler = Interrupted;
        action.sa_mask = EndingSet();
        action.sa_flags = 0;
        sigaction(signal, &action, nullptr);
    }
    std::signal(SIGXFSZ, SIG_IGN);
}

// Holds the signals back (while a destination is being changed) or lets
// them come.
void HoldSignals(bool hold) {
    sigset_t set = EndingSet();
    sigprocmask(hold ? SIG_BLOCK : SIG_UNBLOCK, &set, nullptr);
}

// 1 when DESIGN names a design file: an existing file that is not a folder.
bool IsDesignFile(const Place& design, const std::string& leaf) {
    struct stat info;
    return fstatat(design.descriptor, leaf.c_str(), &info, 0) == 0 && !S_ISDIR(info.st_mode);
}

// 1 when LEAF of A and the destination B are one file.
bool SameFile(const Place& a, const std::string& leaf, const Place& b) {
    struct stat first, second;
    return fstatat(a.descriptor, leaf.c_str(), &first, 0) == 0 &&
           fstatat(b.descriptor, b.leaf.c_str(), &second, 0) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}

struct Destination {
    Placing placing = Placing::Replace;
    bool existed = false;
    bool throughlink = false;  // written in place through a symbolic link, its target created if missing
    int file = -1;             // the existing file, open for writing (Replace and InPlace)
    struct stat info;          // of that file
};

// Decides how the netlist reaches TARGET. An existing destination is
// opened for writing now, as the library would open it, so that the
// kernel decides who may write it: a read-only file is refused, a link
// planted where links are not followed is refused, and a file written in
// place is the very file checked. Gives null, or the reason it cannot be
// written.
const char* ExamineDestination(const Place& target, Destination& destination) {
    struct stat entry;
    if (fstatat(target.descriptor, target.leaf.c_str(), &entry, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? nullptr : SystemReason();
    destination.existed = true;
    int flags = O_WRONLY | O_NONBLOCK | O_CLOEXEC;
    if (S_ISLNK(entry.st_mode)) {
        struct stat linked;
        if (fstatat(target.descriptor, target.leaf.c_str(), &linked, 0) != 0) {
            if (errno != ENOENT) return SystemReason();
            // A link to nothing yet: its target is created when the netlist is written.
            destination.placing = Placing::InPlace;
            destination.throughlink = true;
            destination.existed = false;
            return nullptr;
        }
        if (!S_ISREG(linked.st_mode)) {
            destination.placing = Placing::Direct;
            return nullptr;
        }
        destination.placing = Placing::InPlace;
    } else if (!S_ISREG(entry.st_mode)) {
        destination.placing = Placing::Direct;
        return nullptr;
    } else {
        // Another name or another owner would not survive a rename; a link
        // planted meanwhile is not followed.
        flags |= O_NOFOLLOW;
        if (entry.st_nlink > 1 || entry.st_uid != geteuid()) destination.placing = Placing::InPlace;
    }
    destination.file = openat(target.descriptor, target.leaf.c_str(), flags);
    if (destination.file < 0) return SystemReason();
    if (fstat(destination.file, &destination.info) != 0) return SystemReason();
    if (!S_ISREG(destination.info.st_mode)) {
        close(destination.file);
        destination.file = -1;
        destination.placing = Placing::Direct;
    }
    return nullptr;
}

const char* PartialLeaf() { return Pending.partial; }

void CloseDestination(Destination& destination) {
    if (destination.file >= 0) close(destination.file);
    destination.file = -1;
}

// Creates the new empty file beside TARGET that is to take its place; 1,
// or 0 with errno set.
bool CreatePartialFile(const Place& target) {
    long longest = fpathconf(target.descriptor, _PC_NAME_MAX);
    std::size_t limit = longest > 0 && static_cast<std::size_t>(longest) < NameStore ? static_cast<std::size_t>(longest)
                                                                                     : NameLimit;
    for (int attempt = 0; attempt < UniqueAttempts; attempt++) {
        PartialName(target.leaf, limit, Pending.partial);
        int file = openat(target.descriptor, Pending.partial, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                          S_IRUSR | S_IWUSR);
        if (file >= 0) {
            Pending.partialfile = file;
            Pending.partialfolder = target.descriptor;
            return true;
        }
        if (errno != EEXIST) break;
    }
    Pending.partial[0] = '\0';
    return false;
}

// The system's temporary folder as the user set it; it may be relative.
std::string TemporaryFolder() {
    for (const char* variable : {"TMPDIR", "TMP", "TEMP", "TEMPDIR"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && value[0] != '\0') return value;
    }
    return "/tmp";
}

// Creates the private working folder under the system's temporary folder;
// 1, or 0 when none can be had.
bool CreateWorkingFolder() {
    Pending.temporary = open(TemporaryFolder().c_str(), FolderOnly | O_DIRECTORY | O_CLOEXEC);
    if (Pending.temporary < 0) return false;
    char name[sizeof FolderPrefix + UniqueLetters];
    std::memcpy(name, FolderPrefix, sizeof FolderPrefix - 1);
    for (int attempt = 0; attempt < UniqueAttempts; attempt++) {
        FillUnique(name + sizeof FolderPrefix - 1);
        if (mkdirat(Pending.temporary, name, S_IRWXU) == 0) {
            std::memcpy(Pending.folder, name, sizeof name);
            Pending.working = openat(Pending.temporary, name, FolderOnly | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            return Pending.working >= 0;
        }
        if (errno != EEXIST) break;
    }
    return false;
}

std::string WorkingFolderName() { return TemporaryFolder() + "/" + Pending.folder; }

bool EnterWorkingFolder() { return fchdir(Pending.working) == 0; }

void LeaveWorkingFolder() {
    if (Home >= 0 && fchdir(Home) != 0) {
        // The run goes on by descriptors; only the next design's relative
        // names would miss their folder.
    }
}

// Gives the new netlist the owner, group and permissions of the file it
// replaces where the process may, or those a newly created file gets.
void TakeOwnerAndPermissions(const Destination& destination) {
    if (destination.file >= 0) {
        if (fchown(Pending.partialfile, destination.info.st_uid, destination.info.st_gid) != 0) {
            // Not ours to give: the new file keeps the run's group.
        }
        fchmod(Pending.partialfile, destination.info.st_mode & 07777);
        return;
    }
    mode_t mask = umask(0);
    umask(mask);
    fchmod(Pending.partialfile, 0666 & ~mask);
}

// Puts the new netlist in the place of TARGET in one step; null, or the reason.
const char* ReplaceDestination(const Place& target, const Destination& destination) {
    TakeOwnerAndPermissions(destination);
    HoldSignals(true);
    bool moved = renameat(target.descriptor, Pending.partial, target.descriptor, target.leaf.c_str()) == 0;
    int error = errno;
    if (moved) {
        Pending.partial[0] = '\0';
        Kept[0] = '\0';
    }
    HoldSignals(false);
    errno = error;
    return moved ? nullptr : SystemReason();
}

// Writes all of the LENGTH bytes at DATA to FILE at OFFSET (or where the
// file stands when OFFSET is negative); 0 with errno set when it cannot.
bool WriteAll(int file, const char* data, std::size_t length, long long offset) {
    while (length > 0) {
        ssize_t wrote = offset < 0 ? write(file, data, length) : pwrite(file, data, length, static_cast<off_t>(offset));
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) return false;
        data += wrote;
        length -= static_cast<std::size_t>(wrote);
        if (offset >= 0) offset += wrote;
    }
    return true;
}

// Copies what is left to read of FROM to FILE from its start (OFFSET 0) or
// where it stands (-1); the bytes copied, or -1 with errno set.
long long CopyBytes(int from, int file, long long offset) {
    char buffer[1 << 16];
    long long copied = 0;
    for (;;) {
        ssize_t got = read(from, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 ||
            (got > 0 && !WriteAll(file, buffer, static_cast<std::size_t>(got), offset < 0 ? -1 : offset + copied)))
            return -1;
        if (got == 0) return copied;
        copied += got;
    }
}

// Closes FILE, keeping the error of what failed before.
void CloseKeepingError(int file) {
    int error = errno;
    close(file);
    errno = error;
}

// Copies the working folder's netlist to FILE from its start (OFFSET 0) or
// where it stands (-1); the bytes copied, or -1 with errno set.
long long CopyNetlist(int file, long long offset) {
    int netlist = openat(Pending.working, WorkingNetlist, O_RDONLY | O_CLOEXEC);
    if (netlist < 0) return -1;
    long long copied = CopyBytes(netlist, file, offset);
    CloseKeepingError(netlist);
    return copied;
}

// Copies standard input into the working folder as the design the library
// reads, a file made there afresh and for the owner alone; the bytes
// copied, or -1 with errno set.
long long CopyStandardInput() {
    int file =
        openat(Pending.working, InputCopy, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (file < 0) return -1;
    long long copied = CopyBytes(0, file, -1);
    CloseKeepingError(file);
    return copied;
}

// Null when FOLDER is a folder the process may create files in, else the reason.
const char* OutputFolderProblem(const std::string& folder) {
    struct stat info;
    if (stat(folder.c_str(), &info) != 0) return SystemReason();
    if (!S_ISDIR(info.st_mode))
        errno = ENOTDIR;
    else if (faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0)
        return nullptr;
    return SystemReason();
}

// Copies the netlist to standard output; null, or the reason.
const char* CopyToStandardOutput() { return CopyNetlist(1, -1) < 0 ? SystemReason() : nullptr; }

// Writes the netlist into the destination itself, which keeps its owner,
// its other names and its links; null, or the reason. The room is asked
// for first, so that a full device or the size limit leaves the file as it
// was; signals wait meanwhile, so that no interrupt leaves it half written.
// *DAMAGED says whether the file was changed before a failure.
const char* WriteInPlace(const Place& target, Destination& destination, bool* damaged) {
    *damaged = false;
    if (destination.throughlink) {
        // The kernel decides whether the link may be followed where it lies.
        destination.file = openat(target.descriptor, target.leaf.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
        if (destination.file < 0) return SystemReason();
    }
    struct stat netlist;
    if (fstatat(Pending.working, WorkingNetlist, &netlist, 0) != 0) return SystemReason();
#if defined(FALLOC_FL_KEEP_SIZE)
    if (netlist.st_size > 0 && fallocate(destination.file, FALLOC_FL_KEEP_SIZE, 0, netlist.st_size) != 0 &&
        errno != EOPNOTSUPP && errno != ENOSYS && errno != EINVAL)
        return SystemReason();
#endif
    HoldSignals(true);
    long long copied = CopyNetlist(destination.file, 0);
    bool written = copied >= 0 && ftruncate(destination.file, static_cast<off_t>(copied)) == 0;
    int error = errno;
    if (written) Kept[0] = '\0';
    HoldSignals(false);
    *damaged = !written;
    errno = error;
    return written ? nullptr : SystemReason();
}

#endif  // POSIX

// ---- Files on Windows -------------------------------------------------------

#if defined(_WIN32)

constexpr DWORD LongPathStore = 32768;  // the longest path the wide API takes, in characters

// The text of an 8-bit name in the system's code page, wide.
std::wstring Widen(const std::string& text) {
    if (text.empty()) return std::wstring();
    int length = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
    return wide;
}

// PATH made absolute and marked "\\?\", so that the wide API takes it at
// any length and as it stands; "" when it cannot be made absolute.
std::wstring LongName(const std::string& path) {
    std::wstring wide = Widen(path);
    if (wide.compare(0, 4, L"\\\\?\\") == 0) return wide;
    DWORD length = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (length == 0) return L"";
    std::wstring full(length, L'\0');
    length = GetFullPathNameW(wide.c_str(), length, &full[0], nullptr);
    full.resize(length);
    if (full.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

// A file the user named: its path made absolute, for the library, and its
// long name, for the CLI's own steps.
struct Place {
    std::string given;     // the path as the user gave it
    std::string folder;    // its folder as given, "." when it has none
    std::string leaf;      // its name in the folder
    std::string absolute;  // the absolute path the library is given
    std::wstring wide;     // the long name of the file
};

bool OpenPlace(const std::string& path, Place& place) {
    std::size_t slash = path.find_last_of("/\\");
    place.given = path;
    place.folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    place.leaf = slash == std::string::npos ? path : path.substr(slash + 1);
    std::error_code error;
    place.absolute = fs::absolute(path, error).string();
    place.wide = LongName(path);
    return !error && !place.wide.empty();
}

void ClosePlace(Place&) {}

std::string LibraryName(const Place& place, const std::string& leaf) {
    return (fs::path(place.absolute).parent_path() / leaf).string();
}

// What a run has made that must not outlive it, in fixed stores, so that
// the report that memory ran out and an interrupt undo it without
// allocating. An empty name holds nothing.
struct Leftovers {
    wchar_t partial[LongPathStore];  // the new netlist beside its destination
    char partialleaf[NameStore];     // its name there
    wchar_t folder[LongPathStore];   // the private working folder
    wchar_t netlist[LongPathStore];  // the netlist in it
    wchar_t input[LongPathStore];    // standard input's design in it
};

Leftovers Pending;

bool Store(wchar_t* store, const std::wstring& name) {
    if (name.size() >= LongPathStore) return false;
    std::memcpy(store, name.c_str(), (name.size() + 1) * sizeof(wchar_t));
    return true;
}

void Undo() {
    if (Pending.partial[0] != L'\0') DeleteFileW(Pending.partial);
    if (Pending.netlist[0] != L'\0') DeleteFileW(Pending.netlist);
    if (Pending.input[0] != L'\0') DeleteFileW(Pending.input);
    if (Pending.folder[0] != L'\0') RemoveDirectoryW(Pending.folder);
}

void Forget() {
    Pending.partial[0] = L'\0';
    Pending.partialleaf[0] = '\0';
    Pending.folder[0] = L'\0';
    Pending.netlist[0] = L'\0';
    Pending.input[0] = L'\0';
    Kept[0] = '\0';
}

// Console events: Ctrl+C, Ctrl+Break and closing the console or the
// session. The run cannot be stopped inside the library, whose files are
// open and so cannot be removed; the handler asks the run to stop, and
// the run undoes itself at its next step and ends. The system ends the
// process on a close event once the handler returns, so it waits for that.
volatile LONG StopAsked = 0;
HANDLE RunUndone = nullptr;

BOOL WINAPI ConsoleEvent(DWORD event) {
    InterlockedExchange(&StopAsked, 1);
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && RunUndone != nullptr)
        WaitForSingleObject(RunUndone, 4000);
    return TRUE;
}

void CatchSignals() {
    RunUndone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(ConsoleEvent, TRUE);
}

// Ends the run here when a console event asked it to stop.
void StopIfAsked() {
    if (InterlockedCompareExchange(&StopAsked, 0, 0) == 0) return;
    Undo();
    if (Kept[0] == '\0') Say("interrupted");
    TellStopped("interrupted");
    if (RunUndone != nullptr) SetEvent(RunUndone);
    ExitProcess(static_cast<UINT>(STATUS_CONTROL_C_EXIT));
}


bool IsDesignFile(const Place& design, const std::string& leaf) {
    DWORD attributes = GetFileAttributesW(LongName(design.absolute.substr(0, design.absolute.size() - design.leaf.size()) + leaf).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool SameFile(const Place& a, const std::string& leaf, const Place& b) {
    std::error_code error;
    return fs::equivalent(fs::path(a.absolute).parent_path() / leaf, b.absolute, error);
}

struct Destination {
    Placing placing = Placing::Replace;
    bool existed = false;
    bool throughlink = false;
    DWORD attributes = 0;  // of the file replaced
};

// Decides how the netlist reaches TARGET: null, or the reason it cannot be
// written. A read-only file is refused, as the library refuses it; a link
// or a file with other names is written in place, so that they keep the
// netlist.
const char* ExamineDestination(const Place& target, Destination& destination) {
    std::error_code error;
    fs::file_status status = fs::status(target.absolute, error);
    DWORD attributes = GetFileAttributesW(target.wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        DWORD failure = GetLastError();
        if (fs::exists(status)) {  // a device: NUL, CON
            destination.existed = true;
            destination.placing = Placing::Direct;
            return nullptr;
        }
        return failure == ERROR_FILE_NOT_FOUND || failure == ERROR_PATH_NOT_FOUND ? nullptr : SystemReason();
    }
    destination.existed = true;
    destination.attributes = attributes;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        destination.placing = Placing::Direct;
        return nullptr;
    }
    if (attributes & FILE_ATTRIBUTE_READONLY) {
        SetLastError(ERROR_ACCESS_DENIED);
        return SystemReason();
    }
    HANDLE file = CreateFileW(target.wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return SystemReason();
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileInformationByHandle(file, &info) && info.nNumberOfLinks > 1) destination.placing = Placing::InPlace;
    CloseHandle(file);
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) destination.placing = Placing::InPlace;
    return nullptr;
}

const char* PartialLeaf() { return Pending.partialleaf; }

void CloseDestination(Destination&) {}

// Creates the new empty file beside TARGET, never opening or deleting
// anything that is there; 1, or 0.
bool CreatePartialFile(const Place& target) {
    std::wstring folder = target.wide.substr(0, target.wide.find_last_of(L'\\') + 1);
    for (int attempt = 0; attempt < UniqueAttempts; attempt++) {
        PartialName(target.leaf, NameLimit, Pending.partialleaf);
        if (!Store(Pending.partial, folder + Widen(Pending.partialleaf))) break;
        HANDLE file = CreateFileW(Pending.partial, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
            return true;
        }
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    Pending.partial[0] = L'\0';
    return false;
}

std::string WorkingFolderAbsolute;  // the working folder, for the library's names

bool CreateWorkingFolder() {
    std::error_code error;
    fs::path parent = fs::absolute(fs::temp_directory_path(error), error);
    if (error) return false;
    char name[sizeof FolderPrefix + UniqueLetters];
    std::memcpy(name, FolderPrefix, sizeof FolderPrefix - 1);
    for (int attempt = 0; attempt < UniqueAttempts; attempt++) {
        FillUnique(name + sizeof FolderPrefix - 1);
        std::string folder = (parent / name).string();
        std::wstring wide = LongName(folder);
        if (wide.empty() || !Store(Pending.folder, wide)) return false;
        if (CreateDirectoryW(Pending.folder, nullptr)) {
            WorkingFolderAbsolute = folder;
            return Store(Pending.netlist, wide + L"\\" + Widen(WorkingNetlist));
        }
        Pending.folder[0] = L'\0';
        if (GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    return false;
}

std::string WorkingFolderName() { return WorkingFolderAbsolute; }

std::wstring HomeFolder;

bool EnterWorkingFolder() {
    DWORD length = GetCurrentDirectoryW(0, nullptr);
    HomeFolder.assign(length, L'\0');
    HomeFolder.resize(GetCurrentDirectoryW(length, &HomeFolder[0]));
    return SetCurrentDirectoryW(Widen(WorkingFolderAbsolute).c_str()) != 0;
}

void LeaveWorkingFolder() {
    if (!HomeFolder.empty()) SetCurrentDirectoryW(HomeFolder.c_str());
}

const char* ReplaceDestination(const Place& target, const Destination& destination) {
    if (destination.existed) SetFileAttributesW(Pending.partial, destination.attributes & ~FILE_ATTRIBUTE_READONLY);
    if (!MoveFileExW(Pending.partial, target.wide.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return SystemReason();
    Pending.partial[0] = L'\0';
    Kept[0] = '\0';
    return nullptr;
}

// Copies what is left to read of FROM into FILE from where it stands; the
// bytes copied, or -1 with the system's error set. A pipe whose writer has
// gone is at its end.
long long CopyBytes(HANDLE from, HANDLE file) {
    static char buffer[1 << 16];
    long long copied = 0;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(from, buffer, sizeof buffer, &got, nullptr))
            return GetLastError() == ERROR_BROKEN_PIPE ? copied : -1;
        if (got == 0) return copied;
        for (DWORD done = 0; done < got;) {
            DWORD wrote = 0;
            if (!WriteFile(file, buffer + done, got - done, &wrote, nullptr) || wrote == 0) return -1;
            done += wrote;
        }
        copied += got;
    }
}

void CloseKeepingError(HANDLE file) {
    DWORD error = GetLastError();
    CloseHandle(file);
    SetLastError(error);
}

// Copies the working folder's netlist into FILE from where it stands; 1,
// or 0 with the system's error set.
bool CopyNetlist(HANDLE file) {
    HANDLE netlist = CreateFileW(Pending.netlist, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (netlist == INVALID_HANDLE_VALUE) return false;
    bool copied = CopyBytes(netlist, file) >= 0;
    CloseKeepingError(netlist);
    return copied;
}

// Copies standard input into the working folder as the design the library
// reads, a file made there afresh; the bytes copied, or -1 with the
// system's error set.
long long CopyStandardInput() {
    if (!Store(Pending.input, std::wstring(Pending.folder) + L"\\" + Widen(InputCopy))) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return -1;
    }
    HANDLE file = CreateFileW(Pending.input, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        Pending.input[0] = L'\0';
        return -1;
    }
    long long copied = CopyBytes(GetStdHandle(STD_INPUT_HANDLE), file);
    CloseKeepingError(file);
    return copied;
}

// Null when FOLDER is a folder, else the reason; whether files may be
// created in it each design finds out.
const char* OutputFolderProblem(const std::string& folder) {
    DWORD attributes = GetFileAttributesW(LongName(folder).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return SystemReason();
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return nullptr;
    SetLastError(ERROR_DIRECTORY);
    return SystemReason();
}

const char* CopyToStandardOutput() {
    std::fflush(stdout);
    return CopyNetlist(reinterpret_cast<HANDLE>(_get_osfhandle(1))) ? nullptr : SystemReason();
}

const char* WriteInPlace(const Place& target, Destination&, bool* damaged) {
    *damaged = false;
    HANDLE file = CreateFileW(target.wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return SystemReason();
    bool written = CopyNetlist(file) && SetEndOfFile(file);
    DWORD error = GetLastError();
    CloseHandle(file);
    SetLastError(error);
    *damaged = !written;
    if (written) Kept[0] = '\0';
    return written ? nullptr : SystemReason();
}

#endif  // Windows

// ---- One design -------------------------------------------------------------

#if !defined(_WIN32)
void StopIfAsked() {}  // signals stop a run where it stands
#endif

// Formats DESIGN (a base path, a path ending in .ONL, or "-" for standard
// input) into OUTPUT ("" for DESIGN.asc, "-" for standard output); gives the
// exit status. SOURCE and TARGET are the caller's, so that it closes them
// however the run ends.
int RunDesign(const std::string& design, std::string output, Place& source, Place& target,
              Destination& destination) {
    Messages.lines = 0;
    StopIfAsked();
    bool tostdout = output == StandardOutputName;
    bool fromstdin = design == StandardInputName;
    std::string base = DesignBase(design);
    if (output.empty()) output = base + DefaultOutputExtension;

    std::string designleaf;
    if (!fromstdin && OpenPlace(base, source)) designleaf = source.leaf + IntermediateExtension;
    if (!fromstdin && (designleaf.empty() || !IsDesignFile(source, designleaf))) {
        std::error_code error;
        fs::path shown = fs::absolute(base + IntermediateExtension, error);
        Say("no design file ", error ? base + IntermediateExtension : shown.string());
        std::string other = NameInOtherCase(source.folder, source.leaf + IntermediateExtension);
        if (!other.empty())
            Say("hint: there is ", other, ", but the design file's name must end in ", IntermediateExtension);
        return ZEDID_RESULT_ERRORS;
    }
    if (!tostdout) {
        if (!OpenPlace(output, target)) {
            Say("can't create a new file beside ", output, ": ", SystemReason());
            return ZEDID_RESULT_ERRORS;
        }
        if (!fromstdin && SameFile(source, designleaf, target)) {
            Say("the output ", output, " is the design file itself; nothing was written");
            return ZEDID_RESULT_ERRORS;
        }
        if (const char* reason = ExamineDestination(target, destination)) {
            if (destination.existed)
                Say("can't put the netlist in place as ", output, ": ", reason, "; ", output, " was left as it was");
            else
                Say("can't create a new file beside ", output, ": ", reason);
            return ZEDID_RESULT_ERRORS;
        }
    }
    std::string kept = tostdout               ? "nothing was written to standard output"
                       : destination.existed ? output + " was left as it was"
                                             : "no netlist was written";
    Keep(kept);
    Placing placing = tostdout ? Placing::InPlace : destination.placing;
    if (placing == Placing::Replace && !CreatePartialFile(target)) {
        Say("can't create a new file beside ", output, ": ", SystemReason());
        return ZEDID_RESULT_ERRORS;
    }
    if (!CreateWorkingFolder()) {
        Say("can't create a working folder in the system's temporary folder");
        return ZEDID_RESULT_ERRORS;
    }
    if (fromstdin) {
        long long copied = CopyStandardInput();
        if (copied < 0) Say("can't copy standard input into the working folder: ", SystemReason());
        if (copied == 0) Say("standard input is empty: there is no design to format");
        StopIfAsked();
        if (copied <= 0) {
            if (destination.existed && !tostdout) Say(kept);
            return ZEDID_RESULT_ERRORS;
        }
    }
    // The names are made before the run leaves the current folder; the
    // library reads standard input's design in the working folder.
    std::string basename = fromstdin ? InputBase : LibraryName(source, source.leaf);
    std::string outputname = placing == Placing::InPlace ? WorkingNetlist
                             : placing == Placing::Replace ? LibraryName(target, PartialLeaf())
                                                           : LibraryName(target, target.leaf);
    if (basename.empty() || outputname.empty()) {
        Say("can't make an absolute path of ", basename.empty() ? base : output);
        return ZEDID_RESULT_ERRORS;
    }

    int result = ZEDID_RESULT_ERRORS;
    if (!EnterWorkingFolder()) {
        Say("can't enter the working folder ", WorkingFolderName());
    } else {
        result = CallExport(basename.c_str(), outputname.c_str());
        LeaveWorkingFolder();
    }
    StopIfAsked();
    if (result == ZEDID_RESULT_ERRORS) {
        if (destination.existed && !tostdout) Say(kept);
        return result;
    }

    // From here on nothing allocates: memory running out cannot turn a
    // netlist that took its place into a report that it did not.
    const char* reason = nullptr;
    if (tostdout) {
        Keep("the netlist on standard output is incomplete");
        reason = CopyToStandardOutput();
        if (reason != nullptr) Say("can't write the netlist to standard output: ", reason);
    } else if (placing == Placing::Replace) {
        reason = ReplaceDestination(target, destination);
        if (reason != nullptr) Say("can't put the netlist in place as ", output, ": ", reason, "; ", Kept);
    } else if (placing == Placing::InPlace) {
        bool damaged = false;
        reason = WriteInPlace(target, destination, &damaged);
        if (reason != nullptr && damaged) Say("can't write the netlist into ", output, ": ", reason, "; ", output, " is incomplete");
        if (reason != nullptr && !damaged) Say("can't write the netlist into ", output, ": ", reason, "; ", Kept);
    }
    return reason != nullptr ? ZEDID_RESULT_ERRORS : result;
}

// Runs one design and undoes whatever it made, however it ends: memory
// running out is a failure of that design like any other.
int RunGuarded(const std::string& design, const std::string& output) {
    Place source, target;
    Destination destination;
    int result = ZEDID_RESULT_ERRORS;
    try {
        result = RunDesign(design, output, source, target, destination);
    } catch (const std::bad_alloc&) {
        LeaveWorkingFolder();
        Undo();
        TellStopped("out of memory");
        if (Kept[0] == '\0') Say("out of memory");
    } catch (const std::exception& failure) {
        LeaveWorkingFolder();
        Undo();
        Say(failure.what());
    }
    Undo();
    Forget();
    CloseDestination(destination);
    ClosePlace(source);
    ClosePlace(target);
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
    Home = open(".", FolderOnly | O_DIRECTORY | O_CLOEXEC);
#endif
}

// ---- The command line -------------------------------------------------------

#if defined(ZEDID_PARSES_OPTIONS)
// getopt_long's names, so that Main reads the command line alike with either parser.
struct option {
    const char* name;
    int has_arg;
    int* flag;
    int val;
};
constexpr int no_argument = 0;
constexpr int required_argument = 1;
char* optarg = nullptr;
int optind = 1;
int optopt = 0;
int opterr = 1;
#endif

// The entry of OPTIONS that the long option NAME, LENGTH characters of it,
// names whole or begins; null when none does or (*MATCHES above 1) several.
const option* FindLongOption(const option* options, const char* name, std::size_t length, int* matches) {
    const option* found = nullptr;
    *matches = 0;
    for (const option* entry = options; entry->name != nullptr; entry++) {
        if (length == 0 || std::strncmp(entry->name, name, length) != 0) continue;
        if (entry->name[length] == '\0') {
            *matches = 1;
            return entry;
        }
        found = entry;
        ++*matches;
    }
    return *matches == 1 ? found : nullptr;
}

#if defined(ZEDID_PARSES_OPTIONS)
// As much of getopt_long as this program asks of it: the designs among the
// options returned in order as 1 (SHORTS begins "-"), short options grouped
// with a value joined or following, long ones whole or begun, with "=VALUE"
// or a value following, "--" ending them. Every fault gives '?', optopt set
// as getopt_long sets it, and nothing is printed.
int getopt_long(int argc, char* const* argv, const char* shorts, const option* longs, int*) {
    static int next = 0;  // the place in a group of short options; 0 between elements
    optarg = nullptr;
    if (next == 0) {
        if (optind >= argc) return -1;
        char* element = argv[optind];
        if (element[0] != '-' || element[1] == '\0') {
            optarg = argv[optind++];
            return 1;
        }
        if (element[1] == '-') {
            optind++;
            if (element[2] == '\0') return -1;  // "--"
            char* name = element + 2;
            std::size_t length = std::strcspn(name, "=");
            int matches = 0;
            const option* found = FindLongOption(longs, name, length, &matches);
            optopt = found != nullptr ? found->val : 0;
            bool joined = name[length] == '=';
            if (found == nullptr || (joined && found->has_arg == no_argument)) return '?';
            if (joined) {
                optarg = name + length + 1;
            } else if (found->has_arg == required_argument) {
                if (optind >= argc) return '?';
                optarg = argv[optind++];
            }
            return found->val;
        }
        next = 1;
    }
    char* element = argv[optind];
    optopt = static_cast<unsigned char>(element[next++]);
    const char* known = optopt == ':' || optopt == '-' ? nullptr : std::strchr(shorts, optopt);
    bool value = known != nullptr && known[1] == ':';
    if (element[next] == '\0' || value) {
        if (value && element[next] != '\0') optarg = element + next;
        next = 0;
        optind++;
        if (value && optarg == nullptr && optind >= argc) return '?';
        if (value && optarg == nullptr) optarg = argv[optind++];
    }
    return known == nullptr ? '?' : optopt;
}
#endif

constexpr int VersionOption = 256;  // --version has no letter
const option LongOptions[] = {
    {"help", no_argument, nullptr, 'h'},
    {"output", required_argument, nullptr, 'o'},
    {"output-dir", required_argument, nullptr, 'd'},
    {"quiet", no_argument, nullptr, 'q'},
    {"version", no_argument, nullptr, VersionOption},
    {nullptr, 0, nullptr, 0},
};
// "-": the designs come back in their place among the options, which may
// follow them whatever POSIXLY_CORRECT says; ":": faults are told here.
constexpr char ShortOptions[] = "-:ho:d:q";

// What is wrong with the option that getopt_long refused while reading
// ELEMENT. The runtimes differ in what they return for each fault, so the
// element itself is read.
std::string OptionProblem(const char* element) {
    int letter = optopt;
    if (std::strncmp(element, "--", 2) == 0) {
        const char* name = element + 2;
        std::size_t length = std::strcspn(name, "=");
        int matches = 0;
        const option* found = FindLongOption(LongOptions, name, length, &matches);
        std::string given = "--" + std::string(name, length);
        if (matches > 1) return "option " + given + " is ambiguous";
        if (found == nullptr) return "unknown option " + given;
        if (found->has_arg == no_argument) return std::string("option --") + found->name + " takes no value";
        letter = found->val;
    }
    if (letter == 'o') return "-o needs a file name";
    if (letter == 'd') return "-d needs a folder name";
    return std::string("unknown option -") + static_cast<char>(letter);
}

// Takes the value of -o or -d, a WHAT, into STORE: once and not empty.
// Gives "" or the problem.
std::string TakeValue(std::string& store, const std::string& what) {
    if (!store.empty()) return "only one output " + what + " can be given";
    store = optarg;
    return store.empty() ? "the output " + what + " name is empty" : "";
}

// With -d FOLDER, the netlist of each design: FOLDER/BASENAME.asc, into
// OUTPUTS. Two designs of one name from different folders would each
// replace the other's netlist; gives "" or that problem.
std::string PlaceInFolder(const std::string& folder, const std::vector<std::string>& designs,
                          std::vector<std::string>& outputs) {
    bool joined = std::strchr(Separators, folder.back()) != nullptr;
    std::vector<std::pair<std::string, std::size_t>> taken;
    for (std::size_t i = 0; i < designs.size(); i++) {
        std::string base = DesignBase(designs[i]);
        std::size_t cut = base.find_last_of(Separators);
        outputs[i] = folder + (joined ? "" : "/") + base.substr(cut == std::string::npos ? 0 : cut + 1) +
                     DefaultOutputExtension;
        std::string key = outputs[i];
#if defined(_WIN32)
        // One file, whatever the letter case.
        for (char& c : key)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
#endif
        taken.emplace_back(key, i);
    }
    std::sort(taken.begin(), taken.end());
    for (std::size_t k = 1; k < taken.size(); k++) {
        const std::string& first = designs[taken[k - 1].second];
        const std::string& second = designs[taken[k].second];
        if (taken[k - 1].first == taken[k].first && DesignBase(first) != DesignBase(second))
            return first + " and " + second + " would both be written to " + outputs[taken[k].second];
    }
    return "";
}

int Main(int argc, char** argv) {
    std::vector<std::string> designs;
    std::string output, folder;
    opterr = 0;
    for (;;) {
        const char* element = optind < argc ? argv[optind] : "";
        int code = getopt_long(argc, argv, ShortOptions, LongOptions, nullptr);
        if (code == -1) break;
        if (code == 1) {
            designs.push_back(optarg);
        } else if (code == 'h') {
            std::fputs(Usage, stdout);
            return 0;
        } else if (code == VersionOption) {
            std::printf("zedid %s\n", ZEDID_VERSION);
            return 0;
        } else if (code == 'q') {
            Messages.quiet = true;
        } else if (code == 'o' || code == 'd') {
            std::string problem = code == 'o' ? TakeValue(output, "file") : TakeValue(folder, "folder");
            if (!problem.empty()) return UsageError(problem);
        } else {
            return UsageError(OptionProblem(element));
        }
    }
    designs.insert(designs.end(), argv + optind, argv + argc);  // those after "--"
    if (designs.empty()) return UsageError("no design given");
    for (const std::string& design : designs)
        if (DesignBase(design).empty()) return UsageError("no design given");
    if (!output.empty() && !folder.empty()) return UsageError("-o and -d cannot be used together");
    if (!output.empty() && designs.size() > 1)
        return UsageError("-o can be used with one design only; several designs each go to DESIGN.asc");
    bool fromstdin = std::find(designs.begin(), designs.end(), StandardInputName) != designs.end();
    if (fromstdin && designs.size() > 1) return UsageError("standard input ('-') can only be the one design");
    if (fromstdin && !folder.empty())
        return UsageError("-d cannot name the netlist of standard input's design; use -o");
    // A design without a name gives a netlist without one.
    if (fromstdin && output.empty()) output = StandardOutputName;
    std::vector<std::string> outputs(designs.size(), output);
    if (!folder.empty()) {
        std::string problem = PlaceInFolder(folder, designs, outputs);
        if (!problem.empty()) return UsageError(problem);
        // Told once, not by every design of the batch.
        if (const char* reason = OutputFolderProblem(folder)) {
            Say("can't write netlists into ", folder, ": ", reason);
            return ZEDID_RESULT_ERRORS;
        }
    }
#if defined(_WIN32)
    // The netlist's bytes exactly: no line end may be translated again.
    if (output == StandardOutputName) _setmode(_fileno(stdout), _O_BINARY);
#endif
    CatchSignals();
    if (designs.size() == 1) return RunGuarded(designs[0], outputs[0]);

    // Each design's closing line tells which design the lines above it
    // belong to, where a single run needs no such line.
    int worst = ZEDID_RESULT_OK;
    for (std::size_t i = 0; i < designs.size(); i++) {
        Messages.design = designs[i].c_str();
        int result = RunGuarded(designs[i], outputs[i]);
        Messages.design = "";
        if (result == ZEDID_RESULT_WARNINGS) Say(designs[i], ": netlist written with warnings (status 1)");
        if (result == ZEDID_RESULT_ERRORS) Say(designs[i], ": failed (status 2)");
        worst = std::max(worst, result);
    }
    return worst;
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
    // Memory that runs out outside a design's run (reading the command
    // line) is an error like any other, never an abort.
    try {
        return Main(argc, argv);
    } catch (const std::bad_alloc&) {
        Say("out of memory");
    } catch (const std::exception& failure) {
        Say(failure.what());
    }
    return ZEDID_RESULT_ERRORS;
}
