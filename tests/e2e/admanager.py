"""zova_af as the journeys see it: its panes read through accessibility."""

import os
import shutil

from harness import JourneyFailed, children, find_all, role_name, states, text_of, wait_until

MAIN_CAPTION = "Zelvor管理 - {}"
NEW_FOLDER = "新しいフォルダ"
NEW_ITEM = "新しいデータ"
COLUMNS = ["ASP", "広告主", "広告名", "CPM", "CPC", "定率", "定額"]
# Banner fields of a `zova dump` in the list's column order.
DUMP_FIELDS = ["asp", "advertiser", "name", "cpm", "cpc", "fixedRate", "fixedFee"]


def dump_outline(node, level=0, out=None):
    """[(level, title)] of a dumped library, in the order the tree shows it."""
    out = [] if out is None else out
    out.append((level, node["title"]))
    for child in node.get("children", []):
        dump_outline(child, level + 1, out)
    return out


def dump_node(node, title):
    if node["title"] == title:
        return node
    for child in node.get("children", []):
        hit = dump_node(child, title)
        if hit:
            return hit
    return None


def banner_row(banner):
    return [str(banner.get(f, "")) for f in DUMP_FIELDS]


class AdManager:
    def __init__(self, session, app, library):
        self.s = session
        self.app = app
        self.library = library
        self._fields = {}

    @classmethod
    def start(cls, s, folder=None, library="sample.zva", answer_association="いいえ"):
        """zova_af from a fresh program folder on a copy of the sample library."""
        folder = folder or s.program_folder()
        path = None
        if library:
            path = os.path.join(s.work, library)
            shutil.copy(os.path.join(folder, "sample.zva"), path)
        app = s.start(folder, "zova_af", *([path] if path else []))
        self = cls(s, app, path)
        self.main = app.main_window()
        if answer_association:
            # A fresh program folder is not associated yet: the program asks once.
            box = app.wait_dialog("関連付け")
            app.press(box, answer_association)
        return self

    @property
    def folder(self):
        return self.app.folder

    def dump(self):
        return self.s.dump(self.folder, self.library)

    def save_with_ctrl_s(self):
        """Ctrl+S, then the library as the file now holds it."""
        before = os.stat(self.library).st_mtime_ns
        self.s.key("ctrl+s")
        try:
            wait_until(lambda: os.stat(self.library).st_mtime_ns != before, timeout=5, what="Ctrl+S to write")
        except JourneyFailed as e:
            self.s.check(False, str(e))
        return self.dump()

    def captions(self):
        return [n for n in self.s.window_names(self.app.pid) if n]

    # ------------------------------------------------------------ tree

    def _cached(self, key, find):
        # The panes live as long as the window: look them up once.
        if key not in self._fields:
            self._fields[key] = find()
        return self._fields[key]

    def tree(self):
        return self._cached(("tree",), lambda: self.app.find("tree", within=self.main))

    def tree_cells(self):
        return [c for c in children(self.tree()) if role_name(c) == "table cell"]

    def tree_cell(self, name):
        return wait_until(lambda: next((c for c in self.tree_cells() if c.name == name), None),
                          what=f"the tree item {name!r} (items: {[c.name for c in self.tree_cells()]})")

    def outline(self):
        """[(level, name)] read from the items' indentation on screen."""
        cells = [(self.s.extents(c)[0], c.name) for c in self.tree_cells()]
        if not cells:
            return []
        xs = sorted({x for x, _ in cells})
        indent = min((b - a for a, b in zip(xs, xs[1:])), default=1)
        return [((x - xs[0]) // indent, name) for x, name in cells]

    def selected_tree_items(self):
        return [c.name for c in self.tree_cells() if "selected" in states(c)]

    def click_tree(self, name, modifiers=None):
        self.s.click(self.tree_cell(name), modifiers=modifiers)

    # ------------------------------------------------------------ banner list

    def table(self):
        return self._cached(("table",), lambda: self.app.find("table", within=self.main))

    def rows(self):
        t = self.table().queryTable()
        return [[t.getAccessibleAt(r, c).name for c in range(t.nColumns)] for r in range(t.nRows)]

    def selected_rows(self):
        return list(self.table().queryTable().getSelectedRows())

    def cell(self, row, column):
        return self.table().queryTable().getAccessibleAt(row, column)

    def click_row(self, row, column=1):
        self.s.click(self.cell(row, column))

    def header(self, name):
        return self.app.find("table column header", name, within=self.table(), prune_cells=False)

    def wait_rows(self, expected, what):
        try:
            return wait_until(lambda: self.rows() == expected, timeout=3, what=what)
        except JourneyFailed:
            return self.s.check_equal(self.rows(), expected, what)

    # ------------------------------------------------------------ edits by their label

    def field(self, label):
        """The control a user knows by its label; the accessible name should be that label."""
        if label not in self._fields:
            self._fields[label] = self._find_field(label)
        return self._fields[label]

    def _find_field(self, label):
        for role in ("text", "combo box"):
            hits = find_all(self.main, role=role, name=label)
            if hits:
                return hits[0]
        # Not named yet: report it once, then find it beside its label so the journey goes on.
        self.s.check(False, f"no edit has the accessible name {label!r}", shot=False)
        lab = self.app.find(None, label, within=self.main,
                            pred=lambda a: role_name(a) in ("label", "check box"))
        kids = children(lab.parent)
        i = next(k for k, c in enumerate(kids) if c.name == label and role_name(c) == role_name(lab))
        if i + 1 < len(kids) and role_name(kids[i + 1]) == "text":
            return kids[i + 1]
        labels = [c for c in kids if role_name(c) == "label"]
        texts = [c for c in kids if role_name(c) == "text"]
        return texts[next(k for k, c in enumerate(labels) if c.name == label)]

    def text(self, label):
        return text_of(self.field(label))

    def editor_values(self):
        return {label: self.text(label) for label in ("広告主", "広告名", "CPM", "CPC", "定率", "定額")}

    def replace_text(self, label, text=None, paste=None):
        """Clicks into the edit, selects everything and types (ASCII) or pastes the text."""
        self.s.click(self.field(label))
        self.s.key("ctrl+a")
        if paste is not None:
            self.s.set_clipboard(paste)
            self.s.key("ctrl+v")
        else:
            self.s.type(text)

    # ------------------------------------------------------------ commands

    def toolbar_button(self, name):
        bar = self._cached(("tool bar",), lambda: self.app.find("tool bar", within=self.main))
        return self.app.find("push button", name, within=bar)

    def press_toolbar(self, name):
        self.s.click(self.toolbar_button(name))

    def menu_item_enabled(self, menu, item):
        self.app.open_menu(menu)
        enabled = "enabled" in states(self.app.find_menu_item(item))
        self.app.close_menu()
        return enabled

    def wait_caption(self, expected):
        try:
            wait_until(lambda: expected in self.captions(), timeout=3, what=f"caption {expected!r}")
            return self.s.check(True, expected)
        except JourneyFailed:
            return self.s.check(False, f"window caption: expected {expected!r}, found {self.captions()}")
