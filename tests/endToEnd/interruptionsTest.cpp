// Whatever ends or interrupts hexpage, the terminal gets its modes back and the file
// keeps every byte: signals, suspending, and the terminal going away.
#include "tests/endToEnd/hexpageScreen.h"

#include <gtest/gtest.h>

#include <csignal>
#include <termios.h>

namespace {

using namespace hexpageScreen;
using namespace std::chrono_literals;


// Echo and line editing on: the modes a shell expects, and the ones hexpage found.
bool lineModes(const termios& modes) { return (modes.c_lflag & ECHO) && (modes.c_lflag & ICANON); }
bool rawModes(const termios& modes) { return !(modes.c_lflag & (ECHO | ICANON | ISIG)); }

// An edit made and not saved: whatever ends hexpage now must not write it.
void editFirstByte(TerminalSession& screen) {
    screen.send("e");
    ASSERT_TRUE(waitForPrompt(screen)) << screen.dump();
    screen.send("ee\r");
    ASSERT_TRUE(screen.waitFor([&] { return cellText(screen, 0, 0) == "EE"; })) << screen.dump();
}

TEST(Interruptions, EndingSignalsGiveBackTheModesAndSaveNothing) {
    const struct {
        const char* name;
        bool atPrompt;
        int signal;
        std::string keys; // sent instead of a signal from outside
    } cases[] = {
        {"SIGTERM while reading keys", false, SIGTERM, ""},
        {"SIGHUP while reading keys", false, SIGHUP, ""},
        {"SIGINT while reading keys", false, SIGINT, ""},
        {"SIGTERM at the prompt", true, SIGTERM, ""},
        {"Ctrl-C at the prompt", true, SIGINT, "\x03"},
        {"Ctrl-\\ at the prompt", true, SIGQUIT, "\x1c"},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        const std::string original = fileOf(300);
        Hexpage run(original);
        ASSERT_TRUE(run.started) << run->dump();
        TerminalSession& screen = *run;
        editFirstByte(screen);
        if (row.atPrompt) {
            screen.send(right + "e");
            ASSERT_TRUE(waitForPrompt(screen)) << screen.dump();
            screen.send("12"); // half a value: must not be stored
        }
        if (row.keys.empty()) {
            kill(screen.pid(), row.signal);
        } else {
            screen.send(row.keys);
        }
        EXPECT_EQ(screen.waitExit(), 128 + row.signal) << screen.dump();
        EXPECT_TRUE(lineModes(screen.terminalModes()));
        EXPECT_EQ(run.file.bytes(), original);
    }
}

TEST(Interruptions, ClosingTheTerminalEndsTheProgramAndLeavesTheFile) {
    for (const bool hangUpIgnored : {false, true}) {
        SCOPED_TRACE(hangUpIgnored ? "under nohup" : "as started from a shell");
        SessionOptions options;
        if (hangUpIgnored) options.ignoredSignals = {SIGHUP};
        const std::string original = fileOf(300);
        Hexpage run(original, options);
        ASSERT_TRUE(run.started) << run->dump();
        TerminalSession& screen = *run;
        editFirstByte(screen);
        screen.closeMaster();
        // Gone at once, without spinning on a dead terminal; a hang-up signal sent by
        // someone while the terminal is still there is another matter (see above).
        EXPECT_EQ(screen.waitExit(2s), 1);
        EXPECT_EQ(run.file.bytes(), original);
    }
}

TEST(Interruptions, SuspendGivesBackTheModesAndResumeRestoresTheProgramsOwn) {
    SessionOptions options;
    options.foregroundJob = true;
    const std::string original = fileOf(300);
    Hexpage run(original, options);
    ASSERT_TRUE(run.started) << run->dump();
    TerminalSession& screen = *run;
    ASSERT_TRUE(rawModes(screen.terminalModes()));

    // From outside, while keys are read.
    kill(screen.programPid(), SIGTSTP);
    ASSERT_TRUE(screen.waitFor([&] { return screen.stopped(); })) << screen.dump();
    EXPECT_TRUE(lineModes(screen.terminalModes()));
    kill(screen.programPid(), SIGCONT);
    ASSERT_TRUE(screen.waitFor([&] { return !screen.stopped() && rawModes(screen.terminalModes()); }));
    screen.send(right);
    ASSERT_TRUE(screen.waitFor([&] { return highlightAt(screen, 0, 1); })) << screen.dump();

    // Ctrl-Z at the prompt, where the terminal's own line mode makes it a signal.
    screen.send("e");
    ASSERT_TRUE(waitForPrompt(screen)) << screen.dump();
    screen.send("\x1a");
    ASSERT_TRUE(screen.waitFor([&] { return screen.stopped(); })) << screen.dump();
    EXPECT_TRUE(lineModes(screen.terminalModes()));
    kill(screen.programPid(), SIGCONT);
    ASSERT_TRUE(screen.waitFor([&] { return !screen.stopped(); }));
    EXPECT_TRUE(lineModes(screen.terminalModes())) << "still at the prompt";
    screen.send("42\r");
    ASSERT_TRUE(screen.waitFor([&] { return cellText(screen, 0, 1) == "42" && rawModes(screen.terminalModes()); }))
        << screen.dump();

    screen.send("s" + esc);
    EXPECT_EQ(screen.waitExit(), 0) << screen.dump();
    EXPECT_EQ(run.file.bytes(), original.substr(0, 1) + "\x42" + original.substr(2));
}

} // namespace
