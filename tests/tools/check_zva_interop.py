"""Checks zova against the independent reader and writer in zvafile.py:
files written by 'zova import' are exactly the bytes the layout prescribes, and
files written by the independent writer load in 'zova dump'.
Usage: check_zva_interop.py ZOVA SAMPLE_JSON"""

import copy
import json
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import zvafile as z  # noqa: E402

zova, sample_json = sys.argv[1], sys.argv[2]
failures = []


def check(cond, what):
    if not cond:
        failures.append(what)
        print("FAIL:", what)


def zova_run(*args):
    return subprocess.run([zova, "--module-dir", work, *args], capture_output=True)


NODE_DEFAULTS = {"comment": "", "outputPath": "", "ftpUpload": 0, "remoteFile": "", "styleSheet": "",
                 "tagClass": "", "columnIndex": 0, "rowLimit": 0, "rowCount": 5, "multiPage": 0,
                 "layout": [1, 2, 3], "ftpHost": ""}
BANNER_DEFAULTS = {"asp": "その他", "advertiser": "", "name": "新しい広告データ", "cpm": 0, "cpc": 0,
                   "fixedRate": 0, "fixedFee": 0, "comment": "", "tag": ""}


def normalised(node, root=False):
    n = {**NODE_DEFAULTS, **node}
    if root:
        n["id"], n["flags"], n["title"] = "RootNode", 6, "Zelvor管理"
    n["children"] = [normalised(c) for c in node.get("children", [])]
    n["banners"] = [{**BANNER_DEFAULTS, **b} for b in node.get("banners", [])]
    return n


with tempfile.TemporaryDirectory() as work:
    sample = json.load(open(sample_json, encoding="utf-8"))

    # 1. zova import writes exactly what the independent writer writes.
    out = os.path.join(work, "sample.zva")
    r = zova_run("import", sample_json, out)
    check(r.returncode == 0, "import exit code: " + r.stderr.decode())
    data = open(out, "rb").read()
    check(data == z.write_library(sample), "import output differs from the independent writer")
    table, root = z.read_library(data)
    names = [t[2] for t in table]
    check(names == sorted(names, key=str.encode), "entries not in byte order of their names")
    check(z.read_container(data)[0] == table, "table")
    expected = normalised(sample, root=True)
    root["title"] = "Zelvor管理"
    check(root == expected, "independent reader sees a different library")

    # 2. Files of the independent writer load in zova dump, in any entry order,
    #    and an old-version file reads with the defaults of missing fields.
    for old in (False, True):
        for sort in (True, False):
            lib = os.path.join(work, "w.zva")
            with open(lib, "wb") as f:
                f.write(z.write_library(sample, old=old, sort=sort))
            r = zova_run("dump", lib)
            check(r.returncode == 0, "dump of independent file (old=%s)" % old)
            got = json.loads(r.stdout.decode("utf-8"))
            want = copy.deepcopy(expected)
            if old:
                def strip(n):
                    for k in ("ftpUpload", "remoteFile", "rowLimit", "rowCount", "multiPage", "ftpHost"):
                        n[k] = NODE_DEFAULTS[k]
                    for b in n["banners"]:
                        b["advertiser"] = ""
                    for c in n["children"]:
                        strip(c)
                strip(want)
            check(got == want, "dump of independent file differs (old=%s, sorted=%s)" % (old, sort))

    leftovers = [e for e in os.listdir(work) if e.startswith("zva")]
    check(not leftovers, "files left in the program folder: %s" % leftovers)

print("%d passed, %d failed" % (1 if not failures else 0, 1 if failures else 0))
sys.exit(1 if failures else 0)
