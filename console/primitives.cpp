#include "console/console.h"

#include "console/terminal.h"

namespace {

constexpr int brightBit = 8;

// Console colour bits (1 blue, 2 green, 4 red) to the ANSI colour number (1 red, 2 green, 4 blue).
int ansiColor(int consoleColor) {
    return ((consoleColor & 1) << 2) | (consoleColor & 2) | ((consoleColor & 4) >> 2);
}

} // namespace

void gotoxy(std::int32_t x, std::int32_t y) { terminalMoveCursor(x, y); }

void setColor(std::int32_t attribute) {
    const int foreground = attribute & 0x0f;
    const int background = (attribute >> 4) & 0x0f;
    terminalSelectColors(ansiColor(foreground), (foreground & brightBit) != 0, ansiColor(background),
                         (background & brightBit) != 0);
}

void printHex(std::uint8_t byte) {
    static constexpr char digits[] = "0123456789ABCDEF";
    const char text[2] = {digits[byte >> 4], digits[byte & 0x0f]};
    terminalWrite({text, 2});
}
