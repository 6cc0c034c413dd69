#!/usr/bin/env python3
"""Writes src/jet/codec/general_legacy_codes.cpp: the key codes of every BMP character in the Jet 4 General order.

The input is the pair of code tables that Jackcess (github.com/jahlborn/jackcess, Apache License 2.0) ships
as resources in src/main/resources/com/healthmarketscience/jackcess/:

  index_codes_genleg.txt       one line per character U+0000..U+00FF
  index_codes_ext_genleg.txt   one line per character U+0100..U+FFFF, surrogates (U+D800..U+DFFF) left out

Each line is a kind letter and comma-separated hexadecimal fields (a leading zero nibble may be dropped):

  X               the character adds nothing to a key
  S<w>            weight bytes w
  I<w>,<a>        weight bytes w and accent bytes a
  U<c>            no weight; unprintable code c
  P<m>            no weight; m is added to the accent byte of the character before
  Z<w>,<a>,<s>    kana: weight bytes w, accent bytes a (may be empty), s = 1 for a small kana

The output folds runs of neighbouring characters into one row each: characters of the same kind and accent
whose weights are equal, or count up by one, share a row. The script checks that the rows give back every
input line and is deterministic, so its output is committed and the build never runs it.

Usage: scripts/gen_general_legacy_codes.py LATIN_TABLE BMP_TABLE > src/jet/codec/general_legacy_codes.cpp
"""

import hashlib
import sys
from dataclasses import dataclass
from pathlib import Path

SURROGATES = range(0xD800, 0xE000)

# Kind letter of the input -> number of fields after it.
FIELD_COUNTS = {"X": 0, "S": 1, "I": 2, "U": 1, "P": 1, "Z": 3}


@dataclass(frozen=True)
class Code:
    """What one character contributes to a key (kind named as LegacyKind); byte strings are kept as
    big-endian integers."""

    kind: str
    weight: int = 0
    extra: int = 0


def hex_bytes(field, max_bytes, line):
    """The integer value of a hex byte string; its first byte must not be zero (the output drops it)."""
    if field == "":
        return 0
    if len(field) % 2:
        field = "0" + field
    data = bytes.fromhex(field)
    if data[0] == 0 or len(data) > max_bytes:
        raise ValueError(f"unexpected bytes {field!r} in line {line!r}")
    return int.from_bytes(data, "big")


def parse_line(line):
    letter, fields = line[:1], (line[1:].split(",") if len(line) > 1 else [])
    if FIELD_COUNTS.get(letter) != len(fields) or (letter == "Z" and fields[2] not in ("", "1")):
        raise ValueError(f"unexpected line {line!r}")
    if letter == "X":
        return Code("Ignored")
    if letter == "U":
        return Code("Unprintable", extra=hex_bytes(fields[0], 1, line))
    if letter == "P":
        return Code("AccentModifier", extra=hex_bytes(fields[0], 1, line))
    weight = hex_bytes(fields[0], 4, line)
    if letter == "S":
        return Code("Plain", weight=weight)
    if letter == "I":
        return Code("Accented", weight=weight, extra=hex_bytes(fields[1], 2, line))
    return Code("SmallKana" if fields[2] == "1" else "Kana", weight=weight, extra=hex_bytes(fields[1], 2, line))


def read_lines(path, expected):
    lines = Path(path).read_text(encoding="ascii").splitlines()
    if len(lines) != expected:
        raise ValueError(f"{path}: {len(lines)} lines, expected {expected}")
    return lines


def load_codes(latin_path, bmp_path):
    """Maps every BMP character except the surrogates to its Code."""
    chars = list(range(0x100)) + [c for c in range(0x100, 0x10000) if c not in SURROGATES]
    lines = read_lines(latin_path, 0x100) + read_lines(bmp_path, len(chars) - 0x100)
    return {c: parse_line(line) for c, line in zip(chars, lines)}


@dataclass
class Run:
    """Characters first..last of one kind and extra whose weights start at code.weight and grow by step."""

    first: int
    last: int
    code: Code
    step: int = 0  # weight increase from one character to the next

    def code_of(self, char):
        offset = (char - self.first) * self.step
        return Code(self.code.kind, self.code.weight + offset, self.code.extra)

    def step_to(self, char, code):
        """The step with which `code` of `char` continues this run (0 or 1), or None when it does not."""
        if char != self.last + 1 or code.kind != self.code.kind or code.extra != self.code.extra:
            return None
        step = code.weight - self.code_of(self.last).weight
        if self.first != self.last and step != self.step:
            return None
        return step if step in (0, 1) else None


def fold(codes):
    """Folds the per-character codes into runs, greedily in character order."""
    runs = []
    for char in sorted(codes):
        code = codes[char]
        step = runs[-1].step_to(char, code) if runs else None
        if step is None:
            runs.append(Run(char, char, code))
        else:
            runs[-1].step = step
            runs[-1].last = char
    return runs


def check(runs, codes):
    """Fails unless the runs expand to exactly the input codes."""
    unfolded = {c: run.code_of(c) for run in runs for c in range(run.first, run.last + 1)}
    if unfolded != codes:
        raise AssertionError("the runs do not give back the input")


def hex_or_zero(value):
    return f"0x{value:X}" if value else "0"


def row(run):
    return (f"    {{0x{run.first:04X}, 0x{run.last:04X}, {hex_or_zero(run.code.weight)}, "
            f"{hex_or_zero(run.code.extra)}, {run.code.kind}, {run.step}}},")


def render(runs, sources):
    digests = "\n".join(f"//   {Path(p).name}  sha256 {hashlib.sha256(Path(p).read_bytes()).hexdigest()}"
                        for p in sources)
    rows = "\n".join(row(run) for run in runs)
    return f"""\
// Key codes of every BMP character in the Jet 4 General sort order (see general_sort_codes.h).
//
// Generated by scripts/gen_general_legacy_codes.py from the published code tables
{digests}
// Do not edit: change the script and run it again.
#include "codec/general_sort_codes.h"

namespace jet::sortcodes {{
namespace {{

using enum LegacyKind;

// first, last, weight, extra, kind, step
// clang-format off
constexpr LegacyRun kRuns[] = {{
{rows}
}};
// clang-format on

}}  // namespace

const std::span<const LegacyRun> kGeneralLegacyRuns{{kRuns}};

}}  // namespace jet::sortcodes
"""


def main(argv):
    if len(argv) != 3:
        sys.exit(__doc__)
    codes = load_codes(argv[1], argv[2])
    runs = fold(codes)
    check(runs, codes)
    sys.stdout.write(render(runs, argv[1:]))


if __name__ == "__main__":
    main(sys.argv)
