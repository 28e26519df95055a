// Keys as real terminals send them: every form of the arrow and page keys acts alike,
// every other key and sequence does nothing at all, and only a lone Esc quits.
#include "tests/endToEnd/hexpageScreen.h"

#include <gtest/gtest.h>

#include <termios.h>
#include <thread>

namespace {

using namespace hexpageScreen;
using namespace std::chrono_literals;

TEST(Keys, EveryFormOfAnArrowOrPageKeyActsAlike) {
    Hexpage run(fileOf(600));
    ASSERT_TRUE(run.started) << run->dump();
    TerminalSession& screen = *run;

    struct Form {
        const char* name;
        std::string keys;
        int page, row, column;
    } forms[] = {
        {"normal-mode Right", "\x1b[C", 1, 0, 1},
        {"application-mode Right", "\x1bOC", 1, 0, 2},
        {"M, Right's code", "M", 1, 0, 3},
        {"normal-mode Down", "\x1b[B", 1, 1, 3},
        {"application-mode Down", "\x1bOB", 1, 2, 3},
        {"P, Down's code", "P", 1, 3, 3},
        {"normal-mode Left", "\x1b[D", 1, 3, 2},
        {"application-mode Left", "\x1bOD", 1, 3, 1},
        {"K, Left's code", "K", 1, 3, 0},
        {"normal-mode Up", "\x1b[A", 1, 2, 0},
        {"application-mode Up", "\x1bOA", 1, 1, 0},
        {"H, Up's code", "H", 1, 0, 0},
        {"Page Up", "\x1b[5~", 2, 0, 0},
        {"I, Page Up's code", "I", 3, 0, 0},
        {"Page Down", "\x1b[6~", 2, 0, 0},
        {"Q, Page Down's code", "Q", 1, 0, 0},
    };
    for (const Form& form : forms) {
        screen.send(form.keys);
        const std::string status = "Page: " + std::to_string(form.page) + "   ";
        EXPECT_TRUE(screen.waitFor([&] {
            return statusLine(screen) == status && highlightAt(screen, form.row, form.column);
        })) << form.name << "\n" << screen.dump();
    }
}

TEST(Keys, KeysOutsideTheTableDoNothing) {
    Hexpage run(fileOf(600));
    ASSERT_TRUE(run.started) << run->dump();
    TerminalSession& screen = *run;

    // An edit first, so that a key acting as s would show in the file.
    screen.send("e");
    ASSERT_TRUE(screen.waitForText(21, 3, "Value: ")) << screen.dump();
    screen.send("AA\r");
    ASSERT_TRUE(screen.waitFor([&] { return cellText(screen, 0, 0) == "AA"; })) << screen.dump();
    screen.send(down + down + right + right);
    ASSERT_TRUE(screen.waitFor([&] { return highlightAt(screen, 2, 2); })) << screen.dump();

    const struct {
        const char* name;
        std::string keys;
    } keys[] = {
        {"E", "E"},
        {"S", "S"},
        {"Enter", "\r"},
        {"Ctrl-C in raw mode", "\x03"},
        {"F1, whose last byte is P", "\x1bOP"},
        {"F4, whose last byte is S", "\x1bOS"},
        {"Ctrl-Home, whose last byte is H", "\x1b[1;5H"},
        {"Ctrl-Right", "\x1b[1;5C"},
        {"Shift-Down", "\x1b[1;2B"},
        {"Ctrl-Page Up", "\x1b[5;5~"},
        {"Linux console F1", "\x1b[[A"},
        {"rxvt Shift-Insert", "\x1b[2$"},
        {"rxvt Ctrl-Page Down", "\x1b[6^"},
        {"rxvt Alt-Up", "\x1b\x1b[A"},
        {"Alt-e", "\x1b" "e"},
        {"Home", "\x1b[H"},
        {"End", "\x1bOF"},
        {"Delete", "\x1b[3~"},
        {"F12", "\x1b[24~"},
        {"a lone 224", "\xe0"},
        {"a character outside ASCII", "\xc3\xa9"},
        {"Shift-Tab", "\x1b[Z"},
    };
    // Each key is followed by a step that alternates right and left: once the highlight
    // stands where that step leads, the key before it has been read and did nothing.
    bool rightNext = true;
    for (const auto& key : keys) {
        screen.send(key.keys + (rightNext ? right : left));
        const int column = rightNext ? 3 : 2;
        EXPECT_TRUE(screen.waitFor([&] { return highlightAt(screen, 2, column); }))
            << key.name << "\n" << screen.dump();
        EXPECT_EQ(statusLine(screen), "Page: 1   ") << key.name;
        rightNext = !rightNext;
    }
    EXPECT_EQ(screen.line(21), "") << "no key opened the value prompt";
    screen.send(esc);
    EXPECT_EQ(screen.waitExit(), 0) << screen.dump();
    EXPECT_EQ(run.file.bytes(), fileOf(600)) << "no key saved the edit";
}

TEST(Keys, ArrowsSplitOrInABurstNeverQuit) {
    Hexpage run(fileOf(300));
    ASSERT_TRUE(run.started) << run->dump();
    TerminalSession& screen = *run;

    // Split between two writes, as a slow link delivers them.
    screen.send("\x1b");
    std::this_thread::sleep_for(5ms);
    screen.send("[C");
    screen.send("\x1bO");
    std::this_thread::sleep_for(5ms);
    screen.send("B");
    EXPECT_TRUE(screen.waitFor([&] { return highlightAt(screen, 1, 1); })) << screen.dump();

    std::string burst;
    for (int i = 0; i < 2000; ++i) burst += "\x1b[C\x1bOD";
    burst += down;
    screen.send(burst);
    EXPECT_TRUE(screen.waitFor([&] { return highlightAt(screen, 2, 1); })) << screen.dump();
    EXPECT_FALSE(screen.waitExit(0ms).has_value()) << "still running";
}

TEST(Keys, EscQuitsAtOnceAndGivesTheTerminalItsModesBack) {
    for (const std::string& quit : {esc, esc + esc}) {
        Hexpage run(fileOf(40));
        ASSERT_TRUE(run.started) << run->dump();
        TerminalSession& screen = *run;
        screen.send(right);
        ASSERT_TRUE(screen.waitFor([&] { return highlightAt(screen, 0, 1); })) << screen.dump();

        screen.send(quit);
        EXPECT_EQ(screen.waitExit(2s), 0) << screen.dump();
        const termios modes = screen.terminalModes();
        EXPECT_TRUE(modes.c_lflag & ECHO);
        EXPECT_TRUE(modes.c_lflag & ICANON);
        EXPECT_TRUE(modes.c_lflag & ISIG);
        EXPECT_TRUE(modes.c_iflag & ICRNL);
        // The screen stays as it was, the cursor on the input line.
        EXPECT_TRUE(highlightAt(screen, 0, 1));
        EXPECT_EQ(statusLine(screen), "Page: 1   ");
        EXPECT_EQ(screen.cursor(), (std::pair{3, 21}));
    }
}

} // namespace
