// Runs a program on a pseudo-terminal the way a person would and reads its
// screen back through libvterm, so end-to-end tests assert on what is seen
// rather than on the escape sequences that produced it.
#pragma once

#include <sys/resource.h>
#include <sys/types.h>
#include <termios.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct VTerm;
struct VTermScreen;

struct SessionOptions {
    // The self-test runs /bin/sh here; everything else runs the real program.
    std::string program = HEXPAGE_BINARY;
    std::vector<std::string> args;          // argv[1..]
    std::string stdinPath;                  // empty: stdin is the terminal, as when a person runs it
    rlim_t fileSizeLimit = RLIM_INFINITY;   // RLIMIT_FSIZE in the child, to make saving fail on demand
    // false: the child runs in a session of its own without any terminal,
    // stdin from /dev/null (or stdinPath), stdout and stderr into output().
    bool controllingTerminal = true;
    // Signals the child starts with ignored, as under nohup or in a background job.
    std::vector<int> ignoredSignals;
    // Run as the unprivileged user nobody, for whom file permissions hold even in CI
    // where the tests run as root.
    bool unprivileged = false;
    // Run the program as a job-control shell runs a foreground job: in a process group
    // of its own, under a parent that stays in the session. Only then can it be stopped
    // (a process group with no such parent is orphaned, and the kernel drops SIGTSTP).
    bool foregroundJob = false;
    int rows = 24;
    int columns = 80;
};

struct ScreenCell {
    std::string text;   // UTF-8; " " for a cell nothing was drawn in
    // Palette index as set (SGR 30-37/40-47: 0-7, 90-97/100-107: 8-15, 38;5;n: n),
    // defaultColour for the terminal's own colour, directColour for 24-bit RGB.
    // Default and explicit black must stay apart, so neither is folded into 0.
    int foreground;
    int background;
    bool bold;
    bool reverse;       // libvterm keeps reverse video as an attribute; it never swaps the colours
    bool underline;
};

inline constexpr int defaultColour = -1;
inline constexpr int directColour = -2;

class TerminalSession {
public:
    explicit TerminalSession(SessionOptions options);
    ~TerminalSession();
    TerminalSession(const TerminalSession&) = delete;
    TerminalSession& operator=(const TerminalSession&) = delete;

    // All bytes in a single write(), so an escape sequence arrives as one
    // burst just as a terminal sends a key. Until the program switches the
    // terminal out of canonical mode, what is sent is echoed and held back
    // until a newline: wait for its first screen before typing.
    void send(std::string_view bytes);

    // Each wait feeds the child's output to the screen until its condition
    // holds, and gives up with false at the deadline, never later.
    bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds deadline = std::chrono::seconds(10));
    bool waitForText(int line, int column, std::string_view expected, std::chrono::milliseconds deadline = std::chrono::seconds(10));
    // Exit status, or 128 + signal number as a shell reports it; nullopt at the deadline.
    std::optional<int> waitExit(std::chrono::milliseconds deadline = std::chrono::seconds(10));
    // Until nothing has arrived for `quiet`; false if the output never paused within `limit`.
    bool settle(std::chrono::milliseconds quiet = std::chrono::milliseconds(150),
                std::chrono::milliseconds limit = std::chrono::seconds(5));

    // Screen coordinates are 1-based, as in the escape sequences.
    std::string text(int line, int column, int length) const;
    std::string line(int line) const;                 // trailing blanks trimmed
    ScreenCell cell(int line, int column) const;
    std::pair<int, int> cursor() const;               // {column, line}
    bool cursorVisible() const { return cursorVisible_; }
    bool alternateScreen() const { return alternateScreen_; }
    int bells() const { return bells_; }
    int rows() const { return options_.rows; }
    int columns() const { return options_.columns; }

    const std::string& output() const { return output_; }   // every byte the child wrote, raw
    termios terminalModes() const;                          // of the pty, also after the child is gone
    pid_t pid() const { return pid_; }
    pid_t programPid() const;                               // the program itself, also as a foreground job
    bool stopped() const;                                   // the program is stopped by job control
    int masterFd() const { return outputFd_; }
    void closeMaster();                                     // the terminal goes away: the child is hung up on

    // Screen with line numbers, cursor, exit status and the tail of the raw
    // output, for `EXPECT_TRUE(session.waitFor(...)) << session.dump();`.
    std::string dump() const;

private:
    void start();
    bool pump(std::chrono::milliseconds timeout);
    void drainAfterExit();
    bool reap(bool block);
    void checkPosition(int line, int column) const;

    SessionOptions options_;
    pid_t pid_ = -1;
    int outputFd_ = -1;          // pty master, or the read end of the pipe without a terminal
    bool outputEnded_ = false;
    std::optional<int> exitStatus_;
    std::string output_;
    VTerm* vterm_ = nullptr;
    VTermScreen* screen_ = nullptr;
    bool cursorVisible_ = true;
    bool alternateScreen_ = false;
    int bells_ = 0;

    friend struct ScreenCallbacks;
};

// A file with chosen bytes alone in a fresh directory, so a test may also let
// the program create files beside it; the whole directory goes on destruction.
class TempFile {
public:
    explicit TempFile(std::string_view bytes, std::string_view name = "data.bin");
    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    const std::filesystem::path& path() const { return path_; }
    const std::filesystem::path& directory() const { return directory_; }
    std::string bytes() const;   // read afresh each time

private:
    std::filesystem::path directory_;
    std::filesystem::path path_;
};
