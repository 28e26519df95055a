#include "editor/bulkRead.h"

#include <cerrno>
#include <new>

#include <unistd.h>

#ifdef __linux__
#include <pthread.h>
#include <sys/mman.h>
#endif

namespace {

#ifdef __linux__

// Where transparent huge pages begin to pay, and the boundary the block starts on so
// that every 2 MiB of it can be one.
constexpr std::size_t hugePageSize = std::size_t{2} * 1024 * 1024;

// Below this the second reader costs more to start than it saves.
constexpr std::size_t splitThreshold = 2 * hugePageSize;

std::size_t roundUp(std::size_t value, std::size_t step) { return (value + step - 1) / step * step; }

// What the block ends at: its size rounded to whole pages, past which nothing is ever
// touched, so that at most one page beyond the file becomes resident.
std::size_t mappedLength(std::size_t size) {
    return roundUp(size > 0 ? size : 1, static_cast<std::size_t>(sysconf(_SC_PAGESIZE)));
}

std::size_t preadFully(int fd, std::uint8_t* bytes, std::size_t size, off_t offset) {
    std::size_t total = 0;
    while (total < size) {
        const ssize_t count = pread(fd, bytes + total, size - total, offset + static_cast<off_t>(total));
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) break;
        total += static_cast<std::size_t>(count);
    }
    return total;
}

struct FilePart {
    int fd;
    std::uint8_t* bytes;
    std::size_t size;
    off_t offset;
    std::size_t count;
};

void* readPart(void* argument) {
    auto* part = static_cast<FilePart*>(argument);
    part->count = preadFully(part->fd, part->bytes, part->size, part->offset);
    return nullptr;
}

#endif

} // namespace

std::uint8_t* allocateBlock(std::size_t size) {
#ifdef __linux__
    const std::size_t length = mappedLength(size);
    // Reserved with room to slide up to a huge-page boundary; the rest is given back.
    void* reserved = mmap(nullptr, length + hugePageSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (reserved == MAP_FAILED) return nullptr;
    auto* start = static_cast<std::uint8_t*>(reserved);
    const std::size_t lead = roundUp(reinterpret_cast<std::uintptr_t>(start), hugePageSize) -
                             reinterpret_cast<std::uintptr_t>(start);
    if (lead > 0) munmap(start, lead);
    munmap(start + lead + length, hugePageSize - lead);
#if defined(MADV_HUGEPAGE)
    // Only a hint: without huge pages the block is still whole, just slower to fill.
    madvise(start + lead, length, MADV_HUGEPAGE);
#endif
    return start + lead;
#else
    return new (std::nothrow) std::uint8_t[size > 0 ? size : 1];
#endif
}

void releaseBlock(std::uint8_t* block, std::size_t size) {
    if (block == nullptr) return;
#ifdef __linux__
    munmap(block, mappedLength(size));
#else
    (void)size;
    delete[] block;
#endif
}

std::size_t readFully(int fd, std::uint8_t* bytes, std::size_t size) {
    std::size_t total = 0;
    while (total < size) {
        const ssize_t count = read(fd, bytes + total, size - total);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) break;
        total += static_cast<std::size_t>(count);
    }
    return total;
}

std::size_t readRegularFile(int fd, std::uint8_t* bytes, std::size_t size) {
#ifdef __linux__
    if (size < splitThreshold) return readFully(fd, bytes, size);

    // The halves meet on a huge-page boundary, so that no page is faulted in by both.
    const std::size_t firstSize = roundUp(size / 2, hugePageSize);
    FilePart second{fd, bytes + firstSize, size - firstSize, static_cast<off_t>(firstSize), 0};
    pthread_t reader;
    const bool started = pthread_create(&reader, nullptr, readPart, &second) == 0;
    const std::size_t firstCount = preadFully(fd, bytes, firstSize, 0);
    if (started) {
        pthread_join(reader, nullptr);
    } else {
        readPart(&second);
    }
    // The check for bytes beyond the size reads on from the file position.
    const std::size_t total = firstCount + second.count;
    lseek(fd, static_cast<off_t>(total), SEEK_SET);
    return total;
#else
    return readFully(fd, bytes, size);
#endif
}
