// Any stream of bytes, with the Esc wait running out anywhere: the decoder never crashes,
// never delivers Esc for a sequence begun with ESC [ or ESC O, delivers an extended key
// only as it finishes a sequence, and never lets a byte of a sequence out as a key.
//
// The first eight bytes of an input choose where the waits run out; the rest is what
// the terminal sent.

#include "console/keyDecoder.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// Where sequences begin and end, written plainly and apart from the decoder: after
// ESC [ or ESC O every byte belongs to the sequence up to its final byte (@ to ~, or $
// for a CSI), the Linux console's ESC [ [ takes one byte more, and an ESC starts anew.
// After a lone ESC, the next byte is either an introducer or part of an Alt chord.
struct Extent {
    enum Stage { ground, escape, escapeTwice, csiFirst, csi, ss3, linuxFunction } stage = ground;
    bool introducerSeen = false; // the most recent ESC was followed by [ or O
};

enum class Role { plain, opensOrContinues, ends };

Role advance(Extent& extent, unsigned char byte) {
    const bool final = byte >= 0x40 && byte <= 0x7e;
    if (byte == escapeByte && extent.stage != Extent::ground && extent.stage != Extent::escape) {
        extent = {Extent::escape, false};
        return Role::opensOrContinues;
    }
    switch (extent.stage) {
    case Extent::ground:
        if (byte != escapeByte) return Role::plain;
        extent = {Extent::escape, false};
        return Role::opensOrContinues;
    case Extent::escape:
    case Extent::escapeTwice:
        if (byte == '[' || byte == 'O') {
            extent = {byte == '[' ? Extent::csiFirst : Extent::ss3, true};
            return Role::opensOrContinues;
        }
        if (byte == escapeByte) {
            extent.stage = Extent::escapeTwice;
            return Role::opensOrContinues;
        }
        extent.stage = Extent::ground;
        return Role::ends;
    case Extent::csiFirst:
        if (byte == '[') {
            extent.stage = Extent::linuxFunction;
            return Role::opensOrContinues;
        }
        extent.stage = Extent::csi;
        [[fallthrough]];
    case Extent::csi:
        if (final || byte == '$') {
            extent.stage = Extent::ground;
            return Role::ends;
        }
        return Role::opensOrContinues;
    case Extent::ss3:
        if (final) {
            extent.stage = Extent::ground;
            return Role::ends;
        }
        return Role::opensOrContinues;
    case Extent::linuxFunction:
        extent.stage = Extent::ground;
        return Role::ends;
    }
    return Role::plain;
}

void check(bool condition) {
    if (!condition) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::uint64_t pauses = 0;
    const std::size_t maskSize = size < sizeof pauses ? size : sizeof pauses;
    std::memcpy(&pauses, data, maskSize);
    data += maskSize;
    size -= maskSize;

    KeyDecoder decoder;
    Extent extent;
    for (std::size_t i = 0; i < size; ++i) {
        const unsigned char byte = data[i];
        const Role role = advance(extent, byte);
        const KeyBytes key = decodeByte(decoder, byte);

        check(key.count >= 0 && key.count <= 2);
        if (key.count == 1 && key.bytes[0] != escapeByte) {
            check(role == Role::plain && key.bytes[0] == byte); // nothing of a sequence leaks
        }
        if (key.count == 1 && key.bytes[0] == escapeByte) check(!extent.introducerSeen);
        if (key.count == 2) {
            check(role == Role::ends);
            check(key.bytes[0] == extendedKeyPrefix || key.bytes[0] == functionKeyPrefix);
        }
        if (role == Role::plain) check(key.count == 1 && key.bytes[0] == byte);

        if ((pauses >> (i % 64)) & 1) {
            const bool waiting = decoderAwaitsPause(decoder);
            const KeyBytes paused = decodePause(decoder);
            check(paused.count == (waiting ? 1 : 0));
            if (paused.count == 1) {
                check(paused.bytes[0] == escapeByte && !extent.introducerSeen);
                extent.stage = Extent::ground;
            }
        }
    }
    return 0;
}
