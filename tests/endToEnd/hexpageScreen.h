// What the end-to-end tests know of hexpage's screen: where a cell stands, how each form
// of cell looks in a real terminal, and the keys as terminals send them.
#pragma once

#include "tests/endToEnd/terminalSession.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>

namespace hexpageScreen {

// ANSI palette indices, as the terminal reports them.
inline constexpr int black = 0, red = 1, green = 2, blue = 4, brightWhite = 15;

// Key sequences of an xterm in its normal cursor mode; the key tests add the others.
inline const std::string up = "\x1b[A", down = "\x1b[B", right = "\x1b[C", left = "\x1b[D";
inline const std::string pageUp = "\x1b[5~", pageDown = "\x1b[6~", esc = "\x1b";

inline int cellLine(int row) { return 2 * row + 3; }
inline int cellColumn(int column) { return 4 * column + 5; }

// How a cell is drawn: "data", "filler", "cursor" or "text", else a description of the colours.
inline std::string formOf(const ScreenCell& cell) {
    if (cell.bold || cell.reverse || cell.underline) return "styled";
    if (cell.background == black && cell.foreground == green) return "data";
    if (cell.background == black && cell.foreground == red) return "filler";
    if (cell.background == blue && cell.foreground == green) return "cursor";
    if (cell.background == black && cell.foreground == brightWhite) return "text";
    return "colours " + std::to_string(cell.foreground) + " on " + std::to_string(cell.background);
}

// The form of grid cell (row, column); both of its characters must share it.
inline std::string cellForm(const TerminalSession& session, int row, int column) {
    const std::string first = formOf(session.cell(cellLine(row), cellColumn(column)));
    const std::string second = formOf(session.cell(cellLine(row), cellColumn(column) + 1));
    return first == second ? first : first + "/" + second;
}

inline std::string cellText(const TerminalSession& session, int row, int column) {
    return session.text(cellLine(row), cellColumn(column), 2);
}

// The one highlighted cell as {row, column}; nullopt when none or more than one is.
inline std::optional<std::pair<int, int>> highlight(const TerminalSession& session) {
    std::optional<std::pair<int, int>> found;
    for (int row = 0; row < 8; ++row) {
        for (int column = 0; column < 16; ++column) {
            if (cellForm(session, row, column) != "cursor") continue;
            if (found) return std::nullopt;
            found = std::pair{row, column};
        }
    }
    return found;
}

inline bool highlightAt(const TerminalSession& session, int row, int column) {
    return highlight(session) == std::pair{row, column};
}

inline std::string statusLine(const TerminalSession& session) { return session.text(19, 3, 10); }

// A turn of the key loop ends with the input line cleared and the cursor waiting on it:
// whatever the key drew before that is on the screen by then.
inline bool turnDone(const TerminalSession& session) {
    return session.cursor() == std::pair{3, 21} && session.text(21, 3, 30) == std::string(30, ' ');
}

// The first screen is complete once the status line is written and the cursor waits
// on the input line.
inline bool firstScreenDrawn(TerminalSession& session) {
    return session.waitFor([&] {
        return statusLine(session).starts_with("Page: 1") && session.cursor() == std::pair{3, 21};
    });
}

// The value prompt is up, the cursor behind it.
inline bool waitForPrompt(TerminalSession& session) {
    return session.waitFor([&] { return session.text(21, 3, 7) == "Value: " && session.cursor() == std::pair{10, 21}; });
}

inline std::string fileOf(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 5 + 3) & 0xff);
    return bytes;
}

// hexpage started on a file of the given bytes, its first screen drawn.
struct Hexpage {
    explicit Hexpage(const std::string& bytes, SessionOptions options = {})
        : file(bytes), session(std::make_unique<TerminalSession>(withFile(std::move(options)))),
          started(firstScreenDrawn(*session)) {}
    SessionOptions withFile(SessionOptions options) const {
        options.args.insert(options.args.begin(), file.path().string());
        return options;
    }
    TerminalSession& operator*() { return *session; }
    TerminalSession* operator->() { return session.get(); }

    TempFile file;
    std::unique_ptr<TerminalSession> session;
    bool started = false;
};

} // namespace hexpageScreen
