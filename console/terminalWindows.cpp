// The terminal layer on the Windows console: sending the output, raw and line modes, the
// key read and the token read.
//
// The output holds the same sequences as on every other system (see output.cpp). Sent to
// a console, they are carried out here through the console's own calls, which every
// Windows console understands, old or new, whether or not it has a virtual-terminal mode.
// Sent anywhere else, they are passed on as they are.
//
// Keys come from _getch, which reads the console itself whatever standard input is, and
// already delivers the key stream the key loop reads: a plain key's byte, or 0 or 224
// and then the key's code. Nothing needs decoding, so no Esc ever waits for a sequence.
// Tokens come from standard input (see tokenScanner).

#include "console/terminal.h"

#include "console/keyDecoder.h"
#include "console/outputBuffer.h"
#include "console/tokenScanner.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <string_view>

#include <conio.h>
#include <windows.h>

namespace {

// An input buffer's own line editing and echo; Ctrl-C is a key only while they are off.
constexpr DWORD lineInputModes = ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT | ENABLE_PROCESSED_INPUT;

HANDLE consoleInput = INVALID_HANDLE_VALUE;
DWORD originalInputModes = 0;
bool inputModesSaved = false;

HANDLE consoleOutput = INVALID_HANDLE_VALUE;
DWORD originalOutputModes = 0;
bool outputModesSaved = false;

// The colours a reset gives: white on black.
constexpr WORD resetAttributes = FOREGROUND_RED | FOREGROUND_GREEN | FOREGROUND_BLUE;
constexpr int maxParameters = 3;

bool isConsole(HANDLE handle, DWORD& modes) {
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &modes) != 0;
}

void setInputModes(DWORD modes) {
    if (inputModesSaved) SetConsoleMode(consoleInput, modes);
}

DWORD rawInputModes() { return originalInputModes & ~lineInputModes; }

// ---- Sequences on the console -------------------------------------------------------------

// ANSI colour bits (1 red, 2 green, 4 blue) to the console's (4 red, 2 green, 1 blue).
WORD consoleColor(int ansiColor) {
    return static_cast<WORD>(((ansiColor & 1) << 2) | (ansiColor & 2) | ((ansiColor & 4) >> 2));
}

// SGR: a reset, then a foreground and a background, each plain or bright.
void selectAttributes(const int* parameters, int count) {
    CONSOLE_SCREEN_BUFFER_INFO info;
    WORD attributes = GetConsoleScreenBufferInfo(consoleOutput, &info) != 0 ? info.wAttributes : resetAttributes;
    for (int i = 0; i < count; ++i) {
        const int value = parameters[i];
        if (value == 0) {
            attributes = resetAttributes;
        } else if (value >= 30 && value <= 37) {
            attributes = static_cast<WORD>((attributes & ~0x0f) | consoleColor(value - 30));
        } else if (value >= 90 && value <= 97) {
            attributes = static_cast<WORD>((attributes & ~0x0f) | consoleColor(value - 90) | FOREGROUND_INTENSITY);
        } else if (value >= 40 && value <= 47) {
            attributes = static_cast<WORD>((attributes & ~0xf0) | consoleColor(value - 40) << 4);
        } else if (value >= 100 && value <= 107) {
            attributes =
                static_cast<WORD>((attributes & ~0xf0) | consoleColor(value - 100) << 4 | BACKGROUND_INTENSITY);
        }
    }
    SetConsoleTextAttribute(consoleOutput, attributes);
}

// Sequences count lines and columns from 1 on the visible window; the console counts
// from 0 on its whole buffer, of which the window may show a lower part.
void moveCursor(int line, int column) {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (GetConsoleScreenBufferInfo(consoleOutput, &info) == 0) return;
    const COORD position{static_cast<SHORT>(info.srWindow.Left + column - 1),
                         static_cast<SHORT>(info.srWindow.Top + line - 1)};
    SetConsoleCursorPosition(consoleOutput, position);
}

// ED 2: every cell of the window blank in the colours now selected.
void clearWindow() {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (GetConsoleScreenBufferInfo(consoleOutput, &info) == 0) return;
    const auto width = static_cast<DWORD>(info.srWindow.Right - info.srWindow.Left + 1);
    for (SHORT line = info.srWindow.Top; line <= info.srWindow.Bottom; ++line) {
        const COORD start{info.srWindow.Left, line};
        DWORD done = 0;
        FillConsoleOutputCharacterA(consoleOutput, ' ', width, start, &done);
        FillConsoleOutputAttribute(consoleOutput, info.wAttributes, width, start, &done);
    }
}

// Carries out the control sequence that starts at text[start] and returns where the text
// after it begins. A sequence of no kind that output.cpp sends is skipped.
std::size_t applySequence(std::string_view text, std::size_t start) {
    std::size_t at = start + 1;
    if (at == text.size() || text[at] != '[') return at;
    int parameters[maxParameters] = {};
    int count = 0;
    for (++at; at < text.size() && (text[at] < '@' || text[at] > '~'); ++at) {
        if (text[at] >= '0' && text[at] <= '9') {
            if (count == 0) count = 1;
            if (count <= maxParameters) parameters[count - 1] = parameters[count - 1] * 10 + (text[at] - '0');
        } else if (text[at] == ';') {
            count = (count == 0 ? 1 : count) + 1;
        }
    }
    if (at == text.size()) return at;
    const int used = count < maxParameters ? count : maxParameters;
    switch (text[at]) {
    case 'H': // an absent or zero line or column is the first
        moveCursor(std::max(parameters[0], 1), std::max(parameters[1], 1));
        break;
    case 'm': selectAttributes(parameters, used > 0 ? used : 1); break;
    case 'J':
        if (parameters[0] == 2) clearWindow();
        break;
    default: break;
    }
    return at + 1;
}

void writeText(HANDLE handle, std::string_view text) {
    std::size_t sent = 0;
    while (sent < text.size()) {
        DWORD count = 0;
        const auto size = static_cast<DWORD>(text.size() - sent);
        if (WriteFile(handle, text.data() + sent, size, &count, nullptr) == 0 || count == 0) {
            return; // the console or pipe is gone; what it did not take is lost with it
        }
        sent += count;
    }
}

void drawOnConsole(std::string_view text) {
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t escape = text.find(static_cast<char>(escapeByte), at);
        writeText(consoleOutput, text.substr(at, escape - at));
        if (escape == std::string_view::npos) return;
        at = applySequence(text, escape);
    }
}

} // namespace

std::size_t readStandardInput(unsigned char* bytes, std::size_t capacity) {
    const HANDLE standardInput = GetStdHandle(STD_INPUT_HANDLE);
    if (standardInput == nullptr || standardInput == INVALID_HANDLE_VALUE) return 0;
    DWORD count = 0;
    if (ReadFile(standardInput, bytes, static_cast<DWORD>(capacity), &count, nullptr) == 0) return 0;
    return count;
}

// ---- Output -------------------------------------------------------------------------

void terminalFlush() {
    if (outputModesSaved) {
        drawOnConsole(outputBuffer);
    } else {
        const HANDLE standardOutput = GetStdHandle(STD_OUTPUT_HANDLE);
        if (standardOutput != nullptr && standardOutput != INVALID_HANDLE_VALUE) writeText(standardOutput, outputBuffer);
    }
    outputBuffer.clear();
}

// ---- Keys and tokens -----------------------------------------------------------------

bool terminalOpen() {
    const HANDLE keyboard = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD inputModes = 0;
    if (!isConsole(keyboard, inputModes)) {
        if (keyboard != INVALID_HANDLE_VALUE) CloseHandle(keyboard);
        return false;
    }

    // Processed output with automatic return keeps a line end going back to column 1.
    const HANDLE screen = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD outputModes = 0;
    if (isConsole(screen, outputModes)) {
        SetConsoleMode(screen, (outputModes | ENABLE_PROCESSED_OUTPUT) & ~DISABLE_NEWLINE_AUTO_RETURN);
        consoleOutput = screen;
        originalOutputModes = outputModes;
        outputModesSaved = true;
    }

    consoleInput = keyboard;
    originalInputModes = inputModes;
    inputModesSaved = true;
    setInputModes(rawInputModes());
    return true;
}

void terminalRestore() {
    terminalFlush();
    setInputModes(originalInputModes);
    if (outputModesSaved) SetConsoleMode(consoleOutput, originalOutputModes);
}

int readKeyByte() {
    terminalFlush();
    const int key = _getch();
    return key == EOF ? -1 : key;
}

bool readToken(char* text, std::size_t capacity) {
    // Line mode before the prompt shows, so that what is typed once it is seen is echoed.
    DWORD standardInputModes = 0;
    const bool lineEdited = inputModesSaved && isConsole(GetStdHandle(STD_INPUT_HANDLE), standardInputModes);
    if (lineEdited) setInputModes(originalInputModes | lineInputModes);
    terminalFlush();

    const bool found = scanToken(text, capacity);

    if (lineEdited) setInputModes(rawInputModes());
    return found;
}

// Ctrl-C is a key while keys are read. At the value prompt, and when its window closes,
// the console ends the program itself, and nothing is left to give back by then: the
// input modes are the line modes the console had, and the sequences it now understands
// harm nothing. So no signal ever asks the program to end.
int endingSignal() { return 0; }

void endBySignal(int number) {
    std::signal(number, SIG_DFL);
    std::raise(number);
}
