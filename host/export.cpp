// The library's single export and the order of one run.
#include <atomic>
#include <cstring>

#include "formats/layout.h"
#include "host/run.h"
#include "platform/platform.h"
#include "platform/report.h"
#include "reader/design.h"
#include "reader/parser.h"
#include "resources/messages.h"
#include "runtime/channels.h"
#include "runtime/driver.h"
#include "zedid.h"

namespace {

constexpr char TemporaryFileName[] = "ZEDID.TMP";
constexpr char IntermediateExtension[] = ".ONL";
constexpr char SummaryFormat[] = "%d Parts, %d Library Parts, %d Nets, %d Pins\n";

// Two-file mode is chosen when the formatter is built, never at run time:
// this formatter writes one file, so it holds no "/2".
constexpr char SwitchText[] = "";

bool TwoFileMode() { return std::strstr(SwitchText, "/2") != nullptr; }

struct HostState {
    const char* basepath = EmptyText;  // argument 1, held whole for the run
    std::atomic<bool> running{false};  // a call is in progress, on any thread
};

HostState Host;

// The intermediate file's name, or null when no memory can be had.
char* IntermediateFileName(const char* basepath) {
    std::size_t length = std::strlen(basepath);
    char* name = static_cast<char*>(AllocateMemory(length + sizeof IntermediateExtension));
    if (name == nullptr) return nullptr;
    std::memcpy(name, basepath, length);
    std::memcpy(name + length, IntermediateExtension, sizeof IntermediateExtension);
    return name;
}

// Ends a run that created the temporary file. The file has no name left to
// delete (or loses it with its handle), so closing removes it; a netlist
// whose writes did not all reach the disk is an error, reported by the
// channels where the failure was found.
int TearDown(int result) {
    if (!CloseChannelFiles()) result = ZEDID_RESULT_ERRORS;
    ReleaseRun();
    return result;
}

// Ends a run that failed before the temporary file existed.
int GiveUp(int message) {
    ReportMessage(message);
    CloseChannelFiles();
    ReleaseRun();
    return ZEDID_RESULT_ERRORS;
}

int Run(const char* basepath, const char* outputfile, const char* secondfile) {
    if (basepath != nullptr) {
        char* copy = CopyText(basepath);
        if (copy != nullptr) Host.basepath = copy;
    }
    ClearMessageLine();

    // A base path that is absent or could not be held names no file.
    char* name = Host.basepath != EmptyText ? IntermediateFileName(Host.basepath) : nullptr;
    // Opening the output empties it: an output that is the intermediate
    // file, under any name, would lose the design before it is read.
    if (name != nullptr && NamesSameFile(outputfile, name)) {
        ReleaseMemory(name);
        return GiveUp(MsgFirstOutputFile);
    }
    int failure = 0;
    if (!OpenChannelFile(FirstOutputChannel, outputfile))
        failure = MsgFirstOutputFile;
    else if (TwoFileMode() && (secondfile == nullptr || secondfile[0] == '\0'))
        failure = MsgTwoFileNames;
    else if (TwoFileMode() && !OpenChannelFile(SecondOutputChannel, secondfile))
        failure = MsgSecondOutputFile;
    else if (!OpenChannelFile(TemporaryChannel, TemporaryFileName))
        failure = MsgTemporaryFile;
    if (failure != 0) {
        ReleaseMemory(name);
        return GiveUp(failure);
    }

    TextFile* intermediate = name != nullptr ? OpenTextFile(name, "rt") : nullptr;
    ReleaseMemory(name);
    if (intermediate == nullptr) {
        ReportMessage(MsgIntermediateFile);
        return TearDown(ZEDID_RESULT_ERRORS);
    }
    int read = ReadIntermediateFile(intermediate);
    CloseTextFile(intermediate);

    if (!read)
        failure = MsgReadFailed;
    else if (Design.partcount == 0)
        failure = MsgNoParts;
    else if (Design.netpincount == 0 || Design.netcount == 0)
        failure = MsgNoNets;
    if (failure != 0) {
        ReportMessage(failure);
        return TearDown(ZEDID_RESULT_ERRORS);
    }

    char summary[FormattedTextSize];
    FormatText(summary, FormattedTextSize, SummaryFormat, Design.partcount, Design.componentcount, Design.netcount,
               Design.netpincount);
    SendToHost(summary);
    return TearDown(RunFormatProgram(LayoutProgram, Host.basepath));
}

}  // namespace

void ReleaseBasePath() {
    FreeText(Host.basepath);
    Host.basepath = EmptyText;
}

extern "C" ZEDID_API int ZEDID_CALL ZedidDLL90(const char* designbasepath, const char* outputfile,
                                                const char* secondfile, const char*, MessageCallback callback,
                                                void* module) {
    // The run state exists once; a call from inside a callback or from
    // another thread would tear it from under the running call. Taking the
    // mark and testing it is one step, so two threads cannot both win.
    if (Host.running.exchange(true)) return ZEDID_RESULT_ERRORS;
    ConnectHost(callback, module);
    int result = Run(designbasepath, outputfile, secondfile);
    ConnectHost(nullptr, nullptr);
    Host.running.store(false);
    return result;
}
