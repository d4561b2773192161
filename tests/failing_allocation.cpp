// Makes one allocation of a process fail, for the command-line host's
// tests. Loaded with LD_PRELOAD, it fails allocation number N of malloc,
// calloc and realloc together (counted from 0), N taken from
// ZEDID_FAIL_ALLOCATION, and creates the file named by ZEDID_FAIL_REACHED
// when it got that far, so that a sweep knows when it has passed the last.
// glibc only: the real allocator is reached by its own names.
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

extern "C" void* __libc_malloc(std::size_t size);
extern "C" void* __libc_calloc(std::size_t count, std::size_t size);
extern "C" void* __libc_realloc(void* block, std::size_t size);

namespace {

long Made = 0;
long Chosen = -2;  // -2: not read yet; -1: nothing fails

// True for the one allocation that fails. getenv and open allocate nothing.
bool ThisOneFails() {
    if (Chosen == -2) {
        const char* text = getenv("ZEDID_FAIL_ALLOCATION");
        Chosen = -1;
        if (text != nullptr && *text != '\0') {
            long value = 0;
            for (; *text >= '0' && *text <= '9'; text++) value = value * 10 + (*text - '0');
            Chosen = value;
        }
    }
    if (Chosen < 0 || Made++ != Chosen) return false;
    if (const char* reached = getenv("ZEDID_FAIL_REACHED")) {
        int file = open(reached, O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        if (file >= 0) close(file);
    }
    errno = ENOMEM;
    return true;
}

}  // namespace

extern "C" void* malloc(std::size_t size) { return ThisOneFails() ? nullptr : __libc_malloc(size); }

extern "C" void* calloc(std::size_t count, std::size_t size) {
    return ThisOneFails() ? nullptr : __libc_calloc(count, size);
}

extern "C" void* realloc(void* block, std::size_t size) {
    return ThisOneFails() ? nullptr : __libc_realloc(block, size);
}
