/* Formats DESIGN.ONL into OUTPUT through the installed library, in C; prints
 * the header's version and exits with the call's result. */
#include <stdio.h>

#include <zedid.h>

static int ZEDID_CALL Show(const char* text) {
    fputs(text, stderr);
    fputc('\n', stderr);
    return 0;
}

int main(int argc, char** argv) {
    if (argc != 3) return 64;
    printf("%s %d.%d.%d\n", ZEDID_VERSION_STRING, ZEDID_VERSION_MAJOR, ZEDID_VERSION_MINOR, ZEDID_VERSION_PATCH);
    return ZedidDLL90(argv[1], argv[2], NULL, NULL, Show, NULL);
}
