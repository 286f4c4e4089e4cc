#!/usr/bin/env python3
"""An independent reader of the self-extractor container, written from the layout alone:
    runner | "REZ_SFX_HEADER" | L (u32 LE) | JSON (L bytes) | A (u32 LE) | REZ (A bytes)
Checks a container that the builder wrote against the settings and files the writing case
used, and that the header is one line of plain ASCII with the twelve keys in their order.
Usage: sfx_reader.py <container> <runner> <archive>"""
import json
import re
import struct
import sys

KEYS = ["Title", "Description", "DefaultPath", "ImageBase64", "IconBase64", "CreateDesktopShortcut",
        "ShortcutTarget", "Mode", "Intro", "License", "Readme", "RunProgram"]
EXPECTED = {
    "Title": "测试 \"Demo\"\t😀",
    "Description": "第一行\r\n第二行 \\ 完",
    "DefaultPath": "D:\\Games\\演示",
    "ImageBase64": "iVBORw0KGgo=",
    "IconBase64": "",
    "CreateDesktopShortcut": False,
    "ShortcutTarget": "bin\\demo.exe",
    "Mode": "installer",
    "Intro": "欢迎",
    "License": "",
    "Readme": "自述",
    "RunProgram": "setup\\go.exe",
}


def main():
    container, runner, archive = (open(p, "rb").read() for p in sys.argv[1:4])
    failures = []
    marker = b"REZ_SFX_HEADER"
    p = container.rfind(marker)
    if p < 0:
        sys.exit("no marker")
    if container[:p] != runner:
        failures.append("the bytes before the marker are not the runner")
    (length,) = struct.unpack_from("<I", container, p + 14)
    header = container[p + 18:p + 18 + length]
    (size,) = struct.unpack_from("<I", container, p + 18 + length)
    data = container[p + 22 + length:]
    if size != len(archive) or data != archive:
        failures.append("archive: %d bytes stated, %d after the header, %d expected" % (size, len(data), len(archive)))
    try:
        text = header.decode("ascii")
    except UnicodeDecodeError:
        sys.exit("header is not ASCII: %r" % header[:80])
    outside_strings = re.sub(r'"(?:[^"\\]|\\.)*"', '""', text)
    if any(c in outside_strings for c in " \r\n\t") or any(c in text for c in "\r\n\t"):
        failures.append("header holds white space: " + text)
    values = json.loads(text, object_pairs_hook=lambda pairs: pairs)
    if [k for k, _ in values] != KEYS:
        failures.append("keys %s" % [k for k, _ in values])
    for key, value in values:
        if EXPECTED.get(key) != value:
            failures.append("%s = %r, expected %r" % (key, value, EXPECTED.get(key)))
    for f in failures:
        print("FAIL:", f)
    if failures:
        sys.exit(1)
    print("container read: %d header bytes, %d archive bytes" % (length, size))


main()
