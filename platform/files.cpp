// Text files with the host platform's text-mode rules. On Windows the C
// runtime's own text mode does the work; elsewhere the rules are applied
// here, so an intermediate file written on Windows reads the same and the
// netlist is byte-identical on every platform.
#include "platform/platform.h"

#include <cstdio>
#include <cstring>

#if defined(_WIN32)

#include <io.h>
#include <windows.h>

struct TextFile {
    std::FILE* stream;
};

TextFile* OpenTextFile(const char* name, const char* mode) {
    if (name == nullptr || mode == nullptr) return nullptr;
    TextFile* file = static_cast<TextFile*>(AllocateMemory(sizeof(TextFile)));
    if (file == nullptr) return nullptr;
    file->stream = std::fopen(name, mode);
    if (file->stream == nullptr) {
        ReleaseMemory(file);
        return nullptr;
    }
    return file;
}

void CloseTextFile(TextFile* file) {
    if (file == nullptr) return;
    std::fclose(file->stream);
    ReleaseMemory(file);
}

void WriteTextFile(TextFile* file, const char* text) {
    if (file == nullptr) return;
    std::fputs(text, file->stream);
}

int ReadTextLine(TextFile* file, char* store, int size) {
    if (size < 1) return 0;
    if (file == nullptr || std::fgets(store, size, file->stream) == nullptr) {
        store[0] = '\0';
        return 0;
    }
    return 1;
}

int DeleteFileByName(const char* name) { return std::remove(name) == 0 ? 1 : 0; }

int SameFile(TextFile* a, TextFile* b) {
    if (a == nullptr || b == nullptr) return 0;
    BY_HANDLE_FILE_INFORMATION first, second;
    HANDLE ha = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(a->stream)));
    HANDLE hb = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(b->stream)));
    if (!GetFileInformationByHandle(ha, &first) || !GetFileInformationByHandle(hb, &second)) return 0;
    return first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
           first.nFileIndexHigh == second.nFileIndexHigh && first.nFileIndexLow == second.nFileIndexLow;
}

#else

#include <sys/stat.h>

namespace {

constexpr int ReadBlockSize = 64 * 1024;
constexpr int EndOfFileMark = 26;  // Ctrl+Z ends a text file on the host platform

}  // namespace

struct TextFile {
    std::FILE* stream;
    bool writing;
    bool ended;  // the end of the file or a Ctrl+Z was met: nothing more is read
    int position;  // reading: next unread byte of block; writing: unused
    int length;    // reading: bytes held in block; writing: bytes waiting in it
    unsigned char block[ReadBlockSize];
};

namespace {

bool IsDirectory(std::FILE* stream) {
    struct stat info;
    return fstat(fileno(stream), &info) == 0 && S_ISDIR(info.st_mode);
}

bool FillBlock(TextFile* file) {
    file->position = 0;
    file->length = static_cast<int>(std::fread(file->block, 1, ReadBlockSize, file->stream));
    return file->length > 0;
}

// The next character as text mode delivers it, or -1 at the end.
int NextCharacter(TextFile* file) {
    if (file->ended) return -1;
    if (file->position == file->length && !FillBlock(file)) {
        file->ended = true;
        return -1;
    }
    int c = file->block[file->position++];
    if (c == EndOfFileMark) {
        file->ended = true;
        return -1;
    }
    if (c == '\r') {
        if (file->position == file->length && !FillBlock(file)) return '\r';
        if (file->block[file->position] == '\n') {
            file->position++;
            return '\n';
        }
    }
    return c;
}

// Bytes at the start of the SPAN bytes at FROM that text mode delivers as
// they stand: up to the first line feed, carriage return or Ctrl+Z.
int PlainBytes(const unsigned char* from, int span) {
    std::size_t limit = static_cast<std::size_t>(span);
    if (const void* at = std::memchr(from, '\n', limit)) limit = static_cast<std::size_t>(static_cast<const unsigned char*>(at) - from);
    if (const void* at = std::memchr(from, '\r', limit)) limit = static_cast<std::size_t>(static_cast<const unsigned char*>(at) - from);
    if (const void* at = std::memchr(from, EndOfFileMark, limit))
        limit = static_cast<std::size_t>(static_cast<const unsigned char*>(at) - from);
    return static_cast<int>(limit);
}

// Writes out the bytes waiting in a written file's block.
void FlushBlock(TextFile* file) {
    if (file->length > 0) std::fwrite(file->block, 1, static_cast<std::size_t>(file->length), file->stream);
    file->length = 0;
}

// Queues LENGTH bytes of TEXT for writing.
void Queue(TextFile* file, const char* text, std::size_t length) {
    while (length > 0) {
        if (file->length == ReadBlockSize) FlushBlock(file);
        std::size_t room = static_cast<std::size_t>(ReadBlockSize - file->length);
        std::size_t part = length < room ? length : room;
        std::memcpy(file->block + file->length, text, part);
        file->length += static_cast<int>(part);
        text += part;
        length -= part;
    }
}

}  // namespace

TextFile* OpenTextFile(const char* name, const char* mode) {
    if (name == nullptr || mode == nullptr) return nullptr;
    bool writing = mode[0] == 'w';
    TextFile* file = static_cast<TextFile*>(AllocateMemory(sizeof(TextFile)));
    if (file == nullptr) return nullptr;
    file->stream = std::fopen(name, writing ? "wb" : "rb");
    if (file->stream != nullptr && !writing && IsDirectory(file->stream)) {
        // Opening a directory for reading succeeds here but not on the host
        // platform; refuse it the same way.
        std::fclose(file->stream);
        file->stream = nullptr;
    }
    if (file->stream == nullptr) {
        ReleaseMemory(file);
        return nullptr;
    }
    file->writing = writing;
    file->ended = false;
    file->position = 0;
    file->length = 0;
    return file;
}

void CloseTextFile(TextFile* file) {
    if (file == nullptr) return;
    if (file->writing) FlushBlock(file);
    std::fclose(file->stream);
    ReleaseMemory(file);
}

// Written through the file's own block: the output is many short texts.
void WriteTextFile(TextFile* file, const char* text) {
    if (file == nullptr || !file->writing) return;
    for (;;) {
        const char* lineend = std::strchr(text, '\n');
        if (lineend == nullptr) {
            Queue(file, text, std::strlen(text));
            return;
        }
        Queue(file, text, static_cast<std::size_t>(lineend - text));
        Queue(file, "\r\n", 2);
        text = lineend + 1;
    }
}

int ReadTextLine(TextFile* file, char* store, int size) {
    if (size < 1) return 0;
    int count = 0;
    if (file != nullptr && !file->writing) {
        // Runs of plain bytes are copied whole; the byte after a run (or a
        // run cut by the block's end) goes through the text-mode rules.
        while (count < size - 1 && !file->ended) {
            if (file->position == file->length && !FillBlock(file)) {
                file->ended = true;
                break;
            }
            int span = file->length - file->position;
            if (span > size - 1 - count) span = size - 1 - count;
            int plain = PlainBytes(file->block + file->position, span);
            std::memcpy(store + count, file->block + file->position, static_cast<std::size_t>(plain));
            count += plain;
            file->position += plain;
            if (plain == span) continue;
            int c = NextCharacter(file);
            if (c < 0) break;
            store[count++] = static_cast<char>(c);
            if (c == '\n') break;
        }
    }
    store[count] = '\0';
    return count > 0 ? 1 : 0;
}

int DeleteFileByName(const char* name) { return std::remove(name) == 0 ? 1 : 0; }

int SameFile(TextFile* a, TextFile* b) {
    if (a == nullptr || b == nullptr) return 0;
    struct stat first, second;
    if (fstat(fileno(a->stream), &first) != 0 || fstat(fileno(b->stream), &second) != 0) return 0;
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

#endif
