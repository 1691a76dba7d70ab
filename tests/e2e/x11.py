"""Just enough X11 to look at and poke the shell's windows as a window manager and a user would."""
import time

from Xlib import X, XK, display, protocol
from Xlib.ext import xtest


class Desktop:
    def __init__(self, name=None):
        self.display = display.Display(name)
        self.root = self.display.screen().root
        self.wm_delete = self.display.intern_atom("WM_DELETE_WINDOW")
        self.wm_protocols = self.display.intern_atom("WM_PROTOCOLS")
        self.net_wm_name = self.display.intern_atom("_NET_WM_NAME")
        self.utf8 = self.display.intern_atom("UTF8_STRING")

    def close(self):
        self.display.close()

    def title(self, window):
        try:
            prop = window.get_full_property(self.net_wm_name, self.utf8)
            if prop is not None:
                return prop.value.decode("utf-8", "replace")
            name = window.get_wm_name()
            return name if isinstance(name, str) else (name or b"").decode("latin-1")
        except Exception:
            return None

    def windows(self):
        """Top-level client windows (those with a title), mapped or not."""
        found = []

        def walk(window):
            try:
                children = window.query_tree().children
            except Exception:
                return
            for child in children:
                title = self.title(child)
                if title is not None:
                    found.append(child)
                else:
                    walk(child)

        walk(self.root)
        return found

    def find(self, title, visible=None):
        for window in self.windows():
            if self.title(window) != title:
                continue
            if visible is None or self.is_viewable(window) == visible:
                return window
        return None

    def wait_for(self, title, timeout=30, visible=True):
        deadline = time.time() + timeout
        while time.time() < deadline:
            window = self.find(title, visible)
            if window is not None:
                return window
            time.sleep(0.05)
        return None

    def is_viewable(self, window):
        try:
            return window.get_attributes().map_state == X.IsViewable
        except Exception:
            return False

    def geometry(self, window):
        g = window.get_geometry()
        pos = window.translate_coords(self.root, 0, 0)
        return (-pos.x, -pos.y, g.width, g.height)

    def pixel(self, window, x, y):
        """(red, green, blue) shown at a point of the window, as on the screen."""
        left, top, _, _ = self.geometry(window)
        data = self.root.get_image(left + x, top + y, 1, 1, X.ZPixmap, 0xFFFFFFFF).data
        return data[2], data[1], data[0]

    def size_hints(self, window):
        hints = window.get_wm_normal_hints()
        return (hints.min_width, hints.min_height, hints.max_width, hints.max_height)

    def request_close(self, window):
        """What a window manager sends when the user clicks the close button."""
        event = protocol.event.ClientMessage(
            window=window, client_type=self.wm_protocols,
            data=(32, [self.wm_delete, X.CurrentTime, 0, 0, 0]))
        window.send_event(event, event_mask=X.NoEventMask)
        self.display.flush()

    def focus(self, window):
        window.set_input_focus(X.RevertToParent, X.CurrentTime)
        self.display.sync()

    def press_key(self, window, keysym_name, modifiers=()):
        """A real key press through the X test extension, delivered to the focused window."""
        self.focus(window)
        time.sleep(0.2)
        codes = [self.display.keysym_to_keycode(XK.string_to_keysym(m)) for m in modifiers]
        key = self.display.keysym_to_keycode(XK.string_to_keysym(keysym_name))
        for code in codes:
            xtest.fake_input(self.display, X.KeyPress, code)
        xtest.fake_input(self.display, X.KeyPress, key)
        xtest.fake_input(self.display, X.KeyRelease, key)
        for code in reversed(codes):
            xtest.fake_input(self.display, X.KeyRelease, code)
        self.display.sync()

    def click(self, window, x, y):
        """A real pointer click through the X test extension at (x, y) inside the window."""
        self.root.warp_pointer(*self._root_point(window, x, y))
        self.display.sync()
        time.sleep(0.1)
        xtest.fake_input(self.display, X.ButtonPress, 1)
        xtest.fake_input(self.display, X.ButtonRelease, 1)
        self.display.sync()

    def _root_point(self, window, x, y):
        left, top, _, _ = self.geometry(window)
        return left + x, top + y
