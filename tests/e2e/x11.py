"""Just enough X11 to look at and poke the shell's windows as a window manager and a user would."""
import os
import subprocess
import time

from Xlib import X, XK, Xatom, display, protocol
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
                # A window manager's frames have no title, or an empty one: the client is inside.
                if self.title(child):
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

    def frame(self, window):
        """The top-level window that holds `window`: a window manager's frame, or itself."""
        while True:
            tree = window.query_tree()
            if tree.parent == self.root or tree.parent == 0:
                return window
            window = tree.parent

    def focused(self):
        """The client window that has the keyboard, or None."""
        focus = self.display.get_input_focus().focus
        if not hasattr(focus, "query_tree"):
            return None
        for window in self.windows():
            walker = focus
            while walker and hasattr(walker, "query_tree") and walker != self.root:
                if walker == window:
                    return window
                walker = walker.query_tree().parent
        return None

    def stacked_above(self, upper, lower):
        """True when `upper`'s top-level window lies above `lower`'s."""
        order = [w.id for w in self.root.query_tree().children]
        return order.index(self.frame(upper).id) > order.index(self.frame(lower).id)

    def transient_for(self, window):
        """The id of the window `window` belongs to (WM_TRANSIENT_FOR), or None."""
        prop = window.get_full_property(Xatom.WM_TRANSIENT_FOR, X.AnyPropertyType)
        return prop.value[0] if prop is not None and len(prop.value) else None

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
        """A real key press through the X test extension, delivered to the focused window: `window`
        after focusing it, or whichever has the keyboard when `window` is None."""
        if window is not None:
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


def start_display(test, screen="1920x1080x24"):
    """A free display of its own for one test, named by Xvfb itself once it is ready; gone with the
    test. Returns (display name, environment for programs on it)."""
    read_end, write_end = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", screen,
                             "-nolisten", "tcp"], stderr=subprocess.DEVNULL, pass_fds=(write_end,))
    os.close(write_end)
    test.addCleanup(xvfb.wait)
    test.addCleanup(xvfb.terminate)
    with os.fdopen(read_end) as announced:
        number = announced.readline().strip()
    test.assertTrue(number, "Xvfb named no display")
    env = dict(os.environ, DISPLAY=f":{number}")
    env.pop("XAUTHORITY", None)
    return f":{number}", env


def start_window_manager(test, desktop, env):
    """Openbox on the display, with its title bars, until the test ends; returns once it manages
    the screen."""
    manager = subprocess.Popen(["openbox", "--sm-disable"], env=env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    test.addCleanup(manager.wait)
    test.addCleanup(manager.terminate)
    check = desktop.display.intern_atom("_NET_SUPPORTING_WM_CHECK")
    deadline = time.time() + 10
    while time.time() < deadline:
        if desktop.root.get_full_property(check, X.AnyPropertyType) is not None:
            return
        time.sleep(0.05)
    test.fail("the window manager did not start")
