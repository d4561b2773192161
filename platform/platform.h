// The thin layer over what the host platform provides: text files, the heap,
// message lookup and printf-style formatting. Nothing else in the library
// calls fopen, malloc or printf, so every build behaves alike.
#pragma once

#include <cstdarg>
#include <cstddef>

// ---- Text files ----------------------------------------------------------
// Files behave like the host platform's text mode on every platform. Opened
// "wt", a written line feed is stored as carriage return + line feed (a
// carriage return written stays as it is). Opened "rt", a carriage return
// directly before a line feed is dropped and byte 26 (Ctrl+Z) ends the file.
struct TextFile;

// Opens NAME with MODE "wt" (create or empty) or "rt"; null when it cannot.
TextFile* OpenTextFile(const char* name, const char* mode);
// Flushes and closes; a null file is ignored. Write errors are not reported.
void CloseTextFile(TextFile* file);
// Writes TEXT unchanged but for the line-end rule; the outcome is not examined.
void WriteTextFile(TextFile* file, const char* text);
// Reads like the C runtime's line read: up to SIZE - 1 characters, stopping
// after a line feed (which is kept) or at the end of the file; the store is
// always terminated. Gives 1 when a piece was read, 0 at the end of the
// file. A zero byte of the file is stored like any character; callers that
// take the piece as a text see it end there, as with the runtime's read.
int ReadTextLine(TextFile* file, char* store, int size);
// Deletes the file NAME; 1 when it was deleted.
int DeleteFileByName(const char* name);
// 1 when A and B are open on one and the same file of the file system,
// whatever names they were opened under; 0 otherwise or when either is null.
int SameFile(TextFile* a, TextFile* b);

// ---- Heap ----------------------------------------------------------------
// Every allocation of the library goes through these, so that a test can
// make any one of them fail. They give null on failure.
void* AllocateMemory(std::size_t size);
void* ResizeMemory(void* block, std::size_t size);
void ReleaseMemory(void* block);
// An owned copy of TEXT, or null when no memory can be had.
char* CopyText(const char* text);

// Test hook: the COUNTDOWN-th allocation from now (0 = the next one) and only
// that one fails; -1 turns failures off. Gives how many allocations were made
// since the hook was last set, so a test can sweep every allocation of a run.
long SetAllocationFailure(long countdown);
long AllocationsMade();

// ---- Texts ---------------------------------------------------------------
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
