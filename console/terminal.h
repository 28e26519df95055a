// The terminal under the console primitives: one output buffer sent to standard output,
// the escape sequences that move the cursor, colour text and clear the screen, the key
// read from the controlling terminal, and the token read from standard input.
#pragma once

#include <cstddef>
#include <string_view>

// ---- Output -------------------------------------------------------------------------

// Appends to the pending output; nothing reaches the terminal before terminalFlush.
void terminalWrite(std::string_view text);
void terminalPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Sends all pending output with as few writes as the terminal accepts (one, normally).
// Output to a terminal that has gone away is dropped rather than retried.
void terminalFlush();

// What is pending and not yet sent.
std::string_view pendingOutput();
void discardOutput();

// Cursor to column x, line y, both counted from 1.
void terminalMoveCursor(int x, int y);

// Colours of the text written from now on, as ANSI colour numbers 0 to 7 (black, red,
// green, yellow, blue, magenta, cyan, white) with a bright flag each.
void terminalSelectColors(int foreground, bool brightForeground, int background, bool brightBackground);

// Every cell blank in the background now selected, the cursor at the top left.
void terminalClearScreen();

// ---- Keys and tokens -----------------------------------------------------------------

// Opens the controlling terminal for key reads and puts it in raw input mode: no echo,
// no line editing, no signal keys, no translation of input. Output processing stays on,
// so a line end still returns to column 1. From then on a signal that ends the process
// only asks it to end (see endingSignal), and a suspended process gives the terminal its
// modes back until it continues. False, with nothing changed, when the process has no
// controlling terminal.
bool terminalOpen();

// Gives the terminal back the input modes it had before terminalOpen, after sending any
// pending output. Safe to call more than once, and when terminalOpen failed.
void terminalRestore();

// The next byte of the key stream, after sending all pending output: a plain key's byte,
// or the prefix and then the code of an extended key on two calls. -1 when the terminal
// has gone away or a signal asked the program to end.
int readKeyByte();

// Reads one white-space-delimited token from standard input into text (capacity bytes,
// zero-terminated), taking at most capacity - 1 characters and dropping the rest of a
// longer token. When standard input is a terminal, its own line editing and echo are in
// force during the read. False when input ended before a token, or a signal asked the
// program to end during the read; the text is then not to be used.
bool readToken(char* text, std::size_t capacity);

// The signal that asked the program to end since terminalOpen, or 0. A hang-up that came
// because the terminal went away counts as the terminal going away: 0.
int endingSignal();

// Ends the process by the default action of signal number, so that its parent sees the
// status that signal conventionally gives. Returns only if that action does not end it.
void endBySignal(int number);
