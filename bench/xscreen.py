"""The few Xlib calls the start-up benchmark needs, through ctypes: find a
top-level window by its title, where it is, and the colours of screen pixels.
Each call costs well under a millisecond, so a poll loop can time a window's
first paint closely (spawning xdotool or import for every look costs 10-100
times more)."""

import ctypes
from ctypes import POINTER, byref, c_char_p, c_int, c_uint, c_ulong, c_void_p

_x = ctypes.CDLL("libX11.so.6")
_x.XOpenDisplay.restype = c_void_p
_x.XOpenDisplay.argtypes = [c_char_p]
_x.XCloseDisplay.argtypes = [c_void_p]
_x.XDefaultRootWindow.restype = c_ulong
_x.XDefaultRootWindow.argtypes = [c_void_p]
_x.XQueryTree.argtypes = [c_void_p, c_ulong, POINTER(c_ulong), POINTER(c_ulong),
                          POINTER(POINTER(c_ulong)), POINTER(c_uint)]
_x.XFetchName.argtypes = [c_void_p, c_ulong, POINTER(c_char_p)]
_x.XFree.argtypes = [c_void_p]
_x.XTranslateCoordinates.argtypes = [c_void_p, c_ulong, c_ulong, c_int, c_int, POINTER(c_int),
                                     POINTER(c_int), POINTER(c_ulong)]
_x.XGetImage.restype = c_void_p
_x.XGetImage.argtypes = [c_void_p, c_ulong, c_int, c_int, c_uint, c_uint, c_ulong, c_int]
_x.XGetPixel.restype = c_ulong
_x.XGetPixel.argtypes = [c_void_p, c_int, c_int]
_x.XDestroyImage.argtypes = [c_void_p]
_x.XSync.argtypes = [c_void_p, c_int]

_ALL_PLANES = 0xFFFFFFFF
_Z_PIXMAP = 2

# A window that vanishes between two calls is a normal event here, not a
# reason for Xlib's default handler to end the process.
_ERROR_HANDLER = ctypes.CFUNCTYPE(c_int, c_void_p, c_void_p)(lambda display, event: 0)
_x.XSetErrorHandler(_ERROR_HANDLER)


class Screen:
    def __init__(self, display_name=None):
        self.display = _x.XOpenDisplay(display_name.encode() if display_name else None)
        if not self.display:
            raise RuntimeError("cannot open X display %r" % display_name)
        self.root = _x.XDefaultRootWindow(self.display)

    def close(self):
        _x.XCloseDisplay(self.display)

    def find_window(self, title):
        """The first direct child of the root window with this WM_NAME."""
        root, parent = c_ulong(), c_ulong()
        children, count = POINTER(c_ulong)(), c_uint()
        if not _x.XQueryTree(self.display, self.root, byref(root), byref(parent),
                             byref(children), byref(count)):
            return None
        found = None
        try:
            for i in range(count.value):
                name = c_char_p()
                if _x.XFetchName(self.display, children[i], byref(name)) and name.value:
                    matches = name.value.decode(errors="replace") == title
                    _x.XFree(name)
                    if matches:
                        found = children[i]
                        break
        finally:
            if children:
                _x.XFree(children)
        return found

    def origin(self, window):
        """The window's top-left corner on the screen, or None once it is gone."""
        x, y, child = c_int(), c_int(), c_ulong()
        if not _x.XTranslateCoordinates(self.display, window, self.root, 0, 0, byref(x),
                                        byref(y), byref(child)):
            return None
        return x.value, y.value

    def pixels(self, left, top, width, height):
        """Rows of 0xRRGGBB values of a screen rectangle (a 24-bit TrueColor screen)."""
        image = _x.XGetImage(self.display, self.root, left, top, width, height, _ALL_PLANES,
                             _Z_PIXMAP)
        if not image:
            return None
        try:
            return [[_x.XGetPixel(image, x, y) & 0xFFFFFF for x in range(width)]
                    for y in range(height)]
        finally:
            _x.XDestroyImage(image)

    def pixel(self, x, y):
        rows = self.pixels(x, y, 1, 1)
        return rows[0][0] if rows else None
