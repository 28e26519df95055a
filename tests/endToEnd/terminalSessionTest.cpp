// The harness checked against the shell, so a fault in it shows up here
// rather than as a puzzling failure of the program under test.
#include "tests/endToEnd/terminalSession.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <cerrno>
#include <fstream>
#include <thread>

namespace {

using namespace std::chrono_literals;

SessionOptions shell(const std::string& script, std::vector<std::string> extraArgs = {}) {
    SessionOptions options;
    options.program = "/bin/sh";
    options.args = {"-c", script, "sh"};
    options.args.insert(options.args.end(), extraArgs.begin(), extraArgs.end());
    return options;
}

TEST(TerminalSession, ColoursAndAttributesLandInTheirCells) {
    // One glyph per colour change, from column 5 of line 3 on.
    TerminalSession session(shell(
        R"(printf '\033[3;5H\033[97;40mA\033[0mB\033[30;47mC\033[1;31mD\033[0;91;104mE)"
        R"(\033[38;5;200;48;5;16mF\033[0;7mG\033[0;4;38;2;1;2;3mH\033[0m\303\251')"));
    ASSERT_EQ(session.waitExit(), 0) << session.dump();

    struct Expected {
        int column;
        const char* text;
        int foreground, background;
        bool bold, reverse, underline;
    };
    const Expected table[] = {
        {4, " ", defaultColour, defaultColour, false, false, false},  // never written
        {5, "A", 15, 0, false, false, false},                         // bright white on explicit black
        {6, "B", defaultColour, defaultColour, false, false, false},  // after a reset: not black
        {7, "C", 0, 7, false, false, false},                          // explicit black on white
        {8, "D", 1, 7, true, false, false},                           // bold keeps its index
        {9, "E", 9, 12, false, false, false},
        {10, "F", 200, 16, false, false, false},
        {11, "G", defaultColour, defaultColour, false, true, false},  // reverse is not applied to the colours
        {12, "H", directColour, defaultColour, false, false, true},
        {13, "\xc3\xa9", defaultColour, defaultColour, false, false, false},
    };
    for (const auto& expected : table) {
        SCOPED_TRACE(testing::Message() << "column " << expected.column);
        ScreenCell cell = session.cell(3, expected.column);
        EXPECT_EQ(cell.text, expected.text);
        EXPECT_EQ(cell.foreground, expected.foreground);
        EXPECT_EQ(cell.background, expected.background);
        EXPECT_EQ(cell.bold, expected.bold);
        EXPECT_EQ(cell.reverse, expected.reverse);
        EXPECT_EQ(cell.underline, expected.underline);
    }
    EXPECT_EQ(session.text(3, 5, 9), "ABCDEFGH\xc3\xa9");
}

TEST(TerminalSession, TextAndCursorUseOneBasedCoordinates) {
    TerminalSession session(shell(R"(printf '\033[2;3Hhello\033[24;80Hz\033[5;9H'; sleep 30)"));
    ASSERT_TRUE(session.waitFor([&] { return session.cursor() == std::pair{9, 5}; })) << session.dump();

    EXPECT_EQ(session.text(2, 3, 5), "hello");
    EXPECT_EQ(session.text(2, 1, 4), "  he");
    EXPECT_EQ(session.line(2), "  hello");
    EXPECT_EQ(session.line(1), "");
    EXPECT_EQ(session.cell(24, 80).text, "z");
    EXPECT_TRUE(session.waitForText(2, 3, "hello", 0ms));
    EXPECT_FALSE(session.waitForText(2, 2, "hello", 0ms));

    std::string dump = session.dump();
    EXPECT_NE(dump.find("  2|  hello\n"), std::string::npos) << dump;
    EXPECT_NE(dump.find(" 24|" + std::string(79, ' ') + "z\n"), std::string::npos) << dump;
    EXPECT_NE(dump.find("cursor at line 5 column 9"), std::string::npos) << dump;

    EXPECT_THROW(session.cell(0, 1), std::out_of_range);
    EXPECT_THROW(session.cell(25, 1), std::out_of_range);
    EXPECT_THROW(session.cell(1, 81), std::out_of_range);
    EXPECT_THROW(session.text(1, 80, 2), std::out_of_range);
}

TEST(TerminalSession, WaitExitReportsStatusOrSignalAsAShellWould) {
    const struct {
        const char* script;
        int status;
    } table[] = {
        {"printf 'last words'; exit 0", 0},
        {"printf 'last words'; exit 3", 3},
        {"printf 'last words'; kill -TERM $$", 128 + SIGTERM},
        {"printf 'last words'; kill -KILL $$", 128 + SIGKILL},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.script);
        TerminalSession session(shell(row.script));
        // Not reading meanwhile leaves the whole output unread at the exit;
        // it must not be lost.
        std::this_thread::sleep_for(100ms);
        EXPECT_EQ(session.waitExit(), row.status) << session.dump();
        EXPECT_EQ(session.line(1), "last words");
    }
}

// A wait that cannot succeed must give up on time whether the program is
// silent or never stops talking, and the session must not outlive its child.
TEST(TerminalSession, WaitsKeepTheirDeadlines) {
    const struct {
        const char* name;
        const char* script;
        bool settles;
    } table[] = {
        {"silent", "sleep 30", true},
        {"chatty", "while :; do echo tick; sleep 0.01; done", false},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.name);
        pid_t child;
        {
            TerminalSession session(shell(row.script));
            child = session.pid();

            auto start = std::chrono::steady_clock::now();
            EXPECT_FALSE(session.waitFor([&] { return session.line(1) == "never"; }, 300ms));
            auto waited = std::chrono::steady_clock::now() - start;
            EXPECT_GE(waited, 300ms);
            EXPECT_LT(waited, 1300ms);

            start = std::chrono::steady_clock::now();
            EXPECT_EQ(session.waitExit(300ms), std::nullopt);
            waited = std::chrono::steady_clock::now() - start;
            EXPECT_GE(waited, 300ms);
            EXPECT_LT(waited, 1300ms);

            start = std::chrono::steady_clock::now();
            EXPECT_EQ(session.settle(100ms, 400ms), row.settles);
            EXPECT_LT(std::chrono::steady_clock::now() - start, 1400ms);
        }
        errno = 0;
        EXPECT_EQ(kill(child, 0), -1) << "the child is still there";
        EXPECT_EQ(errno, ESRCH);
    }
}

TEST(TerminalSession, KeysReachTheProgramByteForByte) {
    TerminalSession session(shell("stty raw -echo; echo ready; head -c 5 | od -An -tx1"));
    ASSERT_TRUE(session.waitFor([&] { return session.output().find("ready") != std::string::npos; })) << session.dump();
    session.send("\x1b[A");
    session.send(std::string_view("q\0", 2));
    ASSERT_EQ(session.waitExit(), 0) << session.dump();
    EXPECT_NE(session.output().find(" 1b 5b 41 71 00"), std::string::npos) << session.dump();
}

TEST(TerminalSession, TerminalModesAreThePtysAndOutliveTheProgram) {
    const struct {
        const char* script;
        bool cooked;
    } table[] = {
        {"exit 0", true},  // a fresh terminal: canonical, echoing, newline translated
        {"stty raw -echo", false},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.script);
        TerminalSession session(shell(row.script));
        ASSERT_EQ(session.waitExit(), 0) << session.dump();
        termios modes = session.terminalModes();
        EXPECT_EQ((modes.c_lflag & ICANON) != 0, row.cooked);
        EXPECT_EQ((modes.c_lflag & ECHO) != 0, row.cooked);
        EXPECT_EQ((modes.c_oflag & OPOST) != 0, row.cooked);
    }
}

TEST(TerminalSession, ProgramSeesTheTerminalItWasGiven) {
    const std::string_view fileBytes("ab\0de\nf", 7);
    TempFile input(fileBytes);
    EXPECT_EQ(input.bytes(), fileBytes);

    const std::string script =
        "if (: </dev/tty) 2>/dev/null; then echo tty; else echo no-tty; fi;"
        "if [ -t 0 ]; then echo stdin-tty; else wc -c; fi;"
        "[ -t 1 ] && echo stdout-tty;"
        "echo err >&2";
    const struct {
        bool controllingTerminal;
        bool fromFile;
        const char* output;
    } table[] = {
        {true, false, "tty\r\nstdin-tty\r\nstdout-tty\r\nerr\r\n"},
        {true, true, "tty\r\n7\r\nstdout-tty\r\nerr\r\n"},
        {false, false, "no-tty\n0\nerr\n"},
        {false, true, "no-tty\n7\nerr\n"},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(testing::Message() << "terminal " << row.controllingTerminal << ", from file " << row.fromFile);
        SessionOptions options = shell(script);
        options.controllingTerminal = row.controllingTerminal;
        if (row.fromFile) options.stdinPath = input.path();
        TerminalSession session(options);
        EXPECT_EQ(session.waitExit(), 0) << session.dump();
        EXPECT_EQ(session.output(), row.output) << session.dump();
        if (row.controllingTerminal) {
            EXPECT_EQ(session.line(1), "tty");
        }
    }
}

TEST(TerminalSession, FileSizeLimitApplies) {
    const struct {
        rlim_t limit;
        size_t written;
    } table[] = {
        {10, 10},
        {RLIM_INFINITY, 100},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(testing::Message() << "limit " << row.limit);
        TempFile target("", "out.bin");
        SessionOptions options = shell(R"(trap '' XFSZ; head -c 100 /dev/zero > "$1")", {target.path()});
        options.fileSizeLimit = row.limit;
        TerminalSession session(options);
        ASSERT_TRUE(session.waitExit().has_value()) << session.dump();
        EXPECT_EQ(target.bytes().size(), row.written);
    }
}

TEST(TerminalSession, TempFileTakesItsDirectoryAlong) {
    std::filesystem::path directory;
    {
        TempFile file("x");
        directory = file.directory();
        std::ofstream(directory / "beside.bin") << "y";
        ASSERT_TRUE(std::filesystem::exists(file.path()));
    }
    EXPECT_FALSE(std::filesystem::exists(directory));
}

TEST(TerminalSession, ScreenModesAndBellAreTracked) {
    TerminalSession session(shell(R"(printf 'main\033[?1049h\033[H\033[?25l\aalt'; read x; printf '\033[?25h\033[?1049l')"));
    ASSERT_TRUE(session.waitForText(1, 1, "alt")) << session.dump();
    EXPECT_TRUE(session.alternateScreen());
    EXPECT_FALSE(session.cursorVisible());
    EXPECT_EQ(session.bells(), 1);

    session.send("\n");
    ASSERT_EQ(session.waitExit(), 0) << session.dump();
    EXPECT_EQ(session.line(1), "main") << session.dump();
    EXPECT_FALSE(session.alternateScreen());
    EXPECT_TRUE(session.cursorVisible());
}

TEST(TerminalSession, HangUpReachesTheProgram) {
    TerminalSession session(shell("echo up; sleep 30"));
    ASSERT_TRUE(session.waitForText(1, 1, "up")) << session.dump();
    session.closeMaster();
    EXPECT_EQ(session.waitExit(5s), 128 + SIGHUP) << session.dump();
}

TEST(TerminalSession, MissingProgramFailsAtStart) {
    SessionOptions options;
    options.program = "/nonexistent/hexpage";
    EXPECT_THROW(TerminalSession{options}, std::runtime_error);
}

}  // namespace
