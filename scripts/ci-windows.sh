#!/usr/bin/env bash
# Cross-compiles the Windows console build with MinGW-w64 and runs it under Wine for what
# needs no console: the message and exit status without a file name, and with a missing file.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-packages.sh cmake make g++-mingw-w64-x86-64-win32 wine wine64
cmake --workflow --preset windows

# A prefix of its own, so nothing of the machine's is touched; no debug chatter, and no
# offer to install the .NET and HTML runtimes, which would wait for a dialog.
WINEPREFIX="$(mktemp -d)"
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
trap 'wineserver -k 2>/dev/null || true; rm -rf "$WINEPREFIX"' EXIT

failures=0

# Runs the program with the given arguments and compares what it wrote to standard output,
# byte for byte (a line end is a bare LF, as on every other system), and its exit status.
check() {
    local what="$1" expectedOutput="$2" expectedStatus="$3"
    shift 3
    local status=0
    timeout 300 wine build/windows/hexpage.exe "$@" </dev/null >"$WINEPREFIX/output" 2>/dev/null || status=$?
    printf '%s' "$expectedOutput" >"$WINEPREFIX/expected"
    if cmp -s "$WINEPREFIX/output" "$WINEPREFIX/expected" && [[ "$status" == "$expectedStatus" ]]; then
        echo "ok: $what"
    else
        echo "FAILED: $what: exit status $status, expected $expectedStatus; output, then the expected:"
        od -c "$WINEPREFIX/output"
        od -c "$WINEPREFIX/expected"
        failures=$((failures + 1))
    fi
}

check "no file named: message and status 2" $'No input file specified\n' 2
check "missing file: message and status 1" 'Invalid input file' 1 "no such file.bin"

((failures == 0))
