#include "console/tokenScanner.h"

namespace {

// Standard input, buffered by hand so that end of input is never sticky: at a terminal,
// Ctrl-D ends one token read and the next read waits again.
struct InputBuffer {
    unsigned char bytes[4096];
    std::size_t start = 0;
    std::size_t end = 0;
};
InputBuffer input;

// The next byte of standard input without taking it; -1 at the end of input.
int peekInput() {
    if (input.start == input.end) {
        const std::size_t count = readStandardInput(input.bytes, sizeof input.bytes);
        if (count == 0) return -1;
        input.start = 0;
        input.end = count;
    }
    return input.bytes[input.start];
}

bool isTokenSpace(int byte) { return byte == ' ' || (byte >= '\t' && byte <= '\r'); }

} // namespace

bool scanToken(char* text, std::size_t capacity) {
    int byte;
    while ((byte = peekInput()) >= 0 && isTokenSpace(byte)) ++input.start;
    if (byte < 0) return false;
    std::size_t length = 0;
    while ((byte = peekInput()) >= 0 && !isTokenSpace(byte)) {
        if (length + 1 < capacity) text[length++] = static_cast<char>(byte);
        ++input.start;
    }
    text[length] = '\0';
    return true;
}
