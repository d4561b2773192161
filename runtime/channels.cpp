// Owns the channel file table, the message line and the host connection.
#include "runtime/channels.h"

#include <cstdarg>
#include <cstring>

#include "host/run.h"
#include "platform/platform.h"
#include "resources/messages.h"

namespace {

// Pieces of a concatenated file are read with the host runtime's line read
// at this limit; lines of any length still arrive whole, piece by piece.
constexpr int ConcatenatePieceSize = 255;

struct ChannelState {
    MessageCallback callback = nullptr;
    void* module = nullptr;
    TextFile* files[ChannelCount] = {};          // index 0 unused
    const char* names[ChannelCount] = {EmptyText, EmptyText, EmptyText, EmptyText};
    char messageline[MessageLineLimit + 3] = {};  // 125 characters and the terminator
    int linelength = 0;
};

ChannelState Channels;

bool IsFileChannel(int channel) { return channel >= FirstOutputChannel && channel <= TemporaryChannel; }

void SendLine() {
    SendToHost(Channels.messageline);
    Channels.messageline[0] = '\0';
    Channels.linelength = 0;
}

}  // namespace

void ConnectHost(MessageCallback callback, void* module) {
    Channels.callback = callback;
    Channels.module = module;
}

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
    TextFile* file = OpenTextFile(name, "wt");
    // Two channels on one file would write over each other, and deleting
    // "ZEDID.TMP" at the end would take an output file of that name with it.
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

int ChannelIsOpen(int channel) { return IsFileChannel(channel) && Channels.files[channel] != nullptr; }

void CloseChannelFiles() {
    for (int channel = FirstOutputChannel; channel <= TemporaryChannel; channel++) {
        CloseTextFile(Channels.files[channel]);
        Channels.files[channel] = nullptr;
    }
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
    if (ChannelIsOpen(channel)) {
        WriteTextFile(Channels.files[channel], text);
        return 1;
    }
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

int SendToHost(const char* text) {
    if (Channels.callback == nullptr) return 0;
    return Channels.callback(text);
}

void ReportMessage(int id) {
    char text[MessageTextSize];
    LoadMessageText(Channels.module, id, text, MessageTextSize - 1);
    SendToHost(text);
}

void ReportFilledMessage(int id, ...) {
    char format[MessageTextSize];
    LoadMessageText(Channels.module, id, format, MessageTextSize - 1);
    char text[FormattedTextSize];
    std::va_list args;
    va_start(args, id);
    FormatTextV(text, FormattedTextSize, format, args);
    va_end(args);
    SendToHost(text);
}

int ConcatenateChannel(int destination, int source) {
    if (!IsFileChannel(destination) || !IsFileChannel(source)) return 0;
    if (Channels.files[destination] == nullptr || Channels.files[source] == nullptr) {
        ReportMessage(MsgConcatenateNotOpen);
        return 0;
    }
    CloseTextFile(Channels.files[source]);
    Channels.files[source] = OpenTextFile(Channels.names[source], "rt");
    if (Channels.files[source] == nullptr) {
        ReportMessage(MsgConcatenateNotOpen);
        return 0;
    }
    // A reading file must not be written to; the source takes no more text.
    char piece[ConcatenatePieceSize];
    while (ReadTextLine(Channels.files[source], piece, ConcatenatePieceSize))
        WriteString(destination, piece);
    return 1;
}
