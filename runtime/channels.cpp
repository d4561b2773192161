// Owns the channel file table and the message line.
#include "runtime/channels.h"

#include <cstring>

#include "platform/platform.h"
#include "platform/report.h"
#include "reader/tokens.h"
#include "resources/messages.h"

namespace {

// Pieces of a concatenated file are read with the host runtime's line read
// into a store of a token's length; lines of any length still arrive whole,
// piece by piece.
constexpr int ConcatenatePieceSize = TokenLimit;

struct ChannelState {
    TextFile* files[ChannelCount] = {};          // index 0 unused
    bool failed[ChannelCount] = {};              // a write failed and was reported
    const char* names[ChannelCount] = {EmptyText, EmptyText, EmptyText, EmptyText};
    char messageline[MessageLineLimit + 3] = {};  // 125 characters and the terminator
    int linelength = 0;
};

ChannelState Channels;

bool IsFileChannel(int channel) { return channel >= FirstOutputChannel && channel <= TemporaryChannel; }

bool ChannelIsOpen(int channel) { return IsFileChannel(channel) && Channels.files[channel] != nullptr; }

// Reports the first failed write of CHANNEL; 0, the write's result.
int WriteFailed(int channel) {
    if (!Channels.failed[channel]) {
        Channels.failed[channel] = true;
        ReportMessage(channel == TemporaryChannel ? MsgWriteTemporaryFile : MsgWriteOutputFile);
    }
    return 0;
}

// The temporary file must not take the place of another channel's file:
// removing a stale entry of its name would drop that file's name with it.
TextFile* CreateTemporaryChannelFile(const char* name) {
    for (int other = FirstOutputChannel; other <= TemporaryChannel; other++)
        if (SameFileAsName(Channels.files[other], name)) return nullptr;
    return CreateTemporaryFile(name);
}

void SendLine() {
    SendToHost(Channels.messageline);
    Channels.messageline[0] = '\0';
    Channels.linelength = 0;
}

}  // namespace

void ClearMessageLine() {
    Channels.messageline[0] = '\0';
    Channels.linelength = 0;
}

int OpenChannelFile(int channel, const char* name) {
    if (!IsFileChannel(channel) || Channels.files[channel] != nullptr || name == nullptr) return 0;
    // The name is kept first: a file created and then given up for lack of
    // memory would stay behind, emptied, although the run reports it could
    // not be opened. Without its name the channel could not be appended.
    char* copy = CopyText(name);
    if (copy == nullptr) return 0;
    TextFile* file = channel == TemporaryChannel ? CreateTemporaryChannelFile(name) : OpenTextFile(name, "wt");
    // Two channels on one file would write over each other.
    for (int other = FirstOutputChannel; file != nullptr && other <= TemporaryChannel; other++) {
        if (SameFile(file, Channels.files[other])) {
            CloseTextFile(file);
            file = nullptr;
        }
    }
    if (file == nullptr) {
        FreeText(copy);
        return 0;
    }
    FreeText(Channels.names[channel]);
    Channels.names[channel] = copy;
    Channels.files[channel] = file;
    return 1;
}

int FlushChannel(int channel) {
    if (!ChannelIsOpen(channel)) return 0;
    return FlushTextFile(Channels.files[channel]) ? 1 : WriteFailed(channel);
}

int ChannelWriteFailed() {
    for (int channel = FirstOutputChannel; channel <= TemporaryChannel; channel++)
        if (Channels.failed[channel]) return 1;
    return 0;
}

int CloseChannelFiles() {
    int clean = 1;
    for (int channel = FirstOutputChannel; channel <= TemporaryChannel; channel++) {
        if (Channels.files[channel] != nullptr && !CloseTextFile(Channels.files[channel])) clean = WriteFailed(channel);
        if (Channels.failed[channel]) clean = 0;
        Channels.files[channel] = nullptr;
        Channels.failed[channel] = false;
    }
    return clean;
}

void ReleaseChannelNames() {
    for (int channel = FirstOutputChannel; channel <= TemporaryChannel; channel++) {
        FreeText(Channels.names[channel]);
        Channels.names[channel] = EmptyText;
    }
}

int WriteString(int channel, const char* text) {
    if (channel == MessageChannel) {
        int length = static_cast<int>(std::strlen(text));
        if (Channels.linelength + length <= MessageLineLimit) {
            std::memcpy(Channels.messageline + Channels.linelength, text, static_cast<std::size_t>(length) + 1);
            Channels.linelength += length;
            return 1;
        }
        if (Channels.linelength > 0) SendLine();
        if (length > MessageLineLimit) {
            // No line can hold it: it goes to the host whole, on its own.
            SendToHost(text);
            return 1;
        }
        std::memcpy(Channels.messageline, text, static_cast<std::size_t>(length) + 1);
        Channels.linelength = length;
        return 1;
    }
    if (ChannelIsOpen(channel)) return WriteTextFile(Channels.files[channel], text) ? 1 : WriteFailed(channel);
    ReportFilledMessage(MsgIllegalChannel, channel);
    return 0;
}

int EndLine(int channel) {
    if (channel == MessageChannel) {
        SendLine();
        return 1;
    }
    return WriteString(channel, "\n");
}

int ConcatenateChannel(int destination, int source) {
    if (!IsFileChannel(destination) || !IsFileChannel(source)) return 0;
    if (Channels.files[destination] == nullptr || Channels.files[source] == nullptr || destination == source) {
        ReportMessage(MsgConcatenateNotOpen);
        return 0;
    }
    // Read back through its own handle: reopened by name, the file could
    // have been replaced by then, or be another process's of that name.
    if (!FlushChannel(source)) return 0;
    TextFile* file = Channels.files[source];
    if (!RewindTextFile(file)) {
        ReportMessage(MsgConcatenateNotOpen);
        return 0;
    }
    // A reading file must not be written to; the source takes no more text.
    char piece[ConcatenatePieceSize];
    while (ReadTextLine(file, piece, ConcatenatePieceSize)) WriteString(destination, piece);
    if (TextFileReadFailed(file)) {
        ReportMessage(MsgConcatenateNotOpen);
        return 0;
    }
    return 1;
}
