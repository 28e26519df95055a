#include "editor/valueEntry.h"

#include "console/console.h"
#include "console/terminal.h"

#include <algorithm>
#include <limits>

namespace {

constexpr std::uint64_t largestMagnitude = 0x80000000u;

int hexDigit(char character) {
    if (character >= '0' && character <= '9') return character - '0';
    if (character >= 'a' && character <= 'f') return character - 'a' + 10;
    if (character >= 'A' && character <= 'F') return character - 'A' + 10;
    return -1;
}

bool isSpace(char character) { return character == ' ' || (character >= '\t' && character <= '\r'); }

} // namespace

std::int32_t hexValue(const char* text) {
    while (isSpace(*text)) ++text;
    const bool negative = *text == '-';
    if (*text == '-' || *text == '+') ++text;
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text += 2;

    // Past 80000000 every magnitude saturates alike, so it is held just above that.
    std::uint64_t magnitude = 0;
    for (int digit; (digit = hexDigit(*text)) >= 0; ++text) {
        magnitude = std::min(magnitude * 16 + static_cast<std::uint64_t>(digit), largestMagnitude + 1);
    }

    if (negative) {
        if (magnitude >= largestMagnitude) return std::numeric_limits<std::int32_t>::min();
        return -static_cast<std::int32_t>(magnitude);
    }
    if (magnitude >= largestMagnitude) return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(magnitude);
}

void setValue(const char* valueText, std::uint8_t* fileBuffer, std::int32_t offset) {
    fileBuffer[offset] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(hexValue(valueText)) & 0xff);
}

void valueEntry(char* valueText, const EditedFile& file, const CursorModel& cursor) {
    gotoxy(inputLineX, inputLineY);
    terminalWrite("Value: ");
    if (readToken(valueText, valueTextCapacity) && file.fileSize > 0) {
        setValue(valueText, file.fileBuffer, cursor.cursorOffset);
    }
    printPage(cursor.page, file.fileBuffer, file.fileSize);
    setCursor(cursor.page, cursor.row, cursor.column, file.fileBuffer, file.fileSize);
}
