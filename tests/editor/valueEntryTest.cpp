#include "editor/valueEntry.h"

#include <gtest/gtest.h>

namespace {

TEST(SetValue, StoresTheLowByteOfTheHexadecimalValue) {
    const struct {
        const char* token;
        std::uint8_t stored;
    } cases[] = {
        {"41", 0x41},        {"a", 0x0a},         {"0x7f", 0x7f},      {"0X7F", 0x7f},
        {"+5", 0x05},        {"-0x10", 0xf0},     {"1FF", 0xff},       {"100", 0x00},
        {"-1", 0xff},        {"-80", 0x80},       {"12zz", 0x12},      {"zz", 0x00},
        {"0x", 0x00},        {"-", 0x00},         {"+-1", 0x00},       {"0xg", 0x00},
        {"100000000", 0xff}, {"7FFFFFFF", 0xff},  {"-7FFFFFFF", 0x01}, {"-80000000", 0x00},
        {"-80000001", 0x00}, {"FFFFFFFFFFFFFFFFFFFF", 0xff},            {" \t41", 0x41},
        {"", 0x00},
    };
    for (const auto& row : cases) {
        std::uint8_t buffer[3] = {0x5a, 0x5a, 0x5a};
        setValue(row.token, buffer, 1);
        EXPECT_EQ(buffer[1], row.stored) << '"' << row.token << '"';
        EXPECT_EQ(buffer[0], 0x5a) << "only the byte at the offset changes";
        EXPECT_EQ(buffer[2], 0x5a) << "only the byte at the offset changes";
    }
}

TEST(HexValue, SaturatesAtTheSigned32BitLimits) {
    EXPECT_EQ(hexValue("7FFFFFFF"), 0x7fffffff);
    EXPECT_EQ(hexValue("80000000"), 0x7fffffff);
    EXPECT_EQ(hexValue("-80000000"), INT32_MIN);
    EXPECT_EQ(hexValue("-123456789ABCDEF"), INT32_MIN);
    EXPECT_EQ(hexValue("-7fffffff"), -0x7fffffff);
}

} // namespace
