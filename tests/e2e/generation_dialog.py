"""The HTML generation dialog: modal, preview, local output, upload to a local FTP server, resizing, Enter."""

import os

import harness
from admanager import AdManager, dump_node
from dialogs import (FtpServer, area_picture, button, choose, colours, edit, focused_in, gone, list_lines,
                     labelled_combo, message_and_ok, place_window, popup_showing, replace_text, wait_window, x_geometry, x_window)
from harness import role_name, states, text_of, wait_until

CAPTION = "Zelvor管理 - HTML生成"
UPLOAD_CAPTION = "Zelvor管理 - FTP出力"
HOST_CAPTION = "Zelvor管理 - FTP設定"
ITEM = "サイドバー 旅行"
EMPTY_ITEM = "新しいデータ"
SAVED = "ローカルファイルに保存しました。"
NO_PAGE = "バナーがないため、表示するページがありません。"
UPLOAD_LOG = ["アップロードを開始します。", "サーバへ接続しています...", "サーバへ接続しました。",
              "カレントディレクトリを移動します。", "pub ディレクトリへ移動しました。",
              "ファイルをアップロードしています...", None, "ファイルをアップロードしました。",
              "サーバへの接続を切断しています...", "サーバへの接続を切断しました。", "アップロードが正常に終了しました。"]


class GenerationJourney:
    def __init__(self, s):
        self.s = s
        self.af = AdManager.start(s)
        self.app = self.af.app
        self.item = dump_node(self.af.dump(), ITEM)
        self.out = os.path.join(s.work, "out")
        os.makedirs(self.out)

    def open_dialog(self, item):
        self.af.click_tree(item)
        self.s.click(button(self.app, self.af.main, "HTML生成..."))
        self.dlg = wait_window(self.app, CAPTION)
        return self.dlg

    def edit(self, name):
        return edit(self.app, self.dlg, name)

    def html(self):
        return text_of(self.edit("HTML"))

    def expected_page(self, *options):
        path = os.path.join(self.s.work, "expected.html")
        self.s.zova(self.af.folder, "--module-dir", self.af.folder, "generate", self.af.library, self.item["id"],
                    "--out", path, *options)
        with open(path, "rb") as f:
            return f.read()

    def close_dialog(self):
        self.s.click(button(self.app, self.dlg, "終了"))
        gone(self.app, self.dlg)

    # ------------------------------------------------------------ steps

    def modal(self):
        s, af = self.s, self.af
        s.step("the dialog blocks the main window: clicks, the menu, Ctrl+N")
        self.open_dialog(ITEM)
        wid = x_window(s, self.app.pid, CAPTION)
        # Out of the way of the main window's menu bar and tree, as a user would drag it.
        place_window(s, wid, 730, 340)
        captions, selected = af.captions(), af.selected_tree_items()
        af.click_tree("記事下 ホテル")
        harness.settle(0.3)
        s.check_equal(af.selected_tree_items(), selected, "tree selection after a click behind the dialog")
        bar = self.app.find("menu bar", within=af.main)
        s.click(self.app.find("menu item", "編集(E)", within=bar))
        harness.settle(0.5)
        s.check(not popup_showing(self.app), "a click on the 編集 menu of the blocked main window opens no menu")
        if popup_showing(self.app):
            self.app.close_menu()
        # Last: when the main window takes it, the dialog is left on a document that is gone.
        focus = s.xdo("getwindowfocus").strip()
        focus = s.xdo("getwindowname", focus).strip() if focus else "?"
        s.key("ctrl+n")
        harness.settle(0.5)
        others = [d for d in self.app.dialogs() if d.name != CAPTION]
        s.check(not others, f"Ctrl+N on the blocked main window opens nothing: {[d.name for d in others]} "
                            f"(X input focus was on {focus!r})")
        s.check_equal(af.captions(), captions, "window captions after Ctrl+N behind the dialog")
        s.check(CAPTION in af.captions(), "the generation dialog stays open")

    def names(self):
        s = self.s
        s.step("every control carries its own label's name, combo boxes too")
        wanted = {
            "combo box": ["列　数", "バナーのレイアウト 1", "バナーのレイアウト 2", "バナーのレイアウト 3"],
            "text": ["Title", "Comment", "行数", "ページ数", "タグClass名", "ローカル", "FTPのファイル名",
                     "スタイルシート", "HTML"],
        }
        for role, names in wanted.items():
            found = [a.name for a in harness.find_all(self.dlg, pred=lambda a, r=role: role_name(a) == r)]
            for name in names:
                s.check(found.count(name) == 1, f"one {role} named {name!r} in the dialog: found {found}")
        asp = [a.name for a in harness.find_all(self.af.main, role="combo box")]
        s.check("ASP" in asp, f"the editor's ASP box is named ASP: combo boxes {asp}")

    def preview(self):
        s, folder = self.s, self.af.folder
        s.step("プレビュー fills the HTML box and shows the block")
        s.check_equal(self.html(), "", "HTML box before the first preview")
        s.click(button(self.app, self.dlg, "プレビュー"))
        wait_until(lambda: self.html(), what="the HTML box to fill")
        expected = self.expected_page().decode("cp932").replace("\r\n", "\n")
        s.check_equal(self.html().replace("\r\n", "\n"), expected, "HTML box against `zova generate`")
        page = os.path.join(folder, "html", "prevpage.html")
        s.check(os.path.exists(page), f"the preview page {page} is written")
        # The page is drawn by the browser: look at the pixels, not the accessibility tree.
        area = s.extents(self.app.find("filler", "プレビュー表示", within=self.dlg))
        try:
            wait_until(lambda: colours(area_picture(s, area)) > 8, timeout=10, what="the browser to draw the block")
        except harness.JourneyFailed as e:
            s.check(False, str(e))
        s.screenshot("preview")

    def no_page(self):
        s = self.s
        s.step("a preview stopped by a message empties the HTML box")
        tag = self.edit("タグClass名")
        replace_text(s, tag, "")
        s.click(button(self.app, self.dlg, "プレビュー"))
        message_and_ok(self.app, "タグClass名を入力してください。")
        s.check_equal(self.html(), "", "HTML box after a preview without a tag class name")
        replace_text(s, tag, "zova")

    def local_output(self):
        s = self.s
        s.step("HTML出力 writes the file under the name typed, without an extension")
        target = os.path.join(self.out, "ad")
        replace_text(s, self.edit("ローカル"), target)
        s.click(button(self.app, self.dlg, "HTML出力"))
        message_and_ok(self.app, SAVED)
        s.check_equal(sorted(os.listdir(self.out)), ["ad"], "files in the output folder")
        if os.path.exists(target):
            with open(target, "rb") as f:
                s.check_equal(f.read(), self.expected_page(), "output file against `zova generate --out`")
        return target

    def resize(self, wid):
        s = self.s
        s.step("a larger dialog: the controls stay, the browser grows")
        names = ("プレビュー", "HTML出力", "終了")
        dx, dy, _, _ = x_geometry(s, wid)

        def layout():
            x0, y0, _, _ = s.extents(self.dlg)
            rel = lambda e: (e[0] - x0, e[1] - y0, e[2], e[3])
            return ({n: rel(s.extents(button(self.app, self.dlg, n))) for n in names},
                    rel(s.extents(self.app.find("filler", "プレビュー表示", within=self.dlg))))

        buttons, browser = layout()
        place_window(s, wid, dx, dy, browser[2] + 300, 960)
        wait_until(lambda: layout()[1] != browser, timeout=5, what="the browser to follow the new size")
        buttons2, browser2 = layout()
        s.check_equal(buttons2, buttons, "button places and sizes after the dialog grew")
        s.check(browser2[2] > browser[2] and browser2[3] > browser[3],
                f"the browser grows with the dialog: {browser[2:]} -> {browser2[2:]}")
        s.screenshot("larger")

    def enter_on_button(self):
        s = self.s
        s.step("Enter on the focused 参照... presses it, not the default 終了")
        before = text_of(self.edit("ローカル"))
        s.click(self.edit("ローカル"))
        s.key("Tab")
        focus = wait_until(lambda: focused_in(self.app, self.dlg), timeout=3, what="a focused control")
        s.check_equal((role_name(focus), focus.name), ("push button", "出力先を参照"), "focus after Tab from ローカル")
        s.key("Return")
        chooser = wait_until(lambda: next((w for w in self.app.windows() if w != self.dlg
                                           and role_name(w) in ("dialog", "file chooser")
                                           and "showing" in states(w)), None), timeout=5,
                             what="a file dialog after Enter on 参照...")
        s.check("showing" in states(self.dlg), "the generation dialog stays open after Enter")
        labels = self.app.dialog_buttons(chooser)
        s.check("キャンセル" in labels and any(b.startswith("保存") for b in labels),
                f"the file dialog speaks Japanese: buttons {labels}")
        # It starts beside the path already in ローカル.
        folders = [c.name for c in harness.find_all(chooser, role="combo box")]
        s.check(os.path.dirname(before) in folders, f"the file dialog starts in {os.path.dirname(before)}: {folders}")
        s.screenshot("file-dialog")
        s.key("Escape")
        gone(self.app, chooser)
        s.check_equal(text_of(self.edit("ローカル")), before, "ローカル after cancelling the file dialog")

    def upload(self, local):
        s = self.s
        s.step("FTP ticked: HTML出力 opens the upload dialog; a host made there; Upload開始")
        server = FtpServer(s, os.path.join(self.s.root, "ftproot"))
        os.makedirs(os.path.join(server.root, "pub"))
        try:
            s.click(self.app.find("check box", "FTP", within=self.dlg))
            replace_text(s, self.edit("FTPのファイル名"), "ad.html")
            s.click(button(self.app, self.dlg, "HTML出力"))
            up = wait_window(self.app, UPLOAD_CAPTION)
            wid = x_window(s, self.app.pid, UPLOAD_CAPTION)
            place_window(s, wid, 20, 20)
            s.click(button(self.app, up, "ホスト設定"))
            hosts = wait_window(self.app, HOST_CAPTION)
            s.click(button(self.app, hosts, "新規"))
            fields = {"FTP設定名": "local", "ホスト名（IPアドレス）": "127.0.0.1", "Port": str(server.port),
                      "ユーザ名": server.USER, "パスワード": server.PASSWORD, "ホストのカレントディレクトリ": "pub"}
            for name, value in fields.items():
                replace_text(s, edit(self.app, hosts, name), value)
            # The test server speaks plain FTP; a new host starts as FTP over TLS.
            choose(s, self.app, labelled_combo(hosts, "接続方式"), "FTP（暗号化なし）")
            s.click(button(self.app, hosts, "OK"))
            gone(self.app, hosts)
            s.check_equal(text_of(edit(self.app, up, "ホスト名（IPアドレス）")), "127.0.0.1",
                          "host shown after adding it with ホスト設定")
            s.check_equal(text_of(edit(self.app, up, "Port")), str(server.port), "Port shown for the host")
            s.click(button(self.app, up, "Upload開始"))
            log = self.app.find("list", "ログ", within=up)
            try:
                wait_until(lambda: list_lines(log)[-1:] and list_lines(log)[-1].startswith("アップロード")
                           and len(list_lines(log)) > 1, timeout=20, what="the upload to end")
            except harness.JourneyFailed as e:
                s.check(False, f"{e}; log: {list_lines(log)}")
            lines = list_lines(log)
            arrow = f"    {local} --> ad.html"
            s.check_equal(lines, [arrow if x is None else x for x in UPLOAD_LOG], "upload log")
            arrived = os.path.join(server.root, "pub", "ad.html")
            if s.check(os.path.exists(arrived), f"{arrived} arrives on the server"):
                with open(arrived, "rb") as a, open(local, "rb") as b:
                    s.check_equal(a.read(), b.read(), "uploaded file against the local one")
            s.screenshot("uploaded")
            s.click(button(self.app, up, "閉じる"))
            gone(self.app, up)
        finally:
            server.stop()

    def item_without_banners(self):
        s = self.s
        s.step("an ad item without banners in multi-page mode: no page, HTML box empty")
        self.af.click_tree("旅行・ホテル")
        self.app.menu("編集(E)", "広告項目の作成(N)")
        dlg = self.open_dialog(EMPTY_ITEM)
        replace_text(s, self.edit("タグClass名"), "zova")
        s.click(self.app.find("check box", "行数制限", within=dlg))
        s.click(self.app.find("radio button", "複数ページ", within=dlg))
        s.click(button(self.app, dlg, "プレビュー"))
        message_and_ok(self.app, NO_PAGE)
        s.check_equal(self.html(), "", "HTML box for an ad item without banners")
        self.close_dialog()

    def run(self):
        self.open_dialog(ITEM)
        wid = x_window(self.s, self.app.pid, CAPTION)
        self.s.check(bool(wid), f"the dialog's caption reads exactly {CAPTION!r}")
        self.names()
        self.preview()
        self.no_page()
        local = self.local_output()
        self.enter_on_button()
        self.upload(local)
        self.resize(wid)
        self.close_dialog()
        self.item_without_banners()
        self.modal()


def journey(s):
    GenerationJourney(s).run()


if __name__ == "__main__":
    harness.run(journey)
