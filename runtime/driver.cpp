// Owns the current records, the net number, the part walk and the buffer
// behind built-in variable 20.
#include "runtime/driver.h"

#include "formats/layout.h"
#include "host/run.h"
#include "platform/platform.h"
#include "resources/messages.h"
#include "runtime/channels.h"
#include "runtime/symbols.h"

Net CurrentNet = {};
NetPin CurrentNetPin = {};
PartInstance CurrentPart = {};

namespace {

// Variable 20 is a text of this many bytes that nothing ever writes.
constexpr std::size_t Reserved20Size = 256;

struct DriverState {
    int32_t netnumber = 0;       // 1-based position of CurrentNet; 0 before the loop
    int32_t partcounter = 0;     // steps of the part walk since its reset
    char* reserved20 = nullptr;  // allocated at run start, empty
};

DriverState Driver;

void CallHook(int (*hook)()) {
    if (hook != nullptr) hook();
}

// The run's result from the first character of ExitType.
int ResultOfRun() {
    const UserSymbol* exittype = FindSymbol(ExitTypeSymbol);
    char status = exittype != nullptr ? exittype->value[0] : '\0';
    // A symbol the program could not keep for lack of memory means the file
    // is not what the design asks for; the host is told why, since no hook
    // reported anything.
    if (SymbolMemoryFailed()) {
        ReportMessage(MsgErrorsUnusable);
        return 2;
    }
    if (status == 'E') return 2;
    return status == 'W' ? 1 : 0;
}

}  // namespace

int RunFormatProgram() { return RunFormatProgram(LayoutProgram); }

int RunFormatProgram(const FormatProgram& program) {
    // Releasing also frees whatever a run that was never released left.
    ReleaseSymbols();
    SetIntegerWidth(1);
    Driver.netnumber = 0;
    ResetPartWalk();
    ReleaseMemory(Driver.reserved20);
    Driver.reserved20 = static_cast<char*>(AllocateMemory(Reserved20Size));
    if (Driver.reserved20 != nullptr) Driver.reserved20[0] = '\0';

    CallHook(program.init);
    CallHook(program.header);
    Driver.netnumber = 0;
    // The count is tested after each pass; an empty table, which the entry
    // point never lets through, gets no pass at all.
    while (Driver.netnumber < Design.netcount && Design.nets != nullptr) {
        const Net* net = Design.nets[Driver.netnumber];
        CurrentNet = *net;
        Driver.netnumber++;
        CallHook(program.net);
        for (const NetPin* pin = net->netpins; pin != nullptr; pin = pin->nextonnet) {
            CurrentNetPin = *pin;
            if (pin->part >= 0 && pin->part < Design.partcount)
                CurrentPart = *Design.parts[pin->part];
            else
                CurrentPart = {};
            CallHook(program.pin);
        }
        CallHook(program.netend);
    }
    CallHook(program.end);
    return ResultOfRun();
}

int ResetPartWalk() {
    Driver.partcounter = 0;
    return 0;
}

int NextPart() {
    if (Driver.partcounter < INT32_MAX) Driver.partcounter++;
    if (Driver.partcounter > Design.partcount || Design.parts == nullptr) return 0;
    CurrentPart = *Design.parts[Driver.partcounter - 1];
    return 1;
}

int32_t CurrentNetNumber() { return Driver.netnumber; }

int32_t CurrentPartCounter() { return Driver.partcounter; }

const char* Reserved20Text() { return Driver.reserved20 != nullptr ? Driver.reserved20 : EmptyText; }

void ReleaseDriver() {
    ReleaseMemory(Driver.reserved20);
    Driver = DriverState{};
    CurrentNet = {};
    CurrentNetPin = {};
    CurrentPart = {};
}
