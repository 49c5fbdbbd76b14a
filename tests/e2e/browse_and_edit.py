"""Browse the sample library with the mouse, edit a banner, save, read the file back."""

import harness
from admanager import AdManager, banner_row, dump_node, dump_outline

EMOJI_TEXT = "ABC😀DEF𠮷"  # two characters that Shift_JIS (CP932) cannot hold
AS_REFERENCES = "ABC&#x1F600;DEF&#x20BB7;"


def crlf_bytes(text):
    return len(text.replace("\n", "\r\n").encode("cp932"))


def journey(s):
    af = AdManager.start(s)
    lib = af.dump()

    s.step("the tree shows the library")
    s.check_equal(af.outline(), dump_outline(lib), "tree items (level, title)")

    s.step("first start: the version page cannot be reached (no network here), so the top page shows")
    af.click_tree(af.outline()[0][1])

    view = af.app.find(None, "タグのプレビュー", within=af.main)

    def page_title():
        return view.description
    try:
        harness.wait_until(lambda: page_title() == "Zelvor管理", timeout=15, what="the top page in the editor pane")
    except harness.JourneyFailed:
        s.check(False, f"the editor pane shows the top page, not an error page: {page_title()!r}")

    s.step("an ad item clicked in the tree lists its banners")
    item = dump_node(lib, "サイドバー 旅行")
    af.click_tree("サイドバー 旅行")
    af.wait_rows([banner_row(b) for b in item["banners"]], "banner rows of the clicked item")
    s.check_equal(af.selected_tree_items(), ["サイドバー 旅行"], "selected tree items")
    s.check_equal(af.text("Title"), "サイドバー 旅行", "Title of the list pane")

    s.step("a banner row clicked shows its fields")
    banner = item["banners"][1]
    af.click_row(1)
    s.check_equal(af.selected_rows(), [1], "selected banner rows")
    expected = dict(zip(["広告主", "広告名", "CPM", "CPC", "定率", "定額"],
                        banner_row(banner)[1:]))
    harness.wait_until(lambda: af.editor_values() == expected, timeout=3, what="the editor to show the banner")
    s.check_equal(af.text("コメント"), banner["comment"], "コメント")
    s.check_equal(af.text("タグ"), banner["tag"], "タグ")

    s.step("typing into 広告主 and 広告名 updates the row")
    af.replace_text("広告主", "Acme Travel")
    af.replace_text("広告名", "Summer Sale 2024")
    row = af.rows()[1]
    s.check_equal(row[1:3], ["Acme Travel", "Summer Sale 2024"], "list row after typing")
    saved = dump_node(af.save_with_ctrl_s(), "サイドバー 旅行")["banners"][1]
    s.check_equal([saved["advertiser"], saved["name"]], ["Acme Travel", "Summer Sale 2024"], "saved 広告主 and 広告名")

    s.step("characters Shift_JIS cannot hold: refused in 広告主, references elsewhere")
    af.replace_text("広告主", paste=EMOJI_TEXT)
    s.check_equal(af.text("広告主"), "ABCDEF", "広告主 after pasting an emoji text")
    s.check_equal(af.rows()[1][1], "ABCDEF", "list row's 広告主 after the paste")
    for label in ("広告名", "コメント", "タグ"):
        af.replace_text(label, paste=EMOJI_TEXT)
        s.check_equal(af.text(label), AS_REFERENCES, f"{label} after pasting an emoji text")

    s.step("text over the limit is cut as it is entered")
    af.replace_text("広告名", paste="x" * 300)
    s.check_equal(len(af.text("広告名")), 254, "characters kept in 広告名 from 300 ASCII")
    af.replace_text("広告名", paste="あ" * 200)
    s.check_equal(af.text("広告名"), "あ" * 127, "広告名 from 200 two-byte characters (254 bytes kept)")
    af.replace_text("コメント", paste="ab\n" * 800)
    kept = af.text("コメント")
    s.check(crlf_bytes(kept) <= 2046 and crlf_bytes(kept) >= 2044,
            f"コメント keeps 2046 bytes with CR LF line breaks; it shows {crlf_bytes(kept)} bytes")
    af.replace_text("タグ", paste="😀" * 300)
    tag = af.text("タグ")
    s.check(len(tag.encode("cp932", errors="replace")) <= 2046 and "😀" not in tag,
            f"タグ keeps at most 2046 bytes, emoji as references; it shows {len(tag)} characters")

    s.step("what the edits show is what is saved")
    saved = dump_node(af.save_with_ctrl_s(), "サイドバー 旅行")["banners"][1]
    for label, key in (("広告主", "advertiser"), ("広告名", "name"), ("コメント", "comment"), ("タグ", "tag")):
        s.check_equal(af.text(label), saved[key].replace("\r\n", "\n"), f"{label} shown against saved")


if __name__ == "__main__":
    harness.run(journey)
