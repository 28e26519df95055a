// The terminal layer on POSIX systems: sending the output, raw and line modes, the key
// read and the token read.
//
// Keys come from the controlling terminal (/dev/tty), one byte per read, so that bytes
// typed ahead of a value prompt stay in the terminal's queue for the token read.
// Tokens come from standard input through a buffer of our own.

#include "console/terminal.h"

#include "console/keyDecoder.h"
#include "console/outputBuffer.h"

#include <cerrno>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

// How long an ESC waits for the rest of a sequence before it counts as the Esc key.
// Terminals send a key's sequence in one burst, so the gap is far shorter than this
// even over a network; a person never presses Esc and [ this close together.
constexpr int escapeWaitMilliseconds = 40;

int terminalFd = -1;
termios originalModes;
bool modesSaved = false;

KeyDecoder keyDecoder;
KeyBytes pendingKey;
int pendingKeyIndex = 0;

// Standard input, buffered by hand so that end of input is never sticky: at a terminal,
// Ctrl-D ends one token read and the next read waits again.
struct InputBuffer {
    unsigned char bytes[4096];
    std::size_t start = 0;
    std::size_t end = 0;
};
InputBuffer input;

void setModes(const termios& modes) {
    if (terminalFd >= 0) tcsetattr(terminalFd, TCSANOW, &modes);
}

termios rawModes() {
    termios modes = originalModes;
    modes.c_iflag &= ~(BRKINT | ICRNL | INLCR | IGNCR | ISTRIP | IXON | PARMRK);
    modes.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    modes.c_oflag |= OPOST | ONLCR;
    modes.c_cc[VMIN] = 1;
    modes.c_cc[VTIME] = 0;
    return modes;
}

// The terminal's own line editing and echo, for typing a value.
termios lineModes() {
    termios modes = originalModes;
    modes.c_iflag |= ICRNL;
    modes.c_lflag |= ECHO | ECHOE | ECHOK | ICANON;
    modes.c_oflag |= OPOST | ONLCR;
    return modes;
}

bool waitForInput(int fd, int milliseconds) {
    pollfd request{fd, POLLIN, 0};
    return poll(&request, 1, milliseconds) > 0;
}

// The next byte of standard input without taking it; -1 at end of input or on an error.
int peekInput() {
    if (input.start == input.end) {
        ssize_t count;
        do {
            count = read(STDIN_FILENO, input.bytes, sizeof input.bytes);
        } while (count < 0 && errno == EINTR);
        if (count <= 0) return -1;
        input.start = 0;
        input.end = static_cast<std::size_t>(count);
    }
    return input.bytes[input.start];
}

bool isTokenSpace(int byte) {
    return byte == ' ' || (byte >= '\t' && byte <= '\r');
}

} // namespace

// ---- Output -------------------------------------------------------------------------

void terminalFlush() {
    std::size_t sent = 0;
    while (sent < outputBuffer.size()) {
        const ssize_t count = write(STDOUT_FILENO, outputBuffer.data() + sent, outputBuffer.size() - sent);
        if (count > 0) {
            sent += static_cast<std::size_t>(count);
        } else if (count < 0 && errno == EINTR) {
            continue;
        } else if (count < 0 && errno == EAGAIN) {
            pollfd request{STDOUT_FILENO, POLLOUT, 0};
            if (poll(&request, 1, 1000) <= 0) break;
        } else {
            break; // the terminal is gone; what it did not take is lost with it
        }
    }
    outputBuffer.clear();
}

// ---- Keys and tokens -----------------------------------------------------------------

bool terminalOpen() {
    const int fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    if (tcgetattr(fd, &originalModes) != 0) {
        close(fd);
        return false;
    }
    terminalFd = fd;
    modesSaved = true;
    setModes(rawModes());
    return true;
}

void terminalRestore() {
    terminalFlush();
    if (modesSaved) setModes(originalModes);
}

int readKeyByte() {
    if (pendingKeyIndex < pendingKey.count) return pendingKey.bytes[pendingKeyIndex++];
    terminalFlush();
    for (;;) {
        KeyBytes key;
        if (decoderAwaitsPause(keyDecoder) && !waitForInput(terminalFd, escapeWaitMilliseconds)) {
            key = decodePause(keyDecoder);
        } else {
            unsigned char byte;
            const ssize_t count = read(terminalFd, &byte, 1);
            if (count < 0 && errno == EINTR) continue;
            if (count != 1) return -1; // hang-up or error: the terminal has gone away
            key = decodeByte(keyDecoder, byte);
        }
        if (key.count > 0) {
            pendingKey = key;
            pendingKeyIndex = 1;
            return key.bytes[0];
        }
    }
}

bool readToken(char* text, std::size_t capacity) {
    // Line mode before the prompt shows, so that what is typed once it is seen is echoed.
    const bool lineEdited = modesSaved && isatty(STDIN_FILENO);
    if (lineEdited) setModes(lineModes());
    terminalFlush();

    int byte;
    while ((byte = peekInput()) >= 0 && isTokenSpace(byte)) ++input.start;
    const bool found = byte >= 0;
    if (found) {
        std::size_t length = 0;
        while ((byte = peekInput()) >= 0 && !isTokenSpace(byte)) {
            if (length + 1 < capacity) text[length++] = static_cast<char>(byte);
            ++input.start;
        }
        text[length] = '\0';
    }

    if (lineEdited) setModes(rawModes());
    return found;
}
