"""Vessilo: a setting on each of the five pages, the preview following, save, reopen, CSS export, clean exit."""

import glob
import os

import harness
from dialogs import (area_picture, button, choose, choose_file, edit, gone, labelled_combo, message_and_ok,
                     replace_text, wait_window, x_window)
from harness import children, find_all, role_name, states, text_of, wait_until

APP_TITLE = "Zelvor管理 CSSメーカー"
FILE_MENU = "ファイル(F)"
EXPORT_CAPTION = "Zelvor管理 CSSメーカー CSS出力"


class StyleJourney:
    def __init__(self, s):
        self.s = s
        self.folder = s.program_folder()
        self.html = os.path.join(self.folder, "html")
        self.shipped = sorted(os.listdir(self.html))
        self.app = s.start(self.folder, "Vessilo")
        self.main = self.app.main_window()
        self.style = os.path.join(s.work, "style.zvc")

    def preview_files(self):
        return sorted(glob.glob(os.path.join(self.html, "css*.html")) + glob.glob(os.path.join(self.html, "css*.css")))

    def read(self, suffix):
        paths = [p for p in self.preview_files() if p.endswith(suffix)]
        if len(paths) != 1:
            return ""
        with open(paths[0], "rb") as f:
            return f.read().decode("cp932", errors="replace")

    def page(self, tab):
        self.s.click(self.app.find("page tab", tab, within=self.main))
        caption = tab.replace("(詳細)", "（詳細）")
        return wait_until(lambda: next((f for f in find_all(self.main, role="filler")
                                        if "showing" in states(f) and any(c.name == caption and role_name(c) == "label"
                                                                          for c in children(f))), None),
                          timeout=3, what=f"the page {tab!r}")

    def nth(self, page, role, name, n=0):
        hits = [h for h in find_all(page, role=role, name=name) if "showing" in states(h)]
        if len(hits) <= n:
            raise harness.JourneyFailed(f"no {role} number {n + 1} named {name!r} on the page")
        return hits[n]

    def tick(self, page, name, n=0):
        box = self.nth(page, "check box", name, n)
        if "checked" not in states(box):
            self.s.click(box)
            wait_until(lambda: "checked" in states(box), timeout=3, what=f"{name!r} to be ticked")

    def type_number(self, page, name, value, n=0):
        """Types into an edit and leaves it with Tab: the record takes it when the edit loses the focus."""
        replace_text(self.s, self.nth(page, "text", name, n), value)
        self.s.key("Tab")

    def follows(self, suffix, what, present=True):
        expected = f"the preview {suffix} {'holds' if present else 'no longer holds'} {what!r}"
        try:
            wait_until(lambda: (what in self.read(suffix)) == present, timeout=5, what=expected)
            self.s.check(True, expected)
        except harness.JourneyFailed as e:
            self.s.check(False, str(e))

    # ------------------------------------------------------------ steps

    def start(self):
        s = self.s
        s.step("caption and preview files at start")
        x_window(s, self.app.pid, f"{APP_TITLE} - 無題")
        s.check(True, "caption")
        wait_until(lambda: self.read(".css") and self.read(".html"), timeout=10, what="the preview files")

    def preview_area(self):
        # The browser is the widget right of the pages; its document carries no name.
        frames = [w for w in find_all(self.main, role="filler") if "showing" in states(w)
                  and any(role_name(c) == "document web" for c in children(w))]
        return frames[0] if frames else self.main

    def five_pages(self):
        s = self.s
        s.step("全体の設定: 幅 345 px and 太字")
        p = self.page("全体の設定")
        self.tick(p, "幅を指定")
        s.step("全体の設定: a number field takes digits within its range, a colour field no ; { } \" '")
        width = self.nth(p, "text", "幅")
        replace_text(s, width, "abc")
        s.check_equal(text_of(width), "640", "幅 after typing abc")
        self.type_number(p, "幅", "99999999")
        s.check_equal(text_of(width), "9999", "幅 after typing 99999999")
        self.follows(".css", "width: 9999px;")
        self.tick(p, "文字色を指定")
        self.type_number(p, "文字色", '#12";}34')
        s.check_equal(text_of(self.nth(p, "text", "文字色")), "#1234", "文字色 after typing #12\";}34")
        self.follows(".css", "color: #1234;")
        self.type_number(p, "幅", "345")
        self.tick(p, "太字")
        self.follows(".css", "width: 345px;")
        self.follows(".css", "font-weight: bold;")

        s.step("広告の設定: 横位置 right")
        p = self.page("広告の設定")
        self.tick(p, "横位置を指定")
        choose(s, self.app, self.nth(p, "combo box", "横位置"), "right")
        self.follows(".css", "text-align: right;")

        s.step("広告の設定(詳細): the title's 文字色")
        p = self.page("広告の設定(詳細)")
        self.tick(p, "タイトルの文字色を指定")
        self.type_number(p, "タイトルの文字色", "#123456")
        self.follows(".css", "color: #123456;")

        s.step("PRリンクの設定: PRリンクを使用しない toggled")
        p = self.page("PRリンクの設定")
        used = "_copyright" in self.read(".css")
        s.click(self.nth(p, "check box", "PRリンクを使用しない"))
        self.follows(".css", "_copyright", present=not used)

        s.step("プレビュー設定: ３列, and the browser shows it")
        p = self.page("プレビュー設定")
        before = area_picture(s, s.extents(self.preview_area()))
        html = self.read(".html")
        choose(s, self.app, labelled_combo(p, "列　数"), "３列")
        try:
            wait_until(lambda: self.read(".html") != html, timeout=5, what="the preview page to change")
            wait_until(lambda: area_picture(s, s.extents(self.preview_area())) != before, timeout=5,
                       what="the browser to show the new page")
        except harness.JourneyFailed as e:
            s.check(False, str(e))
        s.screenshot("three-columns")

    def save_and_reopen(self):
        s, app = self.s, self.app
        s.step("名前を付けて保存 to a typed path, 新規作成, 開く: the settings come back")
        app.menu(FILE_MENU, "名前を付けて保存(A)...")
        choose_file(s, app, self.style[:-len(".zvc")])
        s.check(os.path.exists(self.style), f"{self.style} is written (the .zvc is added)")
        x_window(s, app.pid, f"{APP_TITLE} - style.zvc")
        app.menu(FILE_MENU, "新規作成(N)")
        x_window(s, app.pid, f"{APP_TITLE} - 無題")
        p = self.page("全体の設定")
        wait_until(lambda: text_of(self.nth(p, "text", "幅")) == "640", timeout=3, what="幅 back to 640 after 新規作成")
        app.menu(FILE_MENU, "開く(O)...")
        choose_file(s, app, self.style)
        x_window(s, app.pid, f"{APP_TITLE} - style.zvc")
        s.check_equal(text_of(self.nth(p, "text", "幅")), "345", "幅 after opening the saved file")
        s.check("checked" in states(self.nth(p, "check box", "太字")), "太字 ticked after opening the saved file")
        self.follows(".css", "width: 345px;")

    def export(self):
        s, app = self.s, self.app
        s.step("CSSファイル出力: the file equals `zova css`")
        app.menu(FILE_MENU, "CSSファイル出力(C)")
        dlg = wait_window(app, EXPORT_CAPTION)
        exported = os.path.join(s.work, "export.css")
        replace_text(s, edit(app, dlg, "出力先"), exported)
        replace_text(s, edit(app, dlg, "タグClass名"), "zova")
        s.click(button(app, dlg, "CSS出力"))
        message_and_ok(app, "データをCSSファイルへ保存しました。")
        gone(app, dlg)
        expected = os.path.join(s.work, "expected.css")
        s.zova(self.folder, "css", self.style, "--tag", "zova", "--out", expected)
        if s.check(os.path.exists(exported), f"{exported} is written"):
            with open(exported, "rb") as a, open(expected, "rb") as b:
                s.check_equal(a.read(), b.read(), "exported CSS against `zova css`")

    def exit(self):
        s, app = self.s, self.app
        s.step("exit: the preview files go")
        app.menu(FILE_MENU, "アプリケーションの終了(X)")
        # The export remembered its path and class name: that is a change to save or not.
        if app.dialogs():
            box = app.wait_dialog("保存しますか")
            app.press(box, "いいえ")
        s.check_equal(app.wait_exit(), 0, "exit code of Vessilo")
        s.check_equal(sorted(os.listdir(self.html)), self.shipped, "files left in html/")

    def run(self):
        self.start()
        self.five_pages()
        self.save_and_reopen()
        self.export()
        self.exit()


def journey(s):
    StyleJourney(s).run()


if __name__ == "__main__":
    harness.run(journey)
