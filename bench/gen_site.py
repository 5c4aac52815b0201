#!/usr/bin/env python3
"""Generate a documentation-like web site for benchmarks.

usage: gen_site.py OUT [--pages N] [--seed S] [--manifest]

Writes OUT/docs/<section>/page-NNNN.html (20-60 KB each), every page linking the same style sheets,
scripts and fonts (OUT/assets/, 20-200 KB each, one sheet @importing another) and showing one PNG image
of its own (OUT/images/). The output is the same for the same arguments. With --manifest it also
writes OUT/manifest.json listing each page's resources, for the archive checker.
"""

import argparse
import json
import os
import random
import struct
import zlib

WORDS = ("archive browser cache charset document element engine fetch folder frame header image index "
         "layout location message option page parser queue reference resource script section sheet "
         "source style target thread token value worker").split()


def sentence(rng, n):
    words = [rng.choice(WORDS) for _ in range(n)]
    return " ".join(words).capitalize() + "."


def png(rng, width, height):
    """A valid RGB PNG of noise (so it does not compress away)."""
    rows = b"".join(b"\x00" + bytes(rng.getrandbits(8) for _ in range(width * 3)) for _ in range(height))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows, 6)) + chunk(b"IEND", b"")


def css_text(rng, size, extra=""):
    out = [extra]
    n = 0
    while sum(len(x) for x in out) < size:
        n += 1
        out.append(".c%d-%d { margin: %dpx %dpx; padding: %dpx; color: #%06x; background: #%06x; }\n"
                   % (rng.randrange(1000), n, rng.randrange(40), rng.randrange(40), rng.randrange(20),
                      rng.randrange(1 << 24), rng.randrange(1 << 24)))
    return "".join(out)


def js_text(rng, size):
    out = ["'use strict';\n"]
    n = 0
    while sum(len(x) for x in out) < size:
        n += 1
        out.append("function f%d(a, b) { return a * %d + b - %d; /* %s */ }\n"
                   % (n, rng.randrange(100), rng.randrange(100), sentence(rng, 6)))
    return "".join(out)


def font_bytes(rng, size):
    # A WOFF2 signature in front of noise: enough for type detection; browsers fall back to a system font.
    return b"wOF2" + bytes(rng.getrandbits(8) for _ in range(size - 4))


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    mode = "wb" if isinstance(data, bytes) else "w"
    with open(path, mode, **({} if mode == "wb" else {"encoding": "utf-8", "newline": "\n"})) as f:
        f.write(data)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("out")
    ap.add_argument("--pages", type=int, default=2000)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--manifest", action="store_true")
    args = ap.parse_args()
    rng = random.Random(args.seed)
    out = os.path.abspath(args.out)

    shared = {
        "assets/css/base.css": css_text(rng, 30_000, '@import url("fonts.css");\n'),
        "assets/css/fonts.css": css_text(rng, 20_000, '@font-face { font-family: Doc; src: url(../fonts/doc.woff2) format("woff2"); }\n'
                                         'body { font-family: Doc, sans-serif; }\n'),
        "assets/css/theme.css": css_text(rng, 60_000),
        "assets/js/app.js": js_text(rng, 120_000),
        "assets/js/search.js": js_text(rng, 40_000),
    }
    for rel, text in shared.items():
        write(os.path.join(out, rel), text)
    write(os.path.join(out, "assets/fonts/doc.woff2"), font_bytes(rng, 150_000))
    shared_files = list(shared) + ["assets/fonts/doc.woff2"]

    manifest = {"root": out, "pages": {}}
    sections = max(1, args.pages // 100)
    for i in range(args.pages):
        section = "section-%02d" % (i % sections)
        rel = "docs/%s/page-%04d.html" % (section, i)
        image = "images/page-%04d.png" % i
        side = 48 + rng.randrange(48)
        write(os.path.join(out, image), png(rng, side, side))
        target = rng.randrange(20_000, 60_000)
        body = []
        size = 0
        n = 0
        while size < target:
            n += 1
            part = ("<h2 id=\"s%d\">%s</h2>\n<p>%s %s</p>\n<pre><code>%s</code></pre>\n<p>See <a href=\"page-%04d.html\">"
                    "the next page</a>.</p>\n" % (n, sentence(rng, 4), sentence(rng, 18), sentence(rng, 22),
                                                  "\n".join(sentence(rng, 5) for _ in range(4)), (i + n) % args.pages))
            body.append(part)
            size += len(part)
        page = ("<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>Page %d: %s</title>\n"
                "<link rel=\"stylesheet\" href=\"../../assets/css/base.css\">\n"
                "<link rel=\"stylesheet\" href=\"../../assets/css/theme.css\">\n"
                "<script src=\"../../assets/js/app.js\"></script>\n<script src=\"../../assets/js/search.js\" defer></script>\n"
                "</head>\n<body>\n<nav><a href=\"../../index.html\">Home</a></nav>\n<h1>%s</h1>\n"
                "<img src=\"../../%s\" width=\"%d\" height=\"%d\" alt=\"figure\">\n%s</body>\n</html>\n"
                % (i, sentence(rng, 3), sentence(rng, 5), image, side, side, "".join(body)))
        write(os.path.join(out, rel), page)
        manifest["pages"][rel] = {"resources": [os.path.join(out, p) for p in shared_files + [image]]}
    if args.manifest:
        write(os.path.join(out, "manifest.json"), json.dumps(manifest, indent=1))
    print("%d pages written to %s" % (args.pages, out))


if __name__ == "__main__":
    main()
