// The terminal layer on POSIX systems: sending the output, raw and line modes, the key
// read and the token read.
//
// Keys come from the controlling terminal (/dev/tty), one byte per read, so that bytes
// typed ahead of a value prompt stay in the terminal's queue for the token read. That
// descriptor is our own open of the terminal and does not block; standard input and
// output keep theirs. Tokens come from standard input (see tokenScanner).
//
// Signals: SIGTERM, SIGHUP, SIGINT and SIGQUIT only set a flag. They are held blocked
// except while a read waits for input, so one that comes at any other moment is taken
// as soon as the next wait begins, never lost between a look at the flag and a read that
// would block. The reads give up when they see the flag, the key loop ends, and the
// entry gives the terminal its modes back before it ends the process by the same signal.
// A signal therefore never cuts a save short. SIGTSTP gives the terminal its modes back
// while the process is stopped, and puts the program's own mode back when it continues.

#include "console/terminal.h"

#include "console/keyDecoder.h"
#include "console/outputBuffer.h"
#include "console/tokenScanner.h"

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <poll.h>
#include <sys/select.h>
#include <termios.h>
#include <unistd.h>

namespace {

// How long an ESC waits for the rest of a sequence before it counts as the Esc key.
// Terminals send a key's sequence in one burst, so the gap is far shorter than this
// even over a network; a person never presses Esc and [ this close together.
constexpr int escapeWaitMilliseconds = 40;

int terminalFd = -1;
termios originalModes;
termios keyModes;
termios tokenModes;
bool modesSaved = false;

// Read by the signal handlers.
volatile std::sig_atomic_t caughtSignal = 0;
volatile std::sig_atomic_t tokenModeActive = 0;

constexpr int endingSignals[] = {SIGTERM, SIGHUP, SIGINT, SIGQUIT};

// The signal mask while a read waits: the ending signals let through.
sigset_t waitingMask;

KeyDecoder keyDecoder;
KeyBytes pendingKey;
int pendingKeyIndex = 0;

void setModes(const termios& modes) {
    if (terminalFd >= 0) tcsetattr(terminalFd, TCSANOW, &modes);
}

// No echo, no line editing, no signal keys, no translation of input.
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

// ---- Signals --------------------------------------------------------------------------

void onEndingSignal(int number) { caughtSignal = number; }

void catchSignal(int number, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no SA_RESTART: a blocked read must return and see the flag
    sigaction(number, &action, nullptr);
}

// Takes the default action of signal number at once, the signal let through for that
// moment: the process ends, or stops until it is continued. Safe in a signal handler.
void actByDefault(int number) {
    catchSignal(number, SIG_DFL);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, number);
    sigprocmask(SIG_UNBLOCK, &only, nullptr);
    raise(number);
    sigprocmask(SIG_BLOCK, &only, nullptr);
}

void onSuspend(int) {
    const int savedErrno = errno;
    setModes(originalModes);
    actByDefault(SIGTSTP);
    // Continued.
    catchSignal(SIGTSTP, onSuspend);
    setModes(tokenModeActive ? tokenModes : keyModes);
    errno = savedErrno;
}

// A signal that was ignored when the program started (nohup, a background job) stays ignored.
void catchUnlessIgnored(int number, void (*handler)(int)) {
    struct sigaction current {};
    sigaction(number, nullptr, &current);
    if (current.sa_handler != SIG_IGN) catchSignal(number, handler);
}

void catchSignals() {
    sigset_t ending;
    sigemptyset(&ending);
    for (const int number : endingSignals) sigaddset(&ending, number);
    sigset_t previous;
    sigprocmask(SIG_BLOCK, &ending, &previous);
    waitingMask = previous;
    for (const int number : endingSignals) sigdelset(&waitingMask, number);

    for (const int number : endingSignals) catchUnlessIgnored(number, onEndingSignal);
    catchUnlessIgnored(SIGTSTP, onSuspend);
}

// ---- Reads ----------------------------------------------------------------------------

enum class Wait { ready, timedOut, ending };

// Waits until fd has something to read (or reports an end or error, which the read then
// tells), for at most milliseconds, or without limit when that is negative.
Wait waitForInput(int fd, int milliseconds) {
    for (;;) {
        if (caughtSignal != 0) return Wait::ending;
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(fd, &readable);
        const timespec timeout{milliseconds / 1000, (milliseconds % 1000) * 1000000L};
        const int result = pselect(fd + 1, &readable, nullptr, nullptr, milliseconds < 0 ? nullptr : &timeout,
                                   &waitingMask);
        if (result > 0) return Wait::ready;
        if (result == 0) return Wait::timedOut;
        if (errno != EINTR) return Wait::ready;
    }
}

} // namespace

std::size_t readStandardInput(unsigned char* bytes, std::size_t capacity) {
    ssize_t count;
    do {
        if (waitForInput(STDIN_FILENO, -1) == Wait::ending) return 0;
        count = read(STDIN_FILENO, bytes, capacity);
    } while (count < 0 && errno == EINTR);
    return count > 0 ? static_cast<std::size_t>(count) : 0;
}

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
    const int fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    if (tcgetattr(fd, &originalModes) != 0) {
        close(fd);
        return false;
    }
    terminalFd = fd;
    keyModes = rawModes();
    tokenModes = lineModes();
    modesSaved = true;
    catchSignals();
    setModes(keyModes);
    return true;
}

void terminalRestore() {
    terminalFlush();
    if (modesSaved) setModes(originalModes);
}

int readKeyByte() {
    terminalFlush();
    if (pendingKeyIndex < pendingKey.count) return pendingKey.bytes[pendingKeyIndex++];
    for (;;) {
        // The descriptor does not block: a byte already queued is taken at once, and only
        // when none is there does the read wait, with the ending signals let through.
        unsigned char byte;
        const ssize_t count = read(terminalFd, &byte, 1);
        KeyBytes key;
        if (count == 1) {
            key = decodeByte(keyDecoder, byte);
        } else if (count < 0 && (errno == EAGAIN || errno == EINTR)) {
            const Wait wait =
                waitForInput(terminalFd, decoderAwaitsPause(keyDecoder) ? escapeWaitMilliseconds : -1);
            if (wait == Wait::ending) return -1;
            if (wait == Wait::timedOut) key = decodePause(keyDecoder);
        } else {
            return -1; // hang-up or error: the terminal has gone away
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
    if (lineEdited) {
        tokenModeActive = 1;
        setModes(tokenModes);
    }
    terminalFlush();

    const bool found = scanToken(text, capacity);

    if (lineEdited) {
        tokenModeActive = 0;
        setModes(keyModes);
    }
    // A token cut off by a signal is not a token: nothing typed so far may be stored.
    return found && caughtSignal == 0;
}

int endingSignal() {
    // A hang-up that came with the terminal itself going away is the terminal going away,
    // whichever of the two the program noticed first.
    termios modes;
    if (caughtSignal == SIGHUP && tcgetattr(terminalFd, &modes) != 0) return 0;
    return caughtSignal;
}

void endBySignal(int number) { actByDefault(number); }
