"""Edit the library tree with menus, tool buttons and real drag and drop; save and read back."""

import harness
from admanager import NEW_FOLDER, NEW_ITEM, AdManager, dump_outline

NEW_FOLDER_CMD = "サブフォルダの作成(F)"
NEW_ITEM_CMD = "広告項目の作成(N)"
COPY_ITEM_CMD = "広告項目のコピー(C)"
PASTE_ITEM_CMD = "広告項目の貼り付け(P)"
DELETE_CMD = "項目の削除(D)"
EDIT_MENU = "編集(E)"
CANNOT_MOVE = "この場所にはデータを移動できません"


def add_child(outline, parent, name):
    """The outline with name appended as the last child of the item named parent."""
    i = next(k for k, (_, n) in enumerate(outline) if n == parent)
    level = outline[i][0]
    end = i + 1
    while end < len(outline) and outline[end][0] > level:
        end += 1
    return outline[:end] + [(level + 1, name)] + outline[end:]


def remove(outline, name):
    i = next(k for k, (_, n) in enumerate(outline) if n == name)
    end = i + 1
    while end < len(outline) and outline[end][0] > outline[i][0]:
        end += 1
    return outline[:i] + outline[end:], outline[i:end]


def move(outline, name, parent):
    rest, _ = remove(outline, name)  # ad items only: no subtree to carry
    return add_child(rest, parent, name)


class TreeJourney:
    def __init__(self, s):
        self.s = s
        self.af = AdManager.start(s)
        self.expected = dump_outline(self.af.dump())
        self.items = {"サイドバー 旅行", "記事下 ホテル", "今週の売れ筋", "電子書籍セール", "フッター広告"}

    def check_outline(self, what):
        try:
            harness.wait_until(lambda: self.af.outline() == self.expected, timeout=3, what=what)
        except harness.JourneyFailed:
            self.s.check_equal(self.af.outline(), self.expected, f"tree after {what}")

    def check_agreement(self, when):
        """The tree's selection, the list pane and the commands' enabling tell one story."""
        af = self.af
        selected = af.selected_tree_items()
        title = af.text("Title")
        folder_enabled = af.menu_item_enabled(EDIT_MENU, NEW_FOLDER_CMD)
        if not self.s.check(len(selected) <= 1, f"{when}: one tree item at most is selected, found {selected}"):
            return
        if selected:
            self.s.check_equal(title, selected[0], f"{when}: Title of the list pane for the selected item")
            is_folder = selected[0] not in self.items
            self.s.check_equal(folder_enabled, is_folder,
                               f"{when}: {NEW_FOLDER_CMD} enabled with {selected[0]!r} selected")
        else:
            self.s.check_equal(title, "", f"{when}: Title of the list pane with no tree item selected")
            self.s.check_equal(folder_enabled, False, f"{when}: {NEW_FOLDER_CMD} enabled with nothing selected")
        if folder_enabled and selected:
            # Enabled means it works: no "select a parent folder" message.
            self.af.app.menu(EDIT_MENU, NEW_FOLDER_CMD)
            self.s.check(self.af.app.no_dialog(),
                         f"{when}: {NEW_FOLDER_CMD} when enabled shows no message "
                         f"(dialogs: {[self.af.app.dialog_texts(d) for d in self.af.app.dialogs()]})")
            for d in self.af.app.dialogs():
                self.af.app.press(d, "OK")
            self.expected = add_child(self.expected, selected[0], NEW_FOLDER)
            self.check_outline(f"{NEW_FOLDER_CMD} ({when})")
            self.s.check_equal(af.selected_tree_items(), [NEW_FOLDER], f"{when}: the new folder is selected")

    def drag(self, name, target, escape=False):
        a = self.s.centre(self.af.tree_cell(name))
        b = self.s.centre(self.af.tree_cell(target))
        if a == b:  # onto itself: across the item, well past the drag distance
            x, y, w, h = self.s.extents(self.af.tree_cell(name))
            a, b = (x + 8, y + h // 2), (x + w - 8, y + h // 2)
        self.s.drag(a, b, before_release=(lambda: self.s.xdo("key", "Escape")) if escape else None)

    def click_elsewhere_works(self, name, when):
        self.af.click_tree(name)
        try:
            harness.wait_until(lambda: self.af.selected_tree_items() == [name], timeout=3, what="the click")
        except harness.JourneyFailed:
            pass
        self.s.check_equal(self.af.selected_tree_items(), [name], f"a click on {name!r} after {when}")
        self.s.check_equal(self.af.text("Title"), name, f"list pane after clicking {name!r} ({when})")

    def run(self):
        s, af, app = self.s, self.af, self.af.app

        s.step("right after start-up")
        self.check_agreement("after start-up")

        s.step("new folder from the menu, new ad item from the tool bar")
        af.click_tree("旅行・ホテル")
        app.menu(EDIT_MENU, NEW_FOLDER_CMD)
        self.expected = add_child(self.expected, "旅行・ホテル", NEW_FOLDER)
        self.check_outline("a new folder from the menu")
        s.check_equal(af.selected_tree_items(), [NEW_FOLDER], "selection after a new folder")
        af.press_toolbar(NEW_ITEM_CMD)
        self.expected = add_child(self.expected, NEW_FOLDER, NEW_ITEM)
        self.items.add(NEW_ITEM)
        self.check_outline("a new ad item from the tool bar")
        s.check_equal(af.selected_tree_items(), [NEW_ITEM], "selection after a new ad item")

        s.step("new folder from the tool bar, new ad item from the menu")
        af.click_tree("ランキング")
        af.press_toolbar(NEW_FOLDER_CMD)
        self.expected = add_child(self.expected, "ランキング", NEW_FOLDER)
        af.click_tree("本・電子書籍")
        app.menu(EDIT_MENU, NEW_ITEM_CMD)
        self.expected = add_child(self.expected, "本・電子書籍", NEW_ITEM)
        self.check_outline("new folder (tool bar) and new ad item (menu)")

        s.step("copy and paste an ad item")
        af.click_tree("フッター広告")
        af.press_toolbar(COPY_ITEM_CMD)
        af.click_tree("旅行・ホテル")
        app.menu(EDIT_MENU, PASTE_ITEM_CMD)
        self.expected = add_child(self.expected, "旅行・ホテル", "フッター広告")
        self.check_outline("pasting an ad item")
        s.check(app.no_dialog(0.2), "pasting an ad item into a folder shows no message")

        s.step("delete an ad item: no question")
        af.press_toolbar(DELETE_CMD)  # the pasted copy is selected
        s.check(app.no_dialog(), "deleting an ad item asks nothing")
        self.expected = [e for e in self.expected if e != (2, "フッター広告")]
        self.check_outline("deleting the pasted ad item")

        s.step("delete a folder: the question, キャンセル then OK")
        af.click_tree("ランキング")
        app.menu(EDIT_MENU, DELETE_CMD)
        box = app.wait_dialog("フォルダを削除すると下層の全てが削除されます。")
        app.press(box, "キャンセル")
        self.check_outline("cancelling the folder's deletion")
        af.press_toolbar(DELETE_CMD)
        box = app.wait_dialog("フォルダを削除すると下層の全てが削除されます。")
        app.press(box, "OK")
        self.expected, _ = remove(self.expected, "ランキング")
        self.items.discard("今週の売れ筋")
        self.check_outline("deleting a folder")

        s.step("drag an ad item onto a folder")
        self.drag("記事下 ホテル", "本・電子書籍")
        s.check(app.no_dialog(0.3), "a move into a folder shows no message")
        self.expected = move(self.expected, "記事下 ホテル", "本・電子書籍")
        self.check_outline("dragging an ad item onto a folder")
        self.click_elsewhere_works("フッター広告", "a drop on a folder")

        s.step("drag an ad item onto an ad item: refused with a message")
        self.drag("サイドバー 旅行", "フッター広告")
        box = app.wait_dialog(CANNOT_MOVE)
        app.press(box, "OK")
        self.check_outline("a refused drop")
        self.click_elsewhere_works("電子書籍セール", "a refused drop")

        s.step("drag onto itself, and a drag cancelled with Escape")
        self.drag("サイドバー 旅行", "サイドバー 旅行")
        s.check(app.no_dialog(0.3), "a drop on the dragged item itself shows no message")
        self.check_outline("a drop on the item itself")
        self.click_elsewhere_works("フッター広告", "a drop on the item itself")
        self.drag("サイドバー 旅行", "本・電子書籍", escape=True)
        s.check(app.no_dialog(0.3), "a cancelled drag shows no message")
        self.check_outline("a drag cancelled with Escape")
        self.click_elsewhere_works("電子書籍セール", "a drag cancelled with Escape")

        s.step("Ctrl+click on the current tree item")
        af.click_tree("本・電子書籍")
        harness.settle(0.8)  # two quick clicks would make a double-click
        af.click_tree("本・電子書籍", modifiers="ctrl")
        self.check_agreement("after Ctrl+click on the current item")

        s.step("save, and read the file back")
        saved = af.save_with_ctrl_s()
        s.check_equal(dump_outline(saved), self.expected, "the saved library's tree")

        s.step("ファイル→新規")
        app.menu("ファイル(F)", "新規ファイルを作成(N)")
        harness.wait_until(lambda: len(af.tree_cells()) == 1, timeout=5, what="the new library's tree")
        self.check_agreement("after ファイル→新規")


if __name__ == "__main__":
    harness.run(lambda s: TreeJourney(s).run())
