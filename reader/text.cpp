// The control-byte rule, applied to a copy.
#include "reader/text.h"

std::size_t CopyReplacingControls(char* to, const char* from, std::size_t size, bool composed) {
    std::size_t replaced = 0;
    for (std::size_t i = 0; i < size; i++) {
        char c = from[i];
        if (IsReplacedByte(c, composed)) {
            c = ControlReplacement;
            replaced++;
        }
        to[i] = c;
    }
    return replaced;
}
