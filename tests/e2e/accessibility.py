"""Every window and dialog of both programs through the accessibility tree: each control
has a name that says what it is or does (no line breaks, no bare symbols), names are
unique within a window, and Tab walks the main windows without being caught in a preview."""

import harness
from admanager import AdManager
from harness import children, describe, find_all, role_name, states

CONTROLS = {"push button", "toggle button", "check box", "radio button", "text", "password text", "combo box",
            "spin button", "table", "tree", "tree table", "list", "page tab", "slider", "entry"}
TOOLS = ("ツール(T)",)

# (program, how to open it, its caption); None: the main window itself.
ZOVA_AF_WINDOWS = [
    ("main window", None, None),
    ("動作設定", TOOLS + ("動作設定(S)...",), "Zelvor管理 - 設定"),
    ("ASP設定", TOOLS + ("ASP設定(A)...",), "Zelvor管理 - ASP設定"),
    ("FTPホスト設定", TOOLS + ("FTPホスト設定(F)...",), "Zelvor管理 - FTP設定"),
    ("タグの確認", TOOLS + ("タグの確認(K)...",), "Zelvor管理 - タグの確認"),
    ("まとめてアップロード", TOOLS + ("まとめてアップロード(U)...",), "Zelvor管理 - まとめてアップロード"),
    ("HTML生成", "HTML生成...", "Zelvor管理 - HTML生成"),
    ("バージョン情報", ("ヘルプ(H)", "バージョン情報(A)..."), "Zelvor管理 のバージョン情報"),
]
VESSILO_WINDOWS = [
    ("CSS出力", ("ファイル(F)", "CSSファイル出力(C)"), "Zelvor管理 CSSメーカー CSS出力"),
    ("バージョン情報", ("ヘルプ(H)", "バージョン情報(A)..."), "Zelvor管理 CSSメーカー のバージョン情報"),
]
VESSILO_PAGES = ["全体の設定", "広告の設定", "広告の設定(詳細)", "PRリンクの設定", "プレビュー設定"]


def controls(window):
    """The controls a user reaches, as the screen reader lists them (an editable combo's
    own text field speaks for the combo)."""
    found = []
    for a in find_all(window, pred=lambda a: role_name(a) in CONTROLS):
        if "showing" not in states(a):
            continue
        if role_name(a) == "text" and a.parent is not None and role_name(a.parent) == "combo box":
            continue
        found.append(a)
    return found


def name_problems(window):
    problems, seen = [], {}
    for a in controls(window):
        role, name = role_name(a), (a.name or "")
        if not name.strip():
            problems.append(f"a {role} without a name")
            continue
        if "\n" in name:
            problems.append(f"{role} {name!r}: a line break in the name")
        if not any(ch.isalnum() for ch in name):
            problems.append(f"{role} {name!r}: says nothing (symbols only)")
        if role != "page tab":
            seen.setdefault(name, []).append(role)
    problems += [f"{name!r} names {len(roles)} controls: {roles}" for name, roles in seen.items() if len(roles) > 1]
    return problems


def sweep(s, title, window):
    problems = name_problems(window)
    s.check(not problems, f"{title}: " + "; ".join(problems[:12]))


def focused(app, window):
    """The control with the focus. The engine's document calls itself focused within its
    own page whenever it was ever clicked, so it counts only when no control of ours is."""
    hits = find_all(window, pred=lambda a: "focused" in states(a), prune_cells=False)
    ours = [h for h in hits if not in_preview(h)]
    return (ours or hits or [None])[-1]


def in_preview(acc):
    """The engine's document or anything in it (its links take Tab presses one by one)."""
    for _ in range(40):
        if acc is None:
            return False
        if role_name(acc) == "document web":
            return True
        acc = acc.parent
    return False


def tab_walk(s, app, window, title, presses=90):
    """Tab from the current control: never into a preview, and back to where it began."""
    start = focused(app, window)
    s.require(start is not None, f"{title}: something has the focus before the Tab walk")
    first = describe(start)
    seen = []
    for _ in range(presses):
        s.key("Tab")
        harness.settle(0.08)
        now = focused(app, window)
        if now is None:
            continue
        seen.append(describe(now))
        if in_preview(now):
            s.check(False, f"{title}: Tab went into the preview after {seen[-6:]}")
            return
        if describe(now) == first:
            return
    s.check(False, f"{title}: {presses} presses of Tab never came back to {first}; last: {seen[-8:]}")


def open_window(s, app, main, how, caption):
    if isinstance(how, str):
        s.click(app.find("push button", how, within=main))
    else:
        app.menu(*how)
    return harness.wait_until(lambda: next((w for w in app.windows() if w.name == caption
                                            and "showing" in states(w)), None), timeout=10, what=caption)


def close(s, app, window, caption):
    """Escape, or the window's own closing button where Escape is not its way out."""
    def shown():
        return any(w.name == caption and "showing" in states(w) for w in app.windows())
    s.key("Escape")
    try:
        harness.wait_until(lambda: not shown(), timeout=2, what=f"{caption} to close")
        return
    except harness.JourneyFailed:
        pass
    for name in ("終了", "閉じる", "キャンセル", "ｷｬﾝｾﾙ", "OK"):
        buttons = find_all(window, role="push button", name=name)
        if buttons:
            s.click(buttons[0])
            break
    harness.wait_until(lambda: not shown(), timeout=5, what=f"{caption} to close")


def journey(s):
    af = AdManager.start(s, answer_association=None)
    app = af.app
    s.step("zova_af: the association question at the first start")
    prompt = app.wait_dialog("関連付け")
    sweep(s, "関連付け", prompt)
    app.press(prompt, "いいえ")
    af.click_tree("電子書籍セール")
    af.click_row(0)

    s.step("zova_af: the main window and every dialog")
    for title, how, caption in ZOVA_AF_WINDOWS:
        if how is None:
            sweep(s, title, af.main)
            continue
        window = open_window(s, app, af.main, how, caption)
        harness.settle(0.5)
        sweep(s, title, window)
        close(s, app, window, caption)

    s.step("zova_af: Tab walks the main window and never stops in the tag preview")
    af.click_tree("電子書籍セール")
    tab_walk(s, app, af.main, "zova_af")

    s.step("Vessilo: its five pages")
    vessilo = s.start(s.program_folder("vessilo"), "Vessilo")
    main = vessilo.main_window()
    for page in VESSILO_PAGES:
        s.click(vessilo.find("page tab", page, within=main))
        harness.settle(0.4)
        sweep(s, f"Vessilo {page}", main)
    for title, how, caption in VESSILO_WINDOWS:
        window = open_window(s, vessilo, main, how, caption)
        harness.settle(0.5)
        sweep(s, f"Vessilo {title}", window)
        close(s, vessilo, window, caption)
    s.step("Vessilo: Tab leaves the preview alone and comes back round")
    s.click(vessilo.find("page tab", VESSILO_PAGES[0], within=main))
    s.click(vessilo.find("text", "設定の名称", within=main))
    harness.settle(0.3)
    tabs = [t.name for t in find_all(main, role="page tab") if "focused" in states(t)]
    s.check(not tabs, f"with the focus in 設定の名称, no page tab says it has it: {tabs}")
    tab_walk(s, vessilo, main, "Vessilo")
    s.click(vessilo.find("page tab", VESSILO_PAGES[-1], within=main))
    s.click(vessilo.find("combo box", "3行目", within=main))
    s.key("Escape")
    tab_walk(s, vessilo, main, "Vessilo from the last page")


if __name__ == "__main__":
    harness.run(journey)
