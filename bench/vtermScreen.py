"""What a terminal shows after a stream of output, through libvterm (the emulator the
end-to-end tests use), so that two runs can be compared by their screens rather than by
the sequences that happened to draw them."""

import ctypes
import ctypes.util


class _Pos(ctypes.Structure):
    _fields_ = [("row", ctypes.c_int), ("col", ctypes.c_int)]


class _Rect(ctypes.Structure):
    _fields_ = [("start_row", ctypes.c_int), ("end_row", ctypes.c_int),
                ("start_col", ctypes.c_int), ("end_col", ctypes.c_int)]


def _library():
    lib = ctypes.CDLL(ctypes.util.find_library("vterm") or "libvterm.so.0")
    lib.vterm_new.restype = ctypes.c_void_p
    lib.vterm_new.argtypes = [ctypes.c_int, ctypes.c_int]
    lib.vterm_free.argtypes = [ctypes.c_void_p]
    lib.vterm_set_utf8.argtypes = [ctypes.c_void_p, ctypes.c_int]
    lib.vterm_input_write.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_size_t]
    lib.vterm_output_read.restype = ctypes.c_size_t
    lib.vterm_output_read.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_size_t]
    lib.vterm_obtain_screen.restype = ctypes.c_void_p
    lib.vterm_obtain_screen.argtypes = [ctypes.c_void_p]
    lib.vterm_obtain_state.restype = ctypes.c_void_p
    lib.vterm_obtain_state.argtypes = [ctypes.c_void_p]
    lib.vterm_screen_reset.argtypes = [ctypes.c_void_p, ctypes.c_int]
    lib.vterm_screen_get_text.restype = ctypes.c_size_t
    lib.vterm_screen_get_text.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_size_t, _Rect]
    lib.vterm_state_get_cursorpos.argtypes = [ctypes.c_void_p, ctypes.POINTER(_Pos)]
    return lib


def screenOf(output, rows, columns):
    """The text of every line and the cursor position once output has been shown."""
    lib = _library()
    terminal = lib.vterm_new(rows, columns)
    try:
        lib.vterm_set_utf8(terminal, 1)
        screen = lib.vterm_obtain_screen(terminal)
        lib.vterm_screen_reset(screen, 1)
        # In pieces, draining the replies the emulator would send back to the program.
        reply = ctypes.create_string_buffer(4096)
        for start in range(0, len(output), 4096):
            lib.vterm_input_write(terminal, output[start:start + 4096], len(output[start:start + 4096]))
            while lib.vterm_output_read(terminal, reply, len(reply)) > 0:
                pass
        lines = []
        text = ctypes.create_string_buffer(columns * 4 + 1)
        for row in range(rows):
            length = lib.vterm_screen_get_text(screen, text, len(text), _Rect(row, row + 1, 0, columns))
            lines.append(text.raw[:length].decode("utf-8", "replace").rstrip())
        cursor = _Pos()
        lib.vterm_state_get_cursorpos(lib.vterm_obtain_state(terminal), ctypes.byref(cursor))
        return lines, (cursor.row, cursor.col)
    finally:
        lib.vterm_free(terminal)
