// Turns the bytes a terminal sends for a key into the key stream the key loop reads:
// a plain key is its own byte; an arrow, page, editing or function key is a prefix byte
// followed by the key's code, as a PC keyboard reports them. Sequences this decoder does
// not know, and keys held with Shift, Ctrl or Alt, deliver nothing at all: no byte of
// them ever reaches the key loop, so none can pass for a key of its own.
//
// The decoder is pure: it holds its place in a sequence in plain data, reads no input
// and keeps no clock. The reader feeds it one byte at a time and, while it waits to
// learn whether an ESC stands alone, tells it when the wait ran out.
#pragma once

#include <cstdint>

inline constexpr unsigned char escapeByte = 27;

// The byte before the code of an extended key: 224 for most, 0 for F1 to F10.
inline constexpr unsigned char extendedKeyPrefix = 224;
inline constexpr unsigned char functionKeyPrefix = 0;

// Codes that follow the prefix.
inline constexpr unsigned char keyUp = 72;
inline constexpr unsigned char keyPageUp = 73;
inline constexpr unsigned char keyLeft = 75;
inline constexpr unsigned char keyRight = 77;
inline constexpr unsigned char keyDown = 80;
inline constexpr unsigned char keyPageDown = 81;
inline constexpr unsigned char keyHome = 71;
inline constexpr unsigned char keyEnd = 79;
inline constexpr unsigned char keyInsert = 82;
inline constexpr unsigned char keyDelete = 83;
inline constexpr unsigned char keyF1 = 59;  // F1 to F10 run 59 to 68
inline constexpr unsigned char keyF11 = 133;
inline constexpr unsigned char keyF12 = 134;

enum class DecoderStage : std::uint8_t {
    ground,        // between keys
    escape,        // after ESC: a lone Esc, or the start of a sequence
    metaEscape,    // after ESC ESC: Esc twice, or Alt with a sequence
    csi,           // after ESC [
    linuxFunction, // after ESC [ [, the Linux console's F1 to F5
    ss3,           // after ESC O
};

struct KeyDecoder {
    DecoderStage stage = DecoderStage::ground;
    bool meta = false;      // Alt was held: the sequence came after an extra ESC
    bool unusual = false;   // a private marker, an intermediate or a stray byte: no key we know
    bool begun = false;     // some byte has followed the sequence's introducer
    int parameterCount = 0; // parameters begun so far, counting empty ones
    int parameters[2] = {0, 0};
};

// What one step of decoding delivers to the key stream: nothing, one byte, or a prefix and a code.
struct KeyBytes {
    unsigned char bytes[2] = {0, 0};
    int count = 0;
};

// Feeds one byte that the terminal sent.
KeyBytes decodeByte(KeyDecoder& decoder, unsigned char byte);

// Tells the decoder that no further byte came while decoderAwaitsPause said it waits:
// the ESC it holds was the Esc key itself.
KeyBytes decodePause(KeyDecoder& decoder);

// True while the decoder holds an ESC that a following byte could still turn into a
// sequence; the reader then waits only a short while for that byte.
bool decoderAwaitsPause(const KeyDecoder& decoder);
