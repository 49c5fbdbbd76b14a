"""The Debian package as a user gets it: built, unpacked into a folder nobody may
change, then zova and both programs run from it with a temporary home. What the
programs write must land in the per-user places, and the unpacked tree must stay
exactly as it was.

Usage: installed_package.py BUILD_DIR   (the build folder holding build/dist too)
"""

import glob
import hashlib
import os
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))

import harness  # noqa: E402
from admanager import AdManager  # noqa: E402


def snapshot(root):
    """Every path of the tree with its kind, mode and content digest."""
    out = {}
    for base, dirs, files in os.walk(root):
        for name in dirs + files:
            path = os.path.join(base, name)
            st = os.lstat(path)
            digest = ""
            if os.path.isfile(path) and not os.path.islink(path):
                with open(path, "rb") as f:
                    digest = hashlib.sha256(f.read()).hexdigest()
            out[os.path.relpath(path, root)] = (st.st_mode, digest, os.readlink(path) if os.path.islink(path) else "")
    return out


def unpack(s, build):
    r = subprocess.run(["cpack", "-G", "DEB"], cwd=build, capture_output=True, text=True)
    s.require(r.returncode == 0, f"cpack failed: {r.stdout[-2000:]}{r.stderr[-2000:]}")
    debs = sorted(glob.glob(os.path.join(build, "zelvor_*.deb")))
    s.require(bool(debs), "no package was built")
    with open(debs[-1], "rb") as f:
        first = f.read()
    # Packed again later, from the same build: the same bytes.
    r = subprocess.run(["cpack", "-G", "DEB"], cwd=build, capture_output=True, text=True)
    s.require(r.returncode == 0, f"cpack failed the second time: {r.stdout[-2000:]}{r.stderr[-2000:]}")
    with open(debs[-1], "rb") as f:
        s.check(f.read() == first, "two packings of one build give the same bytes")
    info = subprocess.run(["dpkg-deb", "-f", debs[-1], "Installed-Size"], capture_output=True, text=True)
    if shutil.which("lintian"):
        r = subprocess.run(["lintian", "--fail-on", "error", debs[-1]], capture_output=True, text=True)
        s.check(r.returncode == 0, f"lintian finds errors in the package: {r.stdout}{r.stderr}")
    root = os.path.join(s.root, "unpacked")
    subprocess.run(["dpkg-deb", "-x", debs[-1], root], check=True)
    files = sum(os.lstat(os.path.join(base, name)).st_size for base, _, names in os.walk(root)
                for name in names if os.path.isfile(os.path.join(base, name))
                and not os.path.islink(os.path.join(base, name))) // 1024
    declared = int(info.stdout.strip())
    s.check(abs(declared - files) <= max(64, files // 20),  # a few percent
            f"Installed-Size {declared} KiB against {files} KiB of files")
    # Nobody may write it: root ignores the modes, so the tree is also compared afterwards.
    subprocess.run(["chmod", "-R", "a-w", root], check=True)
    return root


def elf_hardening(path):
    """What a Debian reviewer checks of a binary: PIE, full RELRO with immediate
    binding, the stack protector and fortified libc calls. Returns the missing ones."""
    def readelf(*args):
        return subprocess.run(["readelf", "-W", *args, path], capture_output=True, text=True,
                              env=dict(os.environ, LC_ALL="C")).stdout
    missing = []
    if "DYN (" not in readelf("-h"):
        missing.append("PIE")
    if "GNU_RELRO" not in readelf("-l"):
        missing.append("RELRO")
    dynamic = readelf("-d")
    if "BIND_NOW" not in dynamic and "FLAGS_1" not in dynamic:
        missing.append("BIND_NOW")
    symbols = readelf("--dyn-syms")
    if "__stack_chk_fail" not in symbols:
        missing.append("stack protector")
    if "_chk@" not in symbols:
        missing.append("fortified functions")
    if "String dump" in readelf("-p", ".comment"):
        missing.append("without a .comment section")
    return missing


def journey(s):
    build = os.path.abspath(os.path.join(s.dist, ".."))
    s.step("build and unpack the package")
    root = unpack(s, build)
    before = snapshot(root)
    program = os.path.join(root, "usr", "lib", "zelvor")
    zova = os.path.join(root, "usr", "bin", "zova")

    s.step("every program is hardened as Debian's binaries are")
    for name in ("zova", "zova_af", "Vessilo"):
        s.check_equal(elf_hardening(os.path.join(program, name)), [], f"what {name} lacks")
        if shutil.which("hardening-check"):
            # Debian 12's own C start files carry no CET note, so the linker can
            # give no binary of this release one; ours are compiled for it
            # (-fcf-protection), which the endbr64 check below shows.
            r = subprocess.run(["hardening-check", "--nocfprotection", os.path.join(program, name)],
                               capture_output=True, text=True, env=dict(os.environ, LC_ALL="C"))
            s.check(r.returncode == 0, f"hardening-check {name}: {r.stdout}{r.stderr}")
        code = subprocess.run(["objdump", "-d", "--no-show-raw-insn", os.path.join(program, name)],
                              capture_output=True, text=True).stdout
        s.check("endbr64" in code, f"{name} carries control-flow protection (endbr64)")
    config = os.path.join(s.env["XDG_CONFIG_HOME"], "zelvor")
    pages = os.path.join(s.env["XDG_CACHE_HOME"], "zelvor", "html")

    s.step("zova_af from the unpacked program folder, a new user: to its window and out")
    af = AdManager.start(s, folder=program, library=None)
    af.click_tree("Zelvor管理")
    af.app.menu("ファイル(F)", "アプリケーションの終了(X)")
    s.check_equal(af.app.wait_exit(), 0, "exit code of zova_af")
    with open(os.path.join(config, "zova_af.ini"), "rb") as f:
        ini = f.read()
    s.check(b"x_pos=" in ini, "zova_af wrote its window placement into the per-user settings file")
    # A new user of the package is not sent to a server unasked.
    s.check(b"check_version=0\r\n" in ini, "the version check is off for a new user of the package")

    s.step("zova from the launcher: dump, generate, settings import and export")
    library = os.path.join(s.work, "sample.zva")
    example = os.path.join(root, "usr", "share", "doc", "zelvor", "examples", "sample.zva")
    s.require(os.path.exists(example), "the package carries the sample library as an example")
    subprocess.run(["cp", example, library], check=True)

    def run(*args):
        r = subprocess.run([zova, *args], capture_output=True, env=s.env, timeout=60)
        s.check(r.returncode == 0, f"zova {' '.join(args)}: exit {r.returncode} {r.stderr.decode(errors='replace')}")
        return r.stdout.decode("utf-8", errors="replace")

    dumped = run("dump", library)
    s.check('"RootNode"' in dumped, "zova dump prints the library")
    item = "本・電子書籍/ランキング/今週の売れ筋"
    out = os.path.join(s.work, "block.html")
    run("generate", library, item, "--out", out)
    s.check(os.path.exists(out), "zova generate writes the block")
    settings = os.path.join(s.work, "settings.json")
    with open(settings, "w") as f:
        f.write('{"settings": {"preview": 1}}')
    run("settings", "import", settings)
    s.check(os.path.exists(os.path.join(config, "zova_af.ini")), f"the settings file is in {config}")
    s.check_equal(oct(os.stat(config).st_mode & 0o777), "0o700", "mode of the per-user settings folder")
    s.check('"preview": 1' in run("settings", "export"), "zova settings export reads the per-user file")
    s.check_equal(oct(os.stat(os.path.join(config, "zova_af.ini")).st_mode & 0o777), "0o600",
                  "mode of the settings file (it holds the passwords)")
    s.check_equal(run("--version"), "zova 1.0.0\n", "zova --version")

    s.step("both file types open in their program, as the package registers them")
    share = os.path.join(s.work, "share")
    shutil.copytree(os.path.join(root, "usr", "share", "applications"), os.path.join(share, "applications"))
    shutil.copytree(os.path.join(root, "usr", "share", "mime", "packages"), os.path.join(share, "mime", "packages"))
    subprocess.run(["update-mime-database", os.path.join(share, "mime")], check=True, capture_output=True)
    subprocess.run(["update-desktop-database", os.path.join(share, "applications")], check=True, capture_output=True)
    xdg = dict(s.env, XDG_DATA_HOME=share, XDG_DATA_DIRS=share)
    for mime, entry in (("application/x-zova-af", "jp.zelvor.zova_af.desktop"),
                        ("application/x-zova-css", "jp.zelvor.Vessilo.desktop")):
        q = subprocess.run(["xdg-mime", "query", "default", mime], env=xdg, capture_output=True, text=True)
        s.check_equal(q.stdout.strip(), entry, f"the program for {mime}")

    s.step("Vessilo from the unpacked program folder: its preview pages are per user")
    vessilo = s.start(program, "Vessilo")
    vessilo.main_window()
    harness.wait_until(lambda: glob.glob(os.path.join(pages, "css*.html")), timeout=10,
                       what=f"Vessilo's preview page in {pages}")
    vessilo.menu("ファイル(F)", "アプリケーションの終了(X)")
    s.check_equal(vessilo.wait_exit(), 0, "exit code of Vessilo")
    s.check_equal(glob.glob(os.path.join(pages, "css*")), [], "Vessilo's preview files are gone after exit")

    s.step("the unpacked tree is unchanged")
    after = snapshot(root)
    changed = sorted(k for k in set(before) | set(after) if before.get(k) != after.get(k))
    s.check_equal(changed, [], "paths of the unpacked package that changed")
    subprocess.run(["chmod", "-R", "u+w", root], check=False)


if __name__ == "__main__":
    harness.run(journey)
