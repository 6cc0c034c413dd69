#!/usr/bin/env python3
"""Writes killed (SIGKILL) at chosen moments, and what each program finds afterwards.

Each run starts from the same writer-made database, runs one write with the jet tool under strace, which
kills it at the N-th call of a chosen system call (a write of a page, a sync, the final cut), and then:
  1. asks mdbtools, which knows nothing of the journal, what the table holds (before any program of ours
     opens the file): the old state, the new state, or something else (damaged or mixed);
  2. opens the file with a jet command (through the name the write used, a symbolic link, or a second hard
     link) that repairs it, and checks that the file then holds the old or the new state exactly, ends on a
     page boundary, and that mdbtools agrees.

Usage: bench/kill_campaign.py [--runs N] [--jet build/bin/jet] [--seed S]
Prints one line per kind of write and a summary; exits 1 when any repaired file is neither state.
"""
import argparse
import collections
import os
import random
import shutil
import subprocess
import sys
import tempfile

PAGE = 4096


def run(args, **kw):
    return subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, **kw)


ABSENT = ("<no such table>",)


def mdb_rows(path, table):
    """The table's rows as mdb-export prints them (sorted), ABSENT, or None when mdbtools fails."""
    listed = run(["mdb-tables", "-1", path])
    if listed.returncode != 0:
        return None
    if table not in listed.stdout.split("\n"):
        return ABSENT
    r = run(["mdb-export", path, table])
    if r.returncode != 0 or r.stderr.strip():
        return None
    lines = r.stdout.strip().splitlines()
    return tuple(sorted(lines[1:])) if lines else None


def jet_rows(jet, path, table):
    """The table's rows as this engine exports them (sorted), ABSENT, or None when it fails."""
    listed = run([jet, "tables", path])
    if listed.returncode == 0 and table not in listed.stdout.split("\n"):
        return ABSENT
    r = run([jet, "export", path, table])
    if r.returncode != 0:
        return None
    return tuple(sorted(line.replace('\r', '') for line in r.stdout.strip().splitlines()[1:]))


def build_database(jet, work):
    """A database with Items(ID primary key, Code indexed, N, Note memo): 3,000 rows."""
    path = os.path.join(work, "base.mdb")
    csv = os.path.join(work, "items.csv")
    with open(csv, "w") as out:
        out.write("ID:long,Code:text(20),N:long,Note:memo\r\n")
        for i in range(1, 3001):
            out.write('%d,"C%05d",%d,"%s"\r\n' % (i, i, i % 97, "n" * (20 + (i * 37) % 900)))
    subprocess.run([jet, "create", path], check=True)
    subprocess.run([jet, "import", path, "Items", csv, "--primary-key", "ID", "--index", "Code"], check=True)
    extra = os.path.join(work, "extra.csv")
    with open(extra, "w") as out:
        out.write("ID:long,V:text(50)\r\n")
        for i in range(1, 20001):
            out.write('%d,"value %d"\r\n' % (i, i))
    return path, extra


WRITES = {
    "update": lambda path, extra: ["sql", path, "UPDATE Items SET N = N + 1, Note = Note & 'more' WHERE ID <= 1500"],
    "delete": lambda path, extra: ["sql", path, "DELETE FROM Items WHERE ID > 2000"],
    "import": lambda path, extra: ["import", path, "Extra", extra, "--primary-key", "ID"],
}
# What each write leaves behind when it completes, checked on the Items table or the new one.
TABLE = {"update": "Items", "delete": "Items", "import": "Extra"}


def count_calls(jet, args, syscall):
    """How many times the write makes `syscall` when nothing stops it."""
    r = run(["strace", "-f", "-c", "-e", "trace=" + syscall, jet] + args)
    for line in r.stderr.splitlines():
        fields = line.split()
        if fields and fields[-1] == syscall:
            return int(fields[3])
    return 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=60)
    parser.add_argument("--jet", default="build/bin/jet")
    parser.add_argument("--seed", type=int, default=1)
    options = parser.parse_args()
    jet = os.path.abspath(options.jet)
    rng = random.Random(options.seed)
    work = tempfile.mkdtemp(prefix="kill-campaign-")
    try:
        base, extra = build_database(jet, work)
        # The old and new states of each write, and how many calls it makes.
        states, calls = {}, {}
        for kind, make in WRITES.items():
            path = os.path.join(work, "probe.mdb")
            shutil.copy(base, path)
            old = jet_rows(jet, path, TABLE[kind])
            run([jet] + make(path, extra))
            states[kind] = (old, jet_rows(jet, path, TABLE[kind]))
            calls[kind] = {}
            for syscall in ("pwrite64", "fdatasync", "ftruncate"):
                shutil.copy(base, path)
                calls[kind][syscall] = count_calls(jet, make(path, extra), syscall)
        seen = collections.Counter()
        bad = 0
        for n in range(options.runs):
            kind = rng.choice(sorted(WRITES))
            syscall = rng.choice(["pwrite64", "pwrite64", "pwrite64", "fdatasync", "ftruncate"])
            total = calls[kind][syscall]
            if total == 0:
                continue
            when = rng.randint(1, total)
            way = rng.choice(["same name", "symlink", "hard link"])
            run_dir = os.path.join(work, "run%d" % n)
            os.mkdir(run_dir)
            path = os.path.join(run_dir, "db.mdb")
            shutil.copy(base, path)
            other = os.path.join(run_dir, "other.mdb")
            if way == "symlink":
                os.symlink(path, other)
            elif way == "hard link":
                os.link(path, other)
            else:
                other = path
            killed = run(["strace", "-f", "-qq", "-o", "/dev/null", "-e", "trace=" + syscall,
                          "-e", "inject=%s:signal=KILL:when=%d" % (syscall, when), jet] + WRITES[kind](path, extra))
            old, new = states[kind]
            table = TABLE[kind]
            # What a program that knows nothing of the journal sees before any repair.
            before = mdb_rows(path, table)
            outside = "old" if before == old else "new" if before == new else "other"
            # The repair, by another name when the run asks for one.
            repair = run([jet, "tables", other])
            after = jet_rows(jet, path, table)
            whole = os.path.getsize(path) % PAGE == 0
            verdict = "old" if after == old else "new" if after == new else "neither"
            agrees = mdb_rows(path, table) == after
            if verdict == "neither" or not whole or not agrees or repair.returncode != 0:
                bad += 1
                print("run %d: %s killed at %s #%d (%s): %s, whole pages %s, mdbtools agrees %s, repair %s"
                      % (n, kind, syscall, when, way, verdict, whole, agrees, repair.stderr.strip()[-300:]))
            seen[(kind, "killed" if killed.returncode != 0 else "finished", outside, verdict)] += 1
            shutil.rmtree(run_dir)
        for key, count in sorted(seen.items()):
            print("%-7s %-8s mdbtools before repair: %-5s  after repair: %-5s  %d" % (key + (count,)))
        runs = sum(seen.values())
        mixed = sum(c for k, c in seen.items() if k[2] == "other")
        print("RUNS %d, repairs failed or left neither state or a tail: %d, mdbtools saw a damaged or mixed file "
              "before the repair in %d" % (runs, bad, mixed))
        return 1 if bad else 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
