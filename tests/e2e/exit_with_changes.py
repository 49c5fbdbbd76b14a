"""Leaving through ファイル→アプリケーションの終了 with unsaved changes."""

import os

import harness
from admanager import AdManager

EXIT = ("ファイル(F)", "アプリケーションの終了(X)")
QUESTION = "内容が更新されています。"


def journey(s):
    af = AdManager.start(s)
    app = af.app
    before = af.dump()
    work_page = os.path.join(af.folder, "html", "workpage.html")

    s.step("a change, with the tag preview on so the work page is written")
    af.click_tree("フッター広告")
    af.click_row(0)
    af.s.click(af.app.find("check box", "タグのプレビューを表示", within=af.main))
    s.require(harness.wait_until(lambda: os.path.exists(work_page), timeout=5, what="html/workpage.html"),
              "the tag preview writes html/workpage.html")
    af.replace_text("広告主", "Changed Advertiser")

    s.step("キャンセル keeps the program open")
    app.menu(*EXIT)
    app.press(app.wait_dialog(QUESTION), "キャンセル")
    s.check(app.no_dialog(1.0) and app.running(), "the program stays open after キャンセル")
    s.check_equal(af.text("広告主"), "Changed Advertiser", "the change is still there after キャンセル")

    s.step("いいえ ends the program without saving, and it cleans up")
    app.menu(*EXIT)
    app.press(app.wait_dialog(QUESTION), "いいえ")
    code = app.wait_exit()
    s.check_equal(code, 0, "exit code")
    s.check(os.path.exists(os.path.join(af.folder, "zova_af.ini")), "zova_af.ini is written in the program folder")
    for page in ("workpage.html", "prevpage.html"):
        s.check(not os.path.exists(os.path.join(af.folder, "html", page)), f"html/{page} is removed at exit")
    s.check_equal(af.dump(), before, "the library after answering いいえ")


if __name__ == "__main__":
    harness.run(journey)
