#!/usr/bin/env python3
"""Runs the real program with "--elevate-apply-all 31" (twice) and then 0 in the test's Wine prefix
and reads the registry back with "reg export": every key and value of the associations,
the drop handler, the context menu and the New-menu entry must be there after the first
run, and the second must take them away again and give ".zip" back to the program that
had it before. Whatever the prefix did not have at the start is removed at the end.

usage: shell_verbs_check.py QUARVEL_EXE
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time

CLSID = "{8B4A5C33-6E2D-4E08-9F1A-2C7B0D9E5A41}"
CR = "HKEY_CLASSES_ROOT"
CU = "HKEY_CURRENT_USER"
APPROVED = CU + r"\Software\Microsoft\Windows\CurrentVersion\Shell Extensions\Approved"
EARLIER_ZIP = "QvlCheck.EarlierZip"

# Parents first; what the prefix lacks at the start goes again at the end.
CANDIDATES = [
    CR + r"\.rez", CR + r"\.zip", CR + r"\.7z", CR + r"\*\shell", CR + r"\Directory",
    CR + r"\Directory\shell", CR + r"\Directory\Background", CR + r"\Directory\Background\shell",
    CR + r"\Folder\shell", CR + r"\Vellox.MenuCmds", CR + r"\Vellox.RezFile", CR + r"\Vellox.ZipFile",
    CR + r"\Vellox.SevenZipFile", CR + "\\CLSID\\" + CLSID, CU + r"\Software\Classes",
    CU + r"\Software\Classes\.rez", CU + r"\Software\Classes\.zip", CU + r"\Software\Classes\.7z",
    CU + r"\Software\Classes\Directory", CU + r"\Software\Classes\Folder",
    CU + r"\Software\Microsoft\Windows\CurrentVersion\Explorer\FileExts",
    CU + r"\Software\Microsoft\Windows\CurrentVersion\Shell Extensions", APPROVED,
]

# Trees read back after each run.
EXPORTED = [
    CR + r"\.rez", CR + r"\.zip", CR + r"\.7z", CR + r"\Vellox.RezFile", CR + r"\Vellox.ZipFile",
    CR + r"\Vellox.SevenZipFile", CR + r"\*\shell\0ZVellox.Menu", CR + r"\Directory\shell\0ZVellox.Menu",
    CR + r"\Directory\Background\shell\0ZVellox.Menu", CR + r"\Vellox.MenuCmds", CR + "\\CLSID\\" + CLSID,
    CU + r"\Software\Classes\.rez", CU + r"\Software\Classes\.zip", CU + r"\Software\Classes\.7z", APPROVED,
]

failures = []


def fail(text):
    print("FAIL: " + text)
    failures.append(text)


def batch(work, lines):
    """Runs reg commands in one Wine process (far quicker than one process each)."""
    path = os.path.join(work, "steps.bat")
    with open(path, "w", newline="\r\n") as f:
        f.write("@echo off\n" + "\n".join(lines) + "\n")
    out = subprocess.run(["wine", "cmd", "/c", winpath(path)], stdin=subprocess.DEVNULL,
                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    return out.stdout.decode("ascii", "replace")


_WINDOWS_FOLDERS = {}


def winpath(path):
    """The Windows form of a path below the work folder; winepath is asked once per folder,
    as every call starts Wine and the whole check runs alongside the other tests."""
    folder, name = os.path.split(path)
    if folder not in _WINDOWS_FOLDERS:
        _WINDOWS_FOLDERS[folder] = subprocess.check_output(["winepath", "-w", folder]).decode().strip()
    return _WINDOWS_FOLDERS[folder].rstrip("\\") + "\\" + name


def existing_keys(work):
    lines = []
    for i, key in enumerate(CANDIDATES):
        lines += ['reg query "%s" >nul 2>&1' % key, "if errorlevel 1 (echo no %d) else (echo yes %d)" % (i, i)]
    out = batch(work, lines).split()
    return {CANDIDATES[int(n)] for word, n in zip(out[0::2], out[1::2]) if word == "yes"}


def unescape(text):
    out, i = [], 0
    while i < len(text):
        if text[i] == "\\" and i + 1 < len(text):
            i += 1
        out.append(text[i])
        i += 1
    return "".join(out)


def parse_export(text):
    """{key: {value name ("" for the default): data}} for every key holding values."""
    keys, current = {}, None
    for line in text.splitlines():
        line = line.rstrip("\r")
        if line.startswith("[") and line.endswith("]"):
            current = line[1:-1]
        elif current and line.startswith("@="):
            keys.setdefault(current, {})[""] = unescape(line[3:-1])
        elif current and line.startswith('"'):
            name_end = line.index('"=')
            data = line[name_end + 2:]
            if not (data.startswith('"') and data.endswith('"')):
                data = "<not a string: %s>" % data
            else:
                data = unescape(data[1:-1])
            keys.setdefault(current, {})[unescape(line[1:name_end])] = data
    return keys


def read_registry(work):
    lines = []
    for i, key in enumerate(EXPORTED):
        target = os.path.join(work, "export%d.reg" % i)
        if os.path.exists(target):
            os.remove(target)
        lines.append('reg export "%s" "%s" /y >nul 2>&1' % (key, winpath(target)))
    batch(work, lines)
    keys = {}
    for i in range(len(EXPORTED)):
        target = os.path.join(work, "export%d.reg" % i)
        if os.path.exists(target):
            with open(target, "rb") as f:
                keys.update(parse_export(f.read().decode("utf-16")))
    return keys


def run_program(exe, *args):
    return subprocess.run(["wine", exe, *args], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL, timeout=120).returncode


def expected_after_install(program, folder):
    quoted = '"%s"' % program
    want = {}
    for ext, progid, name in ((".rez", "Vellox.RezFile", "Rez数据包"), (".zip", "Vellox.ZipFile", "ZIP压缩包"),
                              (".7z", "Vellox.SevenZipFile", "7Z压缩包")):
        want[CR + "\\" + progid] = {"": name}
        # The document icon is the third icon group (101 and 102 are the window's icons).
        want[CR + "\\" + progid + r"\DefaultIcon"] = {"": quoted + ",2"}
        want[CR + "\\" + progid + r"\shell\open\command"] = {"": quoted + ' "%1"'}
        want[CR + "\\" + ext] = {"": progid, "PerceivedType": "Document"}
        want[CU + r"\Software\Classes" + "\\" + ext] = {"": progid}
    want[CR + r"\Vellox.ZipFile\PreviousDefault"] = {"": EARLIER_ZIP}
    want[CR + r"\Vellox.RezFile\shellex\DropHandler"] = {"": CLSID}
    want[CR + "\\CLSID\\" + CLSID] = {"": "Quarvel Drop Target"}
    want[CR + "\\CLSID\\" + CLSID + r"\InprocServer32"] = {"": folder + r"\Lumbrel.dll",
                                                           "ThreadingModel": "Apartment"}
    want[APPROVED] = {CLSID: "Quarvel Drop Target"}
    want[CR + r"\.rez\ShellNew"] = {"FileName": folder + r"\template.tao", "ItemName": "新建 REZ 数据包"}
    for cls in ("*", "Directory", r"Directory\Background"):
        want[CR + "\\" + cls + r"\shell\0ZVellox.Menu"] = {
            "MUIVerb": "Quarvel", "Icon": quoted + ",0", "ExtendedSubCommandsKey": "Vellox.MenuCmds",
            "MultiSelectModel": "Document"}
    for key, label, arg in (("Vellox.010.Open", "打开数据包", ""), ("Vellox.020.Convert", "转换数据包格式", " --convert"),
                            ("Vellox.030.Unpack", "解压到当前目录", " --extract-here"),
                            ("Vellox.040.Hdr", "编辑数据包文件头", " --edit-header"),
                            ("Vellox.050.Pack", "将目标添加到数据包", " --pack")):
        base = CR + r"\Vellox.MenuCmds\shell" + "\\" + key
        want[base] = {"": label, "Icon": quoted + ",0"}
        want[base + r"\command"] = {"": quoted + arg + ' "%V"'}
    return want


def template_bytes():
    head = b"\r\n" + b"RezMgr Version 1 Copyright (C) 1995 MONOLITH INC.".ljust(60) + b"\r\n"
    head += b"LithTech Resource File".ljust(60) + b"\r\n\x1a" + struct.pack("<5I", 1, 168, 0, 0, 168)
    return head + bytes(21)


def read_settled(work, want):
    """The registry as read_registry gives it, read a second time when it differs from want:
    under a loaded Wine a "reg export" now and then comes back without a key that is there.
    Nothing writes the keys between the two reads, so a real fault shows in both."""
    got = read_registry(work)
    if got != want:
        time.sleep(1)
        got = read_registry(work)
    return got


def compare(label, got, want):
    for key in sorted(set(got) | set(want)):
        if got.get(key) != want.get(key):
            fail("%s: %s holds %s, expected %s" % (label, key, got.get(key), want.get(key)))


def main():
    source = sys.argv[1]
    work = tempfile.mkdtemp(prefix="qvl_shell_verbs_")
    app = os.path.join(work, "app")
    os.makedirs(app)
    exe = os.path.join(app, "Quarvel.exe")
    shutil.copy(source, exe)
    # The drop handler is registered only when its library sits beside the program.
    built = os.path.join(os.path.dirname(source), "Lumbrel.dll")
    if os.path.exists(built):
        shutil.copy(built, os.path.join(app, "Lumbrel.dll"))
    else:
        with open(os.path.join(app, "Lumbrel.dll"), "wb") as f:
            f.write(b"stand-in; nothing loads it here")
    program = winpath(exe)
    folder = program.rsplit("\\", 1)[0]

    present = existing_keys(work)
    try:
        batch(work, ['reg add "%s\\.zip" /ve /d %s /f >nul' % (CR, EARLIER_ZIP)])

        # Twice, as a user who presses "apply" again: the second run finds the program
        # already the default and must still remember the earlier one.
        for _ in range(2):
            code = run_program(exe, "--elevate-apply-all", "31")
            if code != 0:
                fail("--elevate-apply-all 31 exited with %d" % code)
        want = expected_after_install(program, folder)
        compare("after apply-all 31", read_settled(work, want), want)
        with open(os.path.join(app, "template.tao"), "rb") as f:
            if f.read() != template_bytes():
                fail("template.tao is not the 168-byte empty archive")

        code = run_program(exe, "--elevate-apply-all", "0")
        if code != 0:
            fail("--elevate-apply-all 0 exited with %d" % code)
        after = read_registry(work)
        # The user's class key keeps its value when the earlier default was restored; under
        # Wine that key is not merged into HKCR, so it is left out of the comparison.
        after.pop(CU + r"\Software\Classes\.zip", None)
        compare("after apply-all 0", after, {CR + r"\.zip": {"": EARLIER_ZIP}})
        if not os.path.exists(os.path.join(app, "template.tao")):
            fail("removing the New-menu entry took the template file away")
    finally:
        run_program(exe, "--elevate-apply-all", "0")
        gone = [key for key in CANDIDATES if key not in present]
        batch(work, ['reg delete "%s" /f >nul 2>&1' % key for key in gone])
        left = existing_keys(work) - present
        if left:
            fail("keys left in the prefix: %s" % sorted(left))
        shutil.rmtree(work, ignore_errors=True)

    if failures:
        return 1
    print("shell verbs: ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())
