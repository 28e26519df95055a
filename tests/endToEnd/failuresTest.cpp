// When hexpage cannot load a file, has no terminal, or cannot save: the message a person
// is left with, the exit status, the terminal handed back in its own modes, and a file
// that is never left shorter or half-replaced beyond what was really written.
#include "tests/endToEnd/hexpageScreen.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

using namespace hexpageScreen;
namespace fs = std::filesystem;


// Replaces the highlighted byte and waits until the page shows it, so that whatever
// the test does to the file next happens after the edit and before the save.
testing::AssertionResult editHighlightedByte(TerminalSession& session, int row, int column, const std::string& hex) {
    session.send("e");
    if (!session.waitForText(21, 3, "Value: ")) return testing::AssertionFailure() << "no prompt" << session.dump();
    session.send(hex + "\r");
    if (!session.waitFor([&] { return cellText(session, row, column) == hex && highlightAt(session, row, column); }))
        return testing::AssertionFailure() << "the edit never showed" << session.dump();
    return testing::AssertionSuccess();
}

bool inputModesRestored(const TerminalSession& session) {
    const termios modes = session.terminalModes();
    return (modes.c_lflag & ECHO) != 0 && (modes.c_lflag & ICANON) != 0;
}

TEST(LoadFailures, MessageAndStatusBeforeTheScreenIsTouched) {
    // Sparse, so the boundary case costs no disk; the FIFO and the missing path stand beside it.
    TempFile large("", "large.bin");
    ASSERT_EQ(truncate(large.path().c_str(), off_t{1} << 31), 0);
    const fs::path fifo = large.directory() / "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    struct stat largeBefore{};
    ASSERT_EQ(stat(large.path().c_str(), &largeBefore), 0);

    // Fewer bytes arrive from a sysfs file than the size it reports; not every kernel has this one.
    const std::string shortReader = "/sys/kernel/mm/transparent_hugepage/enabled";

    struct Case {
        const char* what;
        std::vector<std::string> args;
        std::string output;   // every byte written, as the terminal passes it on ("\n" becomes "\r\n")
        int status;
    } cases[] = {
        {"no argument", {}, "No input file specified\r\n", 2},
        {"a path that does not exist", {(large.directory() / "missing").string()}, "Invalid input file", 1},
        {"a directory", {large.directory().string()}, "Invalid input file", 1},
        {"a FIFO nobody writes to", {fifo.string()}, "Invalid input file", 1},
        {"a file of 2 GiB", {large.path().string()}, "Input file is too large: hexpage edits files below 2 GiB\r\n", 1},
        {"a file whose size cannot be taken", {"/proc/version"}, "malloc() error\r\n", 1},
        {"a file that delivers fewer bytes than its size", {shortReader},
         "Readed input data size is not equal to file size\r\n", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (!c.args.empty() && c.args[0] == shortReader && !fs::exists(shortReader)) continue;
        SessionOptions options;
        options.args = c.args;
        TerminalSession session(options);
        // A hang here (the FIFO waiting for a writer) ends at the deadline.
        ASSERT_EQ(session.waitExit(), c.status) << session.dump();
        // Nothing else: no clear-screen, no colours, no frame drawn before the failure.
        EXPECT_EQ(session.output(), c.output) << session.dump();
        EXPECT_TRUE(inputModesRestored(session));
    }

    struct stat largeAfter{};
    ASSERT_EQ(stat(large.path().c_str(), &largeAfter), 0);
    EXPECT_EQ(largeAfter.st_size, largeBefore.st_size);
    EXPECT_EQ(largeAfter.st_blocks, largeBefore.st_blocks) << "nothing may be written into the file";
}

TEST(LoadFailures, ArgumentsAfterTheFirstAreIgnored) {
    TempFile other(fileOf(20), "other.bin");
    SessionOptions options;
    options.args = {other.path().string(), (other.directory() / "missing").string()};
    Hexpage run(fileOf(20), options);
    ASSERT_TRUE(run.started) << run->dump();
    TerminalSession& screen = *run;
    EXPECT_EQ(cellText(screen, 0, 0), "03");
    EXPECT_EQ(screen.text(3, 7, 5), "pt: 1");

    ASSERT_TRUE(editHighlightedByte(screen, 0, 0, "41"));
    screen.send("s");
    screen.send(esc);
    ASSERT_EQ(screen.waitExit(), 0) << screen.dump();
    EXPECT_EQ(run.file.bytes(), "\x41" + fileOf(20).substr(1));
    EXPECT_EQ(other.bytes(), fileOf(20));
    EXPECT_FALSE(fs::exists(other.directory() / "missing"));
}

TEST(StartFailures, NoTerminalRefusedWithAMessageAndTheFileLeftAlone) {
    TempFile file(fileOf(300));
    SessionOptions options;
    options.args = {file.path().string()};
    options.controllingTerminal = false;
    TerminalSession session(options);
    ASSERT_EQ(session.waitExit(), 1) << session.dump();
    // Without a terminal there is no "\r" added, and nothing meant for a screen may appear.
    EXPECT_EQ(session.output(), "hexpage needs a terminal to read keys from\n") << session.dump();
    EXPECT_EQ(file.bytes(), fileOf(300));
}

TEST(SaveFailures, FileThatCannotBeOpenedForWriting) {
    struct Case {
        const char* what;
        bool unprivileged;      // root writes through a read-only mode, so the program runs as nobody
        std::function<void(const fs::path&)> obstruct;
        std::function<void(const TempFile&)> checkAfter;
    } cases[] = {
        {"the file replaced by a directory", false,
         [](const fs::path& path) {
             fs::remove(path);
             fs::create_directory(path);
         },
         [](const TempFile& file) {
             EXPECT_TRUE(fs::is_directory(file.path()));
             EXPECT_TRUE(fs::is_empty(file.path()));
         }},
        {"a read-only file", true,
         [](const fs::path& path) {
             fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
         },
         [](const TempFile& file) { EXPECT_EQ(file.bytes(), fileOf(200)); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SessionOptions options;
        options.unprivileged = c.unprivileged && geteuid() == 0;
        Hexpage run(fileOf(200), options);
        ASSERT_TRUE(run.started) << run->dump();
        TerminalSession& screen = *run;
        ASSERT_TRUE(editHighlightedByte(screen, 0, 0, "41"));
        c.obstruct(run.file.path());

        screen.send("s");
        EXPECT_TRUE(screen.waitForText(21, 3, "Error while writing to file")) << screen.dump();
        EXPECT_EQ(screen.waitExit(), 1) << screen.dump();
        EXPECT_TRUE(inputModesRestored(screen));
        c.checkAfter(run.file);
    }
}

TEST(SaveFailures, WriteStoppedPartWayLeavesTheRestOfTheFile) {
    // Writes past the first KiB fail, as on a full disk or over a quota.
    SessionOptions options;
    options.fileSizeLimit = 1024;
    const std::string original = fileOf(4096);
    Hexpage run(original, options);
    ASSERT_TRUE(run.started) << run->dump();
    TerminalSession& screen = *run;

    ASSERT_TRUE(editHighlightedByte(screen, 0, 0, "41"));   // offset 0, was 03
    for (int page = 2; page <= 10; ++page) screen.send(pageUp);
    ASSERT_TRUE(screen.waitFor([&] { return statusLine(screen) == "Page: 10  " && highlightAt(screen, 0, 0); }))
        << screen.dump();
    ASSERT_TRUE(editHighlightedByte(screen, 0, 0, "5A"));   // offset 1152, was 83

    screen.send("s");
    EXPECT_TRUE(screen.waitForText(21, 3, "Data written size is not equal to size of file")) << screen.dump();
    EXPECT_EQ(screen.waitExit(), 1) << screen.dump();
    EXPECT_TRUE(inputModesRestored(screen));

    const std::string saved = run.file.bytes();
    ASSERT_EQ(saved.size(), original.size()) << "the file must keep its length";
    EXPECT_EQ(saved.substr(1024), original.substr(1024)) << "nothing lands past the limit";
    EXPECT_TRUE(saved[0] == original[0] || saved[0] == '\x41') << "byte 0 is " << int(saved[0]);
    EXPECT_EQ(saved.substr(1, 1023), original.substr(1, 1023));
}

TEST(SaveFailures, FileDeletedMeanwhileIsCreatedAgain) {
    Hexpage run(fileOf(20));
    ASSERT_TRUE(run.started) << run->dump();
    TerminalSession& screen = *run;
    ASSERT_TRUE(editHighlightedByte(screen, 0, 0, "41"));
    fs::remove(run.file.path());

    screen.send("s");
    screen.send(esc);
    ASSERT_EQ(screen.waitExit(), 0) << screen.dump();
    ASSERT_TRUE(fs::is_regular_file(run.file.path()));
    EXPECT_EQ(run.file.bytes(), "\x41" + fileOf(20).substr(1));
}

TEST(SaveFailures, SymbolicLinkIsWrittenThroughAndKept) {
    TempFile target(fileOf(20));
    const fs::path link = target.directory() / "link.bin";
    fs::create_symlink(target.path().filename(), link);
    SessionOptions options;
    options.args = {link.string()};
    TerminalSession screen(options);
    ASSERT_TRUE(firstScreenDrawn(screen)) << screen.dump();
    ASSERT_TRUE(editHighlightedByte(screen, 0, 0, "41"));

    screen.send("s");
    screen.send(esc);
    ASSERT_EQ(screen.waitExit(), 0) << screen.dump();
    ASSERT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(fs::read_symlink(link), target.path().filename());
    EXPECT_EQ(target.bytes(), "\x41" + fileOf(20).substr(1));
}

} // namespace
