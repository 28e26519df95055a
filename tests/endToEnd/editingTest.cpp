// Value entry and saving, as a person types them.
#include "tests/endToEnd/hexpageScreen.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

using namespace hexpageScreen;
using namespace std::chrono_literals;


std::string withByte(std::string bytes, std::size_t offset, unsigned char value) {
    bytes[offset] = static_cast<char>(value);
    return bytes;
}

TEST(Editing, ValueReplacesTheByteUnderTheCursorAndSaveWritesIt) {
    const std::string original = fileOf(300);
    Hexpage run(original);
    ASSERT_TRUE(run.started) << run->dump();
    TerminalSession& screen = *run;

    screen.send(down + right + right);
    ASSERT_TRUE(screen.waitFor([&] { return highlightAt(screen, 1, 2); })) << screen.dump();
    screen.send("e");
    ASSERT_TRUE(waitForPrompt(screen)) << screen.dump();
    EXPECT_EQ(formOf(screen.cell(21, 3)), "text");
    screen.send("4f\r");
    ASSERT_TRUE(screen.waitFor([&] { return cellText(screen, 1, 2) == "4F" && highlightAt(screen, 1, 2) && turnDone(screen); }))
        << screen.dump();
    EXPECT_EQ(screen.text(3, 7, 2), "  ") << "the page was drawn again";
    EXPECT_EQ(screen.line(21), "") << "the next turn clears the input line";
    EXPECT_EQ(run.file.bytes(), original) << "nothing reaches the file before s";

    screen.send("e");
    ASSERT_TRUE(waitForPrompt(screen)) << screen.dump();
    screen.send("-1\r");
    ASSERT_TRUE(screen.waitFor([&] { return cellText(screen, 1, 2) == "FF"; })) << screen.dump();

    screen.send("s");
    ASSERT_TRUE(screen.waitFor([&] { return run.file.bytes() == withByte(original, 18, 0xff); }))
        << screen.dump();
    EXPECT_EQ(screen.line(21), "") << "a save that works says nothing";
    screen.send("s");
    screen.send(esc);
    EXPECT_EQ(screen.waitExit(), 0) << screen.dump();
    EXPECT_EQ(run.file.bytes(), withByte(original, 18, 0xff));
}

TEST(Editing, EscDropsUnsavedEdits) {
    const std::string original = fileOf(50);
    Hexpage run(original);
    ASSERT_TRUE(run.started) << run->dump();
    TerminalSession& screen = *run;
    screen.send("e");
    ASSERT_TRUE(waitForPrompt(screen)) << screen.dump();
    screen.send("zz\r"); // no digit at all: 00, without a word
    ASSERT_TRUE(screen.waitFor([&] { return cellText(screen, 0, 0) == "00" && highlightAt(screen, 0, 0); }))
        << screen.dump();
    screen.send(esc);
    EXPECT_EQ(screen.waitExit(), 0) << screen.dump();
    EXPECT_EQ(run.file.bytes(), original);
}

TEST(Editing, TokensLeftOnALineServeTheNextPromptsAndBlankLinesDoNotEndOne) {
    const std::string original = fileOf(300);
    Hexpage run(original);
    ASSERT_TRUE(run.started) << run->dump();
    TerminalSession& screen = *run;

    screen.send("e");
    ASSERT_TRUE(waitForPrompt(screen)) << screen.dump();
    screen.send("41 42 43\r");
    ASSERT_TRUE(screen.waitFor([&] { return cellText(screen, 0, 0) == "41"; })) << screen.dump();
    // The next two prompts take the tokens left over, without waiting.
    screen.send(right + "e" + right + "e");
    ASSERT_TRUE(screen.waitFor([&] {
        return cellText(screen, 0, 1) == "42" && cellText(screen, 0, 2) == "43" && highlightAt(screen, 0, 2) &&
               turnDone(screen);
    })) << screen.dump();
    EXPECT_EQ(screen.line(21), "");

    // The fourth waits for a new line, and a line of nothing does not end it.
    screen.send(right + "e");
    ASSERT_TRUE(waitForPrompt(screen)) << screen.dump();
    screen.send("\r");
    screen.send("  \r");
    ASSERT_TRUE(screen.waitFor([&] { return screen.cursor() == std::pair{1, 23}; })) << screen.dump();
    EXPECT_EQ(screen.text(21, 3, 7), "Value: ");
    screen.send("44\r");
    ASSERT_TRUE(screen.waitFor([&] { return cellText(screen, 0, 3) == "44" && highlightAt(screen, 0, 3); }))
        << screen.dump();

    // After a page turn the value goes to the first cell of the new page.
    screen.send(down + right + pageUp + "e");
    ASSERT_TRUE(waitForPrompt(screen)) << screen.dump();
    screen.send("7\r");
    ASSERT_TRUE(screen.waitFor([&] { return cellText(screen, 0, 0) == "07" && highlightAt(screen, 0, 0); }))
        << screen.dump();
    screen.send("s" + esc);
    EXPECT_EQ(screen.waitExit(), 0) << screen.dump();
    std::string expected = original;
    expected.replace(0, 4, "\x41\x42\x43\x44");
    expected[128] = 7;
    EXPECT_EQ(run.file.bytes(), expected);
}

TEST(Editing, ALongTokenIsCutToFitAndItsEchoOutlivesTheClear) {
    Hexpage run(fileOf(20));
    ASSERT_TRUE(run.started) << run->dump();
    TerminalSession& screen = *run;
    // 62 zeros and a 4 fill the token's room; the nines beyond it are dropped,
    // and would have saturated the value to FF.
    const std::string token = std::string(62, '0') + "4" + std::string(37, '9');
    screen.send("e");
    ASSERT_TRUE(waitForPrompt(screen)) << screen.dump();
    screen.send(token + "\r");
    ASSERT_TRUE(screen.waitFor([&] { return cellText(screen, 0, 0) == "04" && highlightAt(screen, 0, 0) && turnDone(screen); }))
        << screen.dump();
    // Columns 3 to 32 are cleared; the rest of the echo stays.
    EXPECT_EQ(screen.text(21, 3, 30), std::string(30, ' '));
    EXPECT_EQ(screen.text(21, 33, 10), token.substr(23, 10));
    // Nothing of the dropped tail is waiting to serve as the next token.
    screen.send("e");
    ASSERT_TRUE(waitForPrompt(screen)) << screen.dump();
    screen.send("5\r");
    ASSERT_TRUE(screen.waitFor([&] { return cellText(screen, 0, 0) == "05"; })) << screen.dump();
}

TEST(Editing, EndOfInputAtThePromptStoresNothingAndKeysGoOn) {
    Hexpage run(fileOf(20));
    ASSERT_TRUE(run.started) << run->dump();
    TerminalSession& screen = *run;
    screen.send("e");
    ASSERT_TRUE(waitForPrompt(screen)) << screen.dump();
    screen.send("\x04"); // Ctrl-D on an empty line
    screen.send(right);
    ASSERT_TRUE(screen.waitFor([&] { return highlightAt(screen, 0, 1); })) << screen.dump();
    EXPECT_EQ(cellText(screen, 0, 0), "03");
    // A later prompt reads the terminal again.
    screen.send("e");
    ASSERT_TRUE(waitForPrompt(screen)) << screen.dump();
    screen.send("1b\r");
    ASSERT_TRUE(screen.waitFor([&] { return cellText(screen, 0, 1) == "1B"; })) << screen.dump();
}

TEST(Editing, TokensFromRedirectedInputWhileKeysComeFromTheTerminal) {
    TempFile tokens("10\n  20 30");
    SessionOptions options;
    options.stdinPath = tokens.path().string();
    const std::string original = fileOf(20);
    Hexpage run(original, options);
    ASSERT_TRUE(run.started) << run->dump();
    TerminalSession& screen = *run;

    screen.send("e" + right + "e" + right + "e" + right + "e" + right);
    ASSERT_TRUE(screen.waitFor([&] { return highlightAt(screen, 0, 4); })) << screen.dump();
    EXPECT_EQ(cellText(screen, 0, 0), "10");
    EXPECT_EQ(cellText(screen, 0, 1), "20");
    EXPECT_EQ(cellText(screen, 0, 2), "30");
    EXPECT_EQ(cellText(screen, 0, 3), "12") << "input had ended: the byte stays";
    screen.send("s" + esc);
    EXPECT_EQ(screen.waitExit(), 0) << screen.dump();
    std::string expected = original;
    expected.replace(0, 3, "\x10\x20\x30");
    EXPECT_EQ(run.file.bytes(), expected);
}

} // namespace
