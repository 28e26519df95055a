// hexpage: shows one file as pages of 128 bytes in hexadecimal and replaces bytes in place.
//
//   hexpage FILE
//
// Exit status: 0 after Esc; 1 when the file cannot be loaded or saved, or there is no
// terminal; 2 when no file is named.

#include "console/console.h"
#include "console/terminal.h"
#include "editor/fileBuffer.h"
#include "editor/keyLoop.h"

#include <csignal>

namespace {

constexpr const char* noArgumentMessage = "No input file specified\n";
constexpr const char* noTerminalMessage = "hexpage needs a terminal to read keys from\n";

int fail(const char* message, int status) {
    terminalWrite(message);
    terminalFlush();
    return status;
}

} // namespace

int main(int argc, char** argv) {
    if (argc <= 1) return fail(noArgumentMessage, 2);

    EditedFile file;
    if (!loadFile(argv[1], file)) {
        terminalFlush();
        return 1;
    }
    if (!terminalOpen()) {
        releaseFile(file);
        return fail(noTerminalMessage, 1);
    }
    // A write past a file-size limit, or to a terminal that has gone, must come back as
    // an error to report, not end the process on the spot. Windows has neither signal:
    // there such writes fail with an error already.
#ifndef _WIN32
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
#endif

    screenInit();
    printPage(0, file.fileBuffer, file.fileSize);
    setCursor(0, 0, 0, file.fileBuffer, file.fileSize);
    const std::int32_t pages = pageCount(file.fileSize);
    // Written where the first highlight left the cursor, as it always has been.
    terminalPrintf("pt: %d\n", pages);

    const int status = keyLoop(file, pages);
    terminalRestore();
    releaseFile(file);
    if (const int signal = endingSignal()) endBySignal(signal);
    return status;
}
