// Message lookup by id and the printf-style formatter of message texts. On
// Windows both are the system's own (the module's string table, wsprintfA).
#include "platform/platform.h"

#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#else
#include "resources/messages.h"
#endif

#if defined(_WIN32)

namespace {

// The module this code was linked into: the DLL, or a program that holds
// the library's objects. A host that passes no handle gets its texts from
// there; the system would otherwise look in the host's own program, which
// has none of them, and every message would arrive empty.
HINSTANCE OwnModule() {
    HMODULE own = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&OwnModule), &own);
    return own;
}

}  // namespace

int LoadMessageText(void* module, int id, char* store, int size) {
    if (size < 1) return 0;
    HINSTANCE from = module != nullptr ? static_cast<HINSTANCE>(module) : OwnModule();
    int length = LoadStringA(from, static_cast<UINT>(id), store, size);
    if (length <= 0) {
        store[0] = '\0';
        return 0;
    }
    return length;
}

int FormatTextV(char* store, int size, const char* format, std::va_list args) {
    if (size < 1) return 0;
    // wvsprintfA writes at most 1,024 characters and knows no store size.
    // What it gives back after a cut is not always what it stored (Wine
    // stores one character less), so the stored text is measured.
    char staged[FormattedTextSize];
    staged[0] = '\0';
    wvsprintfA(staged, format, args);
    staged[FormattedTextSize - 1] = '\0';
    int length = static_cast<int>(std::strlen(staged));
    if (length > size - 1) length = size - 1;
    std::memcpy(store, staged, static_cast<std::size_t>(length));
    store[length] = '\0';
    return length;
}

#else

int LoadMessageText(void*, int id, char* store, int size) {
    if (size < 1) return 0;
    store[0] = '\0';
    for (const MessageEntry& entry : MessageTable) {
        if (entry.id != id) continue;
        int length = static_cast<int>(std::strlen(entry.text));
        if (length > size - 1) length = size - 1;
        std::memcpy(store, entry.text, static_cast<std::size_t>(length));
        store[length] = '\0';
        return length;
    }
    return 0;
}

namespace {

// Appends to a store of fixed size, dropping what does not fit.
struct Appender {
    char* store;
    int size;
    int length;

    void Put(const char* text, std::size_t count) {
        std::size_t room = static_cast<std::size_t>(size - 1 - length);
        if (count > room) count = room;
        std::memcpy(store + length, text, count);
        length += static_cast<int>(count);
    }
};

}  // namespace

int FormatTextV(char* store, int size, const char* format, std::va_list args) {
    if (size < 1) return 0;
    Appender out{store, size, 0};
    const char* p = format;
    while (*p != '\0') {
        const char* percent = std::strchr(p, '%');
        if (percent == nullptr) {
            out.Put(p, std::strlen(p));
            break;
        }
        out.Put(p, static_cast<std::size_t>(percent - p));
        char directive = percent[1];
        if (directive == 'd') {
            char digits[16];
            int value = va_arg(args, int);
            unsigned long magnitude = value < 0 ? 0UL - static_cast<unsigned long>(value)
                                                : static_cast<unsigned long>(value);
            int n = 0;
            do {
                digits[n++] = static_cast<char>('0' + magnitude % 10);
                magnitude /= 10;
            } while (magnitude != 0);
            if (value < 0) digits[n++] = '-';
            while (n > 0) out.Put(&digits[--n], 1);
            p = percent + 2;
        } else if (directive == 's') {
            const char* text = va_arg(args, const char*);
            if (text == nullptr) text = "(null)";
            out.Put(text, std::strlen(text));
            p = percent + 2;
        } else if (directive == '%') {
            out.Put("%", 1);
            p = percent + 2;
        } else {
            out.Put("%", 1);
            p = percent + 1;
        }
    }
    store[out.length] = '\0';
    return out.length;
}

#endif

int FormatText(char* store, int size, const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    int length = FormatTextV(store, size, format, args);
    va_end(args);
    return length;
}
