// The library's one way to the heap, with the test hook that fails a chosen
// allocation, and the few text helpers that every module shares.
#include "platform/platform.h"
#include "platform/fault.h"
#include "platform/memory_testing.h"

#include <cstdlib>
#include <cstring>

#if defined(_WIN32)
#include <malloc.h>
#include <windows.h>
#elif defined(__unix__) || defined(__APPLE__)
#include <sys/mman.h>
#endif
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {

FaultCountdown Heap;  // allocations attempted, and the one that fails
long Blocks = 0;      // AllocateBlock's blocks not yet released
long HeapBlocks = 0;  // AllocateMemory's and ResizeMemory's blocks not yet released

bool NextAllocationFails() { return CountOperation(Heap); }

}  // namespace

void* AllocateMemory(std::size_t size) {
    if (NextAllocationFails()) return nullptr;
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block != nullptr) HeapBlocks++;
    return block;
}

void* ResizeMemory(void* block, std::size_t size) {
    if (NextAllocationFails()) return nullptr;
    void* resized = std::realloc(block, size == 0 ? 1 : size);
    if (resized != nullptr && block == nullptr) HeapBlocks++;
    return resized;
}

void ReleaseMemory(void* block) {
    if (block == nullptr) return;
    HeapBlocks--;
    std::free(block);
}

void* AllocateAlignedMemory(std::size_t size, std::size_t alignment) {
    if (NextAllocationFails()) return nullptr;
    if (size == 0) size = 1;
#if defined(_WIN32)
    void* block = _aligned_malloc(size, alignment);
#else
    // posix_memalign takes no alignment below a pointer's.
    if (alignment < sizeof(void*)) alignment = sizeof(void*);
    void* block = nullptr;
    if (posix_memalign(&block, alignment, size) != 0) block = nullptr;
#endif
    if (block != nullptr) HeapBlocks++;
    return block;
}

void ReleaseAlignedMemory(void* block) {
    if (block == nullptr) return;
    HeapBlocks--;
#if defined(_WIN32)
    _aligned_free(block);
#else
    std::free(block);
#endif
}

void* AllocateBlock(std::size_t size) {
    if (NextAllocationFails() || size == 0) return nullptr;
#if defined(_WIN32)
    void* block = VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
#elif defined(__unix__) || defined(__APPLE__)
    void* block = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED) block = nullptr;
#else
    void* block = std::calloc(1, size);
#endif
    if (block != nullptr) Blocks++;
    return block;
}

void ReleaseBlock(void* block, std::size_t size) {
    if (block == nullptr) return;
    Blocks--;
#if defined(_WIN32)
    (void)size;
    VirtualFree(block, 0, MEM_RELEASE);
#elif defined(__unix__) || defined(__APPLE__)
    munmap(block, size);
#else
    (void)size;
    std::free(block);
#endif
}

void ReturnFreeMemory() {
#if defined(__GLIBC__)
    malloc_trim(0);
#elif defined(_WIN32)
    _heapmin();
#endif
}

char* CopyText(const char* text) {
    std::size_t length = std::strlen(text);
    char* copy = static_cast<char*>(AllocateMemory(length + 1));
    if (copy != nullptr) std::memcpy(copy, text, length + 1);
    return copy;
}

const char EmptyText[] = "";

void FreeText(const char* text) {
    if (text == nullptr || text == EmptyText) return;
    ReleaseMemory(const_cast<char*>(text));
}

long SetAllocationFailure(long countdown) { return ChooseFailure(Heap, countdown); }

long AllocationsMade() { return Heap.made; }

long BlocksHeld() { return Blocks; }

long HeapBlocksHeld() { return HeapBlocks; }

int SameTextIgnoringCase(const char* a, const char* b) {
    for (;; a++, b++) {
        unsigned char x = static_cast<unsigned char>(*a);
        unsigned char y = static_cast<unsigned char>(*b);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
        if (x != y) return 0;
        if (x == '\0') return 1;
    }
}
