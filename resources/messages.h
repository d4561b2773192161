// Ids and texts of the numbered messages, built from messages.def.
#pragma once

// Every text fits a message store of this many bytes with its terminator;
// longer texts would be cut by the host platform's string-table lookup.
constexpr int MessageTextSize = 128;

enum MessageId : int {
#define ZEDID_MESSAGE(name, id, text) name = id,
#include "resources/messages.def"
#undef ZEDID_MESSAGE
};

struct MessageEntry {
    int id;
    const char* text;
};

// The table that builds without string-table resources look texts up in.
constexpr MessageEntry MessageTable[] = {
#define ZEDID_MESSAGE(name, id, text) {id, text},
#include "resources/messages.def"
#undef ZEDID_MESSAGE
};

constexpr int MessageCount = sizeof MessageTable / sizeof MessageTable[0];

namespace messages_detail {
constexpr int Length(const char* text) { return *text ? 1 + Length(text + 1) : 0; }
constexpr bool AllFit() {
    for (const MessageEntry& entry : MessageTable)
        if (Length(entry.text) > MessageTextSize - 3) return false;
    return true;
}
constexpr bool Ascending() {
    for (int i = 1; i < MessageCount; i++)
        if (MessageTable[i - 1].id >= MessageTable[i].id) return false;
    return true;
}
}  // namespace messages_detail

// The lookup loads at most 126 characters and the terminator into a store of
// 128; every text must survive it whole.
static_assert(messages_detail::AllFit(), "a message text is longer than 125 characters");
static_assert(messages_detail::Ascending(), "message ids must be unique and ascending");
static_assert(MessageCount == 23, "ids 1, 3 and 8 to 28 each need exactly one entry");
