// Owns the host connection: the callback and the module of the string table.
#include "platform/report.h"

#include <cstdarg>

#include "platform/platform.h"
#include "resources/messages.h"

namespace {

struct HostConnection {
    MessageCallback callback = nullptr;
    void* module = nullptr;
};

HostConnection Connection;

}  // namespace

void ConnectHost(MessageCallback callback, void* module) {
    Connection.callback = callback;
    Connection.module = module;
}

int SendToHost(const char* text) {
    if (Connection.callback == nullptr) return 0;
    return Connection.callback(text);
}

void ReportMessage(int id) {
    char text[MessageTextSize];
    LoadMessageText(Connection.module, id, text, MessageTextSize - 1);
    SendToHost(text);
}

void ReportFilledMessage(int id, ...) {
    char format[MessageTextSize];
    LoadMessageText(Connection.module, id, format, MessageTextSize - 1);
    char text[FormattedTextSize];
    std::va_list args;
    va_start(args, id);
    FormatTextV(text, FormattedTextSize, format, args);
    va_end(args);
    SendToHost(text);
}
