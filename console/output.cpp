// The output side of the terminal layer: everything drawn is collected in one buffer,
// so that a whole screen update leaves in a single write. Escape sequences sent, all
// ECMA-48 / VT100, understood by every terminal emulator in use and by the Linux console:
//
//   CUP  ESC [ line ; column H   cursor position, both counted from 1
//   SGR  ESC [ 0 ; fg ; bg m     reset, then foreground 30-37 or 90-97 and
//                                background 40-47 or 100-107; never the default colours,
//                                and nothing of the colours before carries over
//   ED   ESC [ 2 J               erase the whole screen in the current background

#include "console/terminal.h"

#include "console/keyDecoder.h"
#include "console/outputBuffer.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

std::string outputBuffer;

namespace {

constexpr std::size_t outputReserve = 64 * 1024;

} // namespace

void terminalWrite(std::string_view text) {
    if (outputBuffer.capacity() < outputReserve) outputBuffer.reserve(outputReserve);
    outputBuffer.append(text);
}

void terminalPrintf(const char* format, ...) {
    char text[256];
    va_list arguments;
    va_start(arguments, format);
    const int length = std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    if (length > 0) terminalWrite({text, std::min(static_cast<std::size_t>(length), sizeof text - 1)});
}

std::string_view pendingOutput() { return outputBuffer; }

void discardOutput() { outputBuffer.clear(); }

void terminalMoveCursor(int x, int y) { terminalPrintf("%c[%d;%dH", escapeByte, y, x); }

void terminalSelectColors(int foreground, bool brightForeground, int background, bool brightBackground) {
    terminalPrintf("%c[0;%d;%dm", escapeByte, (brightForeground ? 90 : 30) + foreground,
                   (brightBackground ? 100 : 40) + background);
}

void terminalClearScreen() { terminalPrintf("%c[H%c[2J", escapeByte, escapeByte); }

