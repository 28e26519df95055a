// The memory block a loaded file lives in, and the read that fills it. On Linux the
// block asks for transparent huge pages and a large regular file is read in two halves
// at once: faulting in and zeroing a gigabyte of 4 KiB pages on one core, not the copy,
// is what keeps a large file from the screen. Elsewhere both are the plain allocation
// and a single read.
#pragma once

#include <cstddef>
#include <cstdint>

// A block of at least size bytes (one, for an empty file) or nullptr when there is no
// memory for it. Given back with releaseBlock and the same size.
std::uint8_t* allocateBlock(std::size_t size);
void releaseBlock(std::uint8_t* block, std::size_t size);

// Reads until size bytes are in, the file ends or a read fails, from the file position
// on; returns how many came, and leaves the position just after them.
std::size_t readFully(int fd, std::uint8_t* bytes, std::size_t size);

// The same for a regular file read from its start, fastest on a large one.
std::size_t readRegularFile(int fd, std::uint8_t* bytes, std::size_t size);
