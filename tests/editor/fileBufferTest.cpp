#include "editor/fileBuffer.h"
#include "editor/keyLoop.h"

#include "console/terminal.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

class FileBufferTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "hexpage-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder = pattern;
        discardOutput();
    }
    void TearDown() override {
        releaseFile(file);
        discardOutput();
        fs::remove_all(folder);
    }

    std::string write(const std::string& name, const std::string& bytes) {
        const std::string path = (folder / name).string();
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    static std::string read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    std::string load(const std::string& path) {
        discardOutput();
        const bool loaded = loadFile(path.c_str(), file);
        std::string message(pendingOutput());
        discardOutput();
        return loaded ? "loaded" : message;
    }

    fs::path folder;
    EditedFile file;
};

TEST(PageCount, CountsAPartialPageAsOne) {
    const struct {
        std::int32_t size, pages;
    } cases[] = {{0, 0}, {1, 1}, {128, 1}, {129, 2}, {130, 2}, {256, 2}, {257, 3}, {0x7fffffff, 0x1000000}};
    for (const auto& row : cases) EXPECT_EQ(pageCount(row.size), row.pages) << row.size;
}

TEST(CheckMove, RefusesOffsetsAtOrBeyondTheEnd) {
    EXPECT_EQ(checkMove(0, 1), 0);
    EXPECT_EQ(checkMove(129, 130), 0);
    EXPECT_EQ(checkMove(130, 130), 1);
    EXPECT_EQ(checkMove(146, 130), 1);
    EXPECT_EQ(checkMove(1, 0), 1) << "an empty file has no byte to step onto";
}

TEST_F(FileBufferTest, LoadsEveryByteInFileOrder) {
    std::string bytes;
    for (int i = 0; i < 1000; ++i) bytes.push_back(static_cast<char>(i * 7));
    ASSERT_EQ(load(write("data", bytes)), "loaded");
    ASSERT_EQ(file.fileSize, 1000);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(file.fileBuffer), 1000), bytes);

    releaseFile(file);
    ASSERT_EQ(load(write("empty", "")), "loaded");
    EXPECT_EQ(file.fileSize, 0);
}

// Large files are read in two parts that meet on a 2 MiB boundary; every size around
// where that starts, and ones that do not halve evenly, must still come in whole and in order.
TEST_F(FileBufferTest, LoadsLargeFilesWholeWhateverTheirSize) {
    constexpr std::size_t mebibyte = 1024 * 1024;
    const std::size_t sizes[] = {2 * mebibyte - 1, 2 * mebibyte + 1, 4 * mebibyte - 1, 4 * mebibyte,
                                 4 * mebibyte + 1, 6 * mebibyte + 12345, 9 * mebibyte + 4097};
    for (const std::size_t size : sizes) {
        // No period that a misplaced part could line up with.
        std::string bytes(size, '\0');
        for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7) ^ (i >> 9) ^ (i >> 17));
        ASSERT_EQ(load(write("large", bytes)), "loaded") << size;
        ASSERT_EQ(file.fileSize, static_cast<std::int32_t>(size));
        EXPECT_TRUE(std::string_view(reinterpret_cast<char*>(file.fileBuffer), size) == bytes) << size;
        releaseFile(file);
    }
}

TEST_F(FileBufferTest, RefusesWhatCannotBeLoadedWithItsMessage) {
    const std::string fifo = (folder / "fifo").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const struct {
        std::string path, message;
    } cases[] = {
        {(folder / "missing").string(), "Invalid input file"},
        {folder.string(), "Invalid input file"},
        {fifo, "Invalid input file"}, // and returns at once, with no writer on the other end
        // Its size cannot be taken at all, so no block can be sized for it.
        {"/proc/version", "malloc() error\n"},
        // Reports a size of 0 and never ends: loading it as empty would be a lie.
        {"/dev/zero", "Readed input data size is not equal to file size\n"},
        // Reports a size of 4096 and holds a few bytes.
        {"/sys/kernel/mm/transparent_hugepage/enabled", "Readed input data size is not equal to file size\n"},
    };
    for (const auto& row : cases) {
        if (row.path.starts_with("/sys") && !fs::exists(row.path)) continue;
        EXPECT_EQ(load(row.path), row.message) << row.path;
        EXPECT_EQ(file.fileBuffer, nullptr);
    }
}

TEST_F(FileBufferTest, SaveWritesTheBufferBackAtTheSameLength) {
    const std::string path = write("data", "0123456789");
    ASSERT_EQ(load(path), "loaded");
    file.fileBuffer[3] = 'x';
    ASSERT_TRUE(saveFile(file));
    EXPECT_EQ(read(path), "012x456789");
    ASSERT_TRUE(saveFile(file)) << "a second save opens the file again";
    EXPECT_EQ(read(path), "012x456789");

    // Grown meanwhile by someone else: cut back to the length held.
    std::ofstream(path, std::ios::binary | std::ios::app) << "tail";
    ASSERT_TRUE(saveFile(file));
    EXPECT_EQ(read(path), "012x456789");

    // Deleted meanwhile: created again.
    fs::remove(path);
    ASSERT_TRUE(saveFile(file));
    EXPECT_EQ(read(path), "012x456789");
}

TEST_F(FileBufferTest, SaveThroughALinkWritesTheTargetAndKeepsTheLinkAndPermissions) {
    const std::string target = write("target", "abcdef");
    ASSERT_EQ(chmod(target.c_str(), 0640), 0);
    const std::string link = (folder / "link").string();
    fs::create_symlink(target, link);
    const std::string hardLink = (folder / "hard").string();
    fs::create_hard_link(target, hardLink);

    ASSERT_EQ(load(link), "loaded");
    file.fileBuffer[0] = 'A';
    ASSERT_TRUE(saveFile(file));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(read(target), "Abcdef");
    EXPECT_EQ(read(hardLink), "Abcdef");
    EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(FileBufferTest, SaveThatCannotOpenTheFileReportsItAndChangesNothing) {
    const std::string path = write("data", "abc");
    ASSERT_EQ(load(path), "loaded");
    fs::remove(path);
    fs::create_directory(path); // works as root too, where a read-only file would not stop the write
    discardOutput();
    EXPECT_FALSE(saveFile(file));
    EXPECT_EQ(std::string(pendingOutput()), "Error while writing to file");
    EXPECT_TRUE(fs::is_directory(path));
}

} // namespace
