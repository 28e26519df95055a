#include "editor/fileBuffer.h"

#include "console/console.h"
#include "console/terminal.h"
#include "editor/bulkRead.h"
#include "editor/platformCompat.h"

#include <cerrno>
#include <cstddef>
#include <limits>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char* invalidInputMessage = "Invalid input file";
constexpr const char* tooLargeMessage = "Input file is too large: hexpage edits files below 2 GiB\n";
constexpr const char* allocationMessage = "malloc() error\n";
constexpr const char* shortReadMessage = "Readed input data size is not equal to file size\n";
constexpr const char* openForWritingMessage = "Error while writing to file";
constexpr const char* shortWriteMessage = "Data written size is not equal to size of file\n";

// True when the file still has bytes after the first `size`: it grew after its size
// was taken, or it reports a size smaller than what it holds (as /proc files do).
bool hasMoreBytes(int fd) {
    std::uint8_t probe;
    ssize_t count;
    do {
        count = read(fd, &probe, 1);
    } while (count < 0 && errno == EINTR);
    return count != 0;
}

bool writeFully(int fd, const std::uint8_t* bytes, std::size_t size) {
    std::size_t total = 0;
    while (total < size) {
        const ssize_t count = write(fd, bytes + total, size - total);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) return false;
        total += static_cast<std::size_t>(count);
    }
    return true;
}

bool fail(int fd, const char* message) {
    if (fd >= 0) close(fd);
    terminalWrite(message);
    return false;
}

} // namespace

bool loadFile(const char* path, EditedFile& file) {
    // Non-blocking, so that opening a FIFO does not wait for a writer; it is refused below.
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return fail(-1, invalidInputMessage);

    // Only something with a length and stable contents can be edited in place.
    struct stat status;
    if (fstat(fd, &status) != 0 || S_ISDIR(status.st_mode) || S_ISFIFO(status.st_mode) ||
        S_ISSOCK(status.st_mode)) {
        return fail(fd, invalidInputMessage);
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);

    const off_t end = lseek(fd, 0, SEEK_END);
    lseek(fd, 0, SEEK_SET);
    // A file this large cannot be counted in the editor's offsets; loading a part of it
    // would let a save cut it short.
    if (end > std::numeric_limits<std::int32_t>::max()) return fail(fd, tooLargeMessage);
    // A size that cannot be taken is no size at all: nothing can be allocated for it.
    if (end < 0) return fail(fd, allocationMessage);
    const auto size = static_cast<std::size_t>(end);

    auto* bytes = allocateBlock(size);
    if (bytes == nullptr) return fail(fd, allocationMessage);

    const std::size_t count = S_ISREG(status.st_mode) ? readRegularFile(fd, bytes, size) : readFully(fd, bytes, size);
    if (count != size || hasMoreBytes(fd)) {
        releaseBlock(bytes, size);
        return fail(fd, shortReadMessage);
    }
    close(fd);

    file.path = path;
    file.fileBuffer = bytes;
    file.fileSize = static_cast<std::int32_t>(size);
    return true;
}

bool saveFile(const EditedFile& file) {
    // Never O_TRUNC: until every byte is written, the file keeps its old bytes beyond
    // those written so far, and its length. O_CREAT brings back a file deleted meanwhile.
    const int fd = open(file.path, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return fail(-1, openForWritingMessage);

    const auto size = static_cast<std::size_t>(file.fileSize);
    if (!writeFully(fd, file.fileBuffer, size)) return fail(fd, shortWriteMessage);

    // A regular file that grew meanwhile is cut back to the length being saved; a
    // device has no length to set and is only written in place.
    struct stat status;
    if (fstat(fd, &status) != 0) return fail(fd, shortWriteMessage);
    if (S_ISREG(status.st_mode) && ftruncate(fd, file.fileSize) != 0) return fail(fd, shortWriteMessage);

    // The save is done only once the data is on disk. A character device has nothing
    // to synchronise and says so with EINVAL.
    if (fsync(fd) != 0 && !(errno == EINVAL && S_ISCHR(status.st_mode))) return fail(fd, shortWriteMessage);
    if (close(fd) != 0) return fail(-1, shortWriteMessage);
    return true;
}

void releaseFile(EditedFile& file) {
    releaseBlock(file.fileBuffer, static_cast<std::size_t>(file.fileSize));
    file = EditedFile{};
}

std::int32_t pageCount(std::int32_t fileSize) {
    return (fileSize >> 7) + ((fileSize & (bytesPerPage - 1)) != 0 ? 1 : 0);
}
