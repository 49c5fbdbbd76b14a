"""ASP設定, FTPホスト設定 and 動作設定: edit with the mouse and keys, OK writes zova_af.ini, キャンセル does not."""

import json
import os

import harness
from admanager import AdManager
from dialogs import (button, choose, edit, shown_item, focused_in, gone, ini_section, labelled_combo, replace_text,
                     table_rows, wait_window)
from harness import role_name, states, text_of, wait_until

TOOLS = "ツール(T)"
UP, DOWN = "上へ", "下へ"

# One table drives both account dialogs: they differ in texts and fields only.
ASP = {
    "command": "ASP設定(A)...", "caption": "Zelvor管理 - ASP設定", "table": "ASP一覧", "section": "ZOVA_AF_ASPLIST",
    "cancel": "キャンセル", "key": "aspList", "new_name": "新しいASP", "name_field": "名称",
    "fields": {"名称": "name", "ユーザID": "userId", "パスワード": "password", "URL": "url"},
    "columns": ("name", "url"),
    "entries": [{"name": "afb", "userId": "u-afb", "password": "pw-afb", "url": "https://www.afi-b.com/"},
                {"name": "アクセストレード", "userId": "u-at", "password": "pw-at",
                 "url": "https://www.accesstrade.ne.jp/"}],
}
FTP = {
    "command": "FTPホスト設定(F)...", "caption": "Zelvor管理 - FTP設定", "table": "FTPホスト一覧",
    "section": "ZOVA_AF_FTPSETTING", "cancel": "ｷｬﾝｾﾙ", "key": "ftpHosts", "new_name": "新しいホスト設定",
    "name_field": "FTP設定名",
    "fields": {"FTP設定名": "name", "ホスト名（IPアドレス）": "host", "Port": "port", "ユーザ名": "user",
               "パスワード": "password", "ホストのカレントディレクトリ": "directory"},
    "columns": ("name", "host"),
    "entries": [{"name": "さくら", "host": "ftp.example.jp", "port": 2121, "user": "sakura", "password": "pw-s",
                 "directory": "/www/ads", "protocol": "ftps", "passive": False},
                {"name": "lolipop", "host": "127.0.0.1", "port": 22, "user": "lo", "password": "pw-l",
                 "directory": "public_html", "protocol": "sftp", "passive": True}],
    # Typed differently from what is stored: the port follows the protocol chosen after it.
    "typed": {"lolipop": {"port": 21}},
    # The connection controls: the protocol chosen, and whether パッシブモード is clicked.
    "transport": {"さくら": ("FTPS（FTP over TLS）", True), "lolipop": ("SFTP（SSH）", False)},
}


class AccountJourney:
    def __init__(self, s):
        self.s = s
        self.af = AdManager.start(s)
        self.app = self.af.app
        self.ini = os.path.join(self.af.folder, "zova_af.ini")

    def exported(self):
        return json.loads(self.s.zova(self.af.folder, "--module-dir", self.af.folder, "settings", "export",
                                      "--reveal-passwords"))

    def ini_bytes(self):
        with open(self.ini, "rb") as f:
            return f.read()

    def open(self, kind):
        self.app.menu(TOOLS, kind["command"])
        return wait_window(self.app, kind["caption"])

    def rows(self, kind, dlg):
        return table_rows(self.app.find("table", kind["table"], within=dlg))

    def fill(self, kind, dlg, entry):
        for label, key in kind["fields"].items():
            value = str(kind.get("typed", {}).get(entry["name"], {}).get(key, entry[key]))
            field = edit(self.app, dlg, label)
            if value.isascii():
                replace_text(self.s, field, value)
            else:
                replace_text(self.s, field, paste=value)
        if entry["name"] in kind.get("transport", {}):
            self.transport(dlg, entry, *kind["transport"][entry["name"]])

    def transport(self, dlg, entry, protocol, click_passive):
        s = self.s
        passive = self.app.find("check box", "パッシブモード", within=dlg)
        s.check("checked" in states(passive), "a new host starts in passive mode")
        combo = labelled_combo(dlg, "接続方式")
        s.check_equal(combo.name, "接続方式", "the protocol box is named by its label")
        current = shown_item(s, combo)
        s.check_equal(current, "FTPS（FTP over TLS）", "a new host's protocol")
        if protocol != current:
            choose(s, self.app, combo, protocol)
        key_file = edit(self.app, dlg, "秘密鍵ファイル")
        sftp = protocol.startswith("SFTP")
        s.check_equal("enabled" in states(key_file), sftp, f"秘密鍵ファイル usable with {protocol}")
        s.check_equal("enabled" in states(passive), not sftp, f"パッシブモード usable with {protocol}")
        s.check_equal(text_of(edit(self.app, dlg, "Port")), str(entry["port"]), f"Port with {protocol}")
        if click_passive:
            s.click(passive)
            wait_until(lambda: "checked" not in states(passive), timeout=3, what="パッシブモード to untick")

    def tab_leaves_table(self, kind, dlg):
        s = self.s
        table = self.app.find("table", kind["table"], within=dlg)
        t = table.queryTable()
        s.click(t.getAccessibleAt(0, 0))
        s.key("Tab")
        focus = wait_until(lambda: focused_in(self.app, dlg), timeout=3, what="a focused control")
        in_table = role_name(focus) in ("table cell", "table") or focus.parent == table
        s.check(not in_table, f"{kind['caption']}: Tab from the list leaves it; focus on {role_name(focus)} "
                              f"{focus.name!r}")

    def account_list(self, kind):
        s = self.s
        s.step(f"{kind['caption']}: two new entries, edited, reordered, OK")
        dlg = self.open(kind)
        s.check_equal(self.rows(kind, dlg), [], "rows of an empty list")
        for entry in kind["entries"]:
            s.click(button(self.app, dlg, "新規"))
            wait_until(lambda: len(self.rows(kind, dlg)) and self.rows(kind, dlg)[-1][0] == kind["new_name"],
                       timeout=3, what="a new row")
            s.check_equal(text_of(edit(self.app, dlg, kind["name_field"])), kind["new_name"],
                          "name edit of a new entry")
            self.fill(kind, dlg, entry)
        first, second = kind["entries"]
        shown = lambda e: [str(e[c]) for c in kind["columns"]]
        s.check_equal(self.rows(kind, dlg), [shown(first), shown(second)], "rows after typing")
        s.screenshot(kind["key"])
        # The second (last added) row is selected: up swaps it with the first.
        s.click(button(self.app, dlg, UP))
        s.check_equal(self.rows(kind, dlg), [shown(second), shown(first)], f"rows after {UP!r}")
        s.click(button(self.app, dlg, UP))
        s.check_equal(self.rows(kind, dlg), [shown(second), shown(first)], "rows after the up button on the top row")
        self.tab_leaves_table(kind, dlg)
        s.click(button(self.app, dlg, "OK"))
        gone(self.app, dlg)
        expected = [second, first]
        s.check_equal(self.exported()[kind["key"]], expected, f"{kind['key']} in zova_af.ini after OK")
        raw = ini_section(self.ini, kind["section"]) or {}
        s.check(not any(e["password"] in v for e in expected for v in raw.values()),
                f"[{kind['section']}] holds no plain password: {raw}")

        s.step(f"{kind['caption']}: an edit then キャンセル leaves zova_af.ini alone")
        before = self.ini_bytes()
        dlg = self.open(kind)
        s.check_equal(self.rows(kind, dlg), [shown(second), shown(first)], "rows when opened again")
        s.click(self.app.find("table", kind["table"], within=dlg).queryTable().getAccessibleAt(1, 0))
        replace_text(s, edit(self.app, dlg, kind["name_field"]), "changed")
        s.click(button(self.app, dlg, DOWN))
        s.click(button(self.app, dlg, kind["cancel"]))
        gone(self.app, dlg)
        s.check(self.ini_bytes() == before, "zova_af.ini unchanged after キャンセル")
        dlg = self.open(kind)
        s.check_equal(self.rows(kind, dlg), [shown(second), shown(first)], "rows after キャンセル")
        return dlg

    def refused_characters(self, dlg):
        s = self.s
        s.step("ASP設定: characters Shift_JIS cannot hold are refused")
        s.click(self.app.find("table", ASP["table"], within=dlg).queryTable().getAccessibleAt(0, 0))
        field = edit(self.app, dlg, "名称")
        replace_text(s, field, paste="ABC😀")
        s.check_equal(text_of(field), "ABC", "名称 after pasting 'ABC😀'")
        s.check_equal(self.rows(ASP, dlg)[0][0], "ABC", "list row after pasting 'ABC😀'")
        s.click(button(self.app, dlg, ASP["cancel"]))
        gone(self.app, dlg)

    def app_settings(self):
        s = self.s
        s.step("動作設定: a box unticked, OK, then exit: zova_af.ini has it")
        self.app.menu(TOOLS, "動作設定(S)...")
        dlg = wait_window(self.app, "Zelvor管理 - 設定")
        box = self.app.find("check box", "最後に使ったファイルを開く", within=dlg)
        s.check("checked" in states(box), "最後に使ったファイルを開く starts ticked (use_last_file 1)")
        s.click(box)
        wait_until(lambda: "checked" not in states(box), timeout=3, what="the box to untick")
        s.click(button(self.app, dlg, "OK"))
        gone(self.app, dlg)
        self.app.menu("ファイル(F)", "アプリケーションの終了(X)")
        code = self.app.wait_exit()
        s.check_equal(code, 0, "exit code of zova_af")
        s.check_equal(self.exported()["settings"]["use_last_file"], 0, "use_last_file after OK and exit")

    def run(self):
        dlg = self.account_list(FTP)
        self.s.click(button(self.app, dlg, FTP["cancel"]))
        gone(self.app, dlg)
        dlg = self.account_list(ASP)
        self.refused_characters(dlg)
        self.app_settings()


def journey(s):
    AccountJourney(s).run()


if __name__ == "__main__":
    harness.run(journey)
