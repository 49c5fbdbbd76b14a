"""Dialogs as the journeys see them: windows by caption, controls by label, a local FTP server."""

import os
import socket
import subprocess
import time

from harness import JourneyFailed, children, describe, find_all, role_name, settle, states, wait_until


# ------------------------------------------------------------ windows as X shows them

def x_windows(s, pid):
    """[(window id, caption)] of the visible X windows of a process."""
    out = []
    for wid in s.xdo("search", "--onlyvisible", "--pid", pid, "--name", "").split():
        out.append((wid, s.xdo("getwindowname", wid).rstrip("\n")))
    return out


def x_window(s, pid, caption, timeout=10):
    """The X window whose caption is exactly caption."""
    return wait_until(lambda: next((w for w, c in x_windows(s, pid) if c == caption), None), timeout,
                      f"a window captioned exactly {caption!r} (captions: {[c for _, c in x_windows(s, pid)]})")


def x_geometry(s, wid):
    """(x, y, width, height) of an X window."""
    values = {}
    for line in s.xdo("getwindowgeometry", "--shell", wid).splitlines():
        k, _, v = line.partition("=")
        values[k] = int(v) if v.strip().lstrip("-").isdigit() else v
    return values["X"], values["Y"], values["WIDTH"], values["HEIGHT"]


def place_window(s, wid, x, y, width=None, height=None):
    """Moves (and sizes) a window the way a window manager would; there is none under Xvfb."""
    s.xdo("windowmove", "--sync", wid, x, y)
    if width:
        s.xdo("windowsize", "--sync", wid, width, height)
    settle(0.3)


# ------------------------------------------------------------ dialogs and controls

def wait_window(app, title, timeout=10):
    """A dialog (or frame) of the program by its caption."""
    def look():
        for w in app.windows():
            if role_name(w) in ("dialog", "alert", "file chooser", "frame") and w.name == title \
                    and "showing" in states(w):
                return w
        return None
    return wait_until(look, timeout, f"the window {title!r} (windows: {[describe(w) for w in app.windows()]})")


def gone(app, window, timeout=5):
    wait_until(lambda: window not in app.windows() or "showing" not in states(window), timeout,
               f"{describe(window)} to close")


def button(app, within, name, timeout=3):
    return app.find("push button", name, within=within, timeout=timeout)


def edit(app, within, name, timeout=3):
    return app.find(None, name, within=within, timeout=timeout,
                    pred=lambda a: role_name(a) in ("text", "password text", "entry"))


def labelled_combo(within, label, nth=0):
    """The combo box that follows a label or check box.

    Qt on Linux names a combo box after its current item (the label is meant to come
    through a relation), so the combo is found beside the control that labels it."""
    hits = []
    for parent in [within] + find_all(within):
        kids = children(parent)
        for i, c in enumerate(kids):
            if c is not None and c.name == label and role_name(c) in ("label", "check box"):
                combo = next((k for k in kids[i + 1:] if role_name(k) == "combo box"), None)
                if combo is not None:
                    hits.append(combo)
    if len(hits) <= nth:
        raise JourneyFailed(f"no combo box after {label!r} in {describe(within)}")
    return hits[nth]


def combo_text(combo):
    """The current item: the list's selected item (the combo's own name is not always its text)."""
    items = find_all(combo, role="list item")
    chosen = [c.name for c in items if "selected" in states(c)]
    if len(chosen) == 1:
        return chosen[0]
    return combo.name if combo.name in [c.name for c in items] else None


def shown_item(s, combo):
    """The current item of a combo box named by its label: read from its open list."""
    s.click(combo)
    try:
        return wait_until(lambda: next((c.name for c in find_all(combo, role="list item")
                                        if "showing" in states(c) and "selected" in states(c)), None),
                          3, "the open list's selected item")
    finally:
        s.key("Escape")
        settle(0.3)


def choose(s, app, combo, item):
    """Opens a combo box with the mouse and clicks one of its items."""
    s.click(combo)
    entry = wait_until(lambda: next((c for c in find_all(combo, role="list item", name=item)
                                     if "showing" in states(c)), None), 5, f"the item {item!r} of the open list")
    # An open list ignores releases for a double-click interval, so the opening click cannot pick.
    settle(0.45)
    # The items report the list view's width, which can be wider than the popup shown.
    cx, _, cw, _ = s.extents(combo)
    _, y, _, h = s.extents(entry)
    s.click_at(cx + cw // 2, y + h // 2)
    wait_until(lambda: combo_text(combo) == item, 3, f"the combo box to show {item!r}")


def replace_text(s, acc, text=None, paste=None):
    """Clicks into an edit, selects all and types ASCII text or pastes any text."""
    s.click(acc)
    s.key("ctrl+a")
    if paste is not None:
        s.set_clipboard(paste)
        s.key("ctrl+v")
    elif text:
        s.type(text)
    else:
        s.key("BackSpace")


def popup_showing(app):
    return any("showing" in states(p) for p in find_all(app.acc, role="popup menu"))


def table_rows(table):
    t = table.queryTable()
    return [[t.getAccessibleAt(r, c).name for c in range(t.nColumns)] for r in range(t.nRows)]


def list_lines(lst):
    return [c.name for c in children(lst) if role_name(c) == "list item"]


def message_and_ok(app, text, timeout=10):
    """Waits for a message box showing text and closes it with its button."""
    box = app.wait_dialog(text, timeout)
    buttons = app.dialog_buttons(box)
    app.press(box, "OK" if "OK" in buttons else buttons[0])
    return buttons


def focused_in(app, window):
    """The control with the keyboard focus.

    The browser's document keeps claiming the focus, and a list's current cell keeps it
    after the list has lost it to another control: a control other than these wins."""
    hits = find_all(window, prune_cells=False, pred=lambda a: "focused" in states(a)
                    and role_name(a) != "document web")
    controls = [h for h in hits if role_name(h) != "table cell"]
    return (controls or hits or [None])[-1]


def area_picture(s, rect):
    """A grab of part of the screen as raw RGB bytes (to tell whether something is drawn there)."""
    x, y, w, h = rect
    r = subprocess.run(["import", "-window", "root", "-crop", f"{w}x{h}+{x}+{y}", "rgb:-"], env=s.env,
                       capture_output=True, timeout=20)
    return r.stdout


def colours(picture):
    return len({picture[i:i + 3] for i in range(0, len(picture) - 2, 3)})


# ------------------------------------------------------------ ini files

def ini_section(path, section):
    """{key: value} of one section, the raw bytes decoded as CP932."""
    if not os.path.exists(path):
        return None
    values, inside = {}, False
    with open(path, "rb") as f:
        for raw in f.read().decode("cp932", errors="replace").splitlines():
            line = raw.strip()
            if line.startswith("["):
                inside = line[1:-1].strip().lower() == section.lower()
            elif inside and "=" in line:
                k, _, v = line.partition("=")
                values[k.strip()] = v.strip()
    return values


# ------------------------------------------------------------ FTP server

TOOLS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools")


class FtpServer:
    """pyftpdlib on 127.0.0.1 serving root with write access, on a free port; with tls, FTP over TLS only,
    with a new self-signed certificate."""
    USER = "zova"
    PASSWORD = "secret"

    def __init__(self, s, root, tls=False):
        self.root = root
        os.makedirs(root, exist_ok=True)
        self.log = open(os.path.join(s.root, f"ftpd-{os.path.basename(root)}.log"), "wb")
        script = os.path.join(TOOLS, "ftp_test_server.py")
        extra = []
        if tls:
            pem = os.path.join(s.root, f"{os.path.basename(root)}.pem")
            subprocess.run(["/usr/bin/python3", script, "make-cert", pem], check=True, env=s.env)
            extra = ["--tls", pem]
        for _ in range(5):
            self.port = self._free_port()
            self.proc = subprocess.Popen(
                ["/usr/bin/python3", script, "serve", "--port", str(self.port), "--user", self.USER,
                 "--password", self.PASSWORD, "--root", root, *extra], env=s.env, stdout=self.log, stderr=self.log,
                start_new_session=True)
            if self._accepting():
                return
            self.stop()
        raise JourneyFailed("the FTP test server did not start")

    @staticmethod
    def _free_port():
        with socket.socket() as sock:
            sock.bind(("127.0.0.1", 0))
            return sock.getsockname()[1]

    def _accepting(self, timeout=10):
        deadline = time.time() + timeout
        while time.time() < deadline and self.proc.poll() is None:
            try:
                with socket.create_connection(("127.0.0.1", self.port), timeout=1) as sock:
                    if sock.recv(64).startswith(b"220"):
                        return True
            except OSError:
                time.sleep(0.1)
        return False

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()


# ------------------------------------------------------------ file dialogs

def file_dialog(app, exclude=(), timeout=10):
    """The file dialog that has just opened (Qt's own: a dialog with a file name edit)."""
    def look():
        for w in app.windows():
            if w in exclude or role_name(w) not in ("dialog", "file chooser") or "showing" not in states(w):
                continue
            if find_all(w, pred=lambda a: role_name(a) == "label" and (a.name or "").startswith("ファイル名")):
                return w
        return None
    return wait_until(look, timeout, "a file dialog")


def choose_file(s, app, path, exclude=()):
    """Types a full path into the open file dialog and accepts it with Enter."""
    chooser = file_dialog(app, exclude)
    s.type(path)
    s.key("Return")
    gone(app, chooser)
