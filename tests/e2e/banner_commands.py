"""Banner commands on the list pane: add, copy/paste, delete, sort, and Tab out of the list."""

import harness
from admanager import COLUMNS, AdManager, banner_row, dump_node
from dialogs import shown_item

EDIT_MENU = "編集(E)"
FIELDS = ["広告主", "広告名", "CPM", "CPC", "定率", "定額"]


def journey(s):
    af = AdManager.start(s)
    app = af.app
    item = dump_node(af.dump(), "電子書籍セール")
    rows = [banner_row(b) for b in item["banners"]]
    af.click_tree("電子書籍セール")
    af.wait_rows(rows, "rows of 電子書籍セール")

    def editor_follows_selection(when):
        """The editor shows the selected row's banner, or is disabled when no row is selected."""
        selected = af.selected_rows()
        if selected:
            row = af.rows()[selected[0]]
            try:
                harness.wait_until(lambda: list(af.editor_values().values()) == row[1:], timeout=2, what=when)
            except harness.JourneyFailed:
                s.check_equal(af.editor_values(), dict(zip(FIELDS, row[1:])), f"editor {when}")
        else:
            s.check("enabled" not in harness.states(af.field("広告主")),
                    f"editor {when}: no row is selected, yet 広告主 is enabled showing {af.text('広告主')!r}")

    s.step("the ASP box shows each banner's own ASP, marked when it is not registered")
    for row in range(len(rows)):
        af.click_row(row)
        asp = rows[row][0]
        shown = shown_item(s, af.field("ASP"))
        s.check(shown in (asp, asp + "（未登録）"), f"row {row}: the ASP box shows {shown!r} for {asp!r}")
    s.screenshot("asp-unregistered")

    s.step("add banners from the menu and the tool bar")
    app.menu(EDIT_MENU, "バナーの追加（B）")
    harness.wait_until(lambda: len(af.rows()) == len(rows) + 1, timeout=3, what="a row for the added banner")
    blank = af.rows()[-1]
    s.check_equal(blank[1:2] + blank[3:], ["", "0", "0", "0", "0"], "an added banner's advertiser and numbers")
    rows.append(blank)
    s.check_equal(af.selected_rows(), [len(rows) - 1], "the added banner's row is selected")
    af.replace_text("広告主", "Added One")
    rows[-1] = blank[:1] + ["Added One"] + blank[2:]
    af.wait_rows(rows, "rows after typing the added banner's 広告主")
    af.press_toolbar("バナーの追加（B）")
    rows.append(list(blank))
    af.wait_rows(rows, "rows after バナーの追加 from the tool bar")
    editor_follows_selection("after adding a banner")

    s.step("copy and paste a banner")
    af.click_row(0)
    af.press_toolbar("バナーのコピー(S)")
    app.menu(EDIT_MENU, "バナーの貼り付け(A)")
    rows.append(list(rows[0]))
    af.wait_rows(rows, "rows after pasting a copy of row 0")
    s.check_equal(af.selected_rows(), [len(rows) - 1], "the pasted banner's row is selected")
    editor_follows_selection("after pasting a banner")

    s.step("delete a row in the middle, then the last row")
    af.click_row(1)
    deleted = rows.pop(1)
    af.press_toolbar("バナーの削除（E）")
    af.wait_rows(rows, "rows after deleting row 1")
    editor_follows_selection("after deleting a middle row")
    s.check(af.text("広告主") != deleted[1] or deleted[1] in [r[1] for r in rows],
            f"the editor still shows the deleted banner ({deleted[1]!r})")
    af.click_row(len(rows) - 1)
    rows.pop()
    app.menu(EDIT_MENU, "バナーの削除（E）")
    af.wait_rows(rows, "rows after deleting the last row")
    editor_follows_selection("after deleting the last row")

    s.step("a click on a column header sorts the rows")
    af.click_row(0)
    chosen = af.rows()[0]
    for name in ("定率", "広告主"):
        column = COLUMNS.index(name)
        af.s.click(af.header(name))
        first = [r[column] for r in af.rows()]
        harness.settle(0.5)  # two quick clicks would be a double click
        af.s.click(af.header(name))
        second = [r[column] for r in af.rows()]
        s.check_equal(sorted(af.rows()), sorted(rows), f"rows are only reordered by sorting on {name}")
        if name == "定率":
            numbers = [int(v) for v in first]
            s.check(numbers in (sorted(numbers), sorted(numbers, reverse=True)),
                    f"rows sorted by {name} after a header click: {first}")
        s.check_equal(second, first[::-1], f"a second click on {name} reverses the order")
    s.check_equal([af.rows()[r] for r in af.selected_rows()], [chosen], "the selected banner stays selected")
    editor_follows_selection("after sorting")

    s.step("Tab from the list goes to the editor pane")
    af.click_row(1)
    s.key("Tab")
    asp = af.field("ASP")
    try:
        harness.wait_until(lambda: "focused" in harness.states(asp), timeout=2, what="the focus on ASP")
    except harness.JourneyFailed:
        pass
    s.check("focused" in harness.states(asp),
            f"Tab from the banner list: expected the editor's ASP box to get the focus; focused: "
            f"{[harness.describe(a) for a in app.focused_all()]}; selected rows {af.selected_rows()}")

if __name__ == "__main__":
    harness.run(journey)
