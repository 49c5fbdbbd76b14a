"""リンクの確認 against Debian's nginx on 127.0.0.1: a dead link is found and marked in the banner list, a run on
an address that never answers is stopped, and a double-click on a finding lands on its banner."""

import json
import os
import shutil
import socket
import struct
import subprocess
import time
import zlib

import harness
from admanager import AdManager
from dialogs import button, gone, wait_window
from harness import JourneyFailed, find_all, wait_until

CAPTION = "Zelvor管理 - リンクの確認"
ITEM, SILENT_ITEM = "確認する記事下", "応答のない記事下"


def png(width, height):
    """A white PNG of the given pixel size."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    rows = b"".join(b"\x00" + b"\xff" * width for _ in range(height))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 0, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


class Nginx:
    """Debian's nginx, unpacked by scripts/setup-servers, with a configuration of its own on a free port."""

    def __init__(self, s):
        trees = ["/var/cache/zelvor-test-servers/nginx",
                 os.path.join(os.environ.get("XDG_CACHE_HOME") or os.path.expanduser("~/.cache"),
                              "zelvor-test-servers/nginx")]
        binary = next((os.path.join(t, "usr/sbin/nginx") for t in trees
                       if os.path.exists(os.path.join(t, "usr/sbin/nginx"))), None)
        if not binary:
            raise JourneyFailed("nginx is not unpacked: run scripts/setup-servers")
        self.prefix = os.path.join(s.root, "nginx")
        www = os.path.join(self.prefix, "www")
        os.makedirs(os.path.join(self.prefix, "tmp"))
        os.makedirs(www)
        with open(os.path.join(www, "banner.png"), "wb") as f:
            f.write(png(468, 60))
        with open(os.path.join(www, "index.html"), "w") as f:
            f.write("<p>shop</p>")
        with socket.socket() as sock:
            sock.bind(("127.0.0.1", 0))
            self.port = sock.getsockname()[1]
        p = self.prefix
        conf = os.path.join(p, "nginx.conf")
        with open(conf, "w") as f:
            f.write(f"""daemon off;
master_process off;
error_log {p}/error.log;
pid {p}/nginx.pid;
events {{ worker_connections 64; }}
http {{
    access_log {p}/access.log;
    client_body_temp_path {p}/tmp; proxy_temp_path {p}/tmp; fastcgi_temp_path {p}/tmp;
    uwsgi_temp_path {p}/tmp; scgi_temp_path {p}/tmp;
    types {{ image/png png; text/html html; }}
    server {{
        listen 127.0.0.1:{self.port};
        root {www};
    }}
}}
""")
        self.log = open(os.path.join(s.root, "nginx.log"), "wb")
        self.proc = subprocess.Popen([binary, "-e", f"{p}/error.log", "-p", p, "-c", conf], stdout=self.log,
                                     stderr=self.log, start_new_session=True)
        deadline = time.time() + 10
        while True:
            try:
                socket.create_connection(("127.0.0.1", self.port), timeout=1).close()
                break
            except OSError:
                if time.time() > deadline or self.proc.poll() is not None:
                    raise JourneyFailed("nginx did not start")
                time.sleep(0.05)

    def url(self, path):
        return f"http://127.0.0.1:{self.port}{path}"

    def requests(self):
        with open(os.path.join(self.prefix, "access.log")) as f:
            return f.read().splitlines()

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            self.proc.wait(timeout=10)


class LinkCheckJourney:
    def __init__(self, s):
        self.s = s
        folder = s.program_folder()
        self.nginx = Nginx(s)
        # Takes the connection and never answers: the run waits until stopped.
        self.silent = socket.socket()
        self.silent.bind(("127.0.0.1", 0))
        self.silent.listen(8)
        n = self.nginx
        sample = s.dump(folder, os.path.join(folder, "sample.zva"))
        model = next(c for c in sample["children"][0]["children"] if c.get("flags") == 1)
        banner = dict(model["banners"][0])

        def tag(link, image):
            return (f'<a href="{link}" rel="nofollow"><img src="{image}" width="468" height="60" alt="広告"></a>')
        fine = dict(banner, name="生きている広告", tag=tag(n.url("/"), n.url("/banner.png")))
        dead = dict(banner, name="終了した広告", tag=tag(n.url("/ended/campaign"), n.url("/banner.png")))
        silent = dict(banner, name="応答のない広告",
                      tag=tag(f"http://127.0.0.1:{self.silent.getsockname()[1]}/", n.url("/banner.png")))
        items = [dict(model, id="26120709009900000001", title=ITEM, banners=[fine, dead]),
                 dict(model, id="26120709009900000002", title=SILENT_ITEM, banners=[silent, dead])]
        library = {"id": sample["id"], "flags": sample["flags"], "title": sample["title"],
                   "children": [{"id": "26120709009900000099", "flags": 2, "title": "ブログ", "children": items}]}
        source = os.path.join(s.work, "links.json")
        with open(source, "w", encoding="utf-8") as f:
            json.dump(library, f, ensure_ascii=False)
        path = os.path.join(s.work, "links.zva")
        s.zova(folder, "import", source, path)
        app = s.start(folder, "zova_af", path)
        self.af = AdManager(s, app, path)
        self.app = app
        app.press(app.wait_dialog("関連付け"), "いいえ")
        self.af.main = app.main_window()

    def summary(self, dlg):
        return " ".join(a.name for a in find_all(dlg, role="label") if "確認" in a.name or "中止" in a.name)

    def rows(self, dlg):
        table = self.app.find("table", "確認結果", within=dlg).queryTable()
        return [[table.getAccessibleAt(r, c).name for c in range(table.nColumns)] for r in range(table.nRows)]

    def nothing_unasked(self):
        s = self.s
        s.step("opening the library and showing its banners fetches nothing")
        self.af.click_tree(ITEM)
        self.af.click_row(1)
        time.sleep(0.5)
        s.check_equal(self.nginx.requests(), [], "requests before the user asked for a check")

    def check_item(self):
        s, app, af = self.s, self.app, self.af
        s.step("リンクの確認 from the list's menu: the dead link is an error row")
        s.click(af.cell(0, 1), button=3)
        # The popup is not in the accessibility tree: its mnemonic picks the entry, as a user may.
        time.sleep(0.3)
        s.screenshot("link-check-menu")
        s.key("r")
        dlg = wait_window(app, CAPTION)
        wait_until(lambda: "件のバナーを確認しました" in self.summary(dlg), timeout=30, what="the check to finish")
        rows = self.rows(dlg)
        s.check(any(r[2] == "終了した広告" and r[4] == "リンク切れ" and r[5].endswith("/ended/campaign") and
                    "404" in r[6] for r in rows), f"the dead link is reported with its status: {rows}")
        online = ("リンク切れ", "表示されない画像", "画像ではないものが返る画像アドレス", "タグの width / height と違う大きさの画像")
        s.check(not any(r[2] == "生きている広告" and r[4] in online for r in rows),
                f"the live banner and the image are fine: {rows}")
        s.screenshot("link-check-report")
        agents = [line for line in self.nginx.requests() if "zova_af/" in line]
        s.check(len(agents) >= 3, f"the requests name the program: {self.nginx.requests()}")
        s.click(button(app, dlg, "閉じる"))
        gone(app, dlg)

        s.step("the list marks the dead banner with the reason")
        wait_until(lambda: "リンク切れ" in (af.cell(1, 0).description or ""), timeout=5,
                   what="the dead banner's reasons to name the dead link")
        s.check("リンク切れ" not in (af.cell(0, 0).description or ""), "the live banner is not marked dead")
        s.screenshot("link-check-marker")

    def double_click(self):
        s, app, af = self.s, self.app, self.af
        s.step("a second run within the hour reuses the answers; a double-click lands on the banner")
        before = len(self.nginx.requests())
        af.click_row(0)
        app.menu("ツール(T)", "リンクの確認(R)...")
        dlg = wait_window(app, CAPTION)
        wait_until(lambda: "1時間以内の結果" in self.summary(dlg), timeout=30, what="the reused answers")
        s.check_equal(len(self.nginx.requests()), before, "requests made by the second run")
        rows = self.rows(dlg)
        row = next(i for i, r in enumerate(rows) if r[4] == "リンク切れ")
        table = app.find("table", "確認結果", within=dlg)
        s.move(*s.centre(table.queryTable().getAccessibleAt(row, 2)))
        s.xdo("click", "--repeat", "2", "--delay", "80", "1")
        gone(app, dlg)
        s.check_equal(af.selected_rows(), [1], "the banner row after the double-click")

    def stop(self):
        s, app, af = self.s, self.app, self.af
        s.step("a run on an address that never answers is stopped")
        af.click_tree(SILENT_ITEM)
        app.menu("ツール(T)", "リンクの確認(R)...")
        dlg = wait_window(app, CAPTION)
        wait_until(lambda: "確認しています" in self.summary(dlg), timeout=10, what="the run to start")
        # A banner whose addresses have all answered is listed while the run goes on.
        wait_until(lambda: any(r[4] == "リンク切れ" for r in self.rows(dlg)), timeout=10,
                   what="the dead link to be listed during the run")
        s.check("確認しています" in self.summary(dlg), "the run still goes on while findings are listed")
        stop = button(app, dlg, "中止(T)")
        s.screenshot("link-check-running")
        started = time.time()
        s.click(stop)
        wait_until(lambda: "中止しました" in self.summary(dlg), timeout=5, what="the run to stop")
        s.check(time.time() - started < 5, "the run stopped at once")
        s.check(not harness.is_enabled(stop), "中止 is disabled once stopped")
        s.check(harness.is_enabled(button(app, dlg, "再確認(R)")), "再確認 is enabled once stopped")
        s.screenshot("link-check-stopped")
        s.click(button(app, dlg, "閉じる"))
        gone(app, dlg)

    def exit(self):
        s, app = self.s, self.app
        s.step("the check changed nothing in the library: exit asks no question")
        app.menu("ファイル(F)", "アプリケーションの終了(X)")
        s.check_equal(app.wait_exit(), 0, "exit code of zova_af")

    def run(self):
        try:
            self.nothing_unasked()
            self.check_item()
            self.double_click()
            self.stop()
            self.exit()
        finally:
            self.nginx.stop()
            self.silent.close()


def journey(s):
    LinkCheckJourney(s).run()


if __name__ == "__main__":
    harness.run(journey)
