// What the file buffer takes from POSIX and the Windows C runtime lacks or names
// otherwise. Empty on POSIX systems. On Windows, 64-bit offsets, sizes and lseek come
// from _FILE_OFFSET_BITS=64, which the build sets before any header is read.
#pragma once

#ifdef _WIN32

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

// The runtime opens files in text mode unless told otherwise, which would change line
// ends in binary data; every open names one access mode, so binary mode rides on it.
#undef O_RDONLY
#undef O_WRONLY
#undef O_RDWR
#define O_RDONLY (_O_RDONLY | _O_BINARY)
#define O_WRONLY (_O_WRONLY | _O_BINARY)
#define O_RDWR (_O_RDWR | _O_BINARY)

// Windows keeps a handle from child processes when asked at open.
#define O_CLOEXEC _O_NOINHERIT

// An open never waits on Windows, and no descriptor of the C runtime is a socket.
#define O_NONBLOCK 0
#define S_ISSOCK(mode) 0
#define F_GETFL 3
#define F_SETFL 4
inline int fcntl(int, int, int = 0) { return 0; }

inline int fsync(int fd) { return _commit(fd); }

#endif
