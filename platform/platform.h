// The thin layer over what the host platform provides: text files, the heap,
// message lookup and printf-style formatting. Nothing else in the library
// calls fopen, malloc or printf, so every build behaves alike.
#pragma once

#include <climits>
#include <cstdarg>
#include <cstddef>

#if defined(_MSC_VER) && (defined(_M_X64) || defined(_M_IX86))
#include <xmmintrin.h>
#endif

// ---- Text files ----------------------------------------------------------
// Files behave like the host platform's text mode on every platform. Opened
// "wt", a written line feed is stored as carriage return + line feed (a
// carriage return written stays as it is). Opened "rt", a carriage return
// directly before a line feed is dropped and byte 26 (Ctrl+Z) ends the file.
struct TextFile;

// Opens NAME with MODE "wt" (create or empty) or "rt"; null when it cannot.
TextFile* OpenTextFile(const char* name, const char* mode);
// Creates NAME afresh as a private file to write and then read back through
// the same handle, never through a link or a file that was there before:
// a stale entry of that name that is no folder is removed first, the
// entry itself and never what a link leads to (on Windows through a handle
// on the reparse point, never by name), then the file is created
// exclusively, links not followed. Where the system allows it the
// name goes at once (POSIX) or with the handle, a killed process's included
// (Windows), so nothing stays behind and two processes never share the
// file. Null when it cannot be created so.
TextFile* CreateTemporaryFile(const char* name);
// Writes what is pending, closes and frees; a null file is ignored. 1 when
// every write to the file reached the system and it closed cleanly (and for
// a null or reading file that closed), 0 otherwise.
int CloseTextFile(TextFile* file);
// Writes TEXT unchanged but for the line-end rule. 1, or 0 when a write
// failed, now or earlier: after a failure a file takes nothing more.
int WriteTextFile(TextFile* file, const char* text);
// Hands everything written so far to the system; 1, or 0 as WriteTextFile.
int FlushTextFile(TextFile* file);
// Makes a file written so far read from its start through the same handle
// (a file from CreateTemporaryFile), or a file being read read again: what
// is pending is written first. 1, or 0 when a write failed or the file
// cannot be rewound; it then reads nothing.
int RewindTextFile(TextFile* file);
// Reads like the C runtime's line read: up to SIZE - 1 characters, stopping
// after a line feed (which is kept) or at the end of the file; the store is
// always terminated. Gives 1 when a piece was read, 0 at the end of the
// file. A zero byte of the file is stored like any character; callers that
// take the piece as a text see it end there, as with the runtime's read.
int ReadTextLine(TextFile* file, char* store, int size);
// 1 when a read of FILE failed (rather than met the end of the file).
int TextFileReadFailed(TextFile* file);
// 1 when A and B are open on one and the same file of the file system,
// whatever names they were opened under; 0 otherwise or when either is null.
int SameFile(TextFile* a, TextFile* b);
// 1 when the entry NAME itself (a link is not followed) is the file FILE
// is open on; 0 otherwise or when either is absent.
int SameFileAsName(TextFile* file, const char* name);
// 1 when A and B both name an existing file and it is one and the same
// (links followed); 0 otherwise.
int NamesSameFile(const char* a, const char* b);

// ---- Heap ----------------------------------------------------------------
// Every allocation of the library goes through these, so that a test can
// make any one of them fail (platform/memory_testing.h). They give null on failure.
void* AllocateMemory(std::size_t size);
void* ResizeMemory(void* block, std::size_t size);
void ReleaseMemory(void* block);
// SIZE bytes of the heap at a multiple of ALIGNMENT (a power of two), which
// may exceed the heap's own. Null on failure, counted and failed by the test
// hook as AllocateMemory's; released with ReleaseAlignedMemory.
void* AllocateAlignedMemory(std::size_t size, std::size_t alignment);
void ReleaseAlignedMemory(void* block);
// A block of SIZE bytes (zeroed) taken from the system itself, not from the
// heap, for memory that a run carves into many records and frees whole:
// the heap keeps freed space of its own in ways that a host's other use of
// it, or one large block freed early, can turn into memory never given
// back. Null on failure; counted with the heap's allocations by the test
// hook. Released with ReleaseBlock and the same SIZE.
void* AllocateBlock(std::size_t size);
void ReleaseBlock(void* block, std::size_t size);
// Hands back to the system the heap's free memory that it would keep: after
// many small blocks are freed at once, so that they do not stay counted
// against the run while the memory allocated next comes from elsewhere.
// Changes no block in use; does nothing where the C runtime has no way.
void ReturnFreeMemory();
// An owned copy of TEXT, or null when no memory can be had.
char* CopyText(const char* text);
// The one shared empty text that every text field holds when it has no
// value. It is never freed and never written.
extern const char EmptyText[];
// Frees TEXT unless it is absent or EmptyText.
void FreeText(const char* text);

// Asks the processor to bring the memory at ADDRESS into its cache ahead
// of a read. A hint that changes nothing else; ADDRESS need not be valid.
inline void PrefetchMemory(const void* address) {
#if defined(__GNUC__) || defined(__clang__)
    __builtin_prefetch(address);
#elif defined(_MSC_VER) && (defined(_M_X64) || defined(_M_IX86))
    _mm_prefetch(static_cast<const char*>(address), _MM_HINT_T0);
#else
    (void)address;
#endif
}
// Reads a byte at ADDRESS, which must be valid, and forgets it: reads that
// do not depend on one another wait on memory together, and a read, unlike
// the hint above, is not dropped when the page's address translation is not
// at hand, as it seldom is for memory reached in no order.
inline void TouchMemory(const void* address) { (void)*static_cast<const volatile unsigned char*>(address); }

// ---- Texts ---------------------------------------------------------------
// A table with an entry for every value of a byte has this many entries.
constexpr int ByteValues = UCHAR_MAX + 1;

// 1 when A and B are equal with the letters A to Z and a to z compared
// without regard to case; every other byte compares exactly.
int SameTextIgnoringCase(const char* a, const char* b);

// ---- Messages ------------------------------------------------------------
// Loads the text of message ID through MODULE into STORE of SIZE bytes
// (at most SIZE - 1 characters and the terminator). Gives the length, or 0
// with an empty store when the table has no such message.
int LoadMessageText(void* module, int id, char* store, int size);

// The formatting store that every formatted message needs: the host
// platform's formatter writes at most 1,024 characters.
constexpr int FormattedTextSize = 1025;

// printf-style formatting of "%d" (int) and "%s" (text) into STORE of SIZE
// bytes, never past it and always terminated; "%%" gives "%". Other
// directives are copied as they stand. Gives the length written.
int FormatText(char* store, int size, const char* format, ...);
int FormatTextV(char* store, int size, const char* format, std::va_list args);
