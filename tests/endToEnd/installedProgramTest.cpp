// hexpage as a user gets it from the package: the program that HEXPAGE_INSTALLED names
// (scripts/ci-package.sh passes the one found on the PATH after installing the .deb),
// run on a copy of the sample file. Without that variable there is nothing to check.
#include "tests/endToEnd/hexpageScreen.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace {

using namespace hexpageScreen;

std::string sampleBytes() {
    std::ifstream file(HEXPAGE_SAMPLE, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

TEST(InstalledProgram, ShowsEveryPageOfTheSampleAndQuitsOnEsc) {
    const char* installed = std::getenv("HEXPAGE_INSTALLED");
    if (installed == nullptr || *installed == '\0') GTEST_SKIP() << "HEXPAGE_INSTALLED names no installed hexpage";

    const std::string sample = sampleBytes();
    ASSERT_EQ(sample.size(), 340u) << "the sample fills two pages and part of a third";
    SessionOptions options;
    options.program = installed;
    Hexpage run(sample, options);
    ASSERT_TRUE(run.started) << run->dump();
    TerminalSession& screen = *run;

    EXPECT_EQ(screen.line(1), "    00  01  02  03  04  05  06  07  08  09  0A  0B  0C  0D  0E  0F");
    EXPECT_EQ(screen.text(3, 7, 5), "pt: 3");

    // Each page by its first byte, one cell in it, and where the data ends.
    struct Page {
        std::string keys;
        std::string status;
        std::string firstCell;
        int row, column;
        std::string text, form;
    } pages[] = {
        {"", "Page: 1   ", "00", 7, 15, "7F", "data"},
        {pageUp, "Page: 2   ", "80", 7, 15, "FF", "data"},
        {pageUp, "Page: 3   ", "68", 5, 3, "0A", "data"},  // 340 = 256 + 5 * 16 + 4: the last byte
        {"", "Page: 3   ", "68", 5, 4, "00", "filler"},
        {pageDown + pageDown, "Page: 1   ", "00", 1, 0, "10", "data"},
    };
    for (const Page& page : pages) {
        SCOPED_TRACE(page.status + " after " + std::to_string(page.keys.size()) + " key bytes");
        screen.send(page.keys);
        ASSERT_TRUE(screen.waitFor([&] { return statusLine(screen) == page.status && highlightAt(screen, 0, 0); }))
            << screen.dump();
        EXPECT_EQ(cellText(screen, 0, 0), page.firstCell);
        EXPECT_EQ(cellText(screen, page.row, page.column), page.text);
        EXPECT_EQ(cellForm(screen, page.row, page.column), page.form);
    }

    screen.send(esc);
    EXPECT_EQ(screen.waitExit(), 0) << screen.dump();
    EXPECT_EQ(run.file.bytes(), sample) << "quitting never writes";
}

} // namespace
