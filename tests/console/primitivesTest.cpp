#include "console/console.h"
#include "console/terminal.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(PrintHex, WritesTwoUpperCaseDigitsAndNothingElse) {
    const struct {
        std::uint8_t byte;
        const char* text;
    } cases[] = {{0, "00"}, {9, "09"}, {10, "0A"}, {16, "10"}, {171, "AB"}, {255, "FF"}};
    for (const auto& row : cases) {
        discardOutput();
        printHex(row.byte);
        EXPECT_EQ(std::string(pendingOutput()), row.text) << int(row.byte);
    }
    discardOutput();
}

} // namespace
