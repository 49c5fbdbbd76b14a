"""Undo and redo with real input: a deleted ad item, typing, a move, a banner row dragged
to the top, and leaving at the saved state without a question."""

import os
import subprocess

import harness
from admanager import AdManager, banner_row, dump_node, dump_outline

EDIT = "編集(E)"
ITEM = "電子書籍セール"
QUESTION = "内容が更新されています。"


def first_cell(s, af, path):
    """The first cell of the item's block as zova generates it from the saved file (CP932)."""
    r = subprocess.run([os.path.join(af.folder, "zova"), "generate", "--stdout", "--no-row-limit", "--columns", "1",
                        "--layout", "1", "0", "0", af.library, path], capture_output=True, env=s.env, timeout=30)
    cells = r.stdout.decode("cp932", errors="replace").split("<td")[1:]
    return cells[0] if cells else r.stderr.decode(errors="replace")


def journey(s):
    af = AdManager.start(s)
    app = af.app
    before = af.dump()
    outline = af.outline()

    s.step("delete an ad item with its banners, then Ctrl+Z in the tree")
    af.click_tree(ITEM)
    af.press_toolbar("項目の削除(D)")
    harness.wait_until(lambda: ITEM not in [c.name for c in af.tree_cells()], timeout=3, what="the item to go")
    app.open_menu(EDIT)
    undo = app.find_menu_item("元に戻す - 項目の削除(U)")
    s.check("enabled" in harness.states(undo), "元に戻す names the step and is enabled")
    s.screenshot("history_edit_menu")
    app.close_menu()
    af.click_tree("フッター広告")
    s.key("ctrl+z")
    try:
        harness.wait_until(lambda: af.outline() == outline, timeout=3, what="the item back")
    except harness.JourneyFailed:
        s.check_equal(af.outline(), outline, "the tree after Ctrl+Z")
    s.check_equal(af.selected_tree_items(), [ITEM], "the restored item is selected again")
    s.check_equal(af.save_with_ctrl_s(), before, "the saved library after undoing the deletion")

    s.step("typing a banner's name is one step")
    af.click_row(0)
    name = af.text("広告名")
    af.replace_text("広告名", "Typed Name")
    af.click_tree(ITEM)  # the focus leaves the field: the step is complete
    s.key("ctrl+z")
    try:
        harness.wait_until(lambda: af.text("広告名") == name, timeout=3, what="the name back")
    except harness.JourneyFailed:
        s.check_equal(af.text("広告名"), name, "広告名 after one Ctrl+Z")
    s.check_equal(af.rows()[0][2], name, "the list row after one Ctrl+Z")

    s.step("drag an ad item into a folder, undo from the menu, redo with Ctrl+Y")
    start = af.s.centre(af.tree_cell("フッター広告"))
    end = af.s.centre(af.tree_cell("本・電子書籍"))
    af.s.drag(start, end)
    moved = [(lvl, n) for lvl, n in outline if n != "フッター広告"]
    at = max(i for i, (lvl, n) in enumerate(moved) if n in ("本・電子書籍", "ランキング", "今週の売れ筋", ITEM))
    moved.insert(at + 1, (2, "フッター広告"))
    harness.wait_until(lambda: af.outline() == moved, timeout=3, what="the move")
    app.menu(EDIT, "元に戻す - 項目の移動(U)")
    harness.wait_until(lambda: af.outline() == outline, timeout=3, what="the move undone")
    af.click_tree("旅行・ホテル")
    s.key("ctrl+y")
    try:
        harness.wait_until(lambda: af.outline() == moved, timeout=3, what="the move redone")
    except harness.JourneyFailed:
        s.check_equal(af.outline(), moved, "the tree after Ctrl+Y")
    s.key("ctrl+z")
    harness.wait_until(lambda: af.outline() == outline, timeout=3, what="the move undone again")

    s.step("drag a banner row to the top: the block's first cell follows, undo restores the order")
    af.click_tree(ITEM)
    rows = [banner_row(b) for b in dump_node(before, ITEM)["banners"]]
    af.wait_rows(rows, "rows of the item")
    af.s.drag(af.s.centre(af.cell(2, 2)), af.s.centre(af.cell(0, 2)))
    reordered = [rows[2], rows[0], rows[1]]
    af.wait_rows(reordered, "rows after dragging the last row to the top")
    s.screenshot("history_banner_moved")
    s.check_equal(af.selected_rows(), [0], "the dragged banner stays selected")
    af.save_with_ctrl_s()
    first = first_cell(s, af, "本・電子書籍/" + ITEM)
    s.check(rows[2][2] in first, f"the generated block's first cell shows {rows[2][2]!r}: {first[:120]!r}")
    s.key("ctrl+z")
    af.wait_rows(rows, "rows after undoing the move")

    s.step("undo back to the saved state, then leave: no question")
    s.key("ctrl+y")  # the saved state has the dragged order
    af.wait_rows(reordered, "rows at the saved state")
    app.menu("ファイル(F)", "アプリケーションの終了(X)")
    s.check(app.no_dialog(1.5) or not app.running(), "no save question at the saved state")
    for d in app.dialogs():
        s.check(False, f"unexpected question: {app.dialog_texts(d)}")
        app.press(d, "いいえ")
    s.check_equal(app.wait_exit(), 0, "exit code")
    s.check_equal(dump_outline(af.dump()), dump_outline(before), "the saved tree")


if __name__ == "__main__":
    harness.run(journey)
