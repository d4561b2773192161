/* A host that passes no module handle and holds no string table of its
 * own: every message it is sent must still carry its text. Prints each
 * message line between brackets, so an empty one shows. */
#include <stdio.h>
#include <windows.h>

#include "zedid.h"

static int ZEDID_CALL ShowLine(const char* line) {
    printf("[%s]\n", line);
    return 0;
}

int main(void) {
    HMODULE module = LoadLibraryA("zedid.dll");
    if (module == NULL) return 3;
    ZedidDLL90Function run = (ZedidDLL90Function)(void (*)(void))GetProcAddress(module, "ZedidDLL90");
    int result = run != NULL ? run("no such design", "out.asc", NULL, NULL, ShowLine, NULL) : 3;
    FreeLibrary(module);
    return result;
}
