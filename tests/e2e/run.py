#!/usr/bin/python3
"""Runs journeys one after another: run.py [DIST] [journey ...] (default: every journey here)."""

import glob
import os
import subprocess
import sys
import time

here = os.path.dirname(os.path.abspath(__file__))
args = sys.argv[1:]
dist = args.pop(0) if args and os.path.isdir(args[0]) else ""
journeys = args or sorted(os.path.basename(p)[:-3] for p in glob.glob(os.path.join(here, "*.py"))
                          if "harness.run(" in open(p, encoding="utf-8").read())
failed = []
for name in journeys:
    start = time.time()
    code = subprocess.call(["/usr/bin/python3", os.path.join(here, name + ".py"), dist])
    print(f"== {name}: {'ok' if code == 0 else 'FAILED'} ({time.time() - start:.0f}s)", flush=True)
    if code:
        failed.append(name)
print(f"{len(journeys) - len(failed)} passed, {len(failed)} failed")
sys.exit(1 if failed else 0)
