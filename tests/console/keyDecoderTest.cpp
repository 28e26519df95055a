#include "console/keyDecoder.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace {

using Keys = std::vector<int>;

// Feeds every byte in turn, then a pause if asked: the key stream the loop would read.
Keys decode(std::string_view bytes, bool pauseAtEnd = false) {
    KeyDecoder decoder;
    Keys keys;
    auto take = [&](const KeyBytes& delivered) {
        for (int i = 0; i < delivered.count; ++i) keys.push_back(delivered.bytes[i]);
    };
    for (const char byte : bytes) take(decodeByte(decoder, static_cast<unsigned char>(byte)));
    if (pauseAtEnd) take(decodePause(decoder));
    return keys;
}

struct Case {
    const char* name;
    std::string bytes;
    Keys keys;
};

const Keys up{224, 72}, down{224, 80}, left{224, 75}, right{224, 77};
const Keys pageUp{224, 73}, pageDown{224, 81}, home{224, 71}, end{224, 79};
const Keys nothing{};

// What terminals send, and what the key loop must read for it.
const std::vector<Case> sequences = {
    {"letter", "e", {101}},
    {"capital H is Up's code on its own", "H", {72}},
    {"Enter in raw mode", "\r", {13}},
    {"byte above 127 passes as it is", "\xe0", {224}},
    {"xterm normal-mode Up", "\x1b[A", up},
    {"xterm normal-mode Down", "\x1b[B", down},
    {"xterm normal-mode Right", "\x1b[C", right},
    {"xterm normal-mode Left", "\x1b[D", left},
    {"application-mode Up", "\x1bOA", up},
    {"application-mode Down", "\x1bOB", down},
    {"application-mode Right", "\x1bOC", right},
    {"application-mode Left", "\x1bOD", left},
    {"Page Up", "\x1b[5~", pageUp},
    {"Page Down", "\x1b[6~", pageDown},
    {"xterm Home", "\x1b[H", home},
    {"VT220 Home", "\x1b[1~", home},
    {"rxvt Home", "\x1b[7~", home},
    {"application-mode Home", "\x1bOH", home},
    {"xterm End", "\x1b[F", end},
    {"VT220 End", "\x1b[4~", end},
    {"rxvt End", "\x1b[8~", end},
    {"application-mode End", "\x1bOF", end},
    {"Insert", "\x1b[2~", {224, 82}},
    {"Delete", "\x1b[3~", {224, 83}},
    {"xterm F1 is not P (Down)", "\x1bOP", {0, 59}},
    {"xterm F4 is not S", "\x1bOS", {0, 62}},
    {"VT220 F1", "\x1b[11~", {0, 59}},
    {"Linux console F1", "\x1b[[A", {0, 59}},
    {"Linux console F5", "\x1b[[E", {0, 63}},
    {"F6", "\x1b[17~", {0, 64}},
    {"F10", "\x1b[21~", {0, 68}},
    {"F11", "\x1b[23~", {224, 133}},
    {"F12", "\x1b[24~", {224, 134}},
    {"explicit no-modifier parameter", "\x1b[1;1A", up},
    {"Ctrl-Up", "\x1b[1;5A", nothing},
    {"Ctrl-Home is not H (Up)", "\x1b[1;5H", nothing},
    {"Shift-F1 is not P (Down)", "\x1b[1;2P", nothing},
    {"Ctrl-Page Up", "\x1b[5;5~", nothing},
    {"old xterm Ctrl-Up", "\x1bO5A", nothing},
    {"rxvt Shift-Insert", "\x1b[2$", nothing},
    {"rxvt Ctrl-Page Up", "\x1b[5^", nothing},
    {"rxvt Ctrl-Shift-Insert", "\x1b[2@", nothing},
    {"rxvt Shift-Up", "\x1b[a", nothing},
    {"rxvt Ctrl-Up", "\x1bOa", nothing},
    {"rxvt Alt-Up", "\x1b\x1b[A", nothing},
    {"Alt with a letter", "\x1bx", nothing},
    {"Shift-Tab", "\x1b[Z", nothing},
    {"keypad Enter in application mode", "\x1bOM", nothing},
    {"device attributes report", "\x1b[?1;2c", nothing},
    {"start of a bracketed paste", "\x1b[200~", nothing},
    {"modifyOtherKeys Ctrl-Enter", "\x1b[27;5;13~", nothing},
    {"intermediate byte", "\x1b[1 q", nothing},
    {"runaway parameter", "\x1b[" + std::string(200, '9') + "A", nothing},
};

TEST(KeyDecoder, DeliversWhatEachTerminalSequenceMeans) {
    for (const Case& row : sequences) EXPECT_EQ(decode(row.bytes), row.keys) << row.name;
}

TEST(KeyDecoder, SequencesSentBackToBackDecodeOneByOne) {
    std::string burst;
    Keys expected;
    for (const Case& row : sequences) {
        burst += row.bytes;
        expected.insert(expected.end(), row.keys.begin(), row.keys.end());
    }
    EXPECT_EQ(decode(burst), expected);
    // Thousands of arrows in one read: none of them may turn into Esc.
    std::string arrows;
    for (int i = 0; i < 5000; ++i) arrows += "\x1b[C";
    const Keys keys = decode(arrows);
    ASSERT_EQ(keys.size(), 10000u);
    for (std::size_t i = 0; i < keys.size(); i += 2) ASSERT_EQ(Keys(keys.begin() + i, keys.begin() + i + 2), right);
}

TEST(KeyDecoder, EscIsKnownOnlyByThePauseAfterIt) {
    KeyDecoder decoder;
    EXPECT_EQ(decodeByte(decoder, escapeByte).count, 0);
    EXPECT_TRUE(decoderAwaitsPause(decoder));
    const KeyBytes key = decodePause(decoder);
    ASSERT_EQ(key.count, 1);
    EXPECT_EQ(key.bytes[0], escapeByte);
    EXPECT_FALSE(decoderAwaitsPause(decoder));

    EXPECT_EQ(decode("\x1b", true), Keys{27});
    EXPECT_EQ(decode("\x1b\x1b", true), Keys{27}) << "Esc pressed twice";
    EXPECT_EQ(decode("ab", true), (Keys{'a', 'b'})) << "a pause outside a sequence delivers nothing";
}

TEST(KeyDecoder, APauseInsideASequenceNeverMakesItEsc) {
    for (const std::string_view head : {"\x1b[", "\x1bO", "\x1b[1;", "\x1b[[", "\x1b\x1b["}) {
        KeyDecoder decoder;
        for (const char byte : head) decodeByte(decoder, static_cast<unsigned char>(byte));
        EXPECT_FALSE(decoderAwaitsPause(decoder)) << head;
        EXPECT_EQ(decodePause(decoder).count, 0) << head;
    }
    // The rest of a split arrow, arriving after the wait, still completes it.
    KeyDecoder decoder;
    decodeByte(decoder, escapeByte);
    decodeByte(decoder, '[');
    decodePause(decoder);
    const KeyBytes key = decodeByte(decoder, 'A');
    EXPECT_EQ(Keys(key.bytes, key.bytes + key.count), up);
}

TEST(KeyDecoder, NoByteOfAnUnknownSequenceLeaksIntoTheKeys) {
    // What follows an unknown or cut-off sequence is decoded afresh and nothing before it shows.
    EXPECT_EQ(decode("\x1b[1;5Hx"), Keys{'x'});
    EXPECT_EQ(decode("\x1b[?1;2cH"), Keys{'H'});
    EXPECT_EQ(decode("\x1b[1\x1b[A"), up) << "a new ESC starts a new sequence";
    EXPECT_EQ(decode("\x1bO\x1bOB"), down);
    EXPECT_EQ(decode("\x1b[[\x1b[B"), down);
    EXPECT_EQ(decode("\x1b[1;5\x03" "A"), nothing) << "a control byte inside a sequence is swallowed with it";
}

} // namespace
