"""Writes the .zva fixtures of this folder (damaged and old files that the tests
and the fuzz seed corpus use). Run from anywhere: python3 make_fixtures.py"""

import os
import struct
import sys

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "tools"))
import zvafile as z  # noqa: E402


def save(name, data):
    with open(os.path.join(here, name), "wb") as f:
        f.write(data)


item = {"id": "26010112000000000001", "flags": 1, "title": "広告項目", "comment": "コメント",
        "banners": [{"asp": "A8.net", "advertiser": "広告主", "name": "バナー1", "cpm": 1, "cpc": 2,
                     "fixedRate": 3, "fixedFee": 4, "comment": "c1", "tag": "<b>1</b>"},
                    {"name": "バナー2", "tag": "<i>2</i>"},
                    {"name": "バナー3"}]}
folder = {"id": "26010112000000000002", "flags": 2, "title": "フォルダ", "children": [item]}
root = {"title": "Zelvor管理", "children": [folder]}

save("empty.zva", z.write_library({"title": "Zelvor管理", "children": []}))
save("small.zva", z.write_library(root))
save("old_version.zva", z.write_library(root, old=True))
save("bad_signature.zva", b"zova_af_datafilX" + z.write_library(root)[16:])

# The root lists a child whose node file is not in the container.
entries = z.library_entries(root)
save("missing_node.zva", z.container([e for e in entries if not e[0].startswith(folder["id"])]))

# A node file with a foreign signature, and one whose identifier differs from its name.
bad = [(n, (b"zova_af_file_ver9.99" + c[20:]) if n.startswith(item["id"]) else c) for n, c in entries]
save("bad_node_signature.zva", z.container(bad))
mism = [(n, (c[:20] + z.fixed("26010112000000000099", 20) + c[40:]) if n.startswith(item["id"]) else c)
        for n, c in entries]
save("mismatched_id.zva", z.container(mism))

# The ad item's last banner record is cut short.
short = [(n, c[:-6] if n.startswith(item["id"]) else c) for n, c in entries]
save("short_banner.zva", z.container(short))

# The folder's child identifier is cut short (only 10 of 22 bytes).
short_child = [(n, c[:-12] if n.startswith(folder["id"]) else c) for n, c in entries]
save("short_child_id.zva", z.container(short_child))

# An entry name that climbs out of the work directory.
save("traversal_name.zva", z.container(entries + [("../zva_escape.dat", b"x" * 10)]))
save("absolute_name.zva", z.container(entries + [("/tmp/zva_escape.dat", b"x" * 10)]))

# Counts and sizes far beyond the file.
save("huge_entry_count.zva", z.CONTAINER_SIG + z.i32(1) + z.i32(0x7FFFFFFF) + b"\0" * 40)
huge_size = bytearray(z.container(entries))
struct.pack_into("<i", huge_size, 24 + 4, 0x7FFFFFF0)
save("huge_entry_size.zva", bytes(huge_size))


def patched_root(mutate):
    r = z.node_file({"id": "RootNode", "flags": 6, "title": "Zelvor管理", "children": []})
    return z.container([("RootNode.dat", mutate(r))])


# Title length declared as almost 4 GiB.
save("huge_string.zva", patched_root(lambda r: r[:40] + struct.pack("<I", 0xFFFFFFF0) + r[44:]))
# Child count of two billion with nothing behind it.
save("huge_child_count.zva", patched_root(lambda r: r[:-4] + z.i32(0x7FFFFFFF)))
# An ad item claiming two billion banners.
node = z.node_file({"id": item["id"], "flags": 1, "title": "x", "banners": []})
save("huge_banner_count.zva",
     z.container([e for e in entries if not e[0].startswith(item["id"])] +
                 [(item["id"] + ".dat", node[:-4] + z.i32(0x7FFFFFFF))]))

# A folder that lists itself, and a folder listing the same child twice.
loop = {"id": "26010112000000000003", "flags": 2, "title": "ループ", "children": []}
loop_file = z.node_file({**loop, "children": [{"id": loop["id"]}]})
save("cycle.zva", z.container([("RootNode.dat", z.node_file({"id": "RootNode", "flags": 6, "children": [loop]})),
                                (loop["id"] + ".dat", loop_file)]))
dup_root = z.node_file({"id": "RootNode", "flags": 6, "children": [folder, folder]})
save("duplicate_child.zva", z.container([("RootNode.dat", dup_root)] + entries[1:]))

# Texts over their kept lengths, with a double-byte character across the cut.
long_item = {"id": "26010112000000000004", "flags": 1, "title": "a" + "漢" * 200, "comment": "b" * 600,
             "banners": [{"name": "c" + "字" * 200, "tag": "t" * 3000, "comment": "d" + "語" * 1100}]}
save("long_texts.zva", z.write_library({"children": [long_item]}))

# A root whose stored flags do not say folder, listing a child whose identifier
# fills all 22 bytes: the root is read as a folder anyway, and the child as damage.
odd_root = z.node_file({"id": "RootNode", "flags": 0, "children": [{"id": "2601011200000000000003"}]})
save("root_not_folder.zva", z.container([("RootNode.dat", odd_root)]))

# The root's entry first, as other writers and file systems list them, whole and
# cut off inside its third entry (the ad item): root and folder are whole.
root_first = z.container(entries)
save("root_first.zva", root_first)
save("root_first_cut.zva", root_first[:len(root_first) - len(entries[2][1]) // 2])
