"""What the X server shows as window captions, and the texts of a message box's buttons."""

import os
import shutil
import subprocess

import harness
from admanager import AdManager
from dialogs import x_window

SAVE_QUESTION = "内容が更新されています。\n保存しますか？"
DESKTOP = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "resources", "desktop")


def startup_wm_class(entry):
    """The StartupWMClass of one of our desktop entries."""
    with open(os.path.join(DESKTOP, entry), encoding="utf-8") as f:
        for line in f:
            if line.startswith("StartupWMClass="):
                return line.strip().split("=", 1)[1]
    raise harness.JourneyFailed(f"{entry} names no StartupWMClass")


def wm_class(s, wid):
    """The class part of a window's WM_CLASS, as docks match it against StartupWMClass."""
    out = subprocess.run(["xprop", "-id", wid, "WM_CLASS"], capture_output=True, text=True, env=s.env).stdout
    # WM_CLASS(STRING) = "instance", "class"
    parts = out.split("=", 1)[-1].split(",")
    return parts[-1].strip().strip('"') if len(parts) == 2 else out.strip()


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

    s.step("the main window belongs to its launcher")
    s.check_equal(wm_class(s, x_window(s, app.pid, "Zelvor管理 - sample.zva")),
                  startup_wm_class("jp.zelvor.zova_af.desktop"), "zova_af's window class")

    s.step("Vessilo's window")
    vessilo = s.start(af.folder, "Vessilo")
    vessilo.main_window()
    expected = "Zelvor管理 CSSメーカー - 無題"
    try:
        harness.wait_until(lambda: expected in s.window_names(vessilo.pid), timeout=3, what="Vessilo's caption")
    except harness.JourneyFailed:
        s.check(False, f"Vessilo's caption: expected {expected!r}, found {s.window_names(vessilo.pid)}")
    s.check_equal(wm_class(s, x_window(s, vessilo.pid, expected)), startup_wm_class("jp.zelvor.Vessilo.desktop"),
                  "Vessilo's window class")

    s.step("a style file named on Vessilo's command line opens, as a double-click does")
    style = os.path.join(s.work, "スタイル.zvc")
    shutil.copy(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data", "style_all_on.zvc"), style)
    opened = s.start(af.folder, "Vessilo", style, name="Vessilo")
    expected = "Zelvor管理 CSSメーカー - スタイル.zvc"
    try:
        harness.wait_until(lambda: expected in s.window_names(opened.pid), timeout=10, what="the style file's caption")
    except harness.JourneyFailed:
        s.check(False, f"expected {expected!r}, found {s.window_names(opened.pid)}")
    del about


if __name__ == "__main__":
    harness.run(journey)
