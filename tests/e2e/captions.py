"""What the X server shows as window captions, and the texts of a message box's buttons."""

import subprocess

import harness
from admanager import AdManager
from dialogs import x_window

SAVE_QUESTION = "内容が更新されています。\n保存しますか？"


def journey(s):
    af = AdManager.start(s, answer_association=None)
    app = af.app

    s.step("the association prompt and the main window")
    box = app.wait_dialog("関連付け")
    af.wait_caption("Zelvor管理 - アプリケーションの関連付け")
    app.press(box, "いいえ")
    af.wait_caption("Zelvor管理 - sample.zva")
    s.check(not any(c.endswith("— Zelvor管理") for c in af.captions()),
            f"no caption carries the program's name as a suffix: {af.captions()}")

    s.step("the save question's caption, text and buttons")
    af.click_tree("フッター広告")
    af.replace_text("Comment", "changed")
    app.menu("ファイル(F)", "新規ファイルを作成(N)")
    box = app.wait_dialog("内容が更新されています。")
    s.check(any(t == SAVE_QUESTION for t in app.dialog_texts(box)),
            f"the save question reads {SAVE_QUESTION!r}: found {app.dialog_texts(box)}")
    # As on a Japanese desktop: the mnemonic follows the text.
    s.check_equal(app.dialog_buttons(box), ["はい(Y)", "いいえ(N)", "キャンセル"], "the save question's buttons")
    af.wait_caption("Zelvor管理")
    app.press(box, "キャンセル")
    af.wait_caption("Zelvor管理 - sample.zva")

    s.step("the about box")
    app.menu("ヘルプ(H)", "バージョン情報(A)...")
    about = app.wait_dialog()
    af.wait_caption("Zelvor管理 のバージョン情報")
    # The about box takes the program's icon, as every window does.
    for caption in ("Zelvor管理 - sample.zva", "Zelvor管理 のバージョン情報"):
        wid = x_window(s, app.pid, caption)
        icon = subprocess.run(["xprop", "-id", wid, "_NET_WM_ICON"], capture_output=True, text=True,
                              env=s.env).stdout
        s.check("_NET_WM_ICON(CARDINAL) = " in icon, f"{caption!r} has an icon: {harness.short(icon)}")
    s.key("Escape")
    harness.wait_until(lambda: not app.dialogs(), what="the about box to close")

    s.step("Vessilo's window")
    vessilo = s.start(af.folder, "Vessilo")
    vessilo.main_window()
    expected = "Zelvor管理 CSSメーカー - 無題"
    try:
        harness.wait_until(lambda: expected in s.window_names(vessilo.pid), timeout=3, what="Vessilo's caption")
    except harness.JourneyFailed:
        s.check(False, f"Vessilo's caption: expected {expected!r}, found {s.window_names(vessilo.pid)}")
    del about


if __name__ == "__main__":
    harness.run(journey)
