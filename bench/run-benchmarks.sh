#!/usr/bin/env bash
# Builds the fixtures with the engine's own writer, then measures each goal against its baseline in the
# same run and prints the ratios:
#   - exporting a 100,000-row, 10-column table: `jet export` against `mdb-export` (goal: >= 2x faster);
#   - opening and closing a 50 MB file against a 50 KB one (goal: <= 2x the cost);
#   - a primary-key seek against finding the same row by a full scan (goal: >= 100x faster);
#   - the browser on the scale-20 sample library: a 7,200-item quota listing against the bare engine query
#     (goal: <= 5x), Load, and grid painting with 50,000 rows against 500 rows (goal: about 1x); three price
#     columns for 5,120 materials against the bare listing of those materials (goal: <= 3x); moving down
#     1,000 quota rows with the arrow key against the engine statements those row changes issue (goal: <= 3x);
#     the category listing query with its ORDER BY against the same rows read by a Class index seek
#     (goal: <= 1.5x);
#   - writes against table size: one-row DAO inserts and single-row UPDATEs at 100,000 rows against 1,000
#     (goal: <= 3x each), importing 1,000,000 rows against 100,000 (goal: <= 12x, peak memory < 300 MB), an
#     UPDATE of an indexed column on 1,000,000 rows against one of an unindexed column (goal: <= 3x);
#   - SQL and DAO lookups: a DAO lookup statement against a bare index seek (goal: <= 2x or <= 1 us), an
#     unindexed field's hash against full scans (goal: >= 50x).
#
#   bash bench/run-benchmarks.sh [--large]
#
# --large measures at the size of a whole province's libraries instead: `jet export` against `mdb-export` on
# 1,000,000 rows (goal: >= 10x), the browser on the sample directory built at scale 100 (kept in
# bench-data/app100 for later runs), and the writes with ten times the rows (storage_bench --large).
set -euo pipefail
cd "$(dirname "$0")/.."
large=0
for arg in "$@"; do
  case "$arg" in
    --large) large=1 ;;
    *) echo "usage: bench/run-benchmarks.sh [--large]" >&2; exit 2 ;;
  esac
done
cmake -S . -B "${BUILD_DIR:-build}" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "${BUILD_DIR:-build}" --parallel "$(nproc)" \
  --target jet-tool jet_bench browser_bench storage_bench sql_bench kxview-sample
bin="${BUILD_DIR:-build}"/bin
jet="$bin"/jet
data="${BUILD_DIR:-build}"/bench-data
mkdir -p "$data"

# rows.csv ROWS NOTE_CHARS: ID, code, name, unit, price, quantity, amount, date, flag, note.
make_csv() {
  awk -v rows="$1" -v noteChars="$2" 'BEGIN {
    print "ID:long,Code:text(20),Name:text(100),Unit:text(10),Price:double,Qty:long,Amount:currency,Made:datetime,Flag:bool,Note:memo"
    pad = ""; for (i = 0; i < noteChars; i++) pad = pad "x"
    for (i = 1; i <= rows; i++) {
      printf "%d,\"%06d\",\"Item number %d with a longer name\",\"m3\",%.2f,%d,%d.%04d,2024-%02d-%02d 08:30:00,%d,\"note %d %s\"\n",
        i, i, i, i * 1.25, i % 1000, i * 3, i % 10000, i % 12 + 1, i % 28 + 1, i % 2, i, pad
    }
  }'
}

build_db() {  # FILE ROWS NOTE_CHARS
  rm -f "$1"
  make_csv "$2" "$3" > "$data/rows.csv"
  $jet create "$1"
  $jet import "$1" Bench "$data/rows.csv" --primary-key ID --index Code
}


# CPU time (user + system, seconds) of one run of a command whose output goes to /dev/null. CPU time rather
# than wall time: these machines are shared, and waiting for a core is not our cost.
cpu_time() {
  { TIMEFORMAT='%U %S'; time "$@" > /dev/null; } 2>&1 | awk '{ printf "%.3f", $1 + $2 }'
}

# export_ratio FILE ROWS GOAL: `mdb-export` against `jet export` on the table Bench of FILE, run in turns
# seven times; the median of the seven ratios with their range, so that a drift of the machine's speed
# falls on both sides of each ratio.
export_ratio() {
  local pairs=""
  for _ in 1 2 3 4 5 6 7; do
    pairs+="$(cpu_time $jet export "$1" Bench) $(cpu_time mdb-export "$1" Bench)"$'\n'
  done
  printf '%s' "$pairs" | awk '{ printf "%.6g %s %s\n", $2 / $1, $1, $2 }' | sort -g | awk -v rows="$2" -v goal="$3" '
    { ratio[NR] = $1; ours[NR] = $2; theirs[NR] = $3 }
    END {
      m = int((NR + 1) / 2)
      printf "RATIO export %s rows, mdb-export / jet export (goal >= %s): %.3g [%.3g-%.3g] (median of %d; CPU at the median: ours %.3f s, baseline %.3f s)\n",
        rows, goal, ratio[m], ratio[1], ratio[NR], NR, ours[m], theirs[m] }'
}

if [ "$large" = 1 ]; then
  [ -f "$data/rows1m.mdb" ] || build_db "$data/rows1m.mdb" 1000000 0
  export_ratio "$data/rows1m.mdb" 1,000,000 10
  [ -d "$data/app100" ] || "$bin"/kxview-sample "$data/app100" --scale 100
  "$bin"/browser_bench --app-dir "$data/app100"
  "$bin"/storage_bench --large
  exit 0
fi

build_db "$data/rows100k.mdb" 100000 0
build_db "$data/small.mdb" 60 0
build_db "$data/large.mdb" 100000 420
ls -l "$data"/*.mdb

export_ratio "$data/rows100k.mdb" 100,000 2

"$bin"/jet_bench "$data/small.mdb" "$data/large.mdb" "$data/rows100k.mdb" --benchmark_min_time=0.5

"$bin"/sql_bench

"$bin"/browser_bench

"$bin"/storage_bench
