#!/usr/bin/python3
"""Writes the hostile-input corpus: damaged and adversarial variants of the shared test PDFs.

Each case is made from a real test PDF: qpdf rewrites the source without object streams and dumps
it as JSON; the objects are edited here and written back by this script's own serializer (so the
damage is exactly what the case asks for, never repaired on the way out); file-level damage
(truncation, byte flips, broken cross-reference tables) is applied to the written bytes.

Output: one PDF per case and MANIFEST.tsv (name, pages, what) in the output folder. "pages" is the
number of pages a reader that counts the real page objects finds, or "?" where the damage makes it
unknowable. The same seed always gives the same bytes.

Python 3 standard library and the qpdf command only.
"""

import argparse
import base64
import copy
import json
import os
import random
import re
import subprocess
import sys
import tempfile
import zlib


# ---- PDF values -----------------------------------------------------------------------------


class Ref:
    def __init__(self, num):
        self.num = num


class Name:
    def __init__(self, raw):
        self.raw = raw  # bytes after the slash, unescaped

    def __eq__(self, other):
        return isinstance(other, Name) and other.raw == self.raw

    def __hash__(self):
        return hash(self.raw)


class Str:
    def __init__(self, raw):
        self.raw = raw


class Raw:
    """Bytes written as they are: syntax no well-behaved writer produces."""

    def __init__(self, raw):
        self.raw = raw


class Stream:
    def __init__(self, d, data):
        self.dict = d
        self.data = data
        self.length = None  # written /Length when it must lie


def N(text):
    return Name(text.encode())


def S(text):
    return Str(text.encode("latin-1"))


REF_RE = re.compile(r"^(\d+) (\d+) R$")


def text_string(text):
    try:
        return Str(text.encode("latin-1"))
    except UnicodeEncodeError:
        return Str(b"\xfe\xff" + text.encode("utf-16-be"))


def unescape_name(text):
    out = bytearray()
    i = 0
    raw = text.encode()
    while i < len(raw):
        if raw[i : i + 1] == b"#" and i + 2 < len(raw) + 1:
            out.append(int(raw[i + 1 : i + 3], 16))
            i += 3
        else:
            out.append(raw[i])
            i += 1
    return bytes(out)


def from_json(v):
    if v is None or isinstance(v, (bool, int, float)):
        return v
    if isinstance(v, list):
        return [from_json(x) for x in v]
    if isinstance(v, dict):
        return {from_json(k): from_json(x) for k, x in v.items()}
    if v.startswith("/"):
        return Name(v[1:].encode())
    if v.startswith("n:/"):
        return Name(unescape_name(v[3:]))
    if v.startswith("u:"):
        return text_string(v[2:])
    if v.startswith("b:"):
        return Str(bytes.fromhex(v[2:]))
    m = REF_RE.match(v)
    if m:
        return Ref(int(m.group(1)))
    raise ValueError("unexpected JSON value %r" % v)


NAME_PLAIN = set(range(0x21, 0x7F)) - set(b"#()<>[]{}/%")


def ser(v):
    if v is None:
        return b"null"
    if v is True:
        return b"true"
    if v is False:
        return b"false"
    if isinstance(v, int):
        return str(v).encode()
    if isinstance(v, float):
        text = ("%.6f" % v).rstrip("0").rstrip(".")
        return text.encode() if text not in ("", "-") else b"0"
    if isinstance(v, Name):
        return b"/" + b"".join(bytes([c]) if c in NAME_PLAIN else b"#%02X" % c for c in v.raw)
    if isinstance(v, Str):
        return b"<" + v.raw.hex().encode() + b">"
    if isinstance(v, Ref):
        return b"%d 0 R" % v.num
    if isinstance(v, Raw):
        return v.raw
    if isinstance(v, list):
        return b"[" + b" ".join(ser(x) for x in v) + b"]"
    if isinstance(v, dict):
        return b"<<" + b"".join(ser(k) + b" " + ser(x) for k, x in v.items()) + b">>"
    raise TypeError(type(v))


# ---- Documents --------------------------------------------------------------------------------


class Doc:
    def __init__(self, objs, trailer, version):
        self.objs = objs  # num -> value or Stream
        self.trailer = trailer
        self.version = version

    def clone(self):
        return copy.deepcopy(self)

    def get(self, v):
        while isinstance(v, Ref):
            v = self.objs.get(v.num)
        return v

    def add(self, value):
        num = max(self.objs) + 1
        self.objs[num] = value
        return Ref(num)

    def root(self):
        return self.get(self.trailer[N("Root")])

    def pages_ref(self):
        return self.root()[N("Pages")]

    def page_refs(self):
        """Page references in tree order (the sources have sound trees)."""
        out = []

        def walk(ref):
            node = self.get(ref)
            if N("Kids") in node:
                for kid in node[N("Kids")]:
                    walk(kid)
            else:
                out.append(ref)

        walk(self.pages_ref())
        return out

    def outline_items(self):
        """Every outline item reference, depth first."""
        out = []
        outlines = self.root().get(N("Outlines"))

        def walk(ref):
            while ref is not None:
                out.append(ref)
                item = self.get(ref)
                walk(item.get(N("First")))
                ref = item.get(N("Next"))

        if outlines is not None:
            walk(self.get(outlines).get(N("First")))
        return out

    def write(self):
        """The file's bytes and the offset of each object."""
        out = bytearray(b"%%PDF-%s\n%%\xe2\xe3\xcf\xd3\n" % self.version.encode())
        offsets = {}
        for num in sorted(self.objs):
            value = self.objs[num]
            offsets[num] = len(out)
            out += b"%d 0 obj\n" % num
            if isinstance(value, Stream):
                d = dict(value.dict)
                d[N("Length")] = len(value.data) if value.length is None else value.length
                out += ser(d) + b"\nstream\n" + value.data + b"\nendstream"
            else:
                out += ser(value)
            out += b"\nendobj\n"
        size = max(self.objs) + 1
        xref = len(out)
        out += b"xref\n0 %d\n0000000000 65535 f \n" % size
        for num in range(1, size):
            if num in offsets:
                out += b"%010d 00000 n \n" % offsets[num]
            else:
                out += b"0000000000 65535 f \n"
        trailer = dict(self.trailer)
        trailer[N("Size")] = size
        out += b"trailer\n" + ser(trailer) + b"\nstartxref\n%d\n%%%%EOF\n" % xref
        return bytes(out), offsets


def load(qpdf, path, work):
    """The source PDF rewritten without object streams, as a Doc."""
    plain = os.path.join(work, "plain.pdf")
    subprocess.run([qpdf, "--deterministic-id", "--object-streams=disable", path, plain], check=True)
    dumped = subprocess.run(
        [qpdf, "--json-output", "--json-stream-data=inline", "--decode-level=none", plain, "-"],
        check=True,
        stdout=subprocess.PIPE,
    ).stdout
    top = json.loads(dumped)["qpdf"]
    header, objects = top[0], top[1]
    objs = {}
    trailer = None
    for key, entry in objects.items():
        if key == "trailer":
            trailer = from_json(entry["value"])
            continue
        num = int(key.split()[0].split(":")[1])
        if "stream" in entry:
            d = from_json(entry["stream"]["dict"])
            d.pop(N("Length"), None)
            objs[num] = Stream(d, base64.b64decode(entry["stream"].get("data", "")))
        else:
            objs[num] = from_json(entry["value"])
    keep = {N("Root"), N("Info"), N("ID")}
    trailer = {k: v for k, v in trailer.items() if k in keep}
    return Doc(objs, trailer, header.get("pdfversion", "1.4"))


# ---- Cases --------------------------------------------------------------------------------------

# name -> (source file, pages or None, what, function(doc, rng) -> Doc or bytes)
CASES = []


def case(name, source, pages, what):
    def register(fn):
        CASES.append((name, source, pages, what, fn))
        return fn

    return register


OUTLINED = "c-linearized.pdf"  # 30 pages, a four-level outline
ROTATED = "to-rotate.pdf"  # 20 pages, an intermediate /Pages node with an inherited /Rotate
FONTS = "crème brûlée – ÉTÉ.pdf"  # 1 page, embedded compressed fonts
BOXES = "boxes.pdf"  # 8 pages with CropBoxes


def set_action(doc, index, action):
    """Replaces the target of outline item `index` (depth-first order) with `action`."""
    item = doc.get(doc.outline_items()[index])
    item.pop(N("Dest"), None)
    item.pop(N("A"), None)
    if action is not None:
        item[N("A")] = action
    return doc


ACTIONS = [
    ("goto", {N("S"): N("GoTo"), N("D"): "PAGE"}),
    ("gotor", {N("S"): N("GoToR"), N("F"): S("other.pdf"), N("D"): [0, N("Fit")]}),
    ("uri", {N("S"): N("URI"), N("URI"): S("https://example.invalid/outline")}),
    ("launch", {N("S"): N("Launch"), N("F"): S("calc.exe")}),
    ("named", {N("S"): N("Named"), N("N"): N("NextPage")}),
    ("javascript", {N("S"): N("JavaScript"), N("JS"): S("app.alert('outline');")}),
]

for _kind, _action in ACTIONS:

    def _make(doc, rng, action=_action):
        action = copy.deepcopy(action)
        if action.get(N("D")) == "PAGE":
            action[N("D")] = [doc.page_refs()[4], N("Fit")]
        # Every item gets the action: top-level, nested and leaf items alike.
        for i in range(len(doc.outline_items())):
            set_action(doc, i, copy.deepcopy(action))
        return doc

    case("outline-action-" + _kind, OUTLINED, 30, "every outline item has a /%s action" % _kind)(
        _make
    )


@case("outline-no-target", OUTLINED, 30, "outline items without /Dest or /A (plain headings)")
def _(doc, rng):
    for i in range(len(doc.outline_items())):
        set_action(doc, i, None)
    return doc


@case("outline-dest-null", OUTLINED, 30, "outline items with /Dest null")
def _(doc, rng):
    for ref in doc.outline_items():
        doc.get(ref)[N("Dest")] = None
    return doc


@case("outline-heading-children", OUTLINED, 30,
      "a heading without target whose children point at pages")
def _(doc, rng):
    return set_action(doc, 0, None)


@case("outline-odd-dests", OUTLINED, 30,
      "outline /Dest values of every odd kind: page number, missing name, string, non-page object,"
      " empty array, deleted object")
def _(doc, rng):
    odd = [
        [7, N("Fit")],
        N("NoSuchDestination"),
        S("no-such-named-dest"),
        [doc.root()[N("Pages")], N("Fit")],
        [],
        [Ref(max(doc.objs) + 50), N("XYZ"), None, None, None],
        [N("Fit")],
        12,
    ]
    for i, ref in enumerate(doc.outline_items()):
        doc.get(ref)[N("Dest")] = odd[i % len(odd)]
    return doc


@case("outline-next-loop", OUTLINED, 30, "the last top-level item's /Next points at the first")
def _(doc, rng):
    outlines = doc.get(doc.root()[N("Outlines")])
    doc.get(outlines[N("Last")])[N("Next")] = outlines[N("First")]
    return doc


@case("outline-first-loop", OUTLINED, 30, "a nested item's /First points back at its ancestor")
def _(doc, rng):
    items = doc.outline_items()
    deep = [r for r in items if N("First") not in doc.get(r)]
    outlines = doc.get(doc.root()[N("Outlines")])
    doc.get(deep[0])[N("First")] = outlines[N("First")]
    doc.get(deep[0])[N("Last")] = outlines[N("First")]
    doc.get(deep[0])[N("Count")] = 1
    return doc


@case("outline-self-loop", OUTLINED, 30, "an item whose /Next and /First are itself")
def _(doc, rng):
    ref = doc.outline_items()[1]
    doc.get(ref)[N("Next")] = ref
    doc.get(ref)[N("First")] = ref
    return doc


@case("outline-count-lies", OUTLINED, 30, "outline /Count values of 2147483647, -2^31 and 1e20")
def _(doc, rng):
    lies = [2147483647, -2147483648, Raw(b"99999999999999999999"), 0, Raw(b"-1e20")]
    doc.get(doc.root()[N("Outlines")])[N("Count")] = lies[0]
    for i, ref in enumerate(doc.outline_items()):
        doc.get(ref)[N("Count")] = lies[i % len(lies)]
    return doc


@case("outline-no-parent", OUTLINED, 30, "outline items without /Parent, /Prev or /Last")
def _(doc, rng):
    for ref in doc.outline_items():
        for key in ("Parent", "Prev", "Last"):
            doc.get(ref).pop(N(key), None)
    return doc


@case("outline-not-dicts", OUTLINED, 30, "outline /First and /Next that name non-dictionaries")
def _(doc, rng):
    items = doc.outline_items()
    doc.get(items[0])[N("First")] = 42
    doc.get(items[1])[N("Next")] = S("next")
    doc.get(items[2])[N("Title")] = [1, 2, 3]
    return doc


# -- page trees


def split_tree(doc, group):
    """Rebuilds the flat page tree as a root over intermediate nodes of `group` pages each.
    Returns the intermediate node references."""
    root_ref = doc.pages_ref()
    root = doc.get(root_ref)
    pages = list(root[N("Kids")])
    nodes = []
    for start in range(0, len(pages), group):
        kids = pages[start : start + group]
        node = doc.add({N("Type"): N("Pages"), N("Parent"): root_ref, N("Kids"): kids,
                        N("Count"): len(kids)})
        for kid in kids:
            doc.get(kid)[N("Parent")] = node
        nodes.append(node)
    root[N("Kids")] = nodes
    return nodes


for _label, _value in [("int-max", 2147483647), ("huge", Raw(b"99999999999999999999")),
                       ("30-million", 30000000), ("negative", -5), ("zero", 0),
                       ("real", Raw(b"3.0e9"))]:

    def _make(doc, rng, value=_value):
        doc.get(doc.pages_ref())[N("Count")] = value
        return doc

    case("pages-root-count-" + _label, OUTLINED, 30,
         "page tree root /Count %s on a 30-page file" % ser(_value).decode())(_make)


@case("pages-node-count-lies", OUTLINED, 30,
      "intermediate /Pages nodes with /Count 2147483647, 30000000, 0 and -1")
def _(doc, rng):
    nodes = split_tree(doc, 10)
    for node, value in zip(nodes, [2147483647, 30000000, 0]):
        doc.get(node)[N("Count")] = value
    doc.get(doc.pages_ref())[N("Count")] = -1
    return doc


@case("pages-node-count-small", OUTLINED, 30,
      "intermediate /Pages nodes whose /Count is smaller than their pages")
def _(doc, rng):
    nodes = split_tree(doc, 10)
    for node in nodes:
        doc.get(node)[N("Count")] = 3
    return doc


@case("pages-kids-cycle", OUTLINED, 30, "an intermediate node lists the root among its /Kids")
def _(doc, rng):
    nodes = split_tree(doc, 10)
    doc.get(nodes[1])[N("Kids")].insert(3, doc.pages_ref())
    return doc


@case("pages-kids-self", OUTLINED, 30, "an intermediate node lists itself among its /Kids")
def _(doc, rng):
    nodes = split_tree(doc, 10)
    doc.get(nodes[2])[N("Kids")].append(nodes[2])
    return doc


@case("pages-node-twice", OUTLINED, None, "one intermediate node listed twice under the root")
def _(doc, rng):
    nodes = split_tree(doc, 10)
    doc.get(doc.pages_ref())[N("Kids")].append(nodes[0])
    return doc


@case("pages-page-twice", OUTLINED, 31, "one page object listed twice in /Kids")
def _(doc, rng):
    root = doc.get(doc.pages_ref())
    root[N("Kids")].insert(5, root[N("Kids")][0])
    root[N("Count")] = 31
    return doc


@case("pages-parent-cycle", ROTATED, 20,
      "/Parent links that loop: a page is its own parent, two nodes are each other's")
def _(doc, rng):
    refs = doc.page_refs()
    doc.get(refs[0])[N("Parent")] = refs[0]
    root_ref = doc.pages_ref()
    inner = [k for k in doc.get(root_ref)[N("Kids")] if N("Kids") in doc.get(k)][0]
    doc.get(root_ref)[N("Parent")] = inner
    return doc


@case("pages-parent-missing", ROTATED, 20, "no /Parent on pages or nodes (inheritance cut off)")
def _(doc, rng):
    for ref in doc.page_refs():
        doc.get(ref).pop(N("Parent"), None)
    for obj in doc.objs.values():
        if isinstance(obj, dict) and obj.get(N("Type")) == N("Pages"):
            obj.pop(N("Parent"), None)
    return doc


@case("pages-odd-kids", OUTLINED, 31,
      "/Kids holding an integer, null, a name, a missing object and a font dictionary (which both"
      " libraries take for a page)")
def _(doc, rng):
    kids = doc.get(doc.pages_ref())[N("Kids")]
    font = [r for r, o in doc.objs.items() if isinstance(o, dict) and o.get(N("Type")) == N("Font")]
    odd = [7, None, N("Page"), Ref(max(doc.objs) + 99)] + [Ref(f) for f in font[:1]]
    for i, value in enumerate(odd):
        kids.insert(3 + 4 * i, value)
    return doc


@case("pages-no-kids", OUTLINED, None, "the page tree root has /Count 30 and no /Kids")
def _(doc, rng):
    doc.get(doc.pages_ref()).pop(N("Kids"))
    return doc


@case("pages-deep-tree", OUTLINED, None,
      "the pages hang under a chain of 50000 single-child /Pages nodes")
def _(doc, rng):
    root_ref = doc.pages_ref()
    root = doc.get(root_ref)
    pages = list(root[N("Kids")])
    bottom = doc.add({N("Type"): N("Pages"), N("Kids"): pages, N("Count"): len(pages)})
    for kid in pages:
        doc.get(kid)[N("Parent")] = bottom
    child = bottom
    for _ in range(50000):
        parent = doc.add({N("Type"): N("Pages"), N("Kids"): [child], N("Count"): len(pages)})
        doc.get(child)[N("Parent")] = parent
        child = parent
    root[N("Kids")] = [child]
    doc.get(child)[N("Parent")] = root_ref
    return doc


# -- page boxes and rotation

ODD_BOXES = [
    None,  # no MediaBox at all (nothing to inherit either)
    [0, 0, 0, 0],
    [612, 792, 0, 0],
    Raw(b"[0 0 1e30 1e30]"),
    [0, 0, 99999999, 99999999],
    [S("a"), S("b"), S("c"), S("d")],
    [0, 0, 612],
    Raw(b"[0 0 612 792 0 0 0 0 0 0]"),
    N("Letter"),
    [-2147483648, -2147483648, 2147483647, 2147483647],
    Raw(b"[0 0 nan inf]"),
    [0, 0, 0.001, 0.001],
]


@case("boxes-odd-mediabox", ROTATED, 20, "missing, empty, reversed, huge, non-numeric MediaBoxes")
def _(doc, rng):
    for obj in doc.objs.values():
        if isinstance(obj, dict) and obj.get(N("Type")) == N("Pages"):
            obj.pop(N("MediaBox"), None)
    for i, ref in enumerate(doc.page_refs()):
        page = doc.get(ref)
        box = ODD_BOXES[i % len(ODD_BOXES)]
        if box is None:
            page.pop(N("MediaBox"), None)
        else:
            page[N("MediaBox")] = box
        if i % 3 == 1:
            page[N("CropBox")] = ODD_BOXES[(i + 5) % len(ODD_BOXES)] or [5, 5, 6, 6]
    return doc


ODD_ROTATIONS = [Raw(b"45"), -90, Raw(b"1e10"), S("90"), N("R90"), 2147483647, -2147483648,
                 Raw(b"99999999999999999999"), Raw(b"90.5"), Raw(b"-0"), [90], None, 4500]


@case("boxes-odd-rotate", ROTATED, 20, "/Rotate 45, -90, 1e10, a string, a name, huge, reals")
def _(doc, rng):
    for i, ref in enumerate(doc.page_refs()):
        value = ODD_ROTATIONS[i % len(ODD_ROTATIONS)]
        if value is not None:
            doc.get(ref)[N("Rotate")] = value
    inner = [k for k in doc.get(doc.pages_ref())[N("Kids")] if N("Kids") in doc.get(k)][0]
    doc.get(inner)[N("Rotate")] = Raw(b"1e308")
    return doc


# -- streams


def content_streams(doc):
    out = []
    for ref in doc.page_refs():
        contents = doc.get(ref).get(N("Contents"))
        for c in contents if isinstance(contents, list) else [contents]:
            if isinstance(c, Ref) and isinstance(doc.objs.get(c.num), Stream):
                out.append(doc.objs[c.num])
    return out


def all_streams(doc):
    return [o for o in doc.objs.values() if isinstance(o, Stream)]


@case("stream-length-short", FONTS, 1, "every stream's /Length is half its real length")
def _(doc, rng):
    for s in all_streams(doc):
        s.length = len(s.data) // 2
    return doc


@case("stream-length-long", FONTS, 1, "every stream's /Length runs past the end of the file")
def _(doc, rng):
    for s in all_streams(doc):
        s.length = len(s.data) + 10000000
    return doc


@case("stream-length-odd", ROTATED, 20,
      "stream /Length negative, a missing object, a name, a real and 2^63")
def _(doc, rng):
    odd = [-20, Ref(max(doc.objs) + 77), N("Length"), Raw(b"12.5"), Raw(b"9223372036854775808")]
    for i, s in enumerate(content_streams(doc)):
        s.length = odd[i % len(odd)]
    return doc


def damage(data, rng, flips):
    data = bytearray(data)
    for _ in range(flips):
        if len(data) > 4:
            pos = rng.randrange(2, len(data))
            data[pos] ^= 1 << rng.randrange(8)
    return bytes(data)


@case("stream-deflate-damaged", FONTS, 1,
      "compressed content and font streams with flipped bits inside the deflate data")
def _(doc, rng):
    for s in all_streams(doc):
        s.data = damage(s.data, rng, 1 + len(s.data) // 200)
    return doc


@case("stream-deflate-truncated", ROTATED, 20,
      "compressed content streams cut short, one replaced by a zlib bomb header")
def _(doc, rng):
    streams = content_streams(doc)
    for s in streams:
        s.data = s.data[: max(1, len(s.data) // 2)]
    # 16 MiB of zeros compressed: a stream that expands a thousandfold.
    streams[0].data = zlib.compress(bytes(16 << 20), 9)
    streams[0].dict[N("Filter")] = N("FlateDecode")
    return doc


@case("stream-filter-odd", ROTATED, 20,
      "content streams with unknown, repeated and mismatched filters and odd DecodeParms")
def _(doc, rng):
    odd = [
        (N("NoSuchDecode"), None),
        ([N("FlateDecode")] * 40, None),
        (N("DCTDecode"), None),
        (N("LZWDecode"), {N("EarlyChange"): 7}),
        (N("FlateDecode"), {N("Predictor"): 15, N("Columns"): 2147483647, N("Colors"): 99}),
        (N("JBIG2Decode"), None),
        (N("CCITTFaxDecode"), {N("Columns"): -1, N("Rows"): 2147483647}),
    ]
    for i, s in enumerate(content_streams(doc)):
        filt, parms = odd[i % len(odd)]
        s.dict[N("Filter")] = filt
        if parms is not None:
            s.dict[N("DecodeParms")] = parms
    return doc


# -- deep nesting

DEPTH = 100000


@case("nested-arrays", BOXES, None, "arrays and dictionaries nested 100000 deep in page dictionaries")
def _(doc, rng):
    refs = doc.page_refs()
    doc.get(refs[0])[N("PieceInfo")] = Raw(b"[" * DEPTH + b"]" * DEPTH)
    doc.get(refs[1])[N("PieceInfo")] = Raw(b"<</A " * DEPTH + b"1" + b">>" * DEPTH)
    doc.get(refs[2])[N("Annots")] = Raw(b"[" * DEPTH)  # never closed
    doc.get(refs[3])[N("Resources")] = Raw(b"<</Font " * DEPTH + b">>" * DEPTH)
    doc.root()[N("Deep")] = Raw(b"[" * DEPTH + b"]" * DEPTH)
    return doc


@case("nested-content", BOXES, 8,
      "page content with operands nested 100000 deep and 100000 unbalanced q operators")
def _(doc, rng):
    streams = content_streams(doc)
    streams[0].data = b"[" * DEPTH + b"]" * DEPTH + b" pop\n"
    streams[0].dict.pop(N("Filter"), None)
    streams[1].data = b"q " * DEPTH + b"0 0 m 10 10 l S\n"
    streams[1].dict.pop(N("Filter"), None)
    streams[2].data = b"<<" * DEPTH + b"\n"
    streams[2].dict.pop(N("Filter"), None)
    return doc


# -- file-level damage


def written(doc):
    return doc.write()[0]


for _source, _tag in [(OUTLINED, "outlined"), (FONTS, "fonts"), (BOXES, "boxes")]:
    for _fraction in (0.25, 0.6, 0.97):

        def _make(doc, rng, fraction=_fraction):
            data = written(doc)
            return data[: int(len(data) * fraction)]

        case("truncated-%s-%d" % (_tag, int(_fraction * 100)), _source, None,
             "the file cut at %d%% of its length" % int(_fraction * 100))(_make)

    def _flips(doc, rng):
        return damage(written(doc), rng, 24)

    case("byte-flips-" + _tag, _source, None, "24 bits flipped at seeded random places")(_flips)


@case("xref-offsets-wrong", ROTATED, 20, "every cross-reference offset 7 bytes off")
def _(doc, rng):
    data, offsets = doc.write()
    for num, off in offsets.items():
        data = data.replace(b"%010d 00000 n \n" % off, b"%010d 00000 n \n" % (off + 7), 1)
    return data


@case("xref-startxref-garbage", OUTLINED, 30, "startxref points into the middle of an object")
def _(doc, rng):
    data = written(doc)
    head, tail = data.rsplit(b"startxref\n", 1)
    return head + b"startxref\n%d\n%%%%EOF\n" % (len(head) // 2)


@case("xref-missing", FONTS, 1, "no cross-reference table, trailer or startxref")
def _(doc, rng):
    data = written(doc)
    return data[: data.rindex(b"xref\n0 ")]


@case("xref-huge-section", ROTATED, None,
      "a cross-reference section that claims 2147483647 entries, and /Size 2^31")
def _(doc, rng):
    data = written(doc)
    size = max(doc.objs) + 1
    data = data.replace(b"xref\n0 %d\n" % size, b"xref\n0 2147483647\n", 1)
    return data.replace(b"/Size %d" % size, b"/Size 2147483648", 1)


@case("xref-prev-loop", ROTATED, 20, "the trailer's /Prev points back at its own table")
def _(doc, rng):
    data = written(doc)
    xref = int(data.rsplit(b"startxref\n", 1)[1].split(b"\n")[0])
    return data.replace(b"trailer\n<<", b"trailer\n<</Prev %d " % xref, 1)


@case("xref-stream-lies", FONTS, None,
      "a cross-reference stream with /W [9 9 9], /Index [0 2147483647] and /Size 1e9")
def _(doc, rng):
    data = written(doc)
    head = data[: data.rindex(b"xref\n0 ")]
    num = max(doc.objs) + 1
    body = zlib.compress(bytes(64))
    xref = (
        b"%d 0 obj\n<</Type/XRef/W[9 9 9]/Index[0 2147483647]/Size 1000000000/Root %s"
        b"/Filter/FlateDecode/Length %d>>\nstream\n"
        % (num, ser(doc.trailer[N("Root")]), len(body))
    )
    return head + xref + body + b"\nendstream\nendobj\nstartxref\n%d\n%%%%EOF\n" % len(head)


# ---- Random mutations for longer runs ---------------------------------------------------------

MUTATION_SOURCES = [OUTLINED, ROTATED, FONTS, BOXES]


def mutate(data, rng):
    data = bytearray(data)
    for _ in range(rng.randrange(1, 6)):
        kind = rng.randrange(5)
        pos = rng.randrange(len(data)) if data else 0
        if kind == 0 and data:
            data[pos] ^= 1 << rng.randrange(8)
        elif kind == 1:
            del data[pos : pos + rng.randrange(1, 64)]
        elif kind == 2:
            data[pos:pos] = rng.choice([b"[", b"<<", b"99999999999", b" R ", b"-1", b"endobj"])
        elif kind == 3:
            token = re.compile(rb"-?\d+").search(bytes(data), pos)
            if token:
                data[token.start() : token.end()] = str(
                    rng.choice([0, -1, 2147483647, 2147483648, int(token.group()) * 1000])
                ).encode()
        else:
            del data[pos:]
    return bytes(data)


# ---- Main ---------------------------------------------------------------------------------------


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--source", required=True, help="folder of the shared test PDFs")
    parser.add_argument("--out", required=True, help="folder to write the corpus into")
    parser.add_argument("--seed", type=int, default=11, help="seed of every random choice")
    parser.add_argument("--random", type=int, default=0, metavar="N",
                        help="also write N randomly mutated files (for benchmarks and fuzz runs)")
    parser.add_argument("--qpdf", default="qpdf", help="the qpdf program")
    args = parser.parse_args()

    os.makedirs(args.out, exist_ok=True)
    for old in os.listdir(args.out):
        if old.endswith(".pdf") or old == "MANIFEST.tsv":
            os.remove(os.path.join(args.out, old))

    sys.setrecursionlimit(10000)
    rows = []
    with tempfile.TemporaryDirectory() as work:
        sources = {}

        def source(name):
            if name not in sources:
                sources[name] = load(args.qpdf, os.path.join(args.source, name), work)
            return sources[name]

        for index, (name, src, pages, what, fn) in enumerate(CASES):
            rng = random.Random("%d:%s" % (args.seed, name))
            result = fn(source(src).clone(), rng)
            data = result if isinstance(result, bytes) else written(result)
            with open(os.path.join(args.out, name + ".pdf"), "wb") as f:
                f.write(data)
            rows.append((name, "?" if pages is None else str(pages), "%s (from %s)" % (what, src)))

        rng = random.Random(args.seed)
        for i in range(args.random):
            src = rng.choice(MUTATION_SOURCES)
            name = "random-%05d" % i
            with open(os.path.join(args.out, name + ".pdf"), "wb") as f:
                f.write(mutate(written(source(src)), rng))
            rows.append((name, "?", "random byte mutations (from %s)" % src))

    with open(os.path.join(args.out, "MANIFEST.tsv"), "w", encoding="utf-8") as f:
        f.write("name\tpages\twhat\n")
        for row in rows:
            f.write("\t".join(row) + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
