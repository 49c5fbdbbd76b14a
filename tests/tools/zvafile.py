"""A second, independent reader and writer of the .zva container, written from the
file layout alone. Tests use it to check files written by zova byte for byte and
to make files zova must read, including damaged ones."""

import struct

CONTAINER_SIG = b"zova_af_datafile"
NODE_SIG = b"zova_af_file_ver1.00"
OLD_SIG = b"zova_af_file_ver0.01"


def s(text):
    b = text.encode("cp932") if isinstance(text, str) else text
    return struct.pack("<I", len(b)) + b


def fixed(text, n):
    b = text.encode("cp932") if isinstance(text, str) else text
    return b[:n] + b"\0" * (n - len(b[:n]))


def i32(v):
    return struct.pack("<i", v)


def node_file(node, old=False):
    """node: dict in the JSON form of 'zova dump' (UTF-8 texts)."""
    g = lambda k, d: node.get(k, d)
    out = (OLD_SIG if old else NODE_SIG) + fixed(node["id"], 20)
    out += s(g("title", "")) + s(g("comment", "")) + s(g("outputPath", ""))
    if not old:
        out += bytes([g("ftpUpload", 0) & 0xFF]) + s(g("remoteFile", ""))
    out += s(g("styleSheet", "")) + s(g("tagClass", "")) + i32(g("columnIndex", 0))
    if not old:
        out += bytes([g("rowLimit", 0) & 0xFF]) + i32(g("rowCount", 5)) + i32(g("multiPage", 0))
    for v in g("layout", [1, 2, 3]):
        out += i32(v)
    if not old:
        out += s(g("ftpHost", ""))
    flags = g("flags", 1)
    out += i32(flags)
    if flags & 1:
        banners = g("banners", [])
        out += i32(len(banners))
        for b in banners:
            out += s(b.get("asp", "その他"))
            if not old:
                out += s(b.get("advertiser", ""))
            out += s(b.get("name", "新しい広告データ"))
            for k in ("cpm", "cpc", "fixedRate", "fixedFee"):
                out += i32(b.get(k, 0))
            out += s(b.get("comment", "")) + s(b.get("tag", ""))
    else:
        kids = g("children", [])
        out += i32(len(kids))
        for c in kids:
            out += fixed(c["id"], 22)
    return out


def container(entries):
    """entries: list of (name bytes or str, content bytes) in table order."""
    out = CONTAINER_SIG + i32(1) + i32(len(entries))
    before = 0
    for j, (name, content) in enumerate(entries):
        out += i32(24 + 40 * j + before) + i32(len(content)) + fixed(name, 32)
        before += len(content)
    for _, content in entries:
        out += content
    return out


def library_entries(root, old=False):
    """Node files of a library in pre-order; the root's id is RootNode."""
    root = dict(root)
    root["id"] = "RootNode"
    root.setdefault("flags", 6)
    entries = []

    def walk(n):
        entries.append((n["id"] + ".dat", node_file(n, old)))
        if n.get("flags", 1) & 2:
            for c in n.get("children", []):
                walk(c)

    walk(root)
    return entries


def write_library(root, old=False, sort=True):
    entries = library_entries(root, old)
    if sort:
        entries.sort(key=lambda e: e[0].encode())
    return container(entries)


class Reader:
    def __init__(self, data):
        self.d, self.p = data, 0

    def take(self, n):
        if self.p + n > len(self.d):
            raise ValueError("short")
        b = self.d[self.p:self.p + n]
        self.p += n
        return b

    def i32(self):
        return struct.unpack("<i", self.take(4))[0]

    def byte(self):
        return self.take(1)[0]

    def s(self):
        n = struct.unpack("<I", self.take(4))[0]
        return self.take(n).decode("cp932")


def read_container(data):
    """Returns (entries as [(position, size, name)], {name: content}); checks the table."""
    assert data[:16] == CONTAINER_SIG, "signature"
    version, n = struct.unpack("<ii", data[16:24])
    assert version == 1, "version"
    table, files = [], {}
    pos = 24 + 40 * n
    for j in range(n):
        position, size = struct.unpack("<ii", data[24 + 40 * j:32 + 40 * j])
        name = data[32 + 40 * j:64 + 40 * j].split(b"\0")[0].decode()
        table.append((position, size, name))
        files[name] = data[pos:pos + size]
        pos += size
    assert pos == len(data), "trailing bytes"
    return table, files


def read_node(files, node_id):
    r = Reader(files[node_id + ".dat"])
    assert r.take(20) == NODE_SIG
    assert r.take(20).split(b"\0")[0].decode() == node_id
    n = {"id": node_id, "title": r.s(), "comment": r.s(), "outputPath": r.s(), "ftpUpload": r.byte(),
         "remoteFile": r.s(), "styleSheet": r.s(), "tagClass": r.s(), "columnIndex": r.i32(),
         "rowLimit": r.byte(), "rowCount": r.i32(), "multiPage": r.i32(),
         "layout": [r.i32(), r.i32(), r.i32()], "ftpHost": r.s()}
    n["flags"] = r.i32()
    count = r.i32()
    n["children"], n["banners"] = [], []
    if n["flags"] & 1:
        for _ in range(count):
            b = {"asp": r.s(), "advertiser": r.s(), "name": r.s(), "cpm": r.i32(), "cpc": r.i32(),
                 "fixedRate": r.i32(), "fixedFee": r.i32(), "comment": r.s(), "tag": r.s()}
            n["banners"].append(b)
    else:
        ids = [r.take(22).split(b"\0")[0].decode() for _ in range(count)]
        if n["flags"] & 2:
            n["children"] = [read_node(files, i) for i in ids]
    assert r.p == len(r.d), "trailing bytes in " + node_id
    return n


def read_library(data):
    table, files = read_container(data)
    return table, read_node(files, "RootNode")
