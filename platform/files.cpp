// Text files with the host platform's text-mode rules. On Windows the C
// runtime's own text mode does the work; elsewhere the rules are applied
// here, so an intermediate file written on Windows reads the same and the
// netlist is byte-identical on every platform.
#include "platform/platform.h"
#include "platform/fault.h"
#include "platform/files_testing.h"

#include <cstdio>
#include <cstring>

namespace {

FaultCountdown WriteFaults;  // write operations made, and the one that fails

// Counts one write operation; true when the test hook makes it fail.
bool NextWriteFails() { return CountOperation(WriteFaults); }

}  // namespace

long SetWriteFailure(long countdown) { return ChooseFailure(WriteFaults, countdown); }

long WritesMade() { return WriteFaults.made; }

#if defined(_WIN32)

#include <fcntl.h>
#include <io.h>
#include <windows.h>

struct TextFile {
    std::FILE* stream;
    bool writing;
    bool failed;  // a write failed: the file takes nothing more
};

namespace {

TextFile* WrapStream(std::FILE* stream, bool writing) {
    TextFile* file = static_cast<TextFile*>(AllocateMemory(sizeof(TextFile)));
    if (file == nullptr) {
        std::fclose(stream);
        return nullptr;
    }
    file->stream = stream;
    file->writing = writing;
    file->failed = false;
    return file;
}

// Identity of the entry NAME; FOLLOW says whether a link leads on.
bool IdentityOfName(const char* name, bool follow, BY_HANDLE_FILE_INFORMATION* info) {
    DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
    HANDLE handle = CreateFileA(name, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    bool known = GetFileInformationByHandle(handle, info) != 0;
    CloseHandle(handle);
    return known;
}

bool IdentityOfFile(TextFile* file, BY_HANDLE_FILE_INFORMATION* info) {
    HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file->stream)));
    return GetFileInformationByHandle(handle, info) != 0;
}

bool SameIdentity(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.nFileIndexLow == b.nFileIndexLow;
}

}  // namespace

TextFile* OpenTextFile(const char* name, const char* mode) {
    if (name == nullptr || mode == nullptr) return nullptr;
    std::FILE* stream = std::fopen(name, mode);
    if (stream == nullptr) return nullptr;
    return WrapStream(stream, mode[0] == 'w');
}

TextFile* CreateTemporaryFile(const char* name) {
    if (name == nullptr) return nullptr;
    // A stale entry is deleted through a handle on the entry itself, never
    // by name: a name can lead elsewhere (a link, a junction), and opening
    // the reparse point deletes the link, not what it leads to. Whatever
    // still holds the name then refuses the creation. No sharing: nobody
    // else opens it while it lives, and the system deletes it when the
    // handle goes, however the process ends.
    HANDLE stale = CreateFileA(name, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (stale != INVALID_HANDLE_VALUE) {
        BY_HANDLE_FILE_INFORMATION info;
        if (GetFileInformationByHandle(stale, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            FILE_DISPOSITION_INFO disposition = {TRUE};
            SetFileInformationByHandle(stale, FileDispositionInfo, &disposition, sizeof disposition);
        }
        CloseHandle(stale);
    }
    HANDLE handle = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_TEXT);
    if (descriptor < 0) {
        CloseHandle(handle);
        return nullptr;
    }
    std::FILE* stream = _fdopen(descriptor, "w+t");
    if (stream == nullptr) {
        _close(descriptor);
        return nullptr;
    }
    return WrapStream(stream, true);
}

int CloseTextFile(TextFile* file) {
    if (file == nullptr) return 1;
    bool clean = !file->failed;
    if (file->writing && clean && (NextWriteFails() || std::fflush(file->stream) != 0)) clean = false;
    if (std::fclose(file->stream) != 0 || (file->writing && NextWriteFails())) clean = false;
    ReleaseMemory(file);
    return clean ? 1 : 0;
}

int WriteTextFile(TextFile* file, const char* text) {
    if (file == nullptr || !file->writing || file->failed) return 0;
    if (NextWriteFails() || std::fputs(text, file->stream) == EOF) file->failed = true;
    return file->failed ? 0 : 1;
}

int FlushTextFile(TextFile* file) {
    if (file == nullptr || !file->writing || file->failed) return 0;
    if (NextWriteFails() || std::fflush(file->stream) != 0) file->failed = true;
    return file->failed ? 0 : 1;
}

int RewindTextFile(TextFile* file) {
    if (file == nullptr || (file->writing && !FlushTextFile(file))) return 0;
    file->writing = false;
    file->failed = false;
    if (std::fseek(file->stream, 0, SEEK_SET) != 0) {
        file->failed = true;
        return 0;
    }
    std::clearerr(file->stream);
    return 1;
}

int ReadTextLine(TextFile* file, char* store, int size) {
    if (size < 1) return 0;
    if (file == nullptr || file->writing || file->failed || std::fgets(store, size, file->stream) == nullptr) {
        store[0] = '\0';
        return 0;
    }
    return 1;
}

int TextFileReadFailed(TextFile* file) {
    return file != nullptr && !file->writing && (file->failed || std::ferror(file->stream)) ? 1 : 0;
}

int SameFile(TextFile* a, TextFile* b) {
    if (a == nullptr || b == nullptr) return 0;
    BY_HANDLE_FILE_INFORMATION first, second;
    return IdentityOfFile(a, &first) && IdentityOfFile(b, &second) && SameIdentity(first, second) ? 1 : 0;
}

int SameFileAsName(TextFile* file, const char* name) {
    if (file == nullptr || name == nullptr) return 0;
    BY_HANDLE_FILE_INFORMATION first, second;
    return IdentityOfFile(file, &first) && IdentityOfName(name, false, &second) && SameIdentity(first, second)
               ? 1
               : 0;
}

int NamesSameFile(const char* a, const char* b) {
    if (a == nullptr || b == nullptr) return 0;
    BY_HANDLE_FILE_INFORMATION first, second;
    return IdentityOfName(a, true, &first) && IdentityOfName(b, true, &second) && SameIdentity(first, second)
               ? 1
               : 0;
}

#else

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int ReadBlockSize = 64 * 1024;
constexpr int EndOfFileMark = 26;  // Ctrl+Z ends a text file on the host platform
constexpr int TemporaryAttempts = 100;  // tries to create the temporary file

}  // namespace

struct TextFile {
    std::FILE* stream;
    bool writing;
    bool failed;  // writing: a write failed, the file takes nothing more; reading: a read failed
    bool ended;   // the end of the file or a Ctrl+Z was met: nothing more is read
    int position;  // reading: next unread byte of block; writing: unused
    int length;    // reading: bytes held in block; writing: bytes waiting in it
    unsigned char block[ReadBlockSize];
};

namespace {

bool IsDirectory(std::FILE* stream) {
    struct stat info;
    return fstat(fileno(stream), &info) == 0 && S_ISDIR(info.st_mode);
}

TextFile* WrapStream(std::FILE* stream, bool writing) {
    TextFile* file = static_cast<TextFile*>(AllocateMemory(sizeof(TextFile)));
    if (file == nullptr) {
        std::fclose(stream);
        return nullptr;
    }
    // Written text waits in the file's own block; a second buffer in the
    // stream would only hide a failed write until the close.
    if (writing) std::setvbuf(stream, nullptr, _IONBF, 0);
    file->stream = stream;
    file->writing = writing;
    file->failed = false;
    file->ended = false;
    file->position = 0;
    file->length = 0;
    return file;
}

bool FillBlock(TextFile* file) {
    file->position = 0;
    file->length = static_cast<int>(std::fread(file->block, 1, ReadBlockSize, file->stream));
    if (file->length == 0 && std::ferror(file->stream)) file->failed = true;
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

// Hands the bytes waiting in a written file's block to the system; false
// when that failed, now or before.
bool FlushBlock(TextFile* file) {
    if (file->failed) return false;
    if (file->length > 0) {
        std::size_t length = static_cast<std::size_t>(file->length);
        if (NextWriteFails() || std::fwrite(file->block, 1, length, file->stream) != length) file->failed = true;
    }
    file->length = 0;
    return !file->failed;
}

// Queues LENGTH bytes of TEXT for writing; false once a write failed.
bool Queue(TextFile* file, const char* text, std::size_t length) {
    while (length > 0) {
        if (file->length == ReadBlockSize && !FlushBlock(file)) return false;
        std::size_t room = static_cast<std::size_t>(ReadBlockSize - file->length);
        std::size_t part = length < room ? length : room;
        std::memcpy(file->block + file->length, text, part);
        file->length += static_cast<int>(part);
        text += part;
        length -= part;
    }
    return true;
}

bool SameIdentity(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

}  // namespace

TextFile* OpenTextFile(const char* name, const char* mode) {
    if (name == nullptr || mode == nullptr) return nullptr;
    bool writing = mode[0] == 'w';
    std::FILE* stream = std::fopen(name, writing ? "wb" : "rb");
    if (stream == nullptr) return nullptr;
    if (!writing && IsDirectory(stream)) {
        // Opening a directory for reading succeeds here but not on the host
        // platform; refuse it the same way.
        std::fclose(stream);
        return nullptr;
    }
    return WrapStream(stream, writing);
}

TextFile* CreateTemporaryFile(const char* name) {
    if (name == nullptr) return nullptr;
    // Exclusive creation fails on anything planted meanwhile, a link
    // included. Another run in this folder holds the name only between its
    // creation and its unlink below, so a name that keeps coming back, or a
    // folder, is refused after a few tries.
    int descriptor = -1;
    for (int attempt = 0; attempt < TemporaryAttempts && descriptor < 0; attempt++) {
        struct stat info;
        if (lstat(name, &info) == 0) {
            if (S_ISDIR(info.st_mode)) return nullptr;
            unlink(name);
        }
        descriptor = open(name, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, S_IRUSR | S_IWUSR);
        if (descriptor < 0 && errno != EEXIST) return nullptr;
    }
    if (descriptor < 0) return nullptr;
    // The file is read back through this handle, so its name is not needed:
    // without it nothing can replace or share the file, and a killed run
    // leaves nothing behind. Another run may have removed it already as a
    // stale entry, or may lose its own name here: each keeps its handle.
    if (unlink(name) != 0 && errno != ENOENT) {
        close(descriptor);
        return nullptr;
    }
    std::FILE* stream = fdopen(descriptor, "w+b");
    if (stream == nullptr) {
        close(descriptor);
        return nullptr;
    }
    return WrapStream(stream, true);
}

int CloseTextFile(TextFile* file) {
    if (file == nullptr) return 1;
    bool clean = true;
    if (file->writing) {
        clean = FlushBlock(file);
        if (NextWriteFails()) clean = false;
    }
    if (std::fclose(file->stream) != 0) clean = false;
    ReleaseMemory(file);
    return clean ? 1 : 0;
}

// Written through the file's own block: the output is many short texts, so
// each is copied in one pass that finds its end and its line feeds as it
// goes, rather than measured and searched before the copy.
int WriteTextFile(TextFile* file, const char* text) {
    if (file == nullptr || !file->writing || file->failed) return 0;
    for (;;) {
        unsigned char* block = file->block;
        int length = file->length;
        for (char c; length < ReadBlockSize && (c = *text) != '\0' && c != '\n'; text++)
            block[length++] = static_cast<unsigned char>(c);
        file->length = length;
        if (*text == '\0') return 1;
        // A full block is handed on only when more text waits for it.
        if (*text != '\n') {
            if (!FlushBlock(file)) return 0;
        } else {
            if (!Queue(file, "\r\n", 2)) return 0;
            text++;
        }
    }
}

int FlushTextFile(TextFile* file) {
    if (file == nullptr || !file->writing) return 0;
    return FlushBlock(file) ? 1 : 0;
}

int RewindTextFile(TextFile* file) {
    if (file == nullptr || (file->writing && !FlushBlock(file))) return 0;
    file->writing = false;
    file->failed = false;
    file->ended = false;
    file->position = 0;
    file->length = 0;
    if (std::fseek(file->stream, 0, SEEK_SET) != 0) {
        file->failed = true;
        file->ended = true;
        return 0;
    }
    return 1;
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

int TextFileReadFailed(TextFile* file) { return file != nullptr && !file->writing && file->failed ? 1 : 0; }

int SameFile(TextFile* a, TextFile* b) {
    if (a == nullptr || b == nullptr) return 0;
    struct stat first, second;
    if (fstat(fileno(a->stream), &first) != 0 || fstat(fileno(b->stream), &second) != 0) return 0;
    return SameIdentity(first, second) ? 1 : 0;
}

int SameFileAsName(TextFile* file, const char* name) {
    if (file == nullptr || name == nullptr) return 0;
    struct stat first, second;
    if (fstat(fileno(file->stream), &first) != 0 || lstat(name, &second) != 0) return 0;
    return SameIdentity(first, second) ? 1 : 0;
}

int NamesSameFile(const char* a, const char* b) {
    if (a == nullptr || b == nullptr) return 0;
    struct stat first, second;
    if (stat(a, &first) != 0 || stat(b, &second) != 0) return 0;
    return SameIdentity(first, second) ? 1 : 0;
}

#endif
