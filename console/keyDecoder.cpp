#include "console/keyDecoder.h"

namespace {

// Parameters beyond any key number are clamped here, so a runaway sequence cannot overflow.
constexpr int parameterLimit = 10000;

// The xterm modifier parameter: 1 (or absent) means no Shift, Alt or Ctrl.
constexpr int noModifier = 1;

KeyBytes nothing() { return {}; }

KeyBytes plainByte(unsigned char byte) { return {{byte, 0}, 1}; }

KeyBytes extendedKey(unsigned char code) { return {{extendedKeyPrefix, code}, 2}; }

KeyBytes functionKey(int number) {
    if (number <= 10) return {{functionKeyPrefix, static_cast<unsigned char>(keyF1 + number - 1)}, 2};
    return extendedKey(number == 11 ? keyF11 : keyF12);
}

void startSequence(KeyDecoder& decoder, DecoderStage stage, bool meta) {
    decoder = KeyDecoder{};
    decoder.stage = stage;
    decoder.meta = meta;
    decoder.parameterCount = 1;
}

// Keys whose final byte alone names them, in CSI and SS3 form alike.
KeyBytes keyFromFinal(unsigned char final) {
    switch (final) {
    case 'A': return extendedKey(keyUp);
    case 'B': return extendedKey(keyDown);
    case 'C': return extendedKey(keyRight);
    case 'D': return extendedKey(keyLeft);
    case 'H': return extendedKey(keyHome);
    case 'F': return extendedKey(keyEnd);
    case 'P': return functionKey(1);
    case 'Q': return functionKey(2);
    case 'R': return functionKey(3);
    case 'S': return functionKey(4);
    default: return nothing();
    }
}

// ESC [ n ~, the VT220 editing and function keys (xterm, the Linux console, rxvt, screen).
KeyBytes keyFromTildeNumber(int number) {
    switch (number) {
    case 1: case 7: return extendedKey(keyHome);   // 7 and 8: rxvt
    case 4: case 8: return extendedKey(keyEnd);
    case 2: return extendedKey(keyInsert);
    case 3: return extendedKey(keyDelete);
    case 5: return extendedKey(keyPageUp);
    case 6: return extendedKey(keyPageDown);
    case 11: case 12: case 13: case 14: case 15: return functionKey(number - 10);
    case 17: case 18: case 19: case 20: case 21: return functionKey(number - 11);
    case 23: case 24: return functionKey(number - 12);
    default: return nothing();
    }
}

bool plain(const KeyDecoder& decoder) {
    return !decoder.meta && !decoder.unusual && decoder.parameterCount <= 2;
}

KeyBytes finishCsi(const KeyDecoder& decoder, unsigned char final) {
    if (!plain(decoder)) return nothing();
    // xterm puts the modifier second: ESC [ 1 ; 5 A is Ctrl-Up.
    if (decoder.parameterCount == 2 && decoder.parameters[1] > noModifier) return nothing();
    const int number = decoder.parameters[0];
    if (final == '~') return keyFromTildeNumber(number);
    // ESC [ 2 A would be a count, not a key; rxvt's ESC [ 2 $ and ESC [ 2 ^ are
    // Shift and Ctrl forms, and land here as unknown finals.
    if (number > noModifier) return nothing();
    return keyFromFinal(final);
}

KeyBytes finishSs3(const KeyDecoder& decoder, unsigned char final) {
    if (!plain(decoder)) return nothing();
    // Older xterms send the modifier as the only parameter: ESC O 5 A.
    const int modifier = decoder.parameters[decoder.parameterCount - 1];
    if (modifier > noModifier) return nothing();
    return keyFromFinal(final);
}

// Parameter bytes, shared by CSI and SS3. Returns false for a byte that is not one.
bool takeParameterByte(KeyDecoder& decoder, unsigned char byte) {
    if (byte >= '0' && byte <= '9') {
        if (decoder.parameterCount <= 2) {
            int& value = decoder.parameters[decoder.parameterCount - 1];
            value = value * 10 + (byte - '0');
            if (value > parameterLimit) value = parameterLimit;
        }
    } else if (byte == ';' || byte == ':') {
        if (decoder.parameterCount <= 2) ++decoder.parameterCount;
    } else if (byte >= '<' && byte <= '?') {
        decoder.unusual = true; // private marker: a report, never a key
    } else {
        return false;
    }
    decoder.begun = true;
    return true;
}

bool isFinal(unsigned char byte) { return byte >= 0x40 && byte <= 0x7e; }

KeyBytes decodeCsi(KeyDecoder& decoder, unsigned char byte) {
    if (byte == '[' && !decoder.begun) {
        decoder.stage = DecoderStage::linuxFunction;
        return nothing();
    }
    if (takeParameterByte(decoder, byte)) return nothing();
    // rxvt ends Shift-modified keys with $, which elsewhere would be an intermediate.
    if (isFinal(byte) || byte == '$') {
        const KeyDecoder finished = decoder;
        decoder = KeyDecoder{};
        return finishCsi(finished, byte);
    }
    decoder.unusual = true; // an intermediate, or a control byte inside the sequence
    decoder.begun = true;
    return nothing();
}

KeyBytes decodeSs3(KeyDecoder& decoder, unsigned char byte) {
    if (takeParameterByte(decoder, byte)) return nothing();
    if (isFinal(byte)) {
        const KeyDecoder finished = decoder;
        decoder = KeyDecoder{};
        return finishSs3(finished, byte);
    }
    decoder.unusual = true;
    decoder.begun = true;
    return nothing();
}

KeyBytes decodeLinuxFunction(KeyDecoder& decoder, unsigned char byte) {
    const bool meta = decoder.meta;
    decoder = KeyDecoder{};
    if (meta || byte < 'A' || byte > 'E') return nothing();
    return functionKey(byte - 'A' + 1);
}

} // namespace

KeyBytes decodeByte(KeyDecoder& decoder, unsigned char byte) {
    // An ESC inside an unfinished sequence starts a new one: the old one was cut off,
    // and what follows belongs to the new key.
    if (byte == escapeByte && decoder.stage != DecoderStage::ground &&
        decoder.stage != DecoderStage::escape) {
        const bool escapeTwice = decoder.stage == DecoderStage::metaEscape;
        decoder = KeyDecoder{};
        decoder.stage = DecoderStage::escape;
        return escapeTwice ? plainByte(escapeByte) : nothing();
    }
    switch (decoder.stage) {
    case DecoderStage::ground:
        if (byte == escapeByte) {
            decoder.stage = DecoderStage::escape;
            return nothing();
        }
        return plainByte(byte);
    case DecoderStage::escape:
    case DecoderStage::metaEscape: {
        const bool meta = decoder.stage == DecoderStage::metaEscape;
        if (byte == '[') {
            startSequence(decoder, DecoderStage::csi, meta);
        } else if (byte == 'O') {
            startSequence(decoder, DecoderStage::ss3, meta);
        } else if (byte == escapeByte) {
            decoder.stage = DecoderStage::metaEscape;
        } else {
            // Alt with a plain key (ESC x). Esc pressed twice and followed at once
            // by another key still means Esc.
            decoder = KeyDecoder{};
            return meta ? plainByte(escapeByte) : nothing();
        }
        return nothing();
    }
    case DecoderStage::csi: return decodeCsi(decoder, byte);
    case DecoderStage::ss3: return decodeSs3(decoder, byte);
    case DecoderStage::linuxFunction: return decodeLinuxFunction(decoder, byte);
    }
    return nothing();
}

KeyBytes decodePause(KeyDecoder& decoder) {
    if (!decoderAwaitsPause(decoder)) return nothing();
    decoder = KeyDecoder{};
    return plainByte(escapeByte);
}

bool decoderAwaitsPause(const KeyDecoder& decoder) {
    return decoder.stage == DecoderStage::escape || decoder.stage == DecoderStage::metaEscape;
}
