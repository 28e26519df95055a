// The screen as a person sees it: the frame, the three forms of cell, the cursor
// highlight as it moves, and page turns.
#include "tests/endToEnd/hexpageScreen.h"

#include <gtest/gtest.h>

namespace {

using namespace hexpageScreen;

TEST(Screen, FirstScreenOfAShortFile) {
    Hexpage run(fileOf(20));
    ASSERT_TRUE(run.started) << run->dump();
    TerminalSession& screen = *run;

    EXPECT_EQ(screen.line(1), "    00  01  02  03  04  05  06  07  08  09  0A  0B  0C  0D  0E  0F");
    EXPECT_EQ(formOf(screen.cell(1, 53)), "text");
    EXPECT_EQ(screen.text(1, 53, 2), "0C") << "the label stands over the cells of its column";
    for (int row = 0; row < 8; ++row) {
        EXPECT_EQ(screen.text(cellLine(row), 1, 2), "0" + std::to_string(row));
        EXPECT_EQ(formOf(screen.cell(cellLine(row), 1)), "text");
        EXPECT_EQ(screen.line(cellLine(row) + 1), "") << "line " << cellLine(row) + 1 << " stays empty";
    }
    EXPECT_EQ(screen.line(2), "");

    // Twenty bytes: row 0 and four cells of row 1 hold data, the rest is filler; (0, 0)
    // is the cursor; the page count stands behind it over the separator and cell (0, 1).
    EXPECT_EQ(screen.text(3, 5, 16), "03pt: 1 0D  12  ");
    EXPECT_EQ(cellForm(screen, 0, 0), "cursor");
    EXPECT_EQ(cellForm(screen, 0, 1), "text");
    const std::string bytes = fileOf(20);
    for (int offset = 2; offset < 128; ++offset) {
        const int row = offset / 16, column = offset % 16;
        SCOPED_TRACE(testing::Message() << "cell " << row << "," << column);
        if (offset < 20) {
            char hex[3];
            std::snprintf(hex, sizeof hex, "%02X", static_cast<unsigned char>(bytes[offset]));
            EXPECT_EQ(cellText(screen, row, column), hex);
            EXPECT_EQ(cellForm(screen, row, column), "data");
        } else {
            EXPECT_EQ(cellText(screen, row, column), "00");
            EXPECT_EQ(cellForm(screen, row, column), "filler");
        }
        if (offset >= 8) {
            EXPECT_EQ(screen.text(cellLine(row), cellColumn(column) + 2, 2), "  ");
            EXPECT_EQ(formOf(screen.cell(cellLine(row), cellColumn(column) + 2)), "text") << "separator";
        }
    }
    EXPECT_EQ(screen.text(19, 1, 10), "  Page: 1 ");
    EXPECT_EQ(formOf(screen.cell(19, 3)), "text");
    EXPECT_EQ(screen.line(21), "");
    EXPECT_EQ(formOf(screen.cell(21, 3)), "text") << "the cleared input line takes the text colours";
    EXPECT_EQ(screen.cursor(), (std::pair{3, 21}));
}

TEST(Screen, EmptyFileShowsOnlyFillerAndACursorThatCannotMove) {
    Hexpage run("");
    ASSERT_TRUE(run.started) << run->dump();
    TerminalSession& screen = *run;
    EXPECT_EQ(screen.text(3, 7, 5), "pt: 0");
    EXPECT_EQ(cellText(screen, 0, 0), "00");
    EXPECT_EQ(cellForm(screen, 0, 0), "cursor");
    EXPECT_EQ(cellForm(screen, 7, 15), "filler");

    // Every step right or down is refused, which draws the page again (wiping the count).
    screen.send(right);
    ASSERT_TRUE(screen.waitFor([&] { return screen.text(3, 7, 5) == "  00 "; })) << screen.dump();
    screen.send(down + pageUp + left + up);
    screen.send("e");
    ASSERT_TRUE(screen.waitForText(21, 3, "Value: ")) << screen.dump();
    screen.send("41\r");
    screen.send("s");
    screen.send(esc);
    EXPECT_EQ(screen.waitExit(), 0) << screen.dump();
    EXPECT_TRUE(highlightAt(screen, 0, 0)) << screen.dump();
    EXPECT_EQ(cellText(screen, 0, 0), "00") << "an empty file has no byte to replace";
    EXPECT_EQ(statusLine(screen), "Page: 1   ");
    EXPECT_EQ(run.file.bytes(), "");
}

TEST(Screen, StepsMoveTheHighlightWithinThePageAndNeverWrap) {
    Hexpage run(fileOf(300));
    ASSERT_TRUE(run.started) << run->dump();
    TerminalSession& screen = *run;

    struct Step {
        std::string keys;
        int row, column;
    } steps[] = {
        {left, 0, 0},  {up, 0, 0},  // nothing to the left of column 0 or above row 0
        {right, 0, 1}, {down, 1, 1}, {left, 1, 0}, {up, 0, 0},
        {std::string(20, 'M'), 0, 15},  // M is Right's code: stops at column 15
        {std::string(20, 'P'), 7, 15},  // P is Down's: stops at row 7, no next page
        {"K", 7, 14}, {"H", 6, 14},
    };
    for (const Step& step : steps) {
        screen.send(step.keys);
        ASSERT_TRUE(screen.waitFor([&] { return highlightAt(screen, step.row, step.column) && turnDone(screen); }))
            << "expected the highlight at " << step.row << "," << step.column << "\n" << screen.dump();
    }
    // The cell left behind is drawn as data again.
    EXPECT_EQ(cellForm(screen, 7, 14), "data");
    EXPECT_EQ(cellForm(screen, 0, 0), "data");
    EXPECT_EQ(statusLine(screen), "Page: 1   ");
    EXPECT_EQ(screen.cursor(), (std::pair{3, 21}));
}

TEST(Screen, RefusedStepDrawsThePageAgainAndKeepsTheCursor) {
    Hexpage run(fileOf(2));
    ASSERT_TRUE(run.started) << run->dump();
    TerminalSession& screen = *run;

    screen.send(right);
    ASSERT_TRUE(screen.waitFor([&] { return highlightAt(screen, 0, 1); })) << screen.dump();
    EXPECT_EQ(screen.text(3, 7, 2), "pt") << "a step repaints two cells and nothing else";

    screen.send(right); // offset 2 holds no data
    ASSERT_TRUE(screen.waitFor([&] { return screen.text(3, 7, 2) == "  " && turnDone(screen); })) << screen.dump();
    EXPECT_TRUE(highlightAt(screen, 0, 1)) << screen.dump();
    EXPECT_EQ(cellForm(screen, 0, 2), "filler");

    screen.send(std::string("0") + down); // a harmless key, then Down from row 0: refused too
    screen.send(left);
    ASSERT_TRUE(screen.waitFor([&] { return highlightAt(screen, 0, 0); })) << screen.dump();
}

TEST(Screen, PageKeysTurnPagesAndPutTheCursorOnTheFirstCell) {
    // 130 bytes: two pages, the second holding offsets 128 and 129 only.
    Hexpage run(fileOf(130));
    ASSERT_TRUE(run.started) << run->dump();
    TerminalSession& screen = *run;

    screen.send(down + down + right);
    ASSERT_TRUE(screen.waitFor([&] { return highlightAt(screen, 2, 1); })) << screen.dump();
    screen.send(pageUp); // Page Up goes towards the end of the file
    ASSERT_TRUE(screen.waitFor([&] { return statusLine(screen) == "Page: 2   " && highlightAt(screen, 0, 0); }))
        << screen.dump();
    EXPECT_EQ(cellText(screen, 0, 0), "83"); // byte 128
    EXPECT_EQ(cellForm(screen, 0, 1), "data");
    EXPECT_EQ(cellForm(screen, 0, 2), "filler");
    EXPECT_EQ(cellForm(screen, 2, 1), "filler") << "the cell highlighted before is repainted as filler";

    // The last page: Page Up changes nothing; steps past the data are refused.
    screen.send(pageUp + right + right + down);
    screen.send("I"); // Page Up's code
    ASSERT_TRUE(screen.settle()) << screen.dump();
    EXPECT_EQ(statusLine(screen), "Page: 2   ");
    EXPECT_TRUE(highlightAt(screen, 0, 1)) << screen.dump();

    screen.send(pageDown);
    ASSERT_TRUE(screen.waitFor([&] { return statusLine(screen) == "Page: 1   " && highlightAt(screen, 0, 0); }))
        << screen.dump();
    EXPECT_EQ(cellText(screen, 0, 1), "08");

    // Page Down on the first page draws nothing again but still homes the cursor.
    screen.send(right + right + right);
    ASSERT_TRUE(screen.waitFor([&] { return highlightAt(screen, 0, 3); })) << screen.dump();
    screen.send("\x1b[1;2H"); // Shift-Home: nothing at all
    screen.send("Q");         // Page Down's code
    ASSERT_TRUE(screen.waitFor([&] { return highlightAt(screen, 0, 0); })) << screen.dump();
}

TEST(Screen, StatusLineKeepsTheDigitsOfALongerPageNumber) {
    Hexpage run(fileOf(11 * 128));
    ASSERT_TRUE(run.started) << run->dump();
    TerminalSession& screen = *run;
    for (int page = 2; page <= 10; ++page) screen.send(pageUp);
    ASSERT_TRUE(screen.waitFor([&] { return statusLine(screen) == "Page: 10  "; })) << screen.dump();
    screen.send(pageDown);
    ASSERT_TRUE(screen.waitFor([&] { return statusLine(screen) == "Page: 90  "; })) << screen.dump();
    EXPECT_EQ(cellText(screen, 0, 0), "03"); // byte 1024 = 8 * 128 on page 9
}

} // namespace
