# Cross-compiles the Windows console program on Debian with its MinGW-w64 toolchain
# (package g++-mingw-w64-x86-64-win32).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(toolchainPrefix x86_64-w64-mingw32)
set(CMAKE_CXX_COMPILER ${toolchainPrefix}-g++)

set(CMAKE_FIND_ROOT_PATH /usr/${toolchainPrefix})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One hexpage.exe that runs where no MinGW runtime DLLs are installed.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
