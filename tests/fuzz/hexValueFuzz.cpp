// Any text: the value conversion agrees with the C library's base-16 conversion, cut to
// the signed 32-bit range, and the byte stored is the low 8 bits of that value.

#include "editor/valueEntry.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>

namespace {

std::int32_t reference(const std::string& text) {
    const long long value = std::strtoll(text.c_str(), nullptr, 16);
    return static_cast<std::int32_t>(std::clamp<long long>(value, std::numeric_limits<std::int32_t>::min(),
                                                           std::numeric_limits<std::int32_t>::max()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string token = text.substr(0, text.find('\0'));

    const std::int32_t value = hexValue(token.c_str());
    if (value != reference(token)) std::abort();

    std::uint8_t bytes[3] = {0x11, 0x22, 0x33};
    setValue(token.c_str(), bytes, 1);
    if (bytes[0] != 0x11 || bytes[2] != 0x33) std::abort();
    if (bytes[1] != static_cast<std::uint8_t>(static_cast<std::uint32_t>(value) & 0xff)) std::abort();
    return 0;
}
