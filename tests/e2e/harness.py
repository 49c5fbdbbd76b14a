"""End-to-end harness: the built programs from a temporary copy of the program
folder, under Xvfb, in their own D-Bus session with the AT-SPI bus.

Widgets are found and read through the accessibility tree; every action under
test is real X input through xdotool. A journey script calls run(journey); the
first run re-executes itself inside dbus-run-session once Xvfb is up.

Environment:
  ZOVA_DIST          program folder to copy (default: build/dist of this tree)
  ZOVA_E2E_DISPLAY   use this X display (e.g. :0) instead of a private Xvfb
  ZOVA_E2E_SHOTS     where screenshots go (default: the run's temp dir, kept on failure)
  ZOVA_E2E_SLOW      seconds to pause after each input, to watch a run
  ZOVA_E2E_KEEP      keep the temp dir even when the journey passed
  ZOVA_E2E_PROFILE   write a cProfile of the journey to this file (to find slow steps)

Watch a run on your own display:  ZOVA_E2E_DISPLAY=:0 ZOVA_E2E_SLOW=0.5 /usr/bin/python3 tests/e2e/tree_editing.py
"""

import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import traceback
import uuid

DEFAULT_TIMEOUT = 10.0
POLL = 0.05
_TAG = "ZOVA_E2E_TAG"  # every process this run starts carries it, so cleanup can find them


class JourneyFailed(Exception):
    pass


# ---------------------------------------------------------------- outer: X server and D-Bus session

def _dist_dir(argv):
    if len(argv) > 1 and argv[1]:
        return os.path.abspath(argv[1])
    if os.environ.get("ZOVA_DIST"):
        return os.path.abspath(os.environ["ZOVA_DIST"])
    return os.path.normpath(os.path.join(os.path.dirname(__file__), "..", "..", "build", "dist"))


def _wait_for_dist(dist, timeout=300):
    # The programs may be relinked while we start: wait until every one is there and settled.
    needed = ["zova_af", "Vessilo", "zova", "sample.zva", "html"]
    deadline = time.time() + timeout
    while True:
        missing = [n for n in needed if not os.path.exists(os.path.join(dist, n))]
        if not missing:
            newest = max(os.path.getmtime(os.path.join(dist, n)) for n in needed)
            if time.time() - newest > 2:
                return
        elif time.time() > deadline:
            raise SystemExit(f"e2e: {dist} lacks {missing}")
        time.sleep(1)


def _locale():
    out = subprocess.run(["locale", "-a"], capture_output=True, text=True).stdout.split()
    for name in ("ja_JP.UTF-8", "ja_JP.utf8"):
        if name in out:
            return name
    return "C.UTF-8"


def _start_xvfb(log):
    read_fd, write_fd = os.pipe()
    proc = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1280x1024x24", "-nolisten", "tcp", "-noreset"],
        pass_fds=(write_fd,), stdout=log, stderr=log, start_new_session=True)
    os.close(write_fd)
    number = b""
    with os.fdopen(read_fd, "rb") as r:
        while not number.endswith(b"\n"):
            chunk = r.read(1)
            if not chunk:
                break
            number += chunk
    if not number.strip():
        proc.kill()
        raise SystemExit("e2e: Xvfb did not start")
    return proc, ":" + number.decode().strip()


def _tagged_pids(tag):
    pids = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit() or int(entry) == os.getpid():
            continue
        try:
            with open(f"/proc/{entry}/environ", "rb") as f:
                if f"{_TAG}={tag}".encode() in f.read().split(b"\0"):
                    pids.append(int(entry))
        except OSError:
            pass
    return pids


def _sweep(tag):
    """Ends every process of this run that is still there (helpers of the browser too)."""
    for sig in (signal.SIGTERM, signal.SIGKILL):
        pids = _tagged_pids(tag)
        if not pids:
            return
        for pid in pids:
            try:
                os.kill(pid, sig)
            except OSError:
                pass
        deadline = time.time() + 3
        while time.time() < deadline and _tagged_pids(tag):
            time.sleep(0.1)


def _outer(script, dist):
    _wait_for_dist(dist)
    name = os.path.splitext(os.path.basename(script))[0]
    root = tempfile.mkdtemp(prefix=f"zova-e2e-{name}-")
    tag = uuid.uuid4().hex
    dirs = {k: os.path.join(root, k) for k in ("home", "config", "data", "cache", "runtime", "work")}
    for d in dirs.values():
        os.makedirs(d)
    os.chmod(dirs["runtime"], 0o700)
    shots = os.environ.get("ZOVA_E2E_SHOTS") or os.path.join(root, "shots")
    os.makedirs(shots, exist_ok=True)

    env = dict(os.environ)
    for k in ("SESSION_MANAGER", "DBUS_SESSION_BUS_ADDRESS", "AT_SPI_BUS_ADDRESS", "WAYLAND_DISPLAY",
              "QT_QPA_PLATFORMTHEME", "QT_STYLE_OVERRIDE", "XAUTHORITY"):
        env.pop(k, None)
    lang = _locale()
    env.update({
        _TAG: tag,
        "ZOVA_E2E_ROOT": root, "ZOVA_E2E_DIST": dist, "ZOVA_E2E_SHOTS": shots,
        "HOME": dirs["home"], "XDG_CONFIG_HOME": dirs["config"], "XDG_DATA_HOME": dirs["data"],
        "XDG_CACHE_HOME": dirs["cache"], "XDG_RUNTIME_DIR": dirs["runtime"],
        "LANG": lang, "LC_ALL": lang, "LANGUAGE": "ja",
        "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1", "QT_ACCESSIBILITY": "1", "QT_QPA_PLATFORM": "xcb",
        "NO_AT_BRIDGE": "0", "GTK_USE_PORTAL": "0",
        "QTWEBENGINE_DISABLE_SANDBOX": "1",
        # The browser sends every request to a closed local port: nothing leaves this machine.
        "QTWEBENGINE_CHROMIUM_FLAGS": "--proxy-server=127.0.0.1:9 --proxy-bypass-list=<-loopback> "
                                      "--disable-background-networking --disable-component-update --no-pings",
    })
    xvfb = None
    log = open(os.path.join(root, "x-and-dbus.log"), "wb")
    code = 1
    try:
        if os.environ.get("ZOVA_E2E_DISPLAY"):
            env["DISPLAY"] = os.environ["ZOVA_E2E_DISPLAY"]
        else:
            xvfb, env["DISPLAY"] = _start_xvfb(log)
        env["ZOVA_E2E_INNER"] = tag
        proc = subprocess.Popen(["dbus-run-session", "--", sys.executable, script, dist],
                                env=env, start_new_session=True)
        try:
            code = proc.wait()
        except KeyboardInterrupt:
            os.killpg(proc.pid, signal.SIGTERM)
            code = proc.wait()
    finally:
        _sweep(tag)
        if xvfb:
            os.killpg(xvfb.pid, signal.SIGTERM)
            try:
                xvfb.wait(5)
            except subprocess.TimeoutExpired:
                os.killpg(xvfb.pid, signal.SIGKILL)
        log.close()
        if code == 0 and not os.environ.get("ZOVA_E2E_KEEP"):
            shutil.rmtree(root, ignore_errors=True)
        else:
            print(f"e2e: files of this run kept in {root} (screenshots: {shots})", file=sys.stderr)
    return code


def run(journey):
    """Entry point of a journey script: journey(session) does the steps."""
    if os.environ.get("ZOVA_E2E_INNER"):
        sys.exit(_inner(journey))
    sys.exit(_outer(os.path.abspath(sys.argv[0]), _dist_dir(sys.argv)))


# ---------------------------------------------------------------- inner: accessibility and input

def _inner(journey):
    bus = subprocess.Popen(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    session = Session()
    try:
        _wait_a11y_bus()
        if os.environ.get("ZOVA_E2E_PROFILE"):
            import cProfile
            cProfile.runctx("journey(session)", globals(), {"journey": journey, "session": session},
                            os.environ["ZOVA_E2E_PROFILE"])
        else:
            journey(session)
    except JourneyFailed as e:
        session.failures.append(str(e))
        print(f"FAIL (journey stopped): {e}", file=sys.stderr)
    except Exception:
        shot = session.screenshot("error")
        session.failures.append("error")
        print(f"FAIL (journey stopped) [screenshot {shot}]:\n{traceback.format_exc()}", file=sys.stderr)
    finally:
        session.close()
        bus.terminate()
    name = os.path.splitext(os.path.basename(sys.argv[0]))[0]
    failed = len(session.failures)
    print(f"{name}: {max(session.checks - failed, 0)} passed, {failed} failed", flush=True)
    return 1 if failed else 0


def _wait_a11y_bus(timeout=10):
    deadline = time.time() + timeout
    while time.time() < deadline:
        r = subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus", "/org/a11y/bus",
                            "org.a11y.Bus.GetAddress"], capture_output=True)
        if r.returncode == 0:
            return
        time.sleep(0.1)
    raise JourneyFailed("the AT-SPI bus did not come up")


def _pyatspi():
    import pyatspi  # only inside the session: it connects to the bus on import
    return pyatspi


def wait_until(predicate, timeout=DEFAULT_TIMEOUT, what="condition"):
    """Polls predicate until it returns something truthy; returns that value."""
    deadline = time.time() + timeout
    last_error = None
    while True:
        try:
            value = predicate()
            if value:
                return value
        except Exception as e:  # the tree changes under us while a window opens or closes
            last_error = e
        if time.time() > deadline:
            extra = f" (last error: {last_error!r})" if last_error else ""
            raise JourneyFailed(f"timed out after {timeout:.0f}s waiting for {what}{extra}")
        time.sleep(POLL)


def settle(seconds=0.15):
    time.sleep(seconds)


class Session:
    def __init__(self):
        self.root = os.environ["ZOVA_E2E_ROOT"]
        self.dist = os.environ["ZOVA_E2E_DIST"]
        self.shots = os.environ["ZOVA_E2E_SHOTS"]
        self.work = os.path.join(self.root, "work")
        self.env = dict(os.environ)
        self.env.pop("ZOVA_E2E_INNER", None)
        self.failures = []
        self.checks = 0
        self.apps = []
        self._shot_no = 0
        self._t0 = time.time()
        self._fail_shots = 0
        self._clipboard = None
        self._slow = float(os.environ.get("ZOVA_E2E_SLOW") or 0)
        self.pyatspi = _pyatspi()

    # ------------------------------------------------------------ checks

    def check(self, ok, message, shot=True):
        """A soft check: records the failure (with a screenshot) and goes on."""
        self.checks += 1
        if not ok:
            # The first few pictures tell the story; more only slow the run down.
            if shot and self._fail_shots < 4:
                self._fail_shots += 1
                message += f"  [screenshot {self.screenshot('fail')}]"
            self.failures.append(message)
            print("FAIL: " + message, file=sys.stderr, flush=True)
        return ok

    def check_equal(self, found, expected, what):
        if found == expected:
            return self.check(True, what)
        where = ""
        if isinstance(found, list) and isinstance(expected, list):
            # Long lists: name the first place they part.
            i = next((k for k, (a, b) in enumerate(zip(found, expected)) if a != b), min(len(found), len(expected)))
            where = f" (first difference at [{i}]: expected {short(expected[i:i + 1])}, found {short(found[i:i + 1])};" \
                    f" lengths {len(expected)} and {len(found)})"
        return self.check(False, f"{what}: expected {short(expected)}, found {short(found)}{where}")

    def require(self, ok, message):
        self.checks += 1
        if not ok:
            shot = self.screenshot("fail")
            raise JourneyFailed(f"{message}  [screenshot {shot}]")

    def step(self, text):
        print(f"-- {time.time() - self._t0:5.1f}s {text}", flush=True)

    # ------------------------------------------------------------ files and programs

    def program_folder(self, name="prog"):
        """A fresh copy of the program folder."""
        dest = os.path.join(self.root, name)
        shutil.copytree(self.dist, dest, symlinks=True)
        return dest

    def start(self, folder, program, *args, name=None):
        log = open(os.path.join(self.root, f"{program}-{len(self.apps)}.log"), "wb")
        proc = subprocess.Popen([os.path.join(folder, program), *args], cwd=self.work, env=self.env,
                                stdout=log, stderr=log, start_new_session=True)
        app = App(self, proc, name or program, folder)
        self.apps.append(app)
        app.wait_accessible()
        return app

    def zova(self, folder, *args):
        r = subprocess.run([os.path.join(folder, "zova"), *args], capture_output=True, env=self.env, timeout=30)
        if r.returncode != 0:
            raise JourneyFailed(f"zova {' '.join(args)} failed ({r.returncode}): {r.stderr.decode(errors='replace')}")
        return r.stdout.decode("utf-8", errors="replace")

    def dump(self, folder, library):
        return json.loads(self.zova(folder, "dump", library))

    def close(self):
        for app in self.apps:
            app.kill()
        if self._clipboard and self._clipboard.poll() is None:
            self._clipboard.kill()

    # ------------------------------------------------------------ screen and input

    def screenshot(self, label):
        self._shot_no += 1
        path = os.path.join(self.shots, f"{self._shot_no:02d}-{label}.png")
        try:
            subprocess.run(["import", "-window", "root", path], env=self.env, timeout=20,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        except (OSError, subprocess.TimeoutExpired):
            return "(none: ImageMagick import failed)"
        return path

    def xdo(self, *args):
        r = subprocess.run(["xdotool", *map(str, args)], env=self.env, capture_output=True, text=True, timeout=20)
        if self._slow:
            time.sleep(self._slow)
        return r.stdout

    def move(self, x, y):
        # No --sync: it can wait for seconds when the pointer is already there.
        self.xdo("mousemove", int(x), int(y))

    def click_at(self, x, y, button=1, modifiers=None):
        self.move(x, y)
        settle(0.05)
        if modifiers:
            self.xdo("keydown", modifiers)
        self.xdo("click", button)
        if modifiers:
            self.xdo("keyup", modifiers)
        settle()

    def click(self, acc, button=1, modifiers=None):
        x, y = self.centre(acc)
        self.click_at(x, y, button, modifiers)

    def drag(self, start, end, steps=12, before_release=None):
        """Presses at start, moves in small steps to end, then releases (unless before_release says no)."""
        (x0, y0), (x1, y1) = start, end
        self.move(x0, y0)
        settle(0.05)
        self.xdo("mousedown", 1)
        for i in range(1, steps + 1):
            self.move(x0 + (x1 - x0) * i / steps, y0 + (y1 - y0) * i / steps)
            time.sleep(0.03)
        settle()
        if before_release and before_release() is False:
            self.xdo("mouseup", 1)
            return
        self.xdo("mouseup", 1)
        settle()

    def key(self, *keys):
        self.xdo("key", "--clearmodifiers", *keys)
        settle(0.1)

    def type(self, text):
        self.xdo("type", "--clearmodifiers", "--delay", 8, text)
        settle(0.1)

    def set_clipboard(self, text):
        if self._clipboard and self._clipboard.poll() is None:
            self._clipboard.kill()
            self._clipboard.wait()
        # xclip stays in the foreground (-quiet) and serves the selection until killed.
        self._clipboard = subprocess.Popen(["xclip", "-quiet", "-selection", "clipboard", "-i"], env=self.env,
                                           stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                                           stderr=subprocess.DEVNULL)
        self._clipboard.stdin.write(text.encode("utf-8"))
        self._clipboard.stdin.close()
        wait_until(lambda: subprocess.run(["xclip", "-o", "-selection", "clipboard"], env=self.env,
                                          capture_output=True).stdout == text.encode("utf-8"),
                   what="the clipboard to hold the text")

    def window_names(self, pid):
        ids = self.xdo("search", "--onlyvisible", "--pid", pid, "--name", "").split()
        names = []
        for wid in ids:
            name = self.xdo("getwindowname", wid).rstrip("\n")
            names.append(name)
        return names

    # ------------------------------------------------------------ accessibility

    def centre(self, acc):
        e = acc.queryComponent().getExtents(self.pyatspi.DESKTOP_COORDS)
        if e.width <= 0 or e.height <= 0:
            raise JourneyFailed(f"{describe(acc)} has no area on screen ({e.x},{e.y} {e.width}x{e.height})")
        return e.x + e.width // 2, e.y + e.height // 2

    def extents(self, acc):
        e = acc.queryComponent().getExtents(self.pyatspi.DESKTOP_COORDS)
        return e.x, e.y, e.width, e.height


# ---------------------------------------------------------------- reading accessibles

def short(value, limit=120):
    text = repr(value)
    return text if len(text) <= limit else f"{text[:limit]}... ({len(value)} long)"


def role_name(acc):
    try:
        return acc.getRoleName()
    except Exception:
        return "?"


def describe(acc):
    try:
        return f"{role_name(acc)} {acc.name!r}"
    except Exception:
        return "(gone)"


def states(acc):
    import pyatspi
    s = acc.getState()
    return {n for n, v in (("enabled", pyatspi.STATE_ENABLED), ("selected", pyatspi.STATE_SELECTED),
                           ("focused", pyatspi.STATE_FOCUSED), ("showing", pyatspi.STATE_SHOWING),
                           ("checked", pyatspi.STATE_CHECKED), ("expanded", pyatspi.STATE_EXPANDED),
                           ("editable", pyatspi.STATE_EDITABLE), ("active", pyatspi.STATE_ACTIVE),
                           ("visible", pyatspi.STATE_VISIBLE), ("modal", pyatspi.STATE_MODAL))
            if s.contains(v)}


def is_enabled(acc):
    return "enabled" in states(acc)


def text_of(acc):
    try:
        t = acc.queryText()
        return t.getText(0, -1)
    except NotImplementedError:
        return acc.name


_PRUNED = {"document web", "document frame"}


def children(acc):
    try:
        return [acc.getChildAtIndex(i) for i in range(acc.childCount)]
    except Exception:
        return []


def descendants(acc, prune_cells=True):
    """Breadth first; the web page's own tree and table cells are left out unless asked."""
    queue = [acc]
    while queue:
        node = queue.pop(0)
        for c in children(node):
            if c is None:
                continue
            yield c
            r = role_name(c)
            if r in _PRUNED or (prune_cells and r in ("table", "tree", "tree table")):
                continue
            queue.append(c)


def find_all(acc, role=None, name=None, pred=None, prune_cells=True):
    out = []
    for c in descendants(acc, prune_cells):
        try:
            if role and role_name(c) != role:
                continue
            if name is not None and c.name != name:
                continue
            if pred and not pred(c):
                continue
            out.append(c)
        except Exception:
            continue
    return out


def dump_tree(acc, depth=0, max_depth=12, out=None):
    out = [] if out is None else out
    try:
        extra = ""
        if role_name(acc) in ("text", "entry", "password text"):
            extra = f" text={text_of(acc)!r}"
        out.append("  " * depth + f"{describe(acc)} {sorted(states(acc) & {'enabled', 'selected', 'focused'})}{extra}")
    except Exception:
        out.append("  " * depth + "(gone)")
        return out
    if depth < max_depth and role_name(acc) not in _PRUNED:
        for c in children(acc)[:60]:
            dump_tree(c, depth + 1, max_depth, out)
    return out


class App:
    """A running program and its accessible application."""

    def __init__(self, session, proc, name, folder):
        self.s = session
        self.proc = proc
        self.name = name
        self.folder = folder
        self.acc = None
        self._menu_bar = None

    @property
    def pid(self):
        return self.proc.pid

    def wait_accessible(self, timeout=30):
        desktop = self.s.pyatspi.Registry.getDesktop(0)

        def found():
            if self.proc.poll() is not None:
                raise JourneyFailed(f"{self.name} ended at start-up with code {self.proc.returncode}")
            for app in children(desktop):
                try:
                    if app is not None and app.name == self.name and app.get_process_id() == self.proc.pid \
                            and app.childCount > 0:
                        return app
                except Exception:
                    pass
            return None

        try:
            self.acc = wait_until(found, timeout, f"the accessible application {self.name!r}")
        except JourneyFailed as e:
            if self.proc.poll() is not None:
                raise
            raise JourneyFailed(f"{e}; applications on the bus: {[describe(a) for a in children(desktop)]}")
        return self.acc

    def windows(self):
        return [w for w in children(self.acc) if w is not None]

    def main_window(self):
        # The browser adds a frame of its own ("Offscreen"); the main window has the menu bar.
        return wait_until(lambda: next((w for w in self.windows() if role_name(w) == "frame"
                                        and any(role_name(c) == "menu bar" for c in children(w))), None),
                          what=f"the main window of {self.name}")

    def find(self, role=None, name=None, within=None, timeout=DEFAULT_TIMEOUT, pred=None, prune_cells=True):
        """Waits for one accessible of that role and name; fails with the subtree it searched."""
        where = within or self.acc

        def look():
            hits = [h for h in find_all(where, role, name, pred, prune_cells)
                    if "showing" in states(h) or role_name(h) in ("menu item", "dialog", "alert", "frame")]
            return hits[0] if hits else None

        try:
            return wait_until(look, timeout, f"{role or 'any role'} named {name!r}")
        except JourneyFailed as e:
            tree = "\n".join(dump_tree(where, max_depth=8)[:250])
            raise JourneyFailed(f"{e} in {describe(where)}; its tree:\n{tree}")

    def try_find(self, role=None, name=None, within=None, pred=None):
        hits = [h for h in find_all(within or self.acc, role, name, pred)
                if "showing" in states(h) or role_name(h) in ("dialog", "alert")]
        return hits[0] if hits else None

    # ------------------------------------------------------------ dialogs and menus

    def dialogs(self):
        return [w for w in self.windows() if role_name(w) in ("dialog", "alert", "file chooser")]

    def wait_dialog(self, text=None, timeout=DEFAULT_TIMEOUT):
        """A message box (or other dialog) of this program; with text, one that shows it."""
        def look():
            for d in self.dialogs():
                if text is None or any(text in (h.name or "") or text in text_of(h)
                                       for h in find_all(d, pred=lambda a: role_name(a) in ("label", "text",
                                                                                             "static"))):
                    return d
            return None

        try:
            return wait_until(look, timeout, f"a dialog showing {text!r}")
        except JourneyFailed as e:
            seen = ["\n".join(dump_tree(d, max_depth=5)) for d in self.dialogs()]
            raise JourneyFailed(f"{e}; dialogs open: {seen or 'none'}")

    def dialog_texts(self, dialog):
        return [h.name or text_of(h) for h in find_all(dialog, pred=lambda a: role_name(a) in ("label", "text"))]

    def dialog_buttons(self, dialog):
        return [b.name for b in find_all(dialog, role="push button")]

    def press(self, dialog, button):
        """Clicks a dialog's button with the mouse and waits for the dialog to go."""
        names = self.dialog_buttons(dialog)
        if button not in names:
            # "はい(Y)": Japanese standard buttons show their mnemonic after the text.
            alike = [n for n in names if n.startswith(button + "(")]
            if alike:
                button = alike[0]
        b = self.find("push button", button, within=dialog, timeout=3)
        before = len(self.dialogs())
        self.s.click(b)
        wait_until(lambda: len(self.dialogs()) < before, what=f"the dialog to close after {button!r}")

    def no_dialog(self, timeout=0.6):
        """True when no dialog shows up within timeout (for the steps that must stay silent)."""
        deadline = time.time() + timeout
        while time.time() < deadline:
            if self.dialogs():
                return False
            time.sleep(POLL)
        return True

    def menu(self, *path):
        """Opens a menu of the menu bar with the mouse and clicks the path of items."""
        self.open_menu(path[0])
        for item in path[1:]:
            self.s.click(self.find_menu_item(item))

    def find_menu_item(self, name, timeout=5):
        # Only an open menu's items are on screen; the same action sits in several menus.
        return self.find("menu item", name, timeout=timeout,
                         pred=lambda a: role_name(a.parent) == "popup menu" and "showing" in states(a.parent))

    def open_menu(self, title):
        if self._menu_bar is None:
            self._menu_bar = self.find("menu bar", within=self.main_window())
        bar = self._menu_bar
        self.s.click(self.find("menu item", title, within=bar))
        wait_until(lambda: any("showing" in states(p) for p in find_all(self.acc, role="popup menu")),
                   what=f"the menu {title!r} to open")

    def close_menu(self):
        self.s.key("Escape")
        wait_until(lambda: not any("showing" in states(p) for p in find_all(self.acc, role="popup menu")),
                   what="the menu to close")

    def focused_all(self):
        """Every accessible that says it has the focus (cells of tables and trees included)."""
        return find_all(self.main_window(), prune_cells=False,
                        pred=lambda a: "focused" in states(a) and role_name(a) != "document web")

    # ------------------------------------------------------------ ending

    def wait_exit(self, timeout=15):
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            raise JourneyFailed(f"{self.name} did not end within {timeout}s")

    def running(self):
        return self.proc.poll() is None

    def kill(self):
        if self.proc.poll() is None:
            try:
                os.killpg(self.proc.pid, signal.SIGTERM)
                self.proc.wait(5)
            except (OSError, subprocess.TimeoutExpired):
                try:
                    os.killpg(self.proc.pid, signal.SIGKILL)
                except OSError:
                    pass
