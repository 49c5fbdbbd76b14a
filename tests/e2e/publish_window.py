"""まとめてアップロード: ad items over four hosts (one fine, one failing, one over TLS with a certificate the
user is asked to trust, one that never answers and is stopped), then only what changed goes again."""

import copy
import json
import os
import socket

import harness
from admanager import AdManager
from dialogs import FtpServer, button, gone, list_lines, place_window, wait_window, x_window
from harness import find_all, states, wait_until

CAPTION = "Zelvor管理 - まとめてアップロード"
UNSENT, UNCHANGED, LOCAL = "未アップロード", "変更なし", "ローカルのみ"


def item_template(sample):
    """The sample's first ad item with an output path, as a model for ours."""
    stack = [sample]
    while stack:
        node = stack.pop()
        if node.get("flags") == 1 and node.get("outputPath"):
            return node
        stack.extend(reversed(node.get("children", [])))
    raise harness.JourneyFailed("the sample has no ad item with an output path")


class PublishJourney:
    def __init__(self, s):
        self.s = s
        folder = s.program_folder()
        self.server = FtpServer(s, os.path.join(s.root, "ftproot"))
        os.makedirs(os.path.join(self.server.root, "pub"))
        self.tls = FtpServer(s, os.path.join(s.root, "tlsroot"), tls=True)
        os.makedirs(os.path.join(self.tls.root, "pub"))
        # A server that takes the connection and never greets: the upload waits until stopped.
        self.silent = socket.socket()
        self.silent.bind(("127.0.0.1", 0))
        self.silent.listen(8)
        self.out = os.path.join(s.work, "out")
        os.makedirs(self.out)

        sample = s.dump(folder, os.path.join(folder, "sample.zva"))
        model = item_template(sample)
        items = []
        for n, (title, host) in enumerate([("A1", "alpha"), ("A2", "alpha"), ("B1", "beta"), ("D1", "delta"),
                                           ("C1", "gamma"), ("L1", None)]):
            item = copy.deepcopy(model)
            item.update(id=f"2612070900{n:02d}00000099", title=f"記事下 {title}",
                        outputPath=os.path.join(self.out, f"{title.lower()}.html"), remoteFile=f"{title.lower()}.html",
                        ftpUpload=1 if host else 0, ftpHost=host or "", multiPage=0, rowLimit=0)
            items.append(item)
        library = {"id": sample["id"], "flags": sample["flags"], "title": sample["title"],
                   "children": [{"id": "26120709009900000099", "flags": 2, "title": "ブログ", "children": items}]}
        source = os.path.join(s.work, "publish.json")
        with open(source, "w", encoding="utf-8") as f:
            json.dump(library, f, ensure_ascii=False)
        path = os.path.join(s.work, "publish.zva")
        s.zova(folder, "import", source, path)

        hosts = {"ftpHosts": [
            self.host("alpha", self.server.port, "pub"),
            self.host("beta", self.server.port, "nowhere"),
            self.host("gamma", self.silent.getsockname()[1], "pub"),
            dict(self.host("delta", self.tls.port, "pub"), protocol="ftps")]}
        with open(os.path.join(s.work, "hosts.json"), "w", encoding="utf-8") as f:
            json.dump(hosts, f)
        s.zova(folder, "--module-dir", folder, "settings", "import", os.path.join(s.work, "hosts.json"))

        app = s.start(folder, "zova_af", path)
        self.af = AdManager(s, app, path)
        self.app = app
        app.press(app.wait_dialog("関連付け"), "いいえ")

    @staticmethod
    def host(name, port, directory):
        return {"name": name, "host": "127.0.0.1", "port": port, "user": FtpServer.USER,
                "password": FtpServer.PASSWORD, "directory": directory, "protocol": "ftp", "passive": True}

    def open(self):
        self.app.menu("ツール(T)", "まとめてアップロード(U)...")
        dlg = wait_window(self.app, CAPTION)
        place_window(self.s, x_window(self.s, self.app.pid, CAPTION), 10, 10)
        return dlg

    def rows(self, dlg):
        table = self.app.find("tree", "広告項目一覧", within=dlg).queryTable()
        return [[table.getAccessibleAt(r, c).name for c in (0, 2, 3)] for r in range(table.nRows)]

    def ticked(self, dlg):
        table = self.app.find("tree", "広告項目一覧", within=dlg).queryTable()
        return [("checked" in states(table.getAccessibleAt(r, 0))) for r in range(table.nRows)]

    @staticmethod
    def summary(dlg):
        """The result line under the log, once a run has ended."""
        return next((a.name for a in find_all(dlg, role="label") if a.name.startswith("公開")), None)

    def on_server(self, name):
        path = os.path.join(self.server.root, "pub", name)
        if not os.path.exists(path):
            return None
        with open(path, "rb") as f:
            return f.read()

    def first_run(self):
        s = self.s
        s.step("the window lists every ad item with its host and state; nothing published from here yet is ticked")
        dlg = self.open()
        s.check_equal(self.rows(dlg), [["ブログ/記事下 A1", "alpha", UNSENT], ["ブログ/記事下 A2", "alpha", UNSENT],
                                       ["ブログ/記事下 B1", "beta", UNSENT], ["ブログ/記事下 D1", "delta", UNSENT],
                                       ["ブログ/記事下 C1", "gamma", UNSENT], ["ブログ/記事下 L1", "（なし）", LOCAL]],
                      "rows")
        s.check_equal(self.ticked(dlg), [False] * 6, "ticked rows")
        s.check("disabled" in states(button(self.app, dlg, "開始")) or
                "enabled" not in states(button(self.app, dlg, "開始")), "開始 is off with nothing ticked")
        outputs = [self.app.find("tree", "広告項目一覧", within=dlg).queryTable().getAccessibleAt(r, 1).name
                   for r in range(6)]
        s.check_equal(outputs[0], os.path.join(self.out, "a1.html"), "the full output path is shown")
        s.click(button(self.app, dlg, "すべて選択"))
        wait_until(lambda: all(self.ticked(dlg)), timeout=3, what="every row to be ticked")
        s.screenshot("publish_window")

        s.step("開始: alpha takes two blocks, beta fails, gamma never answers and is stopped")
        log = self.app.find("list", "ログ", within=dlg)
        s.click(button(self.app, dlg, "開始"))
        try:
            wait_until(lambda: "FTP: gamma" in list_lines(log) and list_lines(log)[-1] == "サーバへ接続しています...",
                       timeout=20, what="the upload to gamma to wait")
        except harness.JourneyFailed as e:
            s.check(False, f"{e}; log: {list_lines(log)}")
        s.check("disabled" in states(button(self.app, dlg, "閉じる")) or
                "enabled" not in states(button(self.app, dlg, "閉じる")), "閉じる is off while running")
        s.check(any(line.startswith("!!エラー!! サーバ証明書を確認できませんでした。 SHA-256: ")
                    for line in list_lines(log)), "delta's certificate is not trusted yet")
        s.click(button(self.app, dlg, "停止"))

        s.step("the run ends: asked whether to trust delta's certificate; yes sends D1 at once")
        try:
            box = self.app.wait_dialog("このホストでこの証明書を信頼しますか？", timeout=15)
        except harness.JourneyFailed as e:
            s.check(False, f"{e}; log: {list_lines(log)}")
            raise
        s.check_equal(self.summary(dlg), "公開: 3件、変更なし: 0件、失敗: 2件、停止: 1件", "summary before trusting")
        s.check("!!エラー!! カレントディレクトリの移動に失敗しました。" in list_lines(log), "beta's log line")
        s.check("ユーザの操作によりアップロードを停止しました。" in list_lines(log), "the stop is logged")
        s.screenshot("trust_certificate")
        self.app.press(box, "はい")
        wait_until(lambda: self.rows(dlg)[3][2] == "完了", timeout=15, what="D1 to go after trusting")
        # The run after trusting goes on with the same summary: every item once, as it ended.
        wait_until(lambda: self.summary(dlg) == "公開: 4件、変更なし: 0件、失敗: 1件、停止: 1件", timeout=10,
                   what="the summary with D1 published")
        s.check("== ブログ/記事下 A1" in list_lines(log), "the first run's log is kept")
        s.check("公開: 4件、変更なし: 0件、失敗: 1件、停止: 1件" in list_lines(log) and
                "公開: 1件、変更なし: 0件、失敗: 0件、停止: 0件" not in list_lines(log),
                "the log ends with the same summary, not the second run's alone")
        s.check_equal(self.app.find("progress bar", "進行状況", within=dlg).queryValue().currentValue,
                      self.app.find("progress bar", "進行状況", within=dlg).queryValue().maximumValue,
                      "the progress bar ends full")
        s.check(os.path.exists(os.path.join(self.tls.root, "pub", "d1.html")), "d1.html arrives over TLS")
        s.check("サーバ証明書が信頼済みの証明書と一致しました。" in list_lines(log), "the pinned certificate is logged")
        hosts = json.loads(s.zova(self.app.folder, "--module-dir", self.app.folder, "settings", "export"))["ftpHosts"]
        s.check(len(hosts[3].get("certificateSha256", "")) == 64, f"delta pinned in zova_af.ini: {hosts[3]}")
        states_now = [row[2] for row in self.rows(dlg)]
        s.check_equal(states_now[:2], ["完了", "完了"], "alpha's items")
        s.check(states_now[2].startswith("失敗"), f"beta's item failed: {states_now[2]!r}")
        s.check_equal(states_now[4], "停止", "gamma's item")
        for name in ("a1.html", "a2.html"):
            with open(os.path.join(self.out, name), "rb") as f:
                s.check_equal(self.on_server(name), f.read(), f"{name} on the server")
        s.screenshot("publish_done")
        s.click(button(self.app, dlg, "閉じる"))
        gone(self.app, dlg)

    def second_run(self):
        s = self.s
        s.step("opened again: what went is unchanged and unticked; ticked by hand it is not sent again")

        with open(os.path.join(self.server.root, "pub", "a1.html"), "wb") as f:
            f.write(b"x")
        dlg = self.open()
        s.check_equal([row[2] for row in self.rows(dlg)], [UNCHANGED, UNCHANGED, UNSENT, UNCHANGED, UNSENT, LOCAL],
                      "states after the first run")
        s.check_equal(self.ticked(dlg), [False] * 6, "ticked rows")
        s.click(button(self.app, dlg, "すべて解除"))
        table = self.app.find("tree", "広告項目一覧", within=dlg).queryTable()
        s.click(table.getAccessibleAt(0, 0))
        s.key("space")
        wait_until(lambda: self.ticked(dlg)[0], timeout=3, what="A1 to be ticked by Space")
        s.check_equal(self.ticked(dlg), [True, False, False, False, False, False], "only A1 ticked")
        s.click(button(self.app, dlg, "開始"))
        wait_until(lambda: self.summary(dlg), timeout=15, what="the summary")
        s.check_equal(self.summary(dlg), "公開: 0件、変更なし: 1件、失敗: 0件、停止: 0件", "summary of an unchanged item")
        s.check_equal(self.on_server("a1.html"), b"x", "a1.html was not sent again")

        s.step("変更のないファイルも送信する: the same item goes again")
        s.click(table.getAccessibleAt(0, 0))
        s.key("space")
        wait_until(lambda: self.ticked(dlg)[0], timeout=3, what="A1 ticked again")
        s.click(self.app.find("check box", "変更のないファイルも送信する", within=dlg))
        s.click(button(self.app, dlg, "開始"))
        wait_until(lambda: self.on_server("a1.html") != b"x", timeout=15, what="a1.html to be sent again")
        wait_until(lambda: self.summary(dlg) == "公開: 1件、変更なし: 0件、失敗: 0件、停止: 0件", timeout=10,
                   what="the summary of the forced run")
        s.click(button(self.app, dlg, "閉じる"))
        gone(self.app, dlg)

    def run(self):
        try:
            self.first_run()
            self.second_run()
        finally:
            self.server.stop()
            self.tls.stop()
            self.silent.close()


def journey(s):
    PublishJourney(s).run()


if __name__ == "__main__":
    harness.run(journey)
