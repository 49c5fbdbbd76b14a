"""A change, the recovery copy, SIGKILL: the next start offers the copy, はい brings the change
back as unsaved work, and the library file stays as it was until the user saves."""

import glob
import os
import signal

import harness
from admanager import AdManager, dump_node

ITEM = "フッター広告"
QUESTION = "保存されていない変更が見つかりました。"


def journey(s):
    af = AdManager.start(s)
    app = af.app
    before = af.dump()
    copies = os.path.join(af.folder, "recovery", "*.zvr")

    s.step("a change, then the recovery copy appears")
    af.click_tree(ITEM)
    af.click_row(0)
    af.replace_text("広告主", "Recovered Advertiser")
    s.require(harness.wait_until(lambda: glob.glob(copies), timeout=20, what="a recovery copy"),
              "a recovery copy is written after a change")
    copy = glob.glob(copies)[0]
    s.check_equal(oct(os.stat(copy).st_mode & 0o777), oct(0o600), "the copy's mode")
    harness.settle(1.0)  # the copy is complete once renamed; let typing settle too

    s.step("the program is killed")
    os.killpg(app.proc.pid, signal.SIGKILL)
    app.proc.wait(10)
    s.check_equal(af.dump(), before, "the library file after the kill")

    s.step("the next start asks, はい restores the change as unsaved work")
    again = AdManager(s, s.start(af.folder, "zova_af", af.library), af.library)
    again.main = again.app.main_window()
    box = again.app.wait_dialog(QUESTION)
    text = " ".join(again.app.dialog_texts(box))
    s.check(os.path.basename(af.library) in text and "を復元しますか？" in text,
            f"the question names the library and asks to restore it: {text!r}")
    s.screenshot("recovery_question")
    # The association question follows at once: the count of dialogs stays the same.
    s.click(again.app.find("push button", "はい(Y)", within=box, timeout=3))
    association = again.app.wait_dialog("関連付け")
    again.app.press(association, "いいえ")
    again.click_tree(ITEM)
    again.click_row(0)
    s.check_equal(again.text("広告主"), "Recovered Advertiser", "the restored change in the editor")
    s.check_equal(again.dump(), before, "the library file before saving")

    s.step("saving writes the restored content and removes the copy")
    saved = again.save_with_ctrl_s()
    expected = dump_node(before, ITEM)["banners"][0]
    got = dump_node(saved, ITEM)["banners"][0]
    s.check_equal(got.get("advertiser"), "Recovered Advertiser", "the saved banner's advertiser")
    s.check_equal({k: v for k, v in got.items() if k != "advertiser"},
                  {k: v for k, v in expected.items() if k != "advertiser"}, "the rest of the saved banner")
    s.check(harness.wait_until(lambda: not glob.glob(copies), timeout=5, what="the copy to go"),
            f"no recovery copy after saving: {glob.glob(copies)}")


if __name__ == "__main__":
    harness.run(journey)
