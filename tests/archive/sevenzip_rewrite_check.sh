#!/usr/bin/env bash
# Archives made by 7z (solid in blocks of two files, non-solid, a BCJ chain, encrypted names)
# get one edit each through our 7z rewrite (the test program under Wine): delete, add, rename,
# comment, and a new password for the one with encrypted names. 7z then checks the results:
# they test clean, every member not touched keeps its name, size, times, attributes, CRC,
# encryption and (outside a broken-up solid block) its method and packed size, the contents
# are the expected ones, the size stays near what the kept members need, and an archive whose
# names were encrypted lists nothing without its password.
# Usage: sevenzip_rewrite_check.sh <archive_tests.exe> <work folder>
set -euo pipefail
exe=${1:?test program}
work=${2:?work folder}
rm -rf "$work"
mkdir -p "$work/src"
cd "$work"

python3 - <<'PY'
import os, random
r = random.Random(19)
os.makedirs("src/tree/dir/empty", exist_ok=True)
os.makedirs("src/tree/文档", exist_ok=True)
words = [b"alpha", b"beta", b"gamma", b"rez", b"\xe6\x96\x87\xe6\x9c\xac", b"\n"]
text = lambda n: b" ".join(r.choice(words) for _ in range(n))
open("src/tree/a.txt", "wb").write(text(3000))
open("src/tree/b.txt", "wb").write(text(2500))
open("src/tree/dir/c.txt", "wb").write(text(4000))
open("src/tree/文档/说明.txt", "wb").write(text(1500))
open("src/tree/zero.txt", "wb").write(b"")
# Something BCJ can chew on: x86 call opcodes with relative targets.
open("src/tree/code.bin", "wb").write(b"".join(b"\xe8" + r.randbytes(4) + b"\x90" * 3 for _ in range(2000)))
PY
seven() { (cd src/tree && 7z a -bd -bso0 -bsp0 "$@" >/dev/null); }
seven -ms=2f -m0=LZMA2 -mtc=on -mta=on ../solid.7z .
seven -ms=off -m0=LZMA ../nonsolid.7z .
seven -ms=off -m0=BCJ -m1=LZMA ../bcj.7z .
seven -ms=on -m0=LZMA2 -pSecret1 -mhe=on ../mhe.7z .

# in, out, op, a, b, password (see SevenZipRewritePeer.RunPlan)
plan=$work/plan.txt
: > "$plan"
line() { printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$@" >> "$plan"; }
for f in solid nonsolid bcj mhe; do
  pw=; [ $f = mhe ] && pw=Secret1
  line "$work/src/$f.7z" "$work/$f-del.7z" del a.txt - "$pw"
  line "$work/src/$f.7z" "$work/$f-add.7z" add "新目录/新文件.txt" "added content" "$pw"
  line "$work/src/$f.7z" "$work/$f-ren.7z" ren dir/c.txt "dir/改名.txt" "$pw"
  line "$work/src/$f.7z" "$work/$f-cmt.7z" cmt "新的注释" - "$pw"
done
line "$work/src/solid.7z" "$work/solid-adddir.7z" add "空目录/" "" ""
line "$work/src/mhe.7z" "$work/mhe-pw.7z" pw NewPass2 - Secret1
QVL_SEVENZIP_REWRITE_PLAN="$plan" wine "$exe" --gtest_filter='SevenZipRewritePeer.*' >wine.log 2>&1 ||
  { echo "the rewrite driver failed"; tail -20 wine.log; exit 1; }

python3 - "$plan" <<'PY'
import os, subprocess, sys, shutil, tempfile, filecmp

def run(*args):
    return subprocess.run(args, capture_output=True, text=True, stdin=subprocess.DEVNULL)

def listing(path, pw):
    out = run("7z", "l", "-slt", "-p" + pw, path)
    assert out.returncode == 0, (path, out.stdout, out.stderr)
    archive, members, cur = {}, [], None
    body = out.stdout.split("\n----------\n", 1)
    for ln in body[0].split("--\n", 1)[-1].splitlines():
        if " = " in ln:
            k, v = ln.split(" = ", 1); archive[k] = v
    for ln in body[1].splitlines() if len(body) > 1 else []:
        if not ln.strip():
            cur = None; continue
        if " = " not in ln: continue
        k, v = ln.split(" = ", 1)
        if k == "Path":
            cur = {}; members.append(cur)
        cur[k] = v
    return archive, members

def extract(path, pw, dest):
    out = run("7z", "x", "-p" + pw, "-o" + dest, path)
    assert out.returncode == 0, (path, out.stdout, out.stderr)

fails = []
def check(cond, what):
    if not cond: fails.append(what)

KEPT = ["Size", "Modified", "Created", "Accessed", "Attributes", "CRC", "Encrypted"]
for raw in open(sys.argv[1], encoding="utf-8"):
    src, out, op, a, b, pw = raw.rstrip("\n").split("\t")
    name = os.path.basename(out)
    newpw = a if op == "pw" else pw
    t = run("7z", "t", "-p" + newpw, out)
    check(t.returncode == 0, f"{name}: 7z t failed: {t.stdout[-400:]}")
    if t.returncode != 0: continue
    sarch, smem = listing(src, pw)
    oarch, omem = listing(out, newpw)
    sby = {m["Path"]: m for m in smem}
    oby = {m["Path"]: m for m in omem}
    # The block a delete breaks up: its other files are stored again.
    broken = sby[a].get("Block", "") if op == "del" else None
    expected = {}
    for m in smem:
        p = m["Path"]
        if op == "del" and p == a: continue
        expected[b if op == "ren" and p == a else p] = m
    if op == "add": check(a.rstrip("/") in oby, f"{name}: added {a} missing")
    extra = set(oby) - set(expected) - ({a.rstrip("/"), os.path.dirname(a.rstrip("/"))} if op == "add" else set())
    check(not extra, f"{name}: unexpected members {extra}")
    for p, m in expected.items():
        o = oby.get(p)
        if o is None:
            fails.append(f"{name}: {p} missing"); continue
        for k in KEPT:
            check(m.get(k) == o.get(k), f"{name}: {p}: {k} {m.get(k)!r} became {o.get(k)!r}")
        restored = op == "pw" or (broken and m.get("Block") == broken)
        if restored:
            check(m["Size"] == "0" or "Copy" in o.get("Method", ""), f"{name}: {p} not stored again: {o.get('Method')}")
        else:
            check(m.get("Method") == o.get("Method"), f"{name}: {p}: method {m.get('Method')} became {o.get('Method')}")
            if sarch.get("Solid") == "-":
                check(m.get("Packed Size") == o.get("Packed Size"), f"{name}: {p}: packed size changed")
    # Size: what the kept members need, plus a little for our plain header.
    s_size, o_size = os.path.getsize(src), os.path.getsize(out)
    if op in ("ren", "cmt"):
        check(o_size <= s_size + 2048, f"{name}: {s_size} -> {o_size} bytes")
    if op == "del" and sarch.get("Solid") == "-":
        check(o_size <= s_size - int(sby[a]["Packed Size"]) + 2048, f"{name}: {s_size} -> {o_size} bytes")
    if op == "del":
        rest = sum(int(m["Size"]) for m in smem if broken and m.get("Block") == broken and m["Path"] != a)
        check(o_size <= s_size + rest + 2048, f"{name}: {s_size} -> {o_size} bytes")
    # Contents: the source's, with the edit applied.
    with tempfile.TemporaryDirectory() as d:
        extract(src, pw, d + "/want"); extract(out, newpw, d + "/got")
        want = d + "/want"
        if op == "del": os.remove(os.path.join(want, a))
        if op == "ren": os.rename(os.path.join(want, a), os.path.join(want, b))
        if op == "add":
            os.makedirs(os.path.join(want, os.path.dirname(a.rstrip("/"))), exist_ok=True)
            if a.endswith("/"): os.makedirs(os.path.join(want, a), exist_ok=True)
            else: open(os.path.join(want, a), "w", encoding="utf-8").write(b)
        diff = run("diff", "-r", want, d + "/got")
        check(diff.returncode == 0, f"{name}: contents differ: {diff.stdout[:400]}")
    # Empty folder records stay folders.
    for p, m in expected.items():
        if m.get("Attributes", "").startswith("D"):
            check(oby.get(p, {}).get("Attributes", "").startswith("D"), f"{name}: folder {p} lost")
    # Encrypted names stay encrypted: no listing without the password, no name in the bytes.
    if name.startswith("mhe"):
        for attempt in ([], ["-pwrong"]):
            bare = run("7z", "l", *attempt, out)
            leaked = [p for p in oby if os.path.basename(p) in bare.stdout]
            check(not leaked, f"{name}: 7z l {' '.join(attempt)} lists {leaked}")
        data = open(out, "rb").read()
        check("说明".encode("utf-16-le") not in data, f"{name}: a name lies in the file unencrypted")
        if op == "pw":
            check(run("7z", "t", "-p" + pw, out).returncode != 0, f"{name}: the old password still opens it")
    # The comment trailer, read the way our reader does.
    data = open(out, "rb").read()
    key = bytes.fromhex("6B0E93D2A7415CF8")
    at = data.rfind(b"7Z_COMMENT_SECTION")
    text = ""
    if at >= 0 and at + 22 + int.from_bytes(data[at + 18:at + 22], "little") == len(data):
        text = bytes(c ^ key[i % 8] for i, c in enumerate(data[at + 22:])).decode("utf-8")
    check(text == (a if op == "cmt" else ""), f"{name}: comment {text!r}")

for f in fails: print(f)
sys.exit(1 if fails else 0)
PY
