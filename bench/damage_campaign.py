#!/usr/bin/env python3
"""The jet tool on damaged copies of real files: every command must end in a clean error or a correct
result; never a crash, a hang, or a write that leaves a file half changed or damages what was whole.

Each round copies a sample (the real files in JET_SAMPLES and a file this engine wrote), damages it (bytes
flipped or overwritten on pages that hold structure, a page zeroed, the file cut short mid-page or at a
page boundary), then runs `jet tables`, `jet export` of each table, a `jet sql` count, and on Jet 4 files
an import of a small table. A refused import must leave the file byte for byte as it was; an accepted one
must leave every table reading as before, with the new one added.

Usage: bench/damage_campaign.py [--rounds N] [--jet build/bin/jet] [--seed S]
Point --jet at an ASan/UBSan build (build-asan/bin/jet) to run the same rounds under the sanitizers.
Prints a summary; exits 1 on any crash, hang or unsafe write.
"""
import argparse
import collections
import glob
import os
import random
import shutil
import subprocess
import sys
import tempfile

TIMEOUT = 30


def run(args):
    """Exit status (negative for a signal, None for a hang), stdout and stderr of one command."""
    try:
        r = subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=TIMEOUT)
        return r.returncode, r.stdout, r.stderr
    except subprocess.TimeoutExpired:
        return None, b"", b""


def classify(code, err):
    if code is None:
        return "hang"
    if b"Sanitizer" in err or b"runtime error" in err or code < 0 or code > 2:
        return "crash"
    return "ok" if code == 0 else "refused"


def page_size(data):
    return 2048 if len(data) > 0x14 and data[0x14] == 0 else 4096


def structural_pages(data, size):
    """Pages holding structure: definitions, data and map rows, index nodes and leaves, bitmaps."""
    return [n for n in range(1, len(data) // size) if data[n * size] in (1, 2, 3, 4, 5)] or [1]


def damage(data, rng):
    data = bytearray(data)
    size = page_size(data)
    kind = rng.choice(["flip", "flip", "flip", "overwrite", "zero page", "cut mid-page", "cut at a page"])
    if kind == "cut mid-page":
        return bytes(data[:rng.randrange(size, len(data) - 1) // size * size + rng.randrange(1, size)]), kind
    if kind == "cut at a page":
        return bytes(data[:rng.randrange(3, len(data) // size) * size]), kind
    pages = structural_pages(data, size)
    if kind == "zero page":
        page = rng.choice(pages)
        data[page * size:(page + 1) * size] = bytes(size)
        return bytes(data), kind
    for _ in range(rng.randint(1, 6)):
        page = rng.choice(pages)
        at = page * size + (rng.randrange(512) if rng.random() < 0.6 else rng.randrange(size))
        if kind == "flip":
            data[at] ^= 1 << rng.randrange(8)
        else:
            data[at] = rng.randrange(256)
    return bytes(data), kind


def writer_made_file(jet, work):
    path = os.path.join(work, "written.mdb")
    csv = os.path.join(work, "written.csv")
    with open(csv, "w") as out:
        out.write("ID:long,Code:text(20),N:double,Note:memo\r\n")
        for i in range(1, 1501):
            out.write('%d,"C%05d",%d.5,"%s"\r\n' % (i, i, i, "m" * (10 + (i * 53) % 5000)))
    subprocess.run([jet, "create", path], check=True)
    subprocess.run([jet, "import", path, "Items", csv, "--primary-key", "ID", "--index", "Code"], check=True)
    return path


def exports(jet, path, tables, codepage):
    """Each table's export (None where it fails)."""
    out = {}
    for t in tables:
        code, stdout, _ = run([jet, "export", path, t] + codepage)
        out[t] = stdout if code == 0 else None
    return out


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--rounds", type=int, default=300)
    parser.add_argument("--jet", default="build/bin/jet")
    parser.add_argument("--seed", type=int, default=7)
    options = parser.parse_args()
    jet = os.path.abspath(options.jet)
    samples_dir = os.environ.get("JET_SAMPLES", os.path.join(os.path.dirname(__file__), "../../shared/jet-samples"))
    rng = random.Random(options.seed)
    work = tempfile.mkdtemp(prefix="damage-campaign-")
    outcomes = collections.Counter()
    kinds = collections.Counter()
    problems = []
    try:
        sources = sorted(glob.glob(os.path.join(samples_dir, "*.mdb"))) + [writer_made_file(jet, work)]
        csv = os.path.join(work, "new.csv")
        with open(csv, "w") as out:
            out.write("A:long\r\n1\r\n")
        for n in range(options.rounds):
            source = rng.choice(sources)
            with open(source, "rb") as f:
                damaged, kind = damage(f.read(), rng)
            kinds[kind] += 1
            path = os.path.join(work, "copy.mdb")
            with open(path, "wb") as f:
                f.write(damaged)
            codepage = ["--codepage", "GB18030"] if "GBK" in source else []
            where = "round %d (%s, %s)" % (n, os.path.basename(source), kind)

            def note(command, code, err):
                verdict = classify(code, err)
                outcomes[(command, verdict)] += 1
                if verdict in ("crash", "hang"):
                    problems.append("%s: %s %s: %s" % (where, command, verdict, err[-300:].decode(errors="replace")))
                return verdict

            code, stdout, err = run([jet, "tables", path, "--system"] + codepage)
            note("tables", code, err)
            tables = stdout.decode(errors="replace").split("\n")[:-1] if code == 0 else []
            tables = [t for t in tables if t][:8]
            for t in tables:
                code, _, err = run([jet, "export", path, t] + codepage)
                note("export", code, err)
            code, _, err = run([jet, "sql", path, "SELECT Count(*) AS n FROM MSysObjects"] + codepage)
            note("sql", code, err)
            if page_size(damaged) != 4096 or damaged[0x14] not in (1,):
                continue
            # A write: refused with the file unchanged, or accepted with everything as it read before.
            before = exports(jet, path, tables, codepage)
            with open(path, "rb") as f:
                bytes_before = f.read()
            code, _, err = run([jet, "import", path, "ZzNew", csv])
            verdict = note("import", code, err)
            with open(path, "rb") as f:
                bytes_after = f.read()
            if verdict == "refused" and bytes_after != bytes_before:
                problems.append("%s: a refused import changed the file" % where)
            if verdict == "ok":
                after = exports(jet, path, tables, codepage)
                changed = [t for t in tables if before[t] is not None and after[t] != before[t]
                           and t not in ("MSysObjects", "MSysACEs")]
                code, stdout, _ = run([jet, "count", path, "ZzNew"])
                if changed or stdout.strip() != b"1":
                    problems.append("%s: an accepted import changed %s or lost its row" % (where, changed))
        for (command, verdict), count in sorted(outcomes.items()):
            print("%-7s %-8s %d" % (command, verdict, count))
        print("damage: " + ", ".join("%s %d" % kv for kv in sorted(kinds.items())))
        commands = sum(outcomes.values())
        crashes = sum(c for (_, v), c in outcomes.items() if v == "crash")
        hangs = sum(c for (_, v), c in outcomes.items() if v == "hang")
        unsafe = len(problems) - crashes - hangs
        for p in problems:
            print(p)
        print("ROUNDS %d, commands %d: crashes %d, hangs %d, unsafe writes %d" % (options.rounds, commands, crashes, hangs, unsafe))
        return 1 if problems else 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
