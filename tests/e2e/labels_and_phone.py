"""Opt-in output: the advertising label set in 動作設定 and shown in the preview, a broken banner tag marked in
the list and in タグの確認, and Vessilo's label style, スマートフォン対応 and its PC / スマートフォン preview."""

import glob
import os

import harness
from admanager import AdManager
from dialogs import area_picture, button, choose, colours, gone, ini_section, labelled_combo, wait_window
from harness import find_all, role_name, states, text_of, wait_until

SETTINGS_CAPTION = "Zelvor管理 - 設定"
GENERATE_CAPTION = "Zelvor管理 - HTML生成"
CHECK_CAPTION = "Zelvor管理 - タグの確認"
ITEM = "サイドバー 旅行"
LABEL_BOX = "広告であることを示すラベルを付ける"
BROKEN_TAG = '<a href="https://example.com/ad/1" rel="nofollow"><img src="http://example.com/b.png" alt="b" width="1" height="1">'
STYLE_TITLE = "Zelvor管理 CSSメーカー"


def check_box(app, within, name):
    return app.find("check box", name, within=within)


def tick(s, box):
    if "checked" not in states(box):
        s.click(box)
        wait_until(lambda: "checked" in states(box), timeout=3, what=f"{box.name!r} to be ticked")


class LabelJourney:
    def __init__(self, s):
        self.s = s
        self.af = AdManager.start(s)
        self.app = self.af.app

    def settings(self):
        s, app = self.s, self.app
        s.step("動作設定: label PR above the block, rel=sponsored; the label's controls follow the box")
        app.menu("ツール(T)", "動作設定(S)...")
        dlg = wait_window(app, SETTINGS_CAPTION)
        text = app.find("combo box", "ラベルの文字", within=dlg)
        s.check(not harness.is_enabled(text), "ラベルの文字 is disabled while the label is off")
        tick(s, check_box(app, dlg, LABEL_BOX))
        wait_until(lambda: harness.is_enabled(text), timeout=3, what="ラベルの文字 to be enabled")
        # The text is the user's: typed over the offered word.
        s.click(text)
        s.key("ctrl+a")
        s.type("PR")
        choose(s, app, app.find("combo box", "ラベルの位置", within=dlg), "ブロックの上")
        tick(s, check_box(app, dlg, 'rel のないリンクに rel="sponsored" を付ける'))
        s.screenshot("settings-dialog")
        s.click(button(app, dlg, "OK"))
        gone(app, dlg)

    def preview(self):
        s, app = self.s, self.app
        s.step("HTML生成 プレビュー: the label above the block, links marked sponsored")
        self.af.click_tree(ITEM)
        s.click(button(app, self.af.main, "HTML生成..."))
        dlg = wait_window(app, GENERATE_CAPTION)
        s.click(button(app, dlg, "プレビュー"))
        html = app.find("text", "HTML", within=dlg)
        wait_until(lambda: text_of(html), what="the HTML box to fill")
        block = text_of(html)
        s.check('<div class="' in block and '_label">PR</div><table' in block, f"label above the table: {block[:80]}")
        s.check('<a rel="sponsored" ' not in block, "links that have rel keep it")
        page = os.path.join(self.af.folder, "html", "prevpage.html")
        with open(page, "rb") as f:
            s.check('_label">PR</div>' in f.read().decode("cp932"), "the preview page holds the label")
        area = s.extents(app.find("filler", "プレビュー表示", within=dlg))
        try:
            wait_until(lambda: colours(area_picture(s, area)) > 8, timeout=10, what="the browser to draw the block")
        except harness.JourneyFailed as e:
            s.check(False, str(e))
        s.screenshot("label-preview")
        s.click(button(app, dlg, "終了"))
        gone(app, dlg)

    def marker(self):
        s, af = self.s, self.af
        s.step("a broken tag is marked in the banner list with its reasons")
        af.click_row(0)
        af.replace_text("タグ", paste=BROKEN_TAG)
        s.click(af.field("広告名"))  # leaving the tag edit
        try:
            wait_until(lambda: "http://" in (af.cell(0, 0).description or ""), timeout=5,
                       what="the row's reasons to name the http:// image")
            s.check(True, "row marked")
        except harness.JourneyFailed as e:
            s.check(False, str(e))
        description = af.cell(0, 0).description or ""
        s.check("閉じられていない要素" in description, f"the unclosed link is a reason too: {description!r}")
        s.screenshot("list-marker")

    def report(self):
        s, app = self.s, self.app
        s.step("タグの確認: the whole library, one row per finding")
        app.menu("ツール(T)", "タグの確認(K)...")
        dlg = wait_window(app, CHECK_CAPTION)
        labels = [a.name for a in find_all(dlg, role="label")]
        s.check(any("エラー" in n and "件のバナーを確認しました" in n for n in labels), f"summary: {labels}")
        table = app.find("table", "確認結果", within=dlg).queryTable()
        rows = [[table.getAccessibleAt(r, c).name for c in range(table.nColumns)] for r in range(table.nRows)]
        s.check(any(r[0].endswith(ITEM) and r[3] == "エラー" and "http://" in r[4] for r in rows),
                f"the http:// image is an error row: {rows}")
        s.screenshot("tag-check-report")
        s.step("a double-click on a finding closes the report on its banner")
        row = next(i for i, r in enumerate(rows) if r[0].endswith(ITEM) and r[3] == "エラー")
        table_acc = app.find("table", "確認結果", within=dlg)
        s.move(*s.centre(table_acc.queryTable().getAccessibleAt(row, 2)))
        s.xdo("click", "--repeat", "2", "--delay", "80", "1")
        gone(app, dlg)
        s.check_equal(self.af.selected_tree_items(), [ITEM], "the tree after the double-click")
        s.check_equal(self.af.selected_rows(), [int(rows[row][1]) - 1], "the banner row after the double-click")
        s.step("Enter on a finding does the same")
        app.menu("ツール(T)", "タグの確認(K)...")
        dlg = wait_window(app, CHECK_CAPTION)
        s.click(app.find("table", "確認結果", within=dlg).queryTable().getAccessibleAt(row, 2))
        s.key("Return")
        gone(app, dlg)
        s.check_equal(self.af.selected_rows(), [int(rows[row][1]) - 1], "the banner row after Enter")

    def exit(self):
        s, app = self.s, self.app
        s.step("exit without saving the library: the settings file keeps the new keys")
        app.menu("ファイル(F)", "アプリケーションの終了(X)")
        box = app.wait_dialog("保存")
        app.press(box, "いいえ")
        s.check_equal(app.wait_exit(), 0, "exit code of zova_af")
        settings = ini_section(os.path.join(self.af.folder, "zova_af.ini"), "ZOVA_AF_SETTING")
        s.check_equal(settings.get("ad_label"), "1", "ad_label")
        s.check_equal(settings.get("ad_label_text"), "PR", "ad_label_text")
        s.check_equal(settings.get("sponsored_rel"), "1", "sponsored_rel")
        s.check("lazy_images" not in settings, "a setting left at its default is not written")

    def run(self):
        self.settings()
        self.preview()
        self.marker()
        self.report()
        self.exit()


class PhoneJourney:
    def __init__(self, s):
        self.s = s
        self.folder = s.program_folder("vessilo")
        self.html = os.path.join(self.folder, "html")
        self.app = s.start(self.folder, "Vessilo")
        self.main = self.app.main_window()

    def read(self, suffix):
        paths = glob.glob(os.path.join(self.html, "css*" + suffix))
        if len(paths) != 1:
            return ""
        with open(paths[0], "rb") as f:
            return f.read().decode("cp932", errors="replace")

    def follows(self, suffix, what):
        try:
            wait_until(lambda: what in self.read(suffix), timeout=5, what=f"the preview {suffix} to hold {what!r}")
            self.s.check(True, what)
        except harness.JourneyFailed as e:
            self.s.check(False, str(e))

    def page(self, tab):
        self.s.click(self.app.find("page tab", tab, within=self.main))
        harness.settle(0.3)

    def showing(self, role, name):
        return self.app.find(role, name, within=self.main, pred=lambda a: "showing" in states(a))

    def preview_width(self):
        frames = [w for w in find_all(self.main, role="filler") if "showing" in states(w)
                  and any(role_name(c) == "document web" for c in harness.children(w))]
        return self.s.extents(frames[0])[2] if frames else -1

    def run(self):
        s, app = self.s, self.app
        s.step("Vessilo 全体の設定: スマートフォン対応, two to a row")
        wait_until(lambda: self.read(".css"), timeout=10, what="the preview files")
        self.page("全体の設定")
        tick(s, self.showing("check box", "スマートフォン対応"))
        self.follows(".css", "@media screen and (max-width: 600px)")
        choose(s, app, self.showing("combo box", "スマートフォンの列数"), "２列")
        self.follows(".css", "flex: 0 0 50%;")

        s.step("広告の設定(詳細): the label's background colour")
        self.page("広告の設定(詳細)")
        tick(s, self.showing("check box", "ラベルの背景色を指定"))
        self.follows(".css", "div.cssprev_label {")
        self.follows(".html", '<div class="cssprev_label">')

        s.step("PC / スマートフォン beside the preview")
        wide = self.preview_width()
        s.screenshot("vessilo-pc")
        s.click(self.showing("radio button", "プレビュー スマートフォン"))
        try:
            wait_until(lambda: self.preview_width() == 375, timeout=5, what="the preview to narrow to 375 px")
            s.check(True, "phone width")
        except harness.JourneyFailed as e:
            s.check(False, f"{e} (width {self.preview_width()})")
        harness.settle(1.0)
        s.screenshot("vessilo-phone")
        s.click(self.showing("radio button", "プレビュー PC"))
        wait_until(lambda: self.preview_width() == wide, timeout=5, what="the preview back to its width")

        s.step("exit without saving")
        app.menu("ファイル(F)", "アプリケーションの終了(X)")
        box = app.wait_dialog("保存しますか")
        app.press(box, "いいえ")
        s.check_equal(app.wait_exit(), 0, "exit code of Vessilo")


def journey(s):
    LabelJourney(s).run()
    PhoneJourney(s).run()


if __name__ == "__main__":
    harness.run(journey)
