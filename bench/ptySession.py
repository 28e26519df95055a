"""A program on a pseudo-terminal of its own: keys written to it as a terminal sends
them, its output collected with the time each piece arrived."""

import fcntl
import os
import pty
import select
import signal
import struct
import termios
import time

ROWS = 24
COLUMNS = 80


class Session:
    def __init__(self, argv, environment=None):
        self.output = bytearray()
        self.lastOutputAt = None
        self.startedAt = time.perf_counter()
        self.pid, self.fd = pty.fork()
        if self.pid == 0:
            fcntl.ioctl(0, termios.TIOCSWINSZ, struct.pack("HHHH", ROWS, COLUMNS, 0, 0))
            os.execve(argv[0], argv, {**os.environ, **(environment or {})})
        os.set_blocking(self.fd, False)

    def _pump(self, timeout, pending=b""):
        """Reads what is there within timeout, writing pending keys as the terminal takes
        them; returns the keys not yet written and whether any output came."""
        writers = [self.fd] if pending else []
        readable, writable, _ = select.select([self.fd], writers, [], timeout)
        if writable:
            try:
                pending = pending[os.write(self.fd, pending):]
            except BlockingIOError:
                pass
        came = False
        if readable:
            try:
                chunk = os.read(self.fd, 1 << 16)
            except (BlockingIOError, OSError):
                chunk = b""
            if chunk:
                self.output += chunk
                self.lastOutputAt = time.perf_counter()
                came = True
        return pending, came

    def waitFor(self, marker, since=0, timeout=120):
        """Reads until marker appears in the output past position since; the time it did."""
        deadline = time.perf_counter() + timeout
        while self.output.find(marker, since) < 0:
            if time.perf_counter() > deadline:
                raise TimeoutError(f"{marker!r} never came")
            self._pump(1)
        return self.lastOutputAt

    def send(self, keys, quiet=1.0):
        """Writes keys in one burst (as fast as the terminal takes them) and reads until the
        output has been quiet for the given seconds; the time from the burst to the last
        byte of output."""
        sentAt = time.perf_counter()
        pending = keys
        quietSince = time.perf_counter()
        while pending or time.perf_counter() - quietSince < quiet:
            pending, came = self._pump(0.05, pending)
            if came or pending:
                quietSince = time.perf_counter()
        return (self.lastOutputAt or sentAt) - sentAt

    def peakResidentBytes(self):
        with open(f"/proc/{self.pid}/status") as status:
            for line in status:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1]) * 1024
        raise RuntimeError("no VmHWM")

    def writeCalls(self):
        with open(f"/proc/{self.pid}/io") as io:
            for line in io:
                if line.startswith("syscw:"):
                    return int(line.split()[1])
        raise RuntimeError("no syscw")

    def finish(self, keys=None):
        """Ends the program: with keys when they make it quit, else with SIGTERM."""
        if keys:
            pending = keys
            while pending:
                pending, _ = self._pump(0.05, pending)
        else:
            os.kill(self.pid, signal.SIGTERM)
        deadline = time.perf_counter() + 10
        while time.perf_counter() < deadline:
            done, _ = os.waitpid(self.pid, os.WNOHANG)
            if done:
                break
            self._pump(0.05)
        else:
            os.kill(self.pid, signal.SIGKILL)
            os.waitpid(self.pid, 0)
        os.close(self.fd)
