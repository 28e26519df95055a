#include "tests/endToEnd/terminalSession.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <grp.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vterm.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

[[noreturn]] void fail(const std::string& what) {
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

milliseconds remaining(Clock::time_point deadline) {
    return std::max(milliseconds(0), std::chrono::duration_cast<milliseconds>(deadline - Clock::now()));
}

void appendUtf8(std::string& out, uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

int paletteIndex(const VTermColor& colour, bool isDefault) {
    if (isDefault) return defaultColour;
    if (VTERM_COLOR_IS_INDEXED(&colour)) return colour.indexed.idx;
    return directColour;
}

// Everything between fork and exec must be async-signal-safe, so the child
// only gets to use what was prepared here beforehand.
struct ChildPlan {
    std::vector<std::string> argStorage;
    std::vector<std::string> envStorage;
    std::vector<char*> argv;
    std::vector<char*> envp;

    explicit ChildPlan(const SessionOptions& options) {
        argStorage.push_back(options.program);
        argStorage.insert(argStorage.end(), options.args.begin(), options.args.end());
        for (char** entry = environ; *entry != nullptr; ++entry) {
            std::string_view variable = *entry;
            // The program must learn its size from the terminal, as it would
            // in a real one; stray LINES/COLUMNS from the test's own shell would mask that.
            if (variable.starts_with("TERM=") || variable.starts_with("LINES=") || variable.starts_with("COLUMNS="))
                continue;
            envStorage.emplace_back(variable);
        }
        envStorage.emplace_back("TERM=xterm-256color");
        for (auto& arg : argStorage) argv.push_back(arg.data());
        argv.push_back(nullptr);
        for (auto& variable : envStorage) envp.push_back(variable.data());
        envp.push_back(nullptr);
    }
};

constexpr uid_t nobody = 65534;

// Runs in the child only. The test process may ignore or block signals (gtest
// or the CI runner might); a person's shell hands the program clean defaults.
void prepareChild(const SessionOptions& options, int stdinFd, int errorPipe) {
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    struct sigaction defaults{};
    defaults.sa_handler = SIG_DFL;
    for (int signalNumber : {SIGPIPE, SIGXFSZ, SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGCHLD, SIGWINCH, SIGTSTP, SIGTTIN, SIGTTOU})
        sigaction(signalNumber, &defaults, nullptr);
    struct sigaction ignore{};
    ignore.sa_handler = SIG_IGN;
    for (int signalNumber : options.ignoredSignals) sigaction(signalNumber, &ignore, nullptr);
    if (options.unprivileged && (setgroups(0, nullptr) != 0 || setgid(nobody) != 0 || setuid(nobody) != 0)) {
        int error = errno;
        (void)!write(errorPipe, &error, sizeof error);
        _exit(127);
    }
    if (options.fileSizeLimit != RLIM_INFINITY) {
        rlimit limit{options.fileSizeLimit, options.fileSizeLimit};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) {
            int error = errno;
            (void)!write(errorPipe, &error, sizeof error);
            _exit(127);
        }
    }
    if (stdinFd >= 0 && dup2(stdinFd, STDIN_FILENO) < 0) {
        int error = errno;
        (void)!write(errorPipe, &error, sizeof error);
        _exit(127);
    }
}

// Forks: the parent stays behind as the session's shell and passes the job's status on;
// the child returns as the foreground job, in a process group of its own.
void becomeForegroundJob(int errorPipe) {
    struct sigaction ignore{};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGTTOU, &ignore, nullptr); // tcsetpgrp from outside the foreground group
    const pid_t job = fork();
    if (job == 0) {
        setpgid(0, 0);
        tcsetpgrp(STDIN_FILENO, getpid());
        return;
    }
    close(errorPipe);
    if (job < 0) _exit(127);
    setpgid(job, job);
    tcsetpgrp(STDIN_FILENO, job);
    int status = 0;
    while (waitpid(job, &status, 0) < 0 && errno == EINTR) {
    }
    _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
}

[[noreturn]] void execChild(const ChildPlan& plan, int errorPipe) {
    execve(plan.argv[0], plan.argv.data(), plan.envp.data());
    int error = errno;
    (void)!write(errorPipe, &error, sizeof error);
    _exit(127);
}

}  // namespace

struct ScreenCallbacks {
    static int setTermProp(VTermProp property, VTermValue* value, void* user) {
        auto* session = static_cast<TerminalSession*>(user);
        if (property == VTERM_PROP_CURSORVISIBLE) session->cursorVisible_ = value->boolean != 0;
        if (property == VTERM_PROP_ALTSCREEN) session->alternateScreen_ = value->boolean != 0;
        return 1;
    }
    static int bell(void* user) {
        ++static_cast<TerminalSession*>(user)->bells_;
        return 1;
    }
};

namespace {
const VTermScreenCallbacks screenCallbacks{
    .damage = nullptr,
    .moverect = nullptr,
    .movecursor = nullptr,
    .settermprop = &ScreenCallbacks::setTermProp,
    .bell = &ScreenCallbacks::bell,
    .resize = nullptr,
    .sb_pushline = nullptr,
    .sb_popline = nullptr,
};
}  // namespace

TerminalSession::TerminalSession(SessionOptions options) : options_(std::move(options)) {
    if (options_.rows < 1 || options_.columns < 1) throw std::invalid_argument("terminal size must be positive");
    vterm_ = vterm_new(options_.rows, options_.columns);
    vterm_set_utf8(vterm_, 1);
    screen_ = vterm_obtain_screen(vterm_);
    // Without this libvterm draws the alternate screen over the main one, and
    // a test could not see whether the program put the original screen back.
    vterm_screen_enable_altscreen(screen_, 1);
    vterm_screen_set_callbacks(screen_, &screenCallbacks, this);
    vterm_screen_reset(screen_, 1);
    try {
        start();
    } catch (...) {
        if (outputFd_ >= 0) close(outputFd_);
        vterm_free(vterm_);
        throw;
    }
}

TerminalSession::~TerminalSession() {
    if (!exitStatus_) {
        if (const pid_t job = programPid(); options_.foregroundJob && job > 0) kill(job, SIGKILL);
        kill(pid_, SIGKILL);
        reap(true);
    }
    if (outputFd_ >= 0) close(outputFd_);
    vterm_free(vterm_);
}

void TerminalSession::start() {
    ChildPlan plan(options_);

    int stdinFd = -1;
    if (!options_.stdinPath.empty()) {
        stdinFd = open(options_.stdinPath.c_str(), O_RDONLY | O_CLOEXEC);
        if (stdinFd < 0) fail("cannot open " + options_.stdinPath);
    } else if (!options_.controllingTerminal) {
        stdinFd = open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (stdinFd < 0) fail("cannot open /dev/null");
    }

    // Closes on exec, so a read of zero bytes means the program is running
    // and an errno means it never started: a wrong path fails loudly here
    // instead of as a blank screen ten seconds later.
    int errorPipe[2];
    if (pipe2(errorPipe, O_CLOEXEC) != 0) fail("pipe2");

    if (options_.controllingTerminal) {
        winsize size{};
        size.ws_row = static_cast<unsigned short>(options_.rows);
        size.ws_col = static_cast<unsigned short>(options_.columns);
        // A fresh pty has the kernel's default modes (canonical, echo,
        // ONLCR), the state a terminal is in before the program touches it.
        pid_ = forkpty(&outputFd_, nullptr, nullptr, &size);
        if (pid_ == 0) {
            close(errorPipe[0]);
            if (options_.foregroundJob) becomeForegroundJob(errorPipe[1]);
            prepareChild(options_, stdinFd, errorPipe[1]);
            execChild(plan, errorPipe[1]);
        }
        if (pid_ < 0) fail("forkpty");
        fcntl(outputFd_, F_SETFD, FD_CLOEXEC);
    } else {
        int outputPipe[2];
        if (pipe2(outputPipe, O_CLOEXEC) != 0) fail("pipe2");
        pid_ = fork();
        if (pid_ == 0) {
            close(errorPipe[0]);
            setsid();
            dup2(outputPipe[1], STDOUT_FILENO);
            dup2(outputPipe[1], STDERR_FILENO);
            prepareChild(options_, stdinFd, errorPipe[1]);
            execChild(plan, errorPipe[1]);
        }
        close(outputPipe[1]);
        outputFd_ = outputPipe[0];
        if (pid_ < 0) fail("fork");
    }
    if (stdinFd >= 0) close(stdinFd);
    close(errorPipe[1]);

    int childError = 0;
    ssize_t got;
    do {
        got = read(errorPipe[0], &childError, sizeof childError);
    } while (got < 0 && errno == EINTR);
    close(errorPipe[0]);
    if (got > 0) {
        reap(true);
        errno = childError;
        fail("cannot start " + options_.program);
    }

    fcntl(outputFd_, F_SETFL, fcntl(outputFd_, F_GETFL) | O_NONBLOCK);
}

// Waits up to `timeout` for output and feeds all that is there to the screen.
// Returns whether anything arrived.
bool TerminalSession::pump(milliseconds timeout) {
    if (outputEnded_ || outputFd_ < 0) {
        // Nothing can arrive any more; sleep anyway so callers polling a
        // condition do not spin.
        std::this_thread::sleep_for(timeout);
        return false;
    }
    pollfd watch{outputFd_, POLLIN, 0};
    int ready = poll(&watch, 1, static_cast<int>(timeout.count()));
    if (ready < 0 && errno != EINTR) fail("poll");
    if (ready <= 0) return false;

    bool arrived = false;
    char buffer[65536];
    for (;;) {
        ssize_t got = read(outputFd_, buffer, sizeof buffer);
        if (got > 0) {
            arrived = true;
            output_.append(buffer, static_cast<size_t>(got));
            vterm_input_write(vterm_, buffer, static_cast<size_t>(got));
            continue;
        }
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        // A pty master reads EIO once the last holder of the slave is gone, a
        // pipe reads 0: either way the program's output is over.
        if (got == 0 || errno == EIO) {
            outputEnded_ = true;
            break;
        }
        fail("read from the program");
    }
    // Answers to terminal queries; a test has nowhere to send them.
    char discard[256];
    while (vterm_output_read(vterm_, discard, sizeof discard) > 0) {
    }
    return arrived;
}

bool TerminalSession::reap(bool block) {
    if (exitStatus_) return true;
    int status = 0;
    pid_t result;
    do {
        result = waitpid(pid_, &status, block ? 0 : WNOHANG);
    } while (result < 0 && errno == EINTR);
    if (result != pid_) return false;
    if (WIFEXITED(status))
        exitStatus_ = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        exitStatus_ = 128 + WTERMSIG(status);
    else
        return false;
    return true;
}

// The kernel may still hold the last of the output when the exit is seen;
// read it until the end is signalled, but not forever, since something the
// program left behind could keep the terminal open.
void TerminalSession::drainAfterExit() {
    auto deadline = Clock::now() + milliseconds(500);
    while (!outputEnded_ && outputFd_ >= 0 && Clock::now() < deadline)
        pump(std::min(milliseconds(20), remaining(deadline)));
}

void TerminalSession::send(std::string_view bytes) {
    if (!options_.controllingTerminal) throw std::logic_error("no terminal to type on: its stdin is a file");
    if (outputFd_ < 0) throw std::logic_error("the terminal was closed");
    auto deadline = Clock::now() + std::chrono::seconds(10);
    while (!bytes.empty()) {
        ssize_t written = write(outputFd_, bytes.data(), bytes.size());
        if (written > 0) {
            bytes.remove_prefix(static_cast<size_t>(written));
            continue;
        }
        if (written < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) fail("write to the terminal");
        if (Clock::now() >= deadline) throw std::runtime_error("the program stopped reading its input");
        // A full input queue drains only if the program can go on writing
        // its output, so keep reading while waiting.
        pump(milliseconds(10));
    }
}

bool TerminalSession::waitFor(const std::function<bool()>& condition, milliseconds deadline) {
    auto end = Clock::now() + deadline;
    for (;;) {
        if (condition()) return true;
        if (Clock::now() >= end) return false;
        // Short slices: a condition may look at files as well as the screen.
        pump(std::min(milliseconds(20), remaining(end)));
        if (!exitStatus_) reap(false);
    }
}

bool TerminalSession::waitForText(int line, int column, std::string_view expected, milliseconds deadline) {
    checkPosition(line, column);
    int length = static_cast<int>(expected.size());
    length = std::min(length, options_.columns - column + 1);
    return waitFor([&] { return text(line, column, length) == expected; }, deadline);
}

std::optional<int> TerminalSession::waitExit(milliseconds deadline) {
    auto end = Clock::now() + deadline;
    for (;;) {
        if (reap(false)) {
            drainAfterExit();
            return exitStatus_;
        }
        if (Clock::now() >= end) return std::nullopt;
        pump(std::min(milliseconds(10), remaining(end)));
    }
}

bool TerminalSession::settle(milliseconds quiet, milliseconds limit) {
    auto end = Clock::now() + limit;
    auto lastArrival = Clock::now();
    for (;;) {
        auto now = Clock::now();
        if (now - lastArrival >= quiet) return true;
        if (now >= end) return false;
        auto slice = std::min(std::chrono::duration_cast<milliseconds>(quiet - (now - lastArrival)), remaining(end));
        if (pump(std::max(slice, milliseconds(1)))) lastArrival = Clock::now();
    }
}

void TerminalSession::checkPosition(int line, int column) const {
    if (line < 1 || line > options_.rows || column < 1 || column > options_.columns)
        throw std::out_of_range("no cell at line " + std::to_string(line) + ", column " + std::to_string(column));
}

ScreenCell TerminalSession::cell(int line, int column) const {
    checkPosition(line, column);
    VTermScreenCell raw{};
    vterm_screen_get_cell(screen_, VTermPos{line - 1, column - 1}, &raw);
    ScreenCell result{};
    // The right half of a wide glyph holds no character of its own.
    if (raw.chars[0] == 0)
        result.text = " ";
    else if (raw.chars[0] != static_cast<uint32_t>(-1))
        for (int i = 0; i < VTERM_MAX_CHARS_PER_CELL && raw.chars[i] != 0; ++i) appendUtf8(result.text, raw.chars[i]);
    result.foreground = paletteIndex(raw.fg, VTERM_COLOR_IS_DEFAULT_FG(&raw.fg));
    result.background = paletteIndex(raw.bg, VTERM_COLOR_IS_DEFAULT_BG(&raw.bg));
    result.bold = raw.attrs.bold != 0;
    result.reverse = raw.attrs.reverse != 0;
    result.underline = raw.attrs.underline != 0;
    return result;
}

std::string TerminalSession::text(int line, int column, int length) const {
    checkPosition(line, column);
    if (length < 0 || column + length - 1 > options_.columns) throw std::out_of_range("text runs off the line");
    std::string result;
    for (int i = 0; i < length; ++i) result += cell(line, column + i).text;
    return result;
}

std::string TerminalSession::line(int line) const {
    std::string result = text(line, 1, options_.columns);
    result.erase(result.find_last_not_of(' ') + 1);
    return result;
}

std::pair<int, int> TerminalSession::cursor() const {
    VTermPos position{};
    vterm_state_get_cursorpos(vterm_obtain_state(vterm_), &position);
    return {position.col + 1, position.row + 1};
}

termios TerminalSession::terminalModes() const {
    if (!options_.controllingTerminal) throw std::logic_error("the program has no terminal");
    if (outputFd_ < 0) throw std::logic_error("the terminal was closed");
    // On the master this reads the slave's modes, which outlive the program.
    termios modes{};
    if (tcgetattr(outputFd_, &modes) != 0) fail("tcgetattr");
    return modes;
}

pid_t TerminalSession::programPid() const {
    if (!options_.foregroundJob) return pid_;
    std::ifstream children("/proc/" + std::to_string(pid_) + "/task/" + std::to_string(pid_) + "/children");
    pid_t job = -1;
    children >> job;
    return job;
}

bool TerminalSession::stopped() const {
    std::ifstream stat("/proc/" + std::to_string(programPid()) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), {});
    // The state follows the command name, which is in parentheses and may hold blanks.
    const auto close = text.rfind(')');
    return close != std::string::npos && close + 2 < text.size() && text[close + 2] == 'T';
}

void TerminalSession::closeMaster() {
    if (!options_.controllingTerminal) throw std::logic_error("the program has no terminal");
    if (outputFd_ >= 0) close(outputFd_);
    outputFd_ = -1;
}

std::string TerminalSession::dump() const {
    std::ostringstream out;
    auto [cursorColumn, cursorLine] = cursor();
    out << "\nscreen " << options_.rows << "x" << options_.columns << ", cursor at line " << cursorLine << " column "
        << cursorColumn << (cursorVisible_ ? "" : " (hidden)") << (alternateScreen_ ? ", alternate screen" : "") << ", ";
    if (exitStatus_)
        out << "program exited with " << *exitStatus_;
    else
        out << "program running";
    out << "\n";
    std::string ruler(static_cast<size_t>(options_.columns), '-');
    for (int c = 10; c <= options_.columns; c += 10) ruler[static_cast<size_t>(c - 1)] = static_cast<char>('0' + (c / 10) % 10);
    out << "    +" << ruler << "+\n";
    for (int row = 1; row <= options_.rows; ++row) {
        out << (row < 10 ? "   " : "  ") << row << "|" << line(row) << "\n";
    }
    out << "    +" << ruler << "+\n";

    // The raw tail shows what the screen cannot: a message printed just
    // before exit, or output when there is no terminal at all.
    constexpr size_t tailLength = 600;
    size_t start = output_.size() > tailLength ? output_.size() - tailLength : 0;
    out << "last " << (output_.size() - start) << " of " << output_.size() << " bytes written: \"";
    for (size_t i = start; i < output_.size(); ++i) {
        auto byte = static_cast<unsigned char>(output_[i]);
        if (byte == '\\')
            out << "\\\\";
        else if (byte == 0x1b)
            out << "\\e";
        else if (byte == '\n')
            out << "\\n";
        else if (byte == '\r')
            out << "\\r";
        else if (byte < 0x20 || byte == 0x7f) {
            constexpr char hex[] = "0123456789abcdef";
            out << "\\x" << hex[byte >> 4] << hex[byte & 15];
        } else
            out << static_cast<char>(byte);
    }
    out << "\"\n";
    return out.str();
}

TempFile::TempFile(std::string_view bytes, std::string_view name) {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = (base != nullptr && *base != '\0' ? std::string(base) : std::string("/tmp")) + "/hexpage-test-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) fail("mkdtemp " + pattern);
    // Open to every user, so a program run unprivileged can reach the file.
    if (chmod(pattern.c_str(), 0755) != 0) fail("chmod " + pattern);
    directory_ = pattern;
    path_ = directory_ / name;
    std::ofstream file(path_, std::ios::binary);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    file.close();
    if (!file) {
        std::filesystem::remove_all(directory_);
        throw std::runtime_error("cannot write " + path_.string());
    }
}

TempFile::~TempFile() {
    std::error_code ignored;
    std::filesystem::remove_all(directory_, ignored);
}

std::string TempFile::bytes() const {
    std::ifstream file(path_, std::ios::binary);
    if (!file) throw std::runtime_error("cannot read " + path_.string());
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}
