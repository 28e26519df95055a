#!/usr/bin/env python3
"""Measures hexpage against the programs the performance targets name, side by side in
one run, and prints medians and ratios. Run it after the release build:

    cmake --workflow --preset release && python3 bench/run.py

It makes its own files (2 GiB and 1 MiB) in a temporary folder and removes them."""

import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # leaves the source tree as it was
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from ptySession import COLUMNS, ROWS, Session  # noqa: E402
from vtermScreen import screenOf  # noqa: E402

REPOSITORY = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
HEXPAGE = os.path.join(REPOSITORY, "build", "release", "hexpage")

MEBIBYTE = 1 << 20
LARGE_SIZE = 1 << 30
KEYS_FILE_SIZE = MEBIBYTE
ROUNDS = 5
BURST_KEYS = 30000
TURNS_PER_KEY = 2  # the prefix byte's turn and the code's

LOAD_TARGET = 3.0
MEMORY_MARGIN_TARGET = 4 * MEBIBYTE
SAVE_TARGET = 1.2
KEYS_TARGET = 3.0

# What hexpage sends at the end of every turn: the input line cleared, the cursor left on it.
INPUT_LINE = b"\x1b[21;3H" + b" " * 30 + b"\x1b[21;3H"
STATUS_LINE = re.compile(rb"\x1b\[19;3HPage: \d+")
# The highlight: the cursor colour, then the move to its cell.
HIGHLIGHT = re.compile(rb"\x1b\[0;32;44m\x1b\[(\d+);(\d+)H")

# A terminal in its normal cursor mode sends CSI arrows; the peer switches it to
# application mode, where the same keys arrive as SS3.
HEXPAGE_KEYS = {"right": b"\x1b[C", "left": b"\x1b[D", "pageUp": b"\x1b[5~"}
HEXEDIT_KEYS = {"right": b"\x1bOC", "left": b"\x1bOD"}


def burstOf(keys):
    """BURST_KEYS arrows that leave the cursor two steps right of where it was."""
    return (keys["right"] + keys["left"]) * (BURST_KEYS // 2 - 1) + keys["right"] * 2


def ensureHexedit():
    if shutil.which("hexedit"):
        return
    prefix = [] if os.geteuid() == 0 else ["sudo"]
    subprocess.run(prefix + ["apt-get", "update", "-qq"], check=True)
    subprocess.run(prefix + ["apt-get", "install", "-y", "-qq", "hexedit"], check=True)


def makeFile(path, size):
    block = os.urandom(MEBIBYTE)
    with open(path, "wb") as out:
        for index in range(size // MEBIBYTE):
            out.write(index.to_bytes(8, "little") + block[8:])
    os.sync()


def timed(argv):
    start = time.perf_counter()
    subprocess.run(argv, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return time.perf_counter() - start


def openHexpage(path):
    session = Session([HEXPAGE, path])
    firstScreenAt = session.waitFor(INPUT_LINE)
    return session, firstScreenAt - session.startedAt


def measureLoad(large):
    """Start to first screen, and peak resident memory, beside dd reading the same file."""
    timed(["dd", f"if={large}", "of=/dev/null", "bs=1M"])  # into the page cache
    hexpage, dd, peaks = [], [], []
    for _ in range(ROUNDS):
        dd.append(timed(["dd", f"if={large}", "of=/dev/null", "bs=1M"]))
        session, seconds = openHexpage(large)
        hexpage.append(seconds)
        peaks.append(session.peakResidentBytes())
        session.finish(b"\x1b")
    return hexpage, dd, peaks


def measureSave(large, copy):
    """Both write the same 1 GiB file, so that neither gets the better place on disk."""
    hexpage, dd = [], []
    for _ in range(ROUNDS):
        dd.append(timed(["dd", f"if={large}", f"of={copy}", "bs=16M", "conv=notrunc,fsync"]))
        session, _ = openHexpage(copy)
        since = len(session.output)
        start = time.perf_counter()
        session.send(b"s", quiet=0)
        hexpage.append(session.waitFor(INPUT_LINE, since) - start)
        session.finish(b"\x1b")
    return hexpage, dd


def lastHighlight(output):
    cells = HIGHLIGHT.findall(output)
    return cells[-1] if cells else None


def hexpageBurst(path, keys):
    """Seconds for the burst; fails unless every key was a turn of one write and the
    highlight ends where two steps right put it."""
    expected = Session([HEXPAGE, path])
    expected.waitFor(INPUT_LINE)
    expected.send(keys["right"] * 2)
    target = lastHighlight(bytes(expected.output))
    expected.finish(b"\x1b")

    session = Session([HEXPAGE, path])
    session.waitFor(INPUT_LINE)
    start, writesBefore = len(session.output), session.writeCalls()
    seconds = session.send(burstOf(keys))
    writes = session.writeCalls() - writesBefore
    output = bytes(session.output[start:])
    session.finish(b"\x1b")
    # An arrow reaches the key loop as a prefix byte and its code: two turns, one write each.
    if writes != TURNS_PER_KEY * BURST_KEYS or len(HIGHLIGHT.findall(output)) != BURST_KEYS:
        raise RuntimeError(f"hexpage: {writes} writes for {BURST_KEYS} keys")
    if lastHighlight(output) != target:
        raise RuntimeError(f"hexpage ended on {lastHighlight(output)}, not {target}")
    return seconds


def hexeditBurst(path, keys):
    """Seconds for the burst; fails unless its screen ends as after two steps right."""
    environment = {"TERM": "xterm"}
    expected = Session(["/usr/bin/env", "hexedit", path], environment)
    expected.send(b"", quiet=0.5)
    expected.send(keys["right"] * 2)
    target = screenOf(bytes(expected.output), ROWS, COLUMNS)
    expected.finish()

    session = Session(["/usr/bin/env", "hexedit", path], environment)
    session.send(b"", quiet=0.5)
    seconds = session.send(burstOf(keys))
    screen = screenOf(bytes(session.output), ROWS, COLUMNS)
    session.finish()
    if screen != target:
        raise RuntimeError("hexedit did not end where two steps right put it")
    return seconds


def measureTurnBytes(path):
    """Bytes that one step and one page turn send, each checked to be one write per turn
    (the prefix byte's and the code's) with one status line and one input-line clear each."""
    session = Session([HEXPAGE, path])
    session.waitFor(INPUT_LINE)
    sizes = {}
    for name in ("right", "pageUp"):
        start, writesBefore = len(session.output), session.writeCalls()
        session.send(HEXPAGE_KEYS[name], quiet=0.3)
        output = bytes(session.output[start:])
        writes = session.writeCalls() - writesBefore
        turns = TURNS_PER_KEY
        if writes != turns or len(STATUS_LINE.findall(output)) != turns or output.count(INPUT_LINE) != turns:
            raise RuntimeError(f"{name}: {writes} writes, {output!r}")
        sizes[name] = len(output)
    session.finish(b"\x1b")
    return sizes


def row(name, ours, peer, ratio, target, met):
    print(f"| {name} | {ours} | {peer} | {ratio} | {target} | {'met' if met else 'NOT MET'} |")


def seconds(values):
    return f"{statistics.median(values):.3f} s ({min(values):.3f}-{max(values):.3f})"


def main():
    if not os.access(HEXPAGE, os.X_OK):
        sys.exit(f"{HEXPAGE} is missing: build it first (cmake --workflow --preset release)")
    ensureHexedit()
    folder = tempfile.mkdtemp(prefix="hexpage-bench-")
    try:
        if shutil.disk_usage(folder).free < 2 * LARGE_SIZE + LARGE_SIZE // 2:
            sys.exit(f"{folder}: needs 2.5 GiB free")
        large, copy, small = (os.path.join(folder, name) for name in ("large.bin", "copy.bin", "keys.bin"))
        print(f"Making the files in {folder} ...", flush=True)
        makeFile(large, LARGE_SIZE)
        shutil.copyfile(large, copy)
        makeFile(small, KEYS_FILE_SIZE)
        os.sync()

        print("Load ...", flush=True)
        loadOurs, loadDd, peaks = measureLoad(large)
        print("Save ...", flush=True)
        saveOurs, saveDd = measureSave(large, copy)
        print("Keys ...", flush=True)
        keysOurs = [hexpageBurst(small, HEXPAGE_KEYS) for _ in range(ROUNDS)]
        keysPeer = [hexeditBurst(small, HEXEDIT_KEYS) for _ in range(ROUNDS)]
        turnBytes = measureTurnBytes(small)
    finally:
        shutil.rmtree(folder)

    loadRatio = statistics.median(loadOurs) / statistics.median(loadDd)
    peakMargin = max(peaks) - LARGE_SIZE
    saveRatio = statistics.median(saveOurs) / statistics.median(saveDd)
    keysRatio = statistics.median(keysPeer) / statistics.median(keysOurs)

    print(f"\n{ROUNDS} rounds each; median (lowest-highest).\n")
    print("| Measurement | hexpage | Peer | Ratio | Target | |")
    print("|---|---|---|---|---|---|")
    row("Load 1 GiB, start to first screen", seconds(loadOurs), f"dd bs=1M: {seconds(loadDd)}",
        f"{loadRatio:.2f}x", f"<= {LOAD_TARGET:g}x", loadRatio <= LOAD_TARGET)
    row("Peak resident memory, 1 GiB file", f"{max(peaks) / MEBIBYTE:.1f} MiB", "-",
        f"file + {peakMargin / MEBIBYTE:.1f} MiB", f"<= file + {MEMORY_MARGIN_TARGET // MEBIBYTE} MiB",
        peakMargin <= MEMORY_MARGIN_TARGET)
    row("Save 1 GiB, with fsync", seconds(saveOurs), f"dd bs=16M conv=notrunc,fsync: {seconds(saveDd)}",
        f"{saveRatio:.2f}x", f"<= {SAVE_TARGET:g}x", saveRatio <= SAVE_TARGET)
    row(f"{BURST_KEYS} arrow keys in one burst", seconds(keysOurs), f"hexedit: {seconds(keysPeer)}",
        f"{keysRatio:.2f}x as fast", f">= {KEYS_TARGET:g}x", keysRatio >= KEYS_TARGET)
    row("Writes per turn", "1 (every turn of every burst)", "-", "-", "exactly 1", True)
    print(f"\nBytes sent: {turnBytes['right']} per step, {turnBytes['pageUp']} per page turn, each "
          "in two turns (the prefix byte's and the code's), each turn one status line and one "
          "input-line clear.")


if __name__ == "__main__":
    main()
